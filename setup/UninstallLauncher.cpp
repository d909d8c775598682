// Uninstall launcher: what setup.exe does when started with "-U". It confirms, copies the
// program into a folder of its own under the temporary folder and starts the copy with an
// inheritable handle to this process, on whose end the copy waits before it removes
// anything (the uninstall entry included); then this process ends. Silent ("-U /S"), it ends
// only once the copy reports the outcome, which is then its exit code.
#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

static const char uninstallerCaption[] = "PELIM アンインストーラー";
static const char startQuestion[] = "PELIMのアンインストールを開始します.\nよろしいですか？";
static const char startFailedMessage[] =
    "アンインストールの準備に失敗しました.\nアンインストールを中止します.";

static const UINT noticeFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_OK;       // 0x1030
static const UINT questionFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_YESNO;  // 0x1034

static const Question confirmation = {startQuestion, uninstallerCaption, questionFlags, IDYES, false};

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

int StartUninstall(SetupApp& app)
{
    // As with every question of the setup program, only a no stops.
    if (app.dialogue.Ask(confirmation) == IDNO)
        return SetupCancelled;

    // The copy gets a folder that this run creates: a name that GetTempFileNameA has just
    // found free, made a folder. Nothing can lie beside the copy there for it to load.
    char tempFolder[512];
    char copyFolder[512];
    char copyName[512];
    ZeroMemory(tempFolder, sizeof(tempFolder));
    ZeroMemory(copyFolder, sizeof(copyFolder));
    ZeroMemory(copyName, sizeof(copyName));
    bool madeFolder = GetTempPathA(sizeof(tempFolder), tempFolder) != 0 &&
                      GetTempFileNameA(tempFolder, "_tmp", 0, copyFolder) != 0 &&
                      DeleteFileA(copyFolder) && CreateDirectoryA(copyFolder, nullptr);
    bool ready = false;
    if (madeFolder) {
        wsprintfA(copyName, "%s\\setup.exe", copyFolder);
        ready = CopyFileA(app.modulePath.data, copyName, TRUE) != 0;
    }

    // SYNCHRONIZE for the copy's wait, query rights so that the copy can check that the
    // number it was given names this process.
    HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, GetCurrentProcessId());

    // "<copy>" /MainUninst <handle> <folder>: the folder unquoted with its trailing
    // backslash, everything after the number and its blank.
    StringBuffer commandLine;
    commandLine.Format("\"%s\" /MainUninst %s%d ", copyName, app.dialogue.silent ? "/S " : "",
                       HandleToLong(self));
    commandLine.Append(app.moduleFolder);

    // CreateProcessA hands the inheritable handle on under the same value (the shell's
    // start service would not); the copy runs hidden in its own folder.
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // A silent copy gets the writing end of a pipe as its standard output, the only end it
    // inherits.
    HANDLE reportRead = nullptr;
    HANDLE reportWrite = nullptr;
    if (ready && app.dialogue.silent) {
        SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        ready = CreatePipe(&readEnd, &reportWrite, &inherited, 0) &&
                DuplicateHandle(GetCurrentProcess(), readEnd, GetCurrentProcess(), &reportRead, 0,
                                FALSE, DUPLICATE_SAME_ACCESS);
        if (readEnd != nullptr)
            CloseHandle(readEnd);
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = reportWrite;
    }
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    bool started = false;
    if (ready) {
        SetCurrentDirectoryA(copyFolder);
        started = CreateProcessA(copyName, commandLine.data, nullptr, nullptr, TRUE, 0, nullptr,
                                 copyFolder, &startup, &process) != 0;
    }
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    commandLine.Free();
    int outcome = SetupSucceeded;
    if (reportWrite != nullptr)
        CloseHandle(reportWrite);
    if (reportRead != nullptr) {
        // Everything but this program and the folder it lies in is gone when the copy
        // reports; those two go once this process has ended.
        if (started)
            outcome = ReadOutcome(reportRead);
        CloseHandle(reportRead);
    }
    if (self != nullptr)
        CloseHandle(self);
    if (started)
        return outcome;

    // Nothing has been removed: the uninstall entry stays, and so does the installation.
    if (madeFolder) {
        DeleteFileA(copyName);
        RemoveDirectoryA(copyFolder);
    }
    app.dialogue.Tell(startFailedMessage, uninstallerCaption, noticeFlags);
    return SetupFailed;
}
