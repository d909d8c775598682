// Scratch files and folders through the platform's calls alone.
#include "TestFiles.h"

#include <shellapi.h>

wchar_t* JoinPath(wchar_t* out, const wchar_t* folder, const wchar_t* name)
{
    lstrcpyW(out, folder);
    lstrcatW(out, L"\\");
    return lstrcatW(out, name);
}

bool WriteFileText(const wchar_t* path, const char* text)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    bool ok = WriteFile(file, text, lstrlenA(text), &written, nullptr) &&
        written == static_cast<DWORD>(lstrlenA(text));
    CloseHandle(file);
    return ok;
}

int ReadFileText(const wchar_t* path, char* text, int size)
{
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    bool ok = file != INVALID_HANDLE_VALUE && ReadFile(file, text, size - 1, &read, nullptr);
    CloseHandle(file);
    text[read] = 0;
    return ok ? static_cast<int>(read) : -1;
}

int CountEntries(const wchar_t* folder)
{
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinPath(pattern, folder, L"*"), &found);
    int count = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        count += lstrcmpW(found.cFileName, L".") != 0 && lstrcmpW(found.cFileName, L"..") != 0;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return count;
}

bool MakeEmptyFolder(const wchar_t* folder)
{
    wchar_t from[MAX_PATH + 1] = {};
    lstrcpynW(from, folder, MAX_PATH); // double zero-terminated
    SHFILEOPSTRUCTW remove = { nullptr, FO_DELETE, from, nullptr,
                               FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI };
    SHFileOperationW(&remove);
    return CreateDirectoryW(folder, nullptr) != FALSE;
}
