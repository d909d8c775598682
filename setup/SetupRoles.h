// The three roles of the setup program; the command line picks one per run.
#pragma once

#include <windows.h>

class SetupApp;

// setup.exe's exit codes.
enum SetupExitCode {
    SetupSucceeded = 0,       // installed, or the uninstallation handed over
    SetupFailed = 1,          // a failure was reported
    SetupCancelled = 2,       // the user answered no or closed the install folder dialog
    SetupNotUnderstood = 3    // a command line that picks no role: nothing was done
};

// Started without arguments: installs or upgrades the extension.
int RunInstall(SetupApp& app);

// Started with "-U": confirms, removes the uninstall entry and hands over to a temporary
// copy of the program, which it starts with its own process handle and folder.
void StartUninstall(SetupApp& app);

// The temporary copy: waits for the launcher process, then removes the installation.
// launcher is the handle value from the command line (inherited from the launcher);
// installFolder is the rest of the command tail, the folder with its trailing backslash.
void RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder);
