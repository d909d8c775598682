// The transfer thread: one shell file operation for its request (SHFileOperationW on the
// wide road, SHFileOperationA on the ANSI road), then the request is released and the
// thread leaves the module through FreeLibraryAndExitThread, so the module cannot be
// unloaded while its code still runs.
#include "ext/TransferWorker.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"
#include "common/TextRoad.h"

#include <string.h>

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

DWORD WINAPI TransferThreadProc(LPVOID parameter)
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

void ReleaseTransferRequest(TransferRequest* request)
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
    request->threadId = 0;
    request->operation = 0;
    ModuleFree(request);
}
