// Tests that keep the install and uninstall flows from touching what is not theirs: the
// same file or folder under two spellings, and the folders never to be removed.
#pragma once

#include "common/StringBuffer.h"

// True when both paths name the same existing file or folder (same volume and file index),
// or, when either cannot be opened, when their full path names are equal but for case and
// one trailing backslash.
bool SameFileOrFolder(const char* a, const char* b);

// True when removing the folder would take a drive root, the Windows folder, the system
// folder or a folder that holds either of them.
bool IsProtectedFolder(const char* folder);

// True when folder names inner itself or a folder below it (case-insensitive, on full
// path names).
bool FolderContains(const char* folder, const char* inner);

// True for a full path: a drive letter, a colon and a backslash, or a network path
// (\\server\share). A relative folder would depend on whatever folder is current.
bool IsAbsolutePath(const char* path);
