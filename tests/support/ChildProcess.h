// A program the tests start and wait for, with a time limit: the drop host, setup.exe,
// regsvr32.exe, the probes. Plain character buffers and no C++ library, so that the ARM64
// test program, which has none, can take it too.
#pragma once

#include <windows.h>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // ends a child still running

    // What Start hands the child, set before it: its current folder (null: this process's)
    // and its standard output and error, either a report file made afresh or an inheritable
    // handle (null: none of its own).
    const wchar_t* folder = nullptr;
    const wchar_t* reportPath = nullptr;
    HANDLE output = nullptr;

    // application: the program itself, where the command line's first word is not to be
    // searched for. Narrow texts are in the ANSI code page (932 in the test prefixes).
    bool Start(const wchar_t* commandLine, const wchar_t* application = nullptr);
    bool Start(const char* commandLine, const char* application = nullptr);
    // Waits for its end; after timeoutMs ends it with kEndedByForce and returns false.
    bool Finish(DWORD timeoutMs);

    static const DWORD kEndedByForce = 99;
    DWORD id = 0;
    HANDLE handle = nullptr; // while it runs
    DWORD exitCode = 0;

private:
    HANDLE thread_ = nullptr;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
};

// Runs a command line to its end, at most timeoutMs, with what it writes to its standard
// output and error collected in output (at most size - 1 bytes, line ends as LF). True when
// it started and ended in time; exitCode gets its exit code.
bool RunCollecting(const char* commandLine, DWORD timeoutMs, DWORD* exitCode, char* output,
                   DWORD size, const char* application = nullptr);

// The platform's regsvr32.exe from the system folder, as the setup program runs it, with
// switches (such as "/s /u") on a DLL; its exit code, ~0u when it did not start or end
// within a minute.
DWORD RunRegsvr32(const char* switches, const char* dll);
