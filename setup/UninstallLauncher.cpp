// Uninstall launcher: what setup.exe does when started with "-U". It confirms, copies the
// program into a folder of its own under the temporary folder and starts the copy with an
// inheritable handle to this process, on whose end the copy waits before it removes
// anything (the uninstall entry included); then this process ends. Silent ("-U /S"), it ends
// only once the copy reports the outcome, which is then its exit code.
#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/ProductNames.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"
#include "UiTexts.h"


static const Question confirmation = { startQuestion, uninstallerCaption, questionFlags, IDYES,
                                       false };

// The silent copy's report: its exit code, written to its standard output, a pipe whose
// other end this process reads. A copy that ends without writing it breaks the pipe.
static int ReadOutcome(HANDLE pipe)
{
    DWORD outcome = SetupFailed;
    DWORD read = 0;
    if (!ReadFile(pipe, &outcome, sizeof(outcome), &read, nullptr) || read != sizeof(outcome))
        outcome = SetupFailed;
    return static_cast<int>(outcome);
}

// The copy's folder and program: a name that GetTempFileNameA has just found free under the
// temporary folder, made a folder, with setup.exe in it. Nothing can lie beside the copy
// there for it to load.
struct UninstallCopy {
    char folder[512];
    char program[512];
};

// True when the folder is made; program is then named too.
static bool MakeCopyFolder(UninstallCopy& copy)
{
    char tempFolder[512];
    ZeroMemory(tempFolder, sizeof(tempFolder));
    ZeroMemory(&copy, sizeof(copy));
    if (GetTempPathA(sizeof(tempFolder), tempFolder) == 0 ||
        GetTempFileNameA(tempFolder, "_tmp", 0, copy.folder) == 0 || !DeleteFileA(copy.folder) ||
        !CreateDirectoryA(copy.folder, nullptr))
        return false;
    wsprintfA(copy.program, "%s\\%s", copy.folder, setupFileName);
    return true;
}

// The pipe of a silent copy's report: the writing end, inherited, becomes the copy's standard
// output; the reading end stays this process's own. False when either cannot be made (the
// ends made so far are handed back to be closed).
static bool OpenReportPipe(HANDLE& reportRead, HANDLE& reportWrite)
{
    SECURITY_ATTRIBUTES inherited = { sizeof(inherited), nullptr, TRUE };
    HANDLE readEnd = nullptr;
    bool made = CreatePipe(&readEnd, &reportWrite, &inherited, 0) &&
        DuplicateHandle(GetCurrentProcess(), readEnd, GetCurrentProcess(), &reportRead, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    if (readEnd != nullptr)
        CloseHandle(readEnd);
    return made;
}

// Starts the copy hidden in its own folder, handing on the inheritable handle self:
// "<copy>" /MainUninst <handle> <folder>, the folder unquoted with its trailing backslash,
// everything after the number and its blank. CreateProcessA hands the inheritable handle on
// under the same value (the shell's start service would not). A silent copy's report becomes
// outcome. True when the copy started.
static bool StartCopy(SetupApp& app, const UninstallCopy& copy, HANDLE self, int& outcome)
{
    StringBuffer commandLine;
    commandLine.Format("\"%s\" /MainUninst %s%d ", copy.program, app.dialogue.silent ? "/S " : "",
                       HandleToLong(self));
    commandLine.Append(app.moduleFolder);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    HANDLE reportRead = nullptr;
    HANDLE reportWrite = nullptr;
    bool ready = !app.dialogue.silent || OpenReportPipe(reportRead, reportWrite);
    if (app.dialogue.silent) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = reportWrite;
    }
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    bool started = false;
    if (ready) {
        SetCurrentDirectoryA(copy.folder);
        started = CreateProcessA(copy.program, commandLine.data, nullptr, nullptr, TRUE, 0, nullptr,
                                 copy.folder, &startup, &process) != 0;
    }
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    outcome = SetupSucceeded;
    if (reportWrite != nullptr)
        CloseHandle(reportWrite);
    if (reportRead != nullptr) {
        // Everything but this program and the folder it lies in is gone when the copy
        // reports; those two go once this process has ended.
        if (started)
            outcome = ReadOutcome(reportRead);
        CloseHandle(reportRead);
    }
    return started;
}

int StartUninstall(SetupApp& app)
{
    // As with every question of the setup program, only a no stops.
    if (app.dialogue.Ask(confirmation) == IDNO)
        return SetupCancelled;

    UninstallCopy copy;
    bool madeFolder = MakeCopyFolder(copy);
    bool ready = madeFolder && CopyFileA(app.modulePath.data, copy.program, TRUE) != 0;
    // SYNCHRONIZE for the copy's wait, query rights so that the copy can check that the
    // number it was given names this process.
    HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, GetCurrentProcessId());
    int outcome = SetupSucceeded;
    bool started = ready && StartCopy(app, copy, self, outcome);
    if (self != nullptr)
        CloseHandle(self);
    if (started)
        return outcome;

    // Nothing has been removed: the uninstall entry stays, and so does the installation.
    if (madeFolder) {
        DeleteFileA(copy.program);
        RemoveDirectoryA(copy.folder);
    }
    app.dialogue.Tell(startFailedMessage, uninstallerCaption, noticeFlags);
    return SetupFailed;
}
