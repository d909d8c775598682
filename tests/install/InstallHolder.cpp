// Test tool of the uninstall tests. It plays the parts the tests need from another process:
//   install_holder hold-dll DLL MS              keeps DLL loaded for MS milliseconds; leaves
//                                               the mark S:\holding-dll.txt once it is loaded
//   install_holder launch self|event COPY MS
//       starts COPY with "/MainUninst <value> FOLDER" and handle inheritance, as the
//       launcher does, then lives MS milliseconds more. self passes an inheritable handle to
//       this process (the launcher's way); event passes the value of an inheritable event
//       that never fires (a number that names something else in the copy). FOLDER comes
//       from the environment variable PELIM_HOLDER_FOLDER, blanks and all, unquoted.
// Started under the name regsvr32.exe it only leaves a mark (S:\planted-regsvr32.txt), so a
// test can tell whether a program lying beside setup.exe was run in place of the system's.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const char* name = strrchr(self, '\\');
    if (name != nullptr && lstrcmpiA(name + 1, "regsvr32.exe") == 0) {
        HANDLE mark = CreateFileA("S:\\planted-regsvr32.txt", GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        if (mark != INVALID_HANDLE_VALUE)
            CloseHandle(mark);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "hold-dll") == 0) {
        HMODULE module = LoadLibraryA(argv[2]);
        printf("%s\n", module != nullptr ? "loaded" : "failed");
        fflush(stdout);
        if (module != nullptr) {
            HANDLE mark = CreateFileA("S:\\holding-dll.txt", GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
            if (mark != INVALID_HANDLE_VALUE)
                CloseHandle(mark);
        }
        Sleep(static_cast<DWORD>(atoi(argv[3])));
        return module != nullptr ? 0 : 1;
    }
    if (argc == 5 && strcmp(argv[1], "launch") == 0) {
        char folder[1024] = {};
        GetEnvironmentVariableA("PELIM_HOLDER_FOLDER", folder, sizeof folder);
        HANDLE passed = nullptr;
        if (strcmp(argv[2], "self") == 0) {
            passed =
                OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, GetCurrentProcessId());
        } else {
            SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
            passed = CreateEventA(&inherit, TRUE, FALSE, nullptr);
        }
        char commandLine[2048];
        wsprintfA(commandLine, "\"%s\" /MainUninst %d %s", argv[3], HandleToLong(passed), folder);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(argv[3], commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return 2;
        printf("started %lu\n", process.dwProcessId);
        fflush(stdout);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        Sleep(static_cast<DWORD>(atoi(argv[4])));
        return 0;
    }
    fprintf(stderr, "usage: install_holder hold-dll DLL MS | launch self|event COPY MS\n");
    return 2;
}
