// The rename action of ChangeName: splits the dragged item's path, asks for the new name
// and, on OK, hands a transfer request to a thread of its own; the same steps on the ANSI
// road and on the NT family's wide road.
#include "ext/ChangeName.h"
#include "ext/ChangeNameDialog.h"
#include "ext/TransferWorker.h"
#include "comserver/ModuleAllocator.h"
#include "common/PathHelpers.h"
#include "common/TextRoad.h"

#include <shellapi.h>
#include <string.h>

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

// A copy of path in a block of its length + 2 zeroed characters: a one-path list as the
// shell's file operation reads it.
template <class Char>
static Char* MakePathList(const TextBuffer<Char>& path)
{
    size_t length = path.Length();
    Char* block = static_cast<Char*>(ModuleAlloc((length + 2) * sizeof(Char)));
    if (block) {
        memset(block, 0, (length + 2) * sizeof(Char));
        memcpy(block, path.data, length * sizeof(Char));
    }
    return block;
}

// One more load reference on this module, or null. The module's path is asked in the
// ANSI form first (the only one the older family carries out); a path that code page 932
// cannot name is asked again in the wide form.
static HMODULE HoldModule()
{
    HMODULE self = serverModule.moduleInstance;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    HMODULE module = (length > 0 && length < MAX_PATH) ? LoadLibraryA(path) : nullptr;
    if (module && module != self) {
        FreeLibrary(module);
        module = nullptr;
    }
    if (!module) {
        WCHAR widePath[MAX_PATH];
        length = GetModuleFileNameW(self, widePath, MAX_PATH);
        module = (length > 0 && length < MAX_PATH) ? LoadLibraryW(widePath) : nullptr;
        if (module && module != self) {
            FreeLibrary(module);
            module = nullptr;
        }
    }
    return module;
}

// Creates the transfer thread for request, which then owns it. The thread holds a module
// lock and a load reference on this module until it has left the module's code.
static void StartTransfer(TransferRequest* request)
{
    HMODULE module = HoldModule();
    if (!module) {
        ReleaseTransferRequest(request);
        return;
    }
    LockModule();
    request->thread = CreateThread(nullptr, 0, TransferThreadProc, request, CREATE_SUSPENDED,
                                   &request->threadId);
    if (request->thread == INVALID_HANDLE_VALUE)
        request->thread = nullptr;
    if (request->thread) {
        if (ResumeThread(request->thread) != static_cast<DWORD>(-1))
            return;
        // A thread that cannot be resumed has not run a single instruction: it is ended
        // here, and what it was to hold is given back, as when it cannot be created. One
        // that cannot even be ended keeps all of it (and so the module) for ever.
        if (!TerminateThread(request->thread, 0))
            return;
    }
    ReleaseTransferRequest(request);
    UnlockModule();
    FreeLibrary(module);
}

HRESULT ChangeName::ExecuteRename(int verb)
{
    if (UseWideRoad())
        RenameOnRoad(wideSourcePath, wideTargetFolder, verb);
    else
        RenameOnRoad(sourcePath, targetFolder, verb);
    return S_OK;
}

// The rename on either road: the object's own source path and drop folder of that road.
template <class Char>
void ChangeName::RenameOnRoad(TextBuffer<Char>& sourcePath, TextBuffer<Char>& targetFolder, int verb)
{
    // The item's own path without a trailing backslash. A drive root "R:\" keeps its
    // backslash: "R:" names the current folder of drive R, not the drive. A double-byte
    // character whose second byte is 0x5C is not a backslash.
    int lastCharacter, lastBackslash;
    ScanPath(sourcePath.data, &lastCharacter, &lastBackslash);
    bool trailing = lastCharacter >= 0 && lastCharacter == lastBackslash;
    bool driveRoot = trailing && lastCharacter == 2 && sourcePath.data[1] == ':';
    if (trailing && !driveRoot)
        sourcePath.data[lastCharacter] = '\0';

    // The name offered: the last component, or a drive root's letter and colon.
    TextBuffer<Char> name;
    name.Assign(sourcePath);
    if (driveRoot) {
        name.Erase(2, 1);
    } else {
        ScanPath(name.data, &lastCharacter, &lastBackslash);
        if (lastBackslash > 0)
            name.Erase(0, lastBackslash + 1);
    }

    ChangeNameDialog<Char> dialog;
    EnsureTrailingBackslash(targetFolder);
    int folder = IsFolder(sourcePath.data);
    dialog.isMove = verb;
    dialog.hasExtension = folder ? 0 : 1;
    dialog.name.Assign(name);
    dialog.destinationFolder.Assign(targetFolder);

    if (dialog.Run(serverModule.moduleInstance, GetDesktopWindow())) {
        TextBuffer<Char> destination;
        destination.Assign(targetFolder);
        destination.Append(dialog.name);
        // Out of memory the join can leave the destination empty or holding the name
        // alone, which the shell would take in the host's current folder: only a path
        // inside the drop folder is transferred.
        TransferRequest* request = nullptr;
        if (IsInsideFolder(destination.data, targetFolder.data))
            request = static_cast<TransferRequest*>(ModuleAlloc(sizeof(TransferRequest)));
        if (request) {
            memset(request, 0, sizeof(*request));
            request->operation = verb == 0 ? FO_COPY : FO_MOVE;
            request->wide = sizeof(Char) == sizeof(wchar_t);
            request->fromPaths = MakePathList(sourcePath);
            request->toPaths = MakePathList(destination);
            if (request->fromPaths && request->toPaths)
                StartTransfer(request);
            else
                ReleaseTransferRequest(request);
        }
        destination.Free();
    }
    dialog.Reset();
    name.Free();
}
