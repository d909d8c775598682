// Test tool: prints the platform id that setup.exe's OS version record holds, then hands
// every path on its command line to DeleteNowOrAtRestart. With --hold first, each file is
// held open (no delete sharing) during its call, as a running program or a loaded DLL is;
// with --cancel first, each path goes to CancelDeleteAtRestart instead.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "setup/DeferredDelete.h"
#include "setup/OsVersion.h"

int main(int argc, char** argv)
{
    printf("platform=%lu\n", osVersion.dwPlatformId);
    bool hold = argc > 1 && strcmp(argv[1], "--hold") == 0;
    bool cancel = argc > 1 && strcmp(argv[1], "--cancel") == 0;
    for (int i = cancel ? 2 : 1; cancel && i < argc; ++i)
        printf("%s cancelled=%d\n", argv[i], CancelDeleteAtRestart(argv[i]) ? 1 : 0);
    for (int i = hold ? 2 : 1; !cancel && i < argc; ++i) {
        HANDLE held = INVALID_HANDLE_VALUE;
        if (hold)
            held = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        DeleteNowOrAtRestart(argv[i]);
        printf("%s exists=%d\n", argv[i], GetFileAttributesA(argv[i]) != INVALID_FILE_ATTRIBUTES);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    }
    fflush(stdout);
    return 0;
}
