// Files and folders on the scratch drive for the test programs that have no C or C++
// library (the ARM64 ones) and those that do: UTF-16 paths, contents as bytes.
#pragma once

#include <windows.h>

// folder\name in out (MAX_PATH characters); returns out.
wchar_t* JoinPath(wchar_t* out, const wchar_t* folder, const wchar_t* name);
// The file made anew with text as its bytes.
bool WriteFileText(const wchar_t* path, const char* text);
// Up to size - 1 bytes of the file, zero-terminated; their count, -1 when it cannot be read.
int ReadFileText(const wchar_t* path, char* text, int size);
// The folder's entries, "." and ".." not counted.
int CountEntries(const wchar_t* folder);
// The folder emptied by the shell's removal of it and made afresh.
bool MakeEmptyFolder(const wchar_t* folder);
