// Existence tests through the platform's directory search, and the trailing backslash
// of a folder path. The search takes the path as a pattern: wildcards match.
#include "common/PathHelpers.h"
#include "common/StringBuffer.h"

#include <windows.h>
#include <string.h>

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

int IsFolder(char* path)
{
    if (!path || !path[0])
        return 0;
    size_t length = strlen(path);
    bool removed = false;
    if (path[length - 1] == '\\') {
        path[length - 1] = '\0';
        removed = true;
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
    int length = buffer.Length();
    if (length == 0 || buffer.data[length - 1] != '\\')
        buffer.AppendChar('\\');
}
