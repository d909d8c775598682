// Test tool: prints the platform id that setup.exe's OS version record holds, then hands
// every path on its command line to DeleteNowOrAtRestart. With --hold first, each file is
// held open (no delete sharing) during its call, as a running program or a loaded DLL is.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "setup/DeferredDelete.h"
#include "setup/OsVersion.h"

int main(int argc, char** argv)
{
    printf("platform=%lu\n", osVersion.dwPlatformId);
    bool hold = argc > 1 && strcmp(argv[1], "--hold") == 0;
    for (int i = hold ? 2 : 1; i < argc; ++i) {
        HANDLE held = INVALID_HANDLE_VALUE;
        if (hold)
            held = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        DeleteNowOrAtRestart(argv[i]);
        printf("%s exists=%d\n", argv[i], GetFileAttributesA(argv[i]) != INVALID_FILE_ATTRIBUTES);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    }
    fflush(stdout);
    return 0;
}
