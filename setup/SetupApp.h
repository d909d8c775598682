// The setup program's application record, handed to every role, and the reading of the
// command line that picks one role per run: install, uninstall launcher or uninstall main.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/Dialogue.h"
#include "setup/InstallScope.h"

class SetupApp {
public:
    HINSTANCE instance; // loads dialog 101
    HWND desktopWindow; // owner of every message box and of the install dialog
    StringBuffer modulePath; // full path of the running program (room for 500)
    StringBuffer moduleFolder; // modulePath cut after its last backslash, backslash kept
    Dialogue dialogue; // how the roles ask and tell: on the screen, or silently
    ScopeRequest scopeRequest; // what the command line asked for
    const InstallScope* scope; // for whom the installation is, once a role has found it

    explicit SetupApp(HINSTANCE instance);

private:
    SetupApp(const SetupApp&) = delete;
    SetupApp& operator=(const SetupApp&) = delete;
};

enum SetupRole {
    NoRole, // any other command tail: nothing runs, nothing is shown
    InstallRole, // empty tail: RunInstall
    UninstallLauncherRole, // "-U": StartUninstall
    UninstallMainRole // "/MainUninst <handle> <folder>": RunUninstall
};

// The command tail: the command line without the program name and the blanks after it.
// A name that begins with a double quote runs to the next double quote; otherwise it ends
// at the first byte of code 32 or less. Bytes 1 to 32 after it are skipped.
const char* CommandTail(const char* commandLine);

// Picks the role for a command tail. argv is the runtime's parsed argument vector
// (argv[1] the first word of the tail, argv[2] the second). For UninstallMainRole the
// launcher's handle value and the rest of the tail after "/MainUninst", the number and one
// blank each are returned; "/MainUninst" not followed by a decimal number (after "/S" in
// the silent form) picks no role.
// An installation takes "[/S] [/ALLUSERS | /CURRENTUSER] [/D=<folder>]", in this order with
// one blank between; scope gets the scope switch (AnyScope without one).
// silent is set for the silent forms: "/S" and "/S /D=<folder>" (installFolder is then the
// rest after "/D=", blanks included, and must be absolute), "-U /S", and the launcher's
// "/MainUninst /S <handle> <folder>".
SetupRole ChooseRole(const char* commandTail, int argc, char** argv, HANDLE* launcher,
                     StringBuffer& installFolder, bool* silent, ScopeRequest* scope = nullptr);
