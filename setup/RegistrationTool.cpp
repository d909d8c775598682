// regsvr32.exe started by its full path, waited for, its exit code read.
#include "setup/RegistrationTool.h"

#include <windows.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "common/StringBuffer.h"

static const char registrationTool[] = "regsvr32.exe";

bool RunRegistrationTool(const char* switches, const char* dllPath, const char* workingFolder,
                         const char* toolFolder)
{
    StringBuffer tool(MAX_PATH);
    if (toolFolder != nullptr)
        tool.Assign(toolFolder);
    else
        GetSystemDirectoryA(tool.data, MAX_PATH);
    EnsureTrailingBackslash(tool);
    tool.Append(registrationTool);

    StringBuffer commandLine;
    commandLine.Format(strchr(dllPath, ' ') != nullptr ? "%s %s \"%s\"" : "%s %s %s",
                       registrationTool, switches, dllPath);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    bool done = false;
    if (CreateProcessA(tool.data, commandLine.data, nullptr, nullptr, FALSE, 0, nullptr,
                       workingFolder, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 1;
        done = GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == 0;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return done;
}
