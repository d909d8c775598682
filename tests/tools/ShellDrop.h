// What a file manager does around a drop, shared by the drop host and the end-to-end tests:
// the shell data object for the dragged items, and the count of the process's threads by
// which the host sees when the handler's transfer threads have ended.
#pragma once

#include <windows.h>
#include <objbase.h>

// The class id of the drop handler.
extern const CLSID kChangeNameClsid;

// A data object for the dragged items, made by their parent folder as the file manager
// makes it (CF_HDROP among its formats). All items share the first one's parent folder.
HRESULT MakeDropDataObject(const wchar_t* const* items, int count, IDataObject** dataObject);

// Threads of the calling process; -1 when they cannot be listed.
int CountOwnThreads();

// Waits, pumping the calling thread's messages, until the process has no more threads
// than baseline. Returns the count it last saw.
int WaitForThreadCount(int baseline, DWORD timeoutMs);
