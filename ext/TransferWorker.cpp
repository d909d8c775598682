// The transfer thread: one shell file operation for its request (SHFileOperationW on the
// wide road, SHFileOperationA on the ANSI road), then the request is released and the
// thread leaves the module through FreeLibraryAndExitThread, so the module cannot be
// unloaded while its code still runs. The thread is started here too, suspended until
// its handle is in the request it is to close.
#include "ext/TransferWorker.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"
#include "common/TextRoad.h"

#include <string.h>

// Handed from the shell's thread to the transfer thread, which owns it from the moment
// it is resumed and releases it. Allocated from the module allocator.
struct TransferRequest {
    HANDLE thread; // closed by the thread itself
    UINT operation; // FO_MOVE or FO_COPY
    void* fromPaths; // the item's path followed by two NULs
    void* toPaths; // the destination path followed by two NULs
    int wide; // 1: both paths are UTF-16 (the NT family's road), 0: ANSI
};

// Path blocks are wiped before they go back to the allocator, like every text buffer.
template <class Char>
static void FreePathBlock(Char* block)
{
    int length = 0;
    while (block[length])
        ++length;
    SecureZeroMemory(block, (length + 2) * sizeof(Char));
    ModuleFree(block);
}

static void FreePathBlock(void* block, int wide)
{
    if (wide)
        FreePathBlock(static_cast<wchar_t*>(block));
    else
        FreePathBlock(static_cast<char*>(block));
}

static void ReleaseTransferRequest(TransferRequest* request)
{
    if (!request)
        return;
    if (request->thread) {
        CloseHandle(request->thread);
        request->thread = nullptr;
    }
    if (request->fromPaths) {
        FreePathBlock(request->fromPaths, request->wide);
        request->fromPaths = nullptr;
    }
    if (request->toPaths) {
        FreePathBlock(request->toPaths, request->wide);
        request->toPaths = nullptr;
    }
    request->operation = 0;
    ModuleFree(request);
}

// One operation description of the road's form, filled the same way on both roads.
template <class Operation>
static void RunFileOperation(const TransferRequest* request)
{
    Operation operation;
    memset(&operation, 0, sizeof(operation));
    operation.hwnd = GetDesktopWindow();
    operation.wFunc = request->operation;
    operation.pFrom = static_cast<decltype(operation.pFrom)>(request->fromPaths);
    operation.pTo = static_cast<decltype(operation.pTo)>(request->toPaths);
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
    SHFileOperationT(&operation);
}

// The thread start routine; the parameter is the TransferRequest. The thread holds a
// module lock and a load reference on the module, both taken by StartThread, and gives
// them back on its way out without returning into the module's code.
static DWORD WINAPI TransferThreadProc(LPVOID parameter)
{
    TransferRequest* request = static_cast<TransferRequest*>(parameter);
    if (!request)
        return 0;

    if (request->wide)
        RunFileOperation<SHFILEOPSTRUCTW>(request);
    else
        RunFileOperation<SHFILEOPSTRUCTA>(request);

    ReleaseTransferRequest(request);
    UnlockModule();
    FreeLibraryAndExitThread(serverModule.moduleInstance, 0);
    return 0;
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
static void StartThread(TransferRequest* request)
{
    HMODULE module = HoldModule();
    if (!module) {
        ReleaseTransferRequest(request);
        return;
    }
    LockModule();
    // The identifier is not used, but Windows 95, 98 and Me refuse a thread without a
    // place to put it.
    DWORD threadId;
    request->thread =
        CreateThread(nullptr, 0, TransferThreadProc, request, CREATE_SUSPENDED, &threadId);
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

template <class Char>
void StartTransfer(UINT operation, const TextBuffer<Char>& from, const TextBuffer<Char>& to)
{
    TransferRequest* request = static_cast<TransferRequest*>(ModuleAlloc(sizeof(TransferRequest)));
    if (!request)
        return;
    memset(request, 0, sizeof(*request));
    request->operation = operation;
    request->wide = sizeof(Char) == sizeof(wchar_t);
    request->fromPaths = MakePathList(from);
    request->toPaths = MakePathList(to);
    if (request->fromPaths && request->toPaths)
        StartThread(request);
    else
        ReleaseTransferRequest(request);
}

template void StartTransfer<char>(UINT, const TextBuffer<char>&, const TextBuffer<char>&);
template void StartTransfer<wchar_t>(UINT, const TextBuffer<wchar_t>&, const TextBuffer<wchar_t>&);
