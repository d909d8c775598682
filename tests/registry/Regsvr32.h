// Starts the platform's regsvr32.exe on a DLL, as the setup program does, and waits for
// it a limited time.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>
#include <string>

// Runs regsvr32.exe with the given switches on a DLL and returns its exit code.
inline DWORD RunRegsvr32(const std::string& switches, const std::string& dll)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string line =
        "\"" + std::string(system) + "\\regsvr32.exe\" " + switches + " \"" + dll + "\"";
    STARTUPINFOA startup = { sizeof(startup) };
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        ADD_FAILURE() << "cannot start " << line;
        return DWORD(-1);
    }
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        ADD_FAILURE() << "regsvr32.exe did not end within 60 s";
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}
