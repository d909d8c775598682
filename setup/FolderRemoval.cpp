// Removing a folder tree: every path below the root is listed first, the list is sorted in
// descending order so that each entry comes before the folder holding it, and the entries
// are then deleted one by one, the root last. Attributes are never changed.
#include "setup/FolderRemoval.h"

#include <windows.h>

#include "common/PathHelpers.h"
#include "setup/StringList.h"

void ListFolder(const StringBuffer& root, StringList& out, const char* pattern, bool descend,
                bool listFolders)
{
    StringList pending;
    pending.Add(root);
    StringBuffer folder;
    StringBuffer patternText;
    patternText.Assign(pattern);

    while (pending.count > 0) {
        pending.TakeLast(folder);
        if (folder.IsEmpty())
            continue;
        if (!EndsWithBackslash(folder.data))
            folder.Append("\\");

        StringBuffer search = StringBuffer::Concat(folder, patternText);
        WIN32_FIND_DATAA found;
        ZeroMemory(&found, sizeof(found));
        HANDLE finder = FindFirstFileA(search.data, &found);
        if (finder == nullptr || finder == INVALID_HANDLE_VALUE)
            continue;
        do {
            StringBuffer path;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                JoinPath(path, folder.data, found.cFileName);
                out.Add(path);
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A folder link (junction, symbolic link) leads out of the tree. It is neither
                // walked nor listed: removing it may take the folder it points at with it.
            } else if (descend && lstrcmpA(found.cFileName, ".") != 0 &&
                       lstrcmpA(found.cFileName, "..") != 0) {
                JoinPath(path, folder.data, found.cFileName);
                pending.Add(path);
                if (listFolders)
                    out.Add(path);
            }
        } while (FindNextFileA(finder, &found));
        FindClose(finder);
    }
}

static bool IsEmptyText(const StringBuffer& text)
{
    return text.data == nullptr || text.data[0] == '\0';
}

bool IsGreater(const StringBuffer& a, const StringBuffer& b)
{
    if (IsEmptyText(a))
        return false;
    if (IsEmptyText(b))
        return true;
    return lstrcmpA(a.data, b.data) > 0;
}

bool IsLess(const StringBuffer& a, const StringBuffer& b)
{
    if (IsEmptyText(b))
        return false;
    if (IsEmptyText(a))
        return true;
    return lstrcmpA(a.data, b.data) < 0;
}

// Exchanges the texts of two slots without copying them.
static void SwapText(StringBuffer& a, StringBuffer& b)
{
    char* data = a.data;
    int capacity = a.capacity;
    a.data = b.data;
    a.capacity = b.capacity;
    b.data = data;
    b.capacity = capacity;
}

static int PartitionList(StringList& list, int lo, int hi, bool ascending)
{
    StringBuffer* items = list.items;
    int mid = (lo + hi) / 2;
    StringBuffer pivot;
    pivot.Assign(items[mid]);

    int k = lo;
    while (k < mid) {
        bool right = ascending ? IsGreater(items[k], pivot) : IsLess(items[k], pivot);
        if (right) {
            // k takes the text below the pivot, the pivot moves down one slot, and the
            // item takes the pivot's old slot; the new text at k is examined next.
            SwapText(items[k], items[mid - 1]);
            SwapText(items[mid - 1], items[mid]);
            --mid;
        } else {
            ++k;
        }
    }
    int j = hi;
    while (j > mid) {
        bool left = ascending ? IsLess(items[j], pivot) : IsGreater(items[j], pivot);
        if (left) {
            SwapText(items[j], items[mid + 1]);
            SwapText(items[mid + 1], items[mid]);
            ++mid;
        } else {
            --j;
        }
    }
    return mid;
}

void SortList(StringList& list, int lo, int hi, bool ascending)
{
    // The smaller side is sorted by recursion and the larger one in this loop, so the
    // depth stays logarithmic whatever order the folder searches returned.
    while (lo < hi) {
        int m = PartitionList(list, lo, hi, ascending);
        if (m - lo < hi - m) {
            SortList(list, lo, m - 1, ascending);
            lo = m + 1;
        } else {
            SortList(list, m + 1, hi, ascending);
            hi = m - 1;
        }
    }
}

int RemoveFolderTree(const StringBuffer& folder)
{
    if (IsEmptyText(folder))
        return 0;
    int result = 1;
    StringList list;

    // The root is looked at without its trailing backslash: with it, the platform answers
    // for what a folder link points at instead of for the link.
    StringBuffer root;
    root.Assign(folder);
    int length = root.Length();
    if (length > 3 && EndsWithBackslash(root.data))
        root.data[length - 1] = '\0';

    // A root that is itself a folder link is left alone, link and all.
    DWORD attributes = GetFileAttributesA(root.data);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return 0;
    ListFolder(root, list, "*", true, true);
    SortList(list, 0, list.count - 1, false);

    for (int i = 0; i < list.count; ++i) {
        const char* path = list.items[i].data;
        if (path == nullptr)
            continue;
        if (!DeleteFileA(path) && !RemoveDirectoryA(path))
            result = 0;
    }
    if (!RemoveDirectoryA(root.data))
        result = 0;
    return result;
}
