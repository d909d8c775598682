// The transfer worker: one thread per rename, running the shell's own file operation
// (undo, progress, replace confirmation) so that the file manager is not held up.
#pragma once

#include <windows.h>

// Handed from the shell's thread to the transfer thread, which owns it from the moment
// it is resumed and releases it. Allocated from the module allocator.
struct TransferRequest {
    HANDLE thread;          // closed by the thread itself
    DWORD threadId;
    UINT operation;         // FO_MOVE or FO_COPY
    void* fromPaths;        // the item's path followed by two NULs
    void* toPaths;          // the destination path followed by two NULs
    int wide;               // 1: both paths are UTF-16 (the NT family's road), 0: ANSI
};

// The thread start routine; the parameter is the TransferRequest. The thread holds a
// module lock and a load reference on the module, both taken by whoever created it, and
// gives them back on its way out without returning into the module's code.
DWORD WINAPI TransferThreadProc(LPVOID parameter);
void ReleaseTransferRequest(TransferRequest* request);
