// Uninstall launcher: what setup.exe does when started with "-U". It confirms, removes the
// uninstall entry, copies the program into the temporary folder and starts the copy with
// an inheritable handle to this process, on whose end the copy waits before it removes
// anything; then this process ends.
#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/InstallFlow.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

static const char uninstallerCaption[] = "PELIM アンインストーラー";
static const char startQuestion[] = "PELIMのアンインストールを開始します.\nよろしいですか？";

static const UINT questionFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_YESNO;  // 0x1034

void StartUninstall(SetupApp& app)
{
    // As with every question of the setup program, only a no stops.
    if (MessageBoxA(app.desktopWindow, startQuestion, uninstallerCaption, questionFlags) == IDNO)
        return;

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallKeyPath);

    char tempFolder[512];
    char tempFile[512];
    char copyName[512];
    ZeroMemory(tempFolder, sizeof(tempFolder));
    ZeroMemory(tempFile, sizeof(tempFile));
    ZeroMemory(copyName, sizeof(copyName));
    GetTempPathA(sizeof(tempFolder), tempFolder);
    GetTempFileNameA(tempFolder, "_tmp", 0, tempFile);
    CopyFileA(app.modulePath.data, tempFile, FALSE);
    wsprintfA(copyName, "%s.exe", tempFile);
    MoveFileA(tempFile, copyName);

    // SYNCHRONIZE for the copy's wait, query rights so that the copy can check that the
    // number it was given names this process.
    HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, GetCurrentProcessId());

    // "<copy>" /MainUninst <handle> <folder>: the folder unquoted with its trailing
    // backslash, everything after the number and its blank.
    StringBuffer commandLine;
    commandLine.Format("\"%s\" /MainUninst %d ", copyName, HandleToLong(self));
    commandLine.Append(app.moduleFolder);

    SetCurrentDirectoryA(tempFolder);

    // CreateProcessA hands the inheritable handle on under the same value (the shell's
    // start service would not); the copy runs hidden in the temporary folder.
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (CreateProcessA(copyName, commandLine.data, nullptr, nullptr, TRUE, 0, nullptr, tempFolder,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    commandLine.Free();
    if (self != nullptr)
        CloseHandle(self);
}
