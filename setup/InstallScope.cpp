// The two scopes of an installation, and what tells them apart on a system.
#include "setup/InstallScope.h"

#include <shlobj.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "setup/DeferredDelete.h"
#include "setup/FolderGuard.h"
#include "setup/FolderQueries.h"
#include "setup/OsVersion.h"
#include "setup/ProductNames.h"
#include "setup/RegKey.h"

// A deletion at the user's next logon names the file where it was moved to, never the
// installed path: a file put in place afterwards has nothing to take back.
static bool NoDeletionNamesIt(const char*)
{
    return true;
}

// The machine's classes are read and written under HKEY_LOCAL_MACHINE, not through
// HKEY_CLASSES_ROOT, which shows (and takes writes into) a user's own class of the same name.
const InstallScope machineScope = {
    false,
    HKEY_LOCAL_MACHINE,
    "HKEY_LOCAL_MACHINE\\",
    "SOFTWARE\\Classes\\" CLASS_KEY_PATH,
    "/s",
    "/s /u",
    DeleteNowOrAtRestart,
    CancelDeleteAtRestart,
    CSIDL_PROGRAM_FILES,
    sourceFolderName,
};

// regsvr32.exe's "/n /i:user" calls DllInstall(TRUE, "user") instead of DllRegisterServer.
const InstallScope userScope = {
    true,
    HKEY_CURRENT_USER,
    "HKEY_CURRENT_USER\\",
    "Software\\Classes\\" CLASS_KEY_PATH,
    "/s /n /i:user",
    "/s /u /n /i:user",
    DeleteNowOrAtLogon,
    NoDeletionNamesIt,
    CSIDL_LOCAL_APPDATA,
    "Programs\\pelim\\",
};

bool HasUserClasses()
{
    return IsNtPlatform() && osVersion.dwMajorVersion >= 5;
}

// The shell's folder, or where it has none (the local application data of Windows before
// 2000 has none), the relative name alone, which no silent run and no dialog accepts.
void ProposeInstallFolder(const InstallScope& scope, StringBuffer& folder)
{
    GetSpecialFolder(folder, scope.proposalFolder);
    folder.Append(scope.proposalName);
}

void ReadEntryFolder(const InstallScope& scope, StringBuffer& folder)
{
    folder.Reserve(1);
    RegKey key;
    if (key.Open(scope.root, uninstallKeyPath, RegKey::ReadAccess) &&
        key.ReadString("InstallLocation", folder) && !folder.IsEmpty())
        return;
    StringBuffer program;
    if (!key.ReadString("UninstallString", program))
        return;
    // "<folder>setup.exe" -U, or the same unquoted.
    int length = program.Length();
    if (length > 3 && lstrcmpA(program.data + length - 3, " -U") == 0)
        program.Erase(length - 3, 3);
    if (program.data[0] == '"') {
        program.Erase(0, 1);
        length = program.Length();
        if (length > 0 && program.data[length - 1] == '"')
            program.Erase(length - 1, 1);
    }
    folder.Assign(program);
    TruncateAfterLastBackslash(folder.data);
    if (lstrcmpiA(program.data + folder.Length(), setupFileName) != 0)
        folder.Reserve(1);
}

const InstallScope& ScopeOfInstallFolder(const char* folder)
{
    StringBuffer userFolder;
    ReadEntryFolder(userScope, userFolder);
    return !userFolder.IsEmpty() && SameFileOrFolder(userFolder.data, folder) ? userScope
                                                                              : machineScope;
}
