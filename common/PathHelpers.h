// Path and file tests shared by pelim and setup. Paths are code page 932 text with
// backslash separators; a folder path that is to be extended ends in a backslash.
#pragma once

class StringBuffer;

// True when the last character is a backslash of its own, not the second byte 0x5C of a
// double-byte character such as 表 or ソ.
bool EndsWithBackslash(const char* text);

// True when path names an entry inside folder: folder is a text ending in a backslash
// and path is that text followed by at least one more character.
bool IsInsideFolder(const char* path, const char* folder);

int PathExists(const char* path);
int IsFolder(char* path);                      // changes the text while it runs, then restores it
void EnsureTrailingBackslash(StringBuffer& buffer);
void TruncateAfterLastBackslash(char* path);   // setup only
