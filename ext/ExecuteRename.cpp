// The rename action of ChangeName: splits the dragged item's path, asks for the new name
// and, on OK, hands the copy or move to the transfer worker; the same steps on the ANSI
// road and on the NT family's wide road.
#include "ext/ChangeName.h"
#include "ext/ChangeNameDialog.h"
#include "ext/TransferWorker.h"
#include "common/PathHelpers.h"
#include "common/TextRoad.h"

#include <shellapi.h>

// The offset of the last character of text, stepping over double-byte characters on the
// ANSI road (-1 for an empty or missing text), and of its last backslash (-1 when there
// is none). Paths come in the ANSI code page there, so its lead bytes are the ones
// stepped over, as in every other path walk; a second byte is never taken for a backslash.
template <class Char>
static void ScanPath(const Char* text, int* lastCharacter, int* lastBackslash)
{
    *lastCharacter = -1;
    *lastBackslash = -1;
    for (const Char* p = text; p && *p != 0; p = NextChar(p)) {
        *lastCharacter = static_cast<int>(p - text);
        if (*p == '\\')
            *lastBackslash = *lastCharacter;
    }
}

// The item's own path: a trailing backslash is taken off. A drive root "R:\" keeps its
// backslash: "R:" names the current folder of drive R, not the drive. A double-byte
// character whose second byte is 0x5C is not a backslash. True for a drive root.
template <class Char>
static bool StripTrailingBackslash(TextBuffer<Char>& path)
{
    int lastCharacter, lastBackslash;
    ScanPath(path.data, &lastCharacter, &lastBackslash);
    bool trailing = lastCharacter >= 0 && lastCharacter == lastBackslash;
    bool driveRoot = trailing && lastCharacter == 2 && path.data[1] == ':';
    if (trailing && !driveRoot)
        path.data[lastCharacter] = '\0';
    return driveRoot;
}

// The name the dialog offers: the path's last component, or a drive root's letter and colon.
template <class Char>
static void OfferedName(const TextBuffer<Char>& path, bool driveRoot, TextBuffer<Char>& name)
{
    name.Assign(path);
    if (driveRoot) {
        name.Erase(2, 1);
        return;
    }
    int lastCharacter, lastBackslash;
    ScanPath(name.data, &lastCharacter, &lastBackslash);
    if (lastBackslash > 0)
        name.Erase(0, lastBackslash + 1);
}

// The transfer of source into folder (ending in a backslash) under newName. Out of memory
// the join can leave the destination empty or holding the name alone, which the shell
// would take in the host's current folder: only a path inside the drop folder is transferred.
template <class Char>
static void TransferUnderNewName(const TextBuffer<Char>& source, const TextBuffer<Char>& folder,
                                 const TextBuffer<Char>& newName, UINT operation)
{
    TextBuffer<Char> destination;
    destination.Assign(folder);
    destination.Append(newName);
    if (IsInsideFolder(destination.data, folder.data))
        StartTransfer(operation, source, destination);
}

HRESULT ChangeName::ExecuteRename(int verb)
{
    if (UseWideRoad())
        RenameOnRoad(wideSourcePath, wideTargetFolder, verb);
    else
        RenameOnRoad(sourcePath, targetFolder, verb);
    return S_OK;
}

// The rename on either road, on the object's own source path and drop folder of that
// road: both keep the change made here (no trailing backslash, one trailing backslash).
template <class Char>
void ChangeName::RenameOnRoad(TextBuffer<Char>& sourcePath, TextBuffer<Char>& targetFolder,
                              int verb)
{
    bool driveRoot = StripTrailingBackslash(sourcePath);
    EnsureTrailingBackslash(targetFolder);

    ChangeNameDialog<Char> dialog;
    dialog.isMove = verb;
    dialog.isFile = IsFolder(sourcePath.data) ? 0 : 1;
    OfferedName(sourcePath, driveRoot, dialog.name);
    dialog.destinationFolder.Assign(targetFolder);
    if (dialog.Run(serverModule.moduleInstance, GetDesktopWindow()))
        TransferUnderNewName(sourcePath, targetFolder, dialog.name, verb == 0 ? FO_COPY : FO_MOVE);
}
