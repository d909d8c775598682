// Paths of the shell's special folders. When the shell cannot give the Program Files
// folder, the "ProgramFilesDir" value of the registry is used if that folder exists.
#include "setup/FolderQueries.h"

#include <windows.h>
#include <shlobj.h>

#include "common/PathHelpers.h"
#include "setup/RegKey.h"

bool GetSpecialFolder(StringBuffer& out, int folder)
{
    out.Reserve(500);
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr)
        return false;

    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(GetDesktopWindow(), folder, &list)) &&
        list != nullptr) {
        BOOL hasPath = out.data != nullptr && SHGetPathFromIDListA(list, out.data);
        allocator->Free(list);
        allocator->Release();
        // A folder without a file-system path (My Computer, say) gives no path at all; a
        // lone backslash would name the root of the current drive.
        if (!hasPath || out.IsEmpty()) {
            out.Reserve(500);
            return false;
        }
        if (!EndsWithBackslash(out.data))
            out.Append("\\");
        return true;
    }
    allocator->Release();
    if (folder != CSIDL_PROGRAM_FILES)
        return false;
    return ReadProgramFilesDir(out);
}

bool ReadProgramFilesDir(StringBuffer& out)
{
    StringBuffer savedDirectory(500);
    if (savedDirectory.data != nullptr)
        GetCurrentDirectoryA(500, savedDirectory.data);

    bool found = false;
    RegKey currentVersion;
    if (currentVersion.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                            RegKey::ReadAccess) &&
        currentVersion.ReadString("ProgramFilesDir", out) && !out.IsEmpty()) {
        // (An empty value would become a lone backslash: the root of the current drive.)
        if (!EndsWithBackslash(out.data))
            out.Append("\\");
        // Making the folder current tests that it exists.
        if (SetCurrentDirectoryA(out.data)) {
            SetCurrentDirectoryA(savedDirectory.data);
            found = true;
        }
    } else {
        out.Reserve(500);
    }
    currentVersion.Close();
    return found;
}
