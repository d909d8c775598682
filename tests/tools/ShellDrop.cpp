// The shell's side of a drop: data objects for dragged items, and thread counts.
#include "ShellDrop.h"

#include <shlobj.h>
#include <tlhelp32.h>

const CLSID kChangeNameClsid = {
    0x6D9CAEAC, 0x7AC7, 0x46CD, { 0x97, 0xB8, 0x28, 0xCB, 0x76, 0xA4, 0x73, 0xC0 }
};

HRESULT MakeDropDataObject(const wchar_t* const* items, int count, IDataObject** dataObject)
{
    *dataObject = nullptr;
    if (count < 1)
        return E_INVALIDARG;
    PIDLIST_ABSOLUTE* absolute = new PIDLIST_ABSOLUTE[count]();
    PCUITEMID_CHILD* children = new PCUITEMID_CHILD[count]();
    HRESULT result = S_OK;
    for (int i = 0; i < count && SUCCEEDED(result); ++i) {
        result = SHParseDisplayName(items[i], nullptr, &absolute[i], 0, nullptr);
        if (SUCCEEDED(result))
            children[i] = ILFindLastID(absolute[i]);
    }
    IShellFolder* parent = nullptr;
    if (SUCCEEDED(result)) {
        result = SHBindToParent(absolute[0], IID_IShellFolder, reinterpret_cast<void**>(&parent),
                                nullptr);
    }
    if (SUCCEEDED(result)) {
        result = parent->GetUIObjectOf(nullptr, count, children, IID_IDataObject, nullptr,
                                       reinterpret_cast<void**>(dataObject));
        parent->Release();
    }
    for (int i = 0; i < count; ++i)
        CoTaskMemFree(absolute[i]);
    delete[] absolute;
    delete[] children;
    return result;
}

int CountOwnThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    DWORD processId = GetCurrentProcessId();
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

int WaitForThreadCount(int baseline, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    int count = CountOwnThreads();
    while (count > baseline && GetTickCount() - start < timeoutMs) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
        count = CountOwnThreads();
    }
    return count;
}
