// Child processes of the tests: CreateProcessW, a limited wait, an end by force.
#include "ChildProcess.h"

namespace {

// A code page 932 text as UTF-16 on the process heap; null for null.
wchar_t* Widened(const char* text)
{
    if (text == nullptr)
        return nullptr;
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wchar_t* wide =
        static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (wide != nullptr && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length + 1) == 0)
        wide[0] = L'\0';
    return wide;
}

void Release(wchar_t* text)
{
    if (text != nullptr)
        HeapFree(GetProcessHeap(), 0, text);
}

// Moves what the pipe holds now into output, dropping CRs; false once it is closed.
bool Drain(HANDLE pipe, char* output, DWORD size, DWORD* used)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char chunk[512];
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) || got == 0)
            return false;
        for (DWORD i = 0; i < got; ++i) {
            if (chunk[i] != '\r' && *used + 1 < size)
                output[(*used)++] = chunk[i];
        }
        output[*used] = '\0';
    }
    return true;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (handle != nullptr)
        Finish(0);
}

bool ChildProcess::Start(const wchar_t* commandLine, const wchar_t* application)
{
    if (handle != nullptr)
        return false;
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE report = output;
    if (reportPath != nullptr) {
        report = CreateFileW(reportPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (report == INVALID_HANDLE_VALUE)
            return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (report != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = report;
        startup.hStdError = report;
    }
    // CreateProcessW may write into the command line: a copy of it.
    SIZE_T bytes = (lstrlenW(commandLine) + 1) * sizeof(wchar_t);
    wchar_t* line = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    PROCESS_INFORMATION process = {};
    BOOL started = line != nullptr &&
        CreateProcessW(application, lstrcpyW(line, commandLine), nullptr, nullptr,
                       report != nullptr, 0, nullptr, folder, &startup, &process);
    Release(line);
    if (reportPath != nullptr)
        CloseHandle(report);
    if (!started)
        return false;
    id = process.dwProcessId;
    handle = process.hProcess;
    thread_ = process.hThread;
    exitCode = 0;
    return true;
}

bool ChildProcess::Start(const char* commandLine, const char* application)
{
    wchar_t* wideLine = Widened(commandLine);
    wchar_t* wideApplication = Widened(application);
    bool started = wideLine != nullptr && (application == nullptr || wideApplication != nullptr) &&
        Start(wideLine, wideApplication);
    Release(wideLine);
    Release(wideApplication);
    return started;
}

bool ChildProcess::Finish(DWORD timeoutMs)
{
    if (handle == nullptr)
        return false;
    bool ended = WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(handle, kEndedByForce);
        WaitForSingleObject(handle, 5000);
    }
    if (!GetExitCodeProcess(handle, &exitCode) || !ended)
        exitCode = kEndedByForce;
    CloseHandle(handle);
    CloseHandle(thread_);
    handle = thread_ = nullptr;
    return ended;
}

bool RunCollecting(const char* commandLine, DWORD timeoutMs, DWORD* exitCode, char* output,
                   DWORD size, const char* application)
{
    *exitCode = ~0u;
    DWORD used = 0;
    if (size > 0)
        output[0] = '\0';
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE readEnd = nullptr;
    ChildProcess child;
    if (!CreatePipe(&readEnd, &child.output, &inherit, 0))
        return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    bool started = child.Start(commandLine, application);
    CloseHandle(child.output);
    bool ended = false;
    for (DWORD start = GetTickCount(); started && !ended;) {
        Drain(readEnd, output, size, &used);
        ended = WaitForSingleObject(child.handle, 20) == WAIT_OBJECT_0;
        if (!ended && GetTickCount() - start > timeoutMs)
            break;
    }
    if (started) {
        Drain(readEnd, output, size, &used); // what is left in the pipe
        child.Finish(0);
        *exitCode = child.exitCode;
    }
    CloseHandle(readEnd);
    return ended;
}

DWORD RunRegsvr32(const char* switches, const char* dll)
{
    char line[3 * MAX_PATH] = "\"";
    UINT length = GetSystemDirectoryA(line + 1, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrlenA(switches) + lstrlenA(dll) > MAX_PATH - 20)
        return ~0u;
    lstrcatA(lstrcatA(lstrcatA(lstrcatA(line, "\\regsvr32.exe\" "), switches), " \""), dll);
    lstrcatA(line, "\"");
    ChildProcess regsvr32;
    if (!regsvr32.Start(line) || !regsvr32.Finish(60000))
        return ~0u;
    return regsvr32.exitCode;
}
