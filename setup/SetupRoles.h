// The three roles of the setup program; the command line picks one per run.
#pragma once

#include <windows.h>

class SetupApp;

// Started without arguments: installs or upgrades the extension.
void RunInstall(SetupApp& app);

// Started with "-U": confirms, removes the uninstall entry and hands over to a temporary
// copy of the program, which it starts with its own process handle and folder.
void StartUninstall(SetupApp& app);

// The temporary copy: waits for the launcher process, then removes the installation.
// launcher is the handle value from the command line (inherited from the launcher);
// installFolder is the rest of the command tail, the folder with its trailing backslash.
void RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder);
