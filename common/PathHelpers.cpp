// Existence tests through the platform's directory search, and the trailing backslash
// of a folder path, for both roads of text. The search takes the path as a pattern:
// wildcards match.
#include "common/PathHelpers.h"
#include "common/StringBuffer.h"
#include "common/TextRoad.h"

#include <string.h>

namespace {

template <class Char>
struct FindData;
template <>
struct FindData<char> {
    typedef WIN32_FIND_DATAA Type;
};
template <>
struct FindData<wchar_t> {
    typedef WIN32_FIND_DATAW Type;
};

template <class Char>
int TextLength(const Char* text)
{
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

} // namespace

template <class Char>
bool EndsWithBackslash(const Char* text)
{
    if (text == nullptr)
        return false;
    bool last = false;
    for (const Char* p = text; *p != 0; p = NextChar(p))
        last = (*p == '\\');
    return last;
}

template <class Char>
bool IsInsideFolder(const Char* path, const Char* folder)
{
    if (path == nullptr || !EndsWithBackslash(folder))
        return false;
    int length = TextLength(folder);
    return TextLength(path) > length && memcmp(path, folder, length * sizeof(Char)) == 0;
}

template <class Char>
int PathExists(const Char* path)
{
    typename FindData<Char>::Type findData;
    memset(&findData, 0, sizeof(findData));
    HANDLE search = FindFirstFileT(path, &findData);
    int found = (search != NULL && search != INVALID_HANDLE_VALUE) ? 1 : 0;
    if (found)
        FindClose(search);
    return found;
}

// A trailing backslash is set aside for the search (the search finds nothing with one);
// a drive root such as "R:\" or "R:" has no entry of its own and is asked for its
// attributes instead.
template <class Char>
int IsFolder(Char* path)
{
    if (!path || !path[0])
        return 0;
    int length = TextLength(path);
    bool removed = false;
    if (EndsWithBackslash(path)) {
        path[length - 1] = 0;
        removed = true;
    }
    if (TextLength(path) == 2 && path[1] == ':') {
        Char root[4] = { path[0], ':', '\\', 0 };
        DWORD attributes = GetFileAttributesT(root);
        if (removed)
            path[length - 1] = '\\';
        return (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            ? 1
            : 0;
    }
    typename FindData<Char>::Type findData;
    memset(&findData, 0, sizeof(findData));
    HANDLE search = FindFirstFileT(path, &findData);
    int folder = 0;
    if (search != NULL && search != INVALID_HANDLE_VALUE) {
        folder = (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        FindClose(search);
    }
    if (removed)
        path[length - 1] = '\\';
    return folder;
}

template <class Char>
void EnsureTrailingBackslash(TextBuffer<Char>& buffer)
{
    if (!EndsWithBackslash(buffer.data))
        buffer.AppendChar('\\');
}

void JoinPath(StringBuffer& path, const char* folder, const char* name)
{
    path.Assign(folder != nullptr ? folder : "");
    path.Append(name);
}

template bool EndsWithBackslash(const char*);
template bool IsInsideFolder(const char*, const char*);
template int PathExists(const char*);
template int IsFolder(char*);
template void EnsureTrailingBackslash(TextBuffer<char>&);

template bool EndsWithBackslash(const wchar_t*);
template bool IsInsideFolder(const wchar_t*, const wchar_t*);
template int PathExists(const wchar_t*);
template int IsFolder(wchar_t*);
template void EnsureTrailingBackslash(TextBuffer<wchar_t>&);
