// Entry point of setup.exe: builds the application record and runs the one role that the
// command line picks. The role's result is the exit code (SetupExitCode).
#include <windows.h>
#include <stdlib.h>

#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    SetupApp app(instance);

    // The tail is taken from the platform's command line by the program's own rule rather
    // than from the runtime's, which ends an unquoted program name at a double-byte character.
    const char* tail = CommandTail(GetCommandLineA());
    HANDLE launcher = nullptr;
    StringBuffer installFolder;
    int exitCode = SetupNotUnderstood;
    switch (ChooseRole(tail, __argc, __argv, &launcher, installFolder)) {
    case InstallRole:
        exitCode = RunInstall(app);
        break;
    case UninstallLauncherRole:
        exitCode = StartUninstall(app);
        break;
    case UninstallMainRole:
        exitCode = RunUninstall(app, launcher, installFolder.data != nullptr ? installFolder.data : "");
        break;
    case NoRole:
        break;
    }
    installFolder.Free();
    return exitCode;
}
