// Existence tests through the platform's directory search, and the trailing backslash
// of a folder path. The search takes the path as a pattern: wildcards match.
#include "common/PathHelpers.h"
#include "common/StringBuffer.h"

#include <windows.h>
#include <string.h>

bool EndsWithBackslash(const char* text)
{
    if (text == nullptr)
        return false;
    bool last = false;
    for (const char* p = text; *p != '\0'; ) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            last = false;
            p += 2;
        } else {
            last = (*p == '\\');
            ++p;
        }
    }
    return last;
}

bool IsInsideFolder(const char* path, const char* folder)
{
    if (path == nullptr || !EndsWithBackslash(folder))
        return false;
    size_t length = strlen(folder);
    return strncmp(path, folder, length) == 0 && path[length] != '\0';
}

int PathExists(const char* path)
{
    WIN32_FIND_DATAA findData;
    memset(&findData, 0, sizeof(findData));
    HANDLE search = FindFirstFileA(path, &findData);
    int found = (search != NULL && search != INVALID_HANDLE_VALUE) ? 1 : 0;
    if (found)
        FindClose(search);
    return found;
}

// A trailing backslash is set aside for the search (the search finds nothing with one);
// a drive root such as "R:\" or "R:" has no entry of its own and is asked for its
// attributes instead.
int IsFolder(char* path)
{
    if (!path || !path[0])
        return 0;
    size_t length = strlen(path);
    bool removed = false;
    if (EndsWithBackslash(path)) {
        path[length - 1] = '\0';
        removed = true;
    }
    if (lstrlenA(path) == 2 && path[1] == ':') {
        char root[4] = {path[0], ':', '\\', '\0'};
        DWORD attributes = GetFileAttributesA(root);
        if (removed)
            path[length - 1] = '\\';
        return (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ? 1 : 0;
    }
    WIN32_FIND_DATAA findData;
    memset(&findData, 0, sizeof(findData));
    HANDLE search = FindFirstFileA(path, &findData);
    int folder = 0;
    if (search != NULL && search != INVALID_HANDLE_VALUE) {
        folder = (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        FindClose(search);
    }
    if (removed)
        path[length - 1] = '\\';
    return folder;
}

void EnsureTrailingBackslash(StringBuffer& buffer)
{
    if (!EndsWithBackslash(buffer.data))
        buffer.AppendChar('\\');
}
