// Entry point of setup.exe: builds the application record and runs the one role that the
// command line picks. The role's result is the exit code (SetupExitCode).
#include <windows.h>
#include <stdlib.h>

#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

// DLLs that the platform loads by name on the program's behalf (the folder browser, the
// shell's start service) come from the system folder, never from the folder the program
// was started from, which may be a download folder holding anything, nor from the
// temporary folder the uninstallation's copy runs in. The calls came with
// Windows 8 (and updates of Vista and 7) and XP SP1; older systems keep their search order.
static void LimitDllSearch()
{
    typedef BOOL(WINAPI * DefaultDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * DllDirectoryProc)(LPCSTR);
    const DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    DefaultDirectoriesProc setDefaultDirectories = reinterpret_cast<DefaultDirectoriesProc>(
        GetProcAddress(kernel, "SetDefaultDllDirectories"));
    if (setDefaultDirectories != nullptr && setDefaultDirectories(searchSystem32))
        return;
    // Takes at least the current folder out of the search.
    DllDirectoryProc setDllDirectory =
        reinterpret_cast<DllDirectoryProc>(GetProcAddress(kernel, "SetDllDirectoryA"));
    if (setDllDirectory != nullptr)
        setDllDirectory("");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LimitDllSearch();
    SetupApp app(instance);

    // The tail is taken from the platform's command line by the program's own rule rather
    // than from the runtime's, which ends an unquoted program name at a double-byte character.
    const char* tail = CommandTail(GetCommandLineA());
    HANDLE launcher = nullptr;
    StringBuffer installFolder;
    int exitCode = SetupNotUnderstood;
    bool silent = false;
    SetupRole role =
        ChooseRole(tail, __argc, __argv, &launcher, installFolder, &silent, &app.scopeRequest);
    if (silent)
        app.dialogue.BeSilent(role == InstallRole ? installFolder.data : nullptr);
    switch (role) {
    case InstallRole:
        exitCode = RunInstall(app);
        break;
    case UninstallLauncherRole:
        exitCode = StartUninstall(app);
        break;
    case UninstallMainRole:
        exitCode =
            RunUninstall(app, launcher, installFolder.data != nullptr ? installFolder.data : "");
        break;
    case NoRole:
        break;
    }
    return app.dialogue.Outcome(exitCode);
}
