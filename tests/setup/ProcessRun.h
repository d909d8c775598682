// Starts a program of the test prefix with a given command line, collects what it writes
// to its standard output (line ends as LF) and waits a limited time for its end.
#pragma once

#include <windows.h>
#include <string>

struct ProcessResult {
    bool started;
    bool ended; // false: the time limit passed and the process was ended
    DWORD exitCode;
    std::string output;
};

ProcessResult RunProcess(const char* application, const std::string& commandLine, DWORD timeoutMs);
