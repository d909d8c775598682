// Deletes a file at once, or has the system delete it at its next start: through
// MoveFileExA on the NT family, through a "NUL=" line in the "rename" section of
// wininit.ini on Windows 95, 98 and Me. A reinstallation takes such deletions back.
#include "setup/DeferredDelete.h"

#include <windows.h>

#include "common/StringBuffer.h"
#include "common/CharWalk.h"
#include "common/PathHelpers.h"
#include "setup/OsVersion.h"

// The path of wininit.ini, found on first use of the file route.
static StringBuffer initFilePath;

static const int sectionLimit = 1000;

// The short (8.3) form of an existing file's path; false when there is none. The real-mode
// start-up that carries out wininit.ini knows only short names, on 95 and on 98 alike.
static bool ShortPathOf(const char* path, StringBuffer& shortPath)
{
    if (!shortPath.Reserve(500))
        return false;
    DWORD length = GetShortPathNameA(path, shortPath.data, 500);
    if (length == 0 || length >= 500) {
        shortPath.Reserve(1);
        return false;
    }
    return true;
}

// Reads the section "rename" of wininit.ini into section (1024 bytes, all zero first) and
// answers where its end is: the index of the first of the two zeros that end it, 0 for an
// empty section. -1 when the file cannot be named, or the section was cut at the read
// limit or has no end within it: such a section is never written back.
static int ReadRenameSection(StringBuffer& section)
{
    if (initFilePath.IsEmpty()) {
        if (!initFilePath.Reserve(500))
            return -1;
        // Without the Windows folder the name would lead to the root of the current drive.
        UINT length = GetWindowsDirectoryA(initFilePath.data, 500);
        if (length == 0 || length >= 500) {
            // Empty again, so that the next use asks once more instead of taking a cut name.
            initFilePath.Free();
            return -1;
        }
        initFilePath.Append("\\wininit.ini");
    }

    if (!section.Reserve(sectionLimit)) // 1024 bytes, all zero
        return -1;
    DWORD read = GetPrivateProfileSectionA("rename", section.data, sectionLimit, initFilePath.data);
    // The platform reports a section larger than the limit as limit - 2 and cuts it.
    if (read >= static_cast<DWORD>(sectionLimit - 2))
        return -1;
    for (int i = 0; i < sectionLimit; ++i) {
        if (section.data[i] == '\0' && section.data[i + 1] == '\0')
            return i;
    }
    return -1;
}

static const char nulKey[] = "NUL=";

// Moves bytes to a place at or before their own, as the lists below are closed up.
static void CopyDown(char* to, const char* from, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        to[i] = from[i];
}

// Adds "NUL=" + the file's short path as the last line of the section "rename". A file
// without a short path, or a section that leaves too little room for the line or that was
// cut at the read limit, is not written at all: the buffer is never overrun and no line
// already in the file is lost. True when the line was written.
static bool ScheduleInInitFile(const char* path)
{
    StringBuffer shortPath;
    StringBuffer section;
    int end = ShortPathOf(path, shortPath) ? ReadRenameSection(section) : -1;
    bool written = false;
    if (end >= 0) {
        int start = end == 0 ? 0 : end + 1;
        // The line, its terminating zero and the zero that ends the section must all fit.
        int keyLength = sizeof(nulKey) - 1;
        int pathLength = shortPath.Length();
        if (start + keyLength + pathLength + 2 <= section.capacity) {
            CopyMemory(section.data + start, nulKey, keyLength);
            CopyMemory(section.data + start + keyLength, shortPath.data, pathLength);
            written = WritePrivateProfileSectionA("rename", section.data, initFilePath.data) != 0;
        }
    }
    return written;
}

// True when named (a file name as a deletion names it) is path or its short form.
static bool NamesFile(const char* named, const char* path, const StringBuffer& shortPath)
{
    return lstrcmpiA(named, path) == 0 ||
        (!shortPath.IsEmpty() && lstrcmpiA(named, shortPath.data) == 0);
}

// Drops the "NUL=" lines that name the file from the section "rename"; the other lines keep
// their order. True when no such line is left (also when there is no section).
static bool CancelInInitFile(const char* path, const StringBuffer& shortPath)
{
    StringBuffer section;
    int end = ReadRenameSection(section);
    bool found = false;
    // Lines are moved down over the dropped ones, within the same buffer.
    int kept = 0;
    for (int line = 0; end > 0 && line < end;) {
        int length = lstrlenA(section.data + line);
        const char* text = section.data + line;
        bool drop = CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text, 4, nulKey, 4) ==
                CSTR_EQUAL &&
            NamesFile(text + 4, path, shortPath);
        if (drop) {
            found = true;
        } else {
            CopyDown(section.data + kept, text, length + 1);
            kept += length + 1;
        }
        line += length + 1;
    }
    bool cancelled = end >= 0;
    if (found) {
        ZeroMemory(section.data + kept, section.capacity - kept);
        cancelled = WritePrivateProfileSectionA("rename", section.data, initFilePath.data) != 0;
    }
    return cancelled;
}

static const char sessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
static const WCHAR pendingValue[] = L"PendingFileRenameOperations";

// True when the wide name of a pending entry ("\??\" and a path) names the file.
static bool EntryNamesFile(const WCHAR* entry, const char* path, const StringBuffer& shortPath)
{
    if (entry[0] == L'\\' && entry[1] == L'?' && entry[2] == L'?' && entry[3] == L'\\')
        entry += 4;
    char named[1024];
    ZeroMemory(named, sizeof(named));
    return WideCharToMultiByte(CP_ACP, 0, entry, -1, named, sizeof(named) - 1, nullptr, nullptr) !=
        0 &&
        NamesFile(named, path, shortPath);
}

// Drops the deletions of the file from the pending rename list: pairs of a source name and
// an empty target name. The list is read and written in its own wide form, so that other
// programs' names keep every character. True when no such entry is left.
static bool CancelInPendingList(const char* path, const StringBuffer& shortPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, pendingValue, nullptr, &type, nullptr, &size);
    bool cancelled = status == ERROR_FILE_NOT_FOUND;
    StringBuffer list;
    if (status == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        list.Reserve(static_cast<int>(size) + 8) &&
        RegQueryValueExW(key, pendingValue, nullptr, &type, reinterpret_cast<BYTE*>(list.data),
                         &size) == ERROR_SUCCESS) {
        WCHAR* names = reinterpret_cast<WCHAR*>(list.data);
        DWORD count = size / sizeof(WCHAR);
        DWORD kept = 0;
        bool found = false;
        for (DWORD at = 0; at < count && names[at] != L'\0';) {
            DWORD sourceLength = lstrlenW(names + at) + 1;
            DWORD targetLength =
                at + sourceLength < count ? lstrlenW(names + at + sourceLength) + 1 : 1;
            if (targetLength == 1 && EntryNamesFile(names + at, path, shortPath)) {
                found = true;
            } else {
                CopyDown(reinterpret_cast<char*>(names + kept),
                         reinterpret_cast<const char*>(names + at),
                         static_cast<int>((sourceLength + targetLength) * sizeof(WCHAR)));
                kept += sourceLength + targetLength;
            }
            at += sourceLength + targetLength;
        }
        cancelled = true;
        if (found) {
            names[kept] = L'\0';
            cancelled = kept == 0
                ? RegDeleteValueA(key, "PendingFileRenameOperations") == ERROR_SUCCESS
                : RegSetValueExW(key, pendingValue, 0, REG_MULTI_SZ,
                                 reinterpret_cast<const BYTE*>(names),
                                 (kept + 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
        }
    } else if (status == ERROR_SUCCESS) {
        cancelled = type != REG_MULTI_SZ; // not a list the system would carry out
    }
    RegCloseKey(key);
    return cancelled;
}

bool DeleteNowOrAtRestart(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    if (DeleteFileA(path))
        return true;
    if (IsNtPlatform())
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    return ScheduleInInitFile(path);
}

bool CancelDeleteAtRestart(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return true;
    StringBuffer shortPath;
    ShortPathOf(path, shortPath);
    bool cancelled =
        IsNtPlatform() ? CancelInPendingList(path, shortPath) : CancelInInitFile(path, shortPath);
    return cancelled;
}

static const char runOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
static bool logonDeletionPending = false;

bool LogonDeletionPending()
{
    return logonDeletionPending;
}

// Where the last name of a path begins.
static int LastNameOffset(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p = NextChar(p)) {
        if (*p == '\\' && p[1] != '\0')
            name = p + 1;
    }
    return static_cast<int>(name - path);
}

// A name that GetTempFileNameA has just made free in folder: with asFolder a new empty folder
// of that name, otherwise the empty file it creates.
static bool MakeFreeName(const char* folder, bool asFolder, StringBuffer& name)
{
    if (!name.Reserve(MAX_PATH) || GetTempFileNameA(folder, "_del", 0, name.data) == 0)
        return false;
    if (!asFolder)
        return true;
    if (DeleteFileA(name.data) && CreateDirectoryA(name.data, nullptr))
        return true;
    name.Reserve(1);
    return false;
}

// Into a new folder under the temporary folder, where the command removes the folder with the
// file; else beside the file under a free name, which the command deletes. freeName is that
// folder or that name.
static bool MoveOutOfTheWay(const char* path, StringBuffer& command, StringBuffer& freeName)
{
    char tempFolder[MAX_PATH];
    ZeroMemory(tempFolder, sizeof(tempFolder));
    if (GetTempPathA(MAX_PATH, tempFolder) != 0 && MakeFreeName(tempFolder, true, freeName)) {
        StringBuffer moved;
        moved.Format("%s\\%s", freeName.data, path + LastNameOffset(path));
        if (MoveFileExA(path, moved.data, 0)) {
            command.Format("cmd.exe /c rd /s /q \"%s\"", freeName.data);
            return true;
        }
        RemoveDirectoryA(freeName.data);
    }
    StringBuffer beside;
    beside.Assign(path);
    TruncateAfterLastBackslash(beside.data);
    if (!MakeFreeName(beside.data, false, freeName))
        return false;
    if (!MoveFileExA(path, freeName.data, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(freeName.data);
        return false;
    }
    command.Format("cmd.exe /c del /f /q \"%s\"", freeName.data);
    return true;
}

bool DeleteNowOrAtLogon(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    if (DeleteFileA(path) || !PathExists(path))
        return true;
    StringBuffer command, freeName;
    if (!MoveOutOfTheWay(path, command, freeName))
        return false;
    // One value a file, named after the free name it was given.
    StringBuffer valueName;
    valueName.Format("PELIM %s", freeName.data + LastNameOffset(freeName.data));
    HKEY key = nullptr;
    bool recorded =
        RegCreateKeyExA(HKEY_CURRENT_USER, runOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS &&
        RegSetValueExA(key, valueName.data, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.data),
                       command.Length() + 1) == ERROR_SUCCESS;
    if (key != nullptr)
        RegCloseKey(key);
    logonDeletionPending = logonDeletionPending || recorded;
    return recorded;
}
