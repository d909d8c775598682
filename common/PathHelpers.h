// Path and file tests shared by pelim and setup. Paths are code page 932 text with
// backslash separators (or, on the extension's wide road, UTF-16); a folder path that is
// to be extended ends in a backslash.
#pragma once

template <class Char>
class TextBuffer;

// True when the last character is a backslash of its own, not the second byte 0x5C of a
// double-byte character such as 表 or ソ.
template <class Char>
bool EndsWithBackslash(const Char* text);

// True when path names an entry inside folder: folder is a text ending in a backslash
// and path is that text followed by at least one more character.
template <class Char>
bool IsInsideFolder(const Char* path, const Char* folder);

// The code page forms, which take a null text as well.
inline bool EndsWithBackslash(const char* text)
{
    return EndsWithBackslash<char>(text);
}
inline bool IsInsideFolder(const char* path, const char* folder)
{
    return IsInsideFolder<char>(path, folder);
}

template <class Char>
int PathExists(const Char* path);
template <class Char>
int IsFolder(Char* path); // changes the text while it runs, then restores it
template <class Char>
void EnsureTrailingBackslash(TextBuffer<Char>& buffer);
void TruncateAfterLastBackslash(char* path); // setup only
class StringBuffer;
// path = folder + name, folder ending in its backslash (a null folder counts as empty). setup only
void JoinPath(StringBuffer& path, const char* folder, const char* name);
