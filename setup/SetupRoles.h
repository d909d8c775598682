// The three roles of the setup program; the command line picks one per run, and the role's
// result is the program's exit code.
#pragma once

#include <windows.h>

class SetupApp;

// setup.exe's exit codes (the README's table lists the same).
enum SetupExitCode {
    SetupSucceeded = 0, // installed; uninstall handed over, or finished with nothing left
    SetupFailed = 1, // a failure was reported, or the uninstallation left something
    SetupCancelled = 2, // the user answered no or closed the install folder dialog
    SetupNotUnderstood = 3, // a command line that picks no role: nothing was done
    SetupRestartRequired = 3010 // a silent upgrade: installed, the platform's "restart required"
};

// Started without arguments: installs or upgrades the extension.
int RunInstall(SetupApp& app);

// Started with "-U": confirms and hands over to a copy of the program in a folder of its
// own under the temporary folder, which it starts with its own process handle and folder.
int StartUninstall(SetupApp& app);

// The temporary copy: waits for the launcher process, then removes the installation.
// launcher is the handle value from the command line (inherited from the launcher);
// installFolder is the rest of the command tail, the folder with its trailing backslash.
int RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder);
