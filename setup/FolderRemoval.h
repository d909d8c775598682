// Removing a whole folder tree: list every entry below the root, sort the list so that
// everything inside a folder comes before the folder, then delete in list order.
#pragma once

#include "common/StringBuffer.h"

class StringList;

// Appends the full paths of the entries below root that match pattern (folders without a
// trailing backslash). With descend, subfolders are walked too; with listFolders they are
// listed as well. Folder links (reparse points) are neither walked nor listed.
void ListFolder(const StringBuffer& root, StringList& out, const char* pattern, bool descend,
                bool listFolders);

// Quicksort of items lo to hi (inclusive) in place.
void SortList(StringList& list, int lo, int hi, bool ascending);

// An empty buffer is smaller than any non-empty one; others compare with lstrcmpA.
bool IsGreater(const StringBuffer& a, const StringBuffer& b);
bool IsLess(const StringBuffer& a, const StringBuffer& b);

// 1 when every entry below the folder and the folder itself were removed, else 0.
// File attributes are never changed; an empty folder path and a folder that is itself a
// link remove nothing, and links inside the tree stay (with the folders that hold them).
int RemoveFolderTree(const StringBuffer& folder);
