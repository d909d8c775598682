// Runs a program with its standard output on a pipe; never waits longer than asked.
#include "ProcessRun.h"

ProcessResult RunProcess(const char* application, const std::string& commandLine, DWORD timeoutMs)
{
    ProcessResult result = { false, false, 0, std::string() };
    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), nullptr, TRUE };
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    std::string line = commandLine;
    result.started = CreateProcessA(application, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &startup, &process) != FALSE;
    CloseHandle(writeEnd);
    if (!result.started) {
        CloseHandle(readEnd);
        return result;
    }

    DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char chunk[512];
            DWORD got = 0;
            if (!ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) || got == 0)
                break;
            result.output.append(chunk, got);
        }
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            // Collect what is left in the pipe.
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
                   available > 0) {
                char chunk[512];
                DWORD got = 0;
                if (!ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) || got == 0)
                    break;
                result.output.append(chunk, got);
            }
            result.ended = true;
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    // The runtime's text mode writes line ends as CR LF; compare with plain LF.
    std::string plain;
    for (char c : result.output)
        if (c != '\r')
            plain.push_back(c);
    result.output.swap(plain);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    return result;
}
