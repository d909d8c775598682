// InstallScope: for whom an installation is, and so where each of its things goes: for all
// users of the machine (the system folder, the machine's classes and programs list) or for
// the one user who runs setup (the user's own folder, classes and programs list, no rights
// needed). The install and uninstall flows ask it; they do not branch on it step by step.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

struct InstallScope {
    bool forUser;
    // The class key of ChangeName, where the installation records "Version" and "InstFolder",
    // and the root of the programs-list entry.
    HKEY root;
    const char* rootName; // root as a message names it, with its backslash
    const char* classKey; // below root
    // regsvr32.exe's switches: the machine's DllRegisterServer, or the DLL's per-user
    // DllInstall("user").
    const char* registerSwitches;
    const char* unregisterSwitches;
    // How a file in use goes: at the next start of the system (which needs the rights of an
    // administrator) or at the user's next logon; and how such a deletion is taken back.
    bool (*deleteInUse)(const char* path);
    bool (*cancelDeletion)(const char* path);
    // The proposed install folder: a special folder and the folders below it.
    int proposalFolder;
    const char* proposalName;
};

extern const InstallScope machineScope;
extern const InstallScope userScope;

// What the command line asked for: nothing (an interactive run asks where the rights are
// missing; a silent one installs for the machine), "/ALLUSERS" or "/CURRENTUSER".
enum ScopeRequest { AnyScope, MachineScopeRequested, UserScopeRequested };

// True where the system merges the user's classes into HKEY_CLASSES_ROOT and the file
// manager finds a handler registered for the user alone: Windows 2000 and later. Not on
// NT 4.0 and Windows 95, 98 and Me.
bool HasUserClasses();

// The proposal for an installation of the scope: its special folder + its folder name.
void ProposeInstallFolder(const InstallScope& scope, StringBuffer& folder);

// The installation whose install folder this is: the user's when the user's programs-list
// entry names it, otherwise the machine's.
const InstallScope& ScopeOfInstallFolder(const char* folder);

// The install folder a programs-list entry names ("InstallLocation", or the folder of the
// setup.exe its "UninstallString" runs); empty when the scope has no entry.
void ReadEntryFolder(const InstallScope& scope, StringBuffer& folder);
