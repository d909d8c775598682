// Tests that keep the install and uninstall flows from touching what is not theirs: a
// setup program started from its own install folder, an uninstall told to remove some
// other folder, a drive root or the Windows folder.
#include "setup/FolderGuard.h"

#include <windows.h>

#include "common/CharWalk.h"
#include "common/PathHelpers.h"

// The full path name of a file or folder, with a trailing backslash when asFolder is set.
static void FullPathOf(const char* path, StringBuffer& out, bool asFolder)
{
    out.Reserve(MAX_PATH * 2);
    if (GetFullPathNameA(path, MAX_PATH * 2, out.data, nullptr) == 0 || out.IsEmpty())
        out.Assign(path);
    if (asFolder)
        EnsureTrailingBackslash(out);
}

// Opens a file or folder for nothing but its identity. A trailing backslash is dropped
// (but for a drive root), since not every platform opens a folder spelt with one.
static HANDLE OpenForIdentity(const char* path)
{
    StringBuffer name;
    name.Assign(path);
    int length = name.Length();
    if (length > 3 && EndsWithBackslash(name.data))
        name.Erase(length - 1, 1);
    HANDLE file = CreateFileA(name.data, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return file;
}

// Case-insensitive comparison of the first count bytes of two texts in the system's code page.
static bool SameText(const char* a, const char* b, int count)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, count, b, count) == CSTR_EQUAL;
}

bool SameFileOrFolder(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr || a[0] == '\0' || b[0] == '\0')
        return false;

    HANDLE fileA = OpenForIdentity(a);
    HANDLE fileB = OpenForIdentity(b);
    bool known = false;
    bool same = false;
    if (fileA != INVALID_HANDLE_VALUE && fileB != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION infoA, infoB;
        if (GetFileInformationByHandle(fileA, &infoA) &&
            GetFileInformationByHandle(fileB, &infoB)) {
            known = true;
            same = infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
                infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
                infoA.nFileIndexLow == infoB.nFileIndexLow;
        }
    }
    if (fileA != INVALID_HANDLE_VALUE)
        CloseHandle(fileA);
    if (fileB != INVALID_HANDLE_VALUE)
        CloseHandle(fileB);
    if (known)
        return same;

    StringBuffer fullA, fullB;
    FullPathOf(a, fullA, true);
    FullPathOf(b, fullB, true);
    int length = fullA.Length();
    same = length == fullB.Length() && SameText(fullA.data, fullB.data, length);
    return same;
}

bool FolderContains(const char* folder, const char* inner)
{
    StringBuffer outer, full;
    FullPathOf(folder, outer, true);
    FullPathOf(inner, full, true);
    int length = outer.Length();
    bool contains =
        length > 0 && full.Length() >= length && SameText(outer.data, full.data, length);
    return contains;
}

// A drive root (X:\) or the root of a network share (\\server\share\).
static bool IsRootFolder(const StringBuffer& full)
{
    int length = full.Length();
    if (length <= 3)
        return true;
    if (full.data[0] != '\\' || full.data[1] != '\\')
        return false;
    int separators = 0;
    for (const char* p = full.data + 2; *p != '\0'; p = NextChar(p)) {
        if (*p == '\\')
            ++separators;
    }
    return separators <= 2;
}

bool IsProtectedFolder(const char* folder)
{
    if (folder == nullptr || folder[0] == '\0')
        return true;
    StringBuffer full;
    FullPathOf(folder, full, true);
    bool isProtected = IsRootFolder(full);

    if (!isProtected) {
        StringBuffer platformFolder(MAX_PATH);
        GetWindowsDirectoryA(platformFolder.data, MAX_PATH);
        isProtected = platformFolder.IsEmpty() || FolderContains(full.data, platformFolder.data);
        platformFolder.Reserve(MAX_PATH);
        GetSystemDirectoryA(platformFolder.data, MAX_PATH);
        isProtected = isProtected || platformFolder.IsEmpty() ||
            FolderContains(full.data, platformFolder.data);
    }
    return isProtected;
}

bool IsAbsolutePath(const char* path)
{
    if (path == nullptr)
        return false;
    char letter = path[0];
    if (((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && path[1] == ':' &&
        path[2] == '\\')
        return true;
    return path[0] == '\\' && path[1] == '\\' && path[2] != '\0' && path[2] != '\\';
}
