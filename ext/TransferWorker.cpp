// The transfer thread: one SHFileOperationA for its request, then the request is
// released and the thread leaves the module through FreeLibraryAndExitThread, so the
// module cannot be unloaded while its code still runs.
#include "ext/TransferWorker.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

#include <shellapi.h>
#include <string.h>

DWORD WINAPI TransferThreadProc(LPVOID parameter)
{
    TransferRequest* request = static_cast<TransferRequest*>(parameter);
    if (!request)
        return 0;

    SHFILEOPSTRUCTA operation;
    memset(&operation, 0, sizeof(operation));
    operation.hwnd = GetDesktopWindow();
    operation.wFunc = request->operation;
    operation.pFrom = request->fromPaths;
    operation.pTo = request->toPaths;
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
    SHFileOperationA(&operation);

    ReleaseTransferRequest(request);
    UnlockModule();
    FreeLibraryAndExitThread(serverModule.moduleInstance, 0);
    return 0;
}

// Path blocks are wiped before they go back to the allocator, like every text buffer.
static void FreePathBlock(char* block)
{
    SecureZeroMemory(block, lstrlenA(block) + 2);
    ModuleFree(block);
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
        FreePathBlock(request->fromPaths);
        request->fromPaths = nullptr;
    }
    if (request->toPaths) {
        FreePathBlock(request->toPaths);
        request->toPaths = nullptr;
    }
    request->threadId = 0;
    request->operation = 0;
    ModuleFree(request);
}
