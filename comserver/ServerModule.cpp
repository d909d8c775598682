// The module record of pelim102.dll: set up at process attach, torn down at process
// detach; the module lock count, the termination list and the interface lookup that
// every QueryInterface of the module goes through.
#include "comserver/ServerModule.h"
#include "comserver/ModuleAllocator.h"

#include <string.h>

ServerModule serverModule;

HRESULT InitModule(ClassEntry* map, HINSTANCE instance)
{
    serverModule.moduleInstance = instance;
    serverModule.classMap = map;
    serverModule.lockCount = 0;
    InitializeCriticalSection(&serverModule.typeInfoLock);
    InitializeCriticalSection(&serverModule.classMapLock);
    serverModule.termList = nullptr;
    InitHeaps();
    return S_OK;
}

void TermModule()
{
    for (ClassEntry* entry = serverModule.classMap; entry && entry->clsid; ++entry) {
        if (entry->classObject) {
            entry->classObject->Release();
            entry->classObject = nullptr;
        }
    }
    DeleteCriticalSection(&serverModule.typeInfoLock);
    DeleteCriticalSection(&serverModule.classMapLock);
    TerminationNode* node = serverModule.termList;
    serverModule.termList = nullptr;
    while (node) {
        TerminationNode* next = node->next;
        node->function(node->argument);
        ModuleFree(node);
        node = next;
    }
    TermHeaps();
}

void LockModule()
{
    InterlockedIncrement(&serverModule.lockCount);
}

void UnlockModule()
{
    InterlockedDecrement(&serverModule.lockCount);
}

HRESULT AddTermination(TerminationFunction function, DWORD_PTR argument)
{
    TerminationNode* node = static_cast<TerminationNode*>(ModuleAlloc(sizeof(TerminationNode)));
    if (!node)
        return E_OUTOFMEMORY;
    node->function = function;
    node->argument = argument;
    EnterCriticalSection(&serverModule.typeInfoLock);
    node->next = serverModule.termList;
    serverModule.termList = node;
    LeaveCriticalSection(&serverModule.typeInfoLock);
    return S_OK;
}

HRESULT LookupInterface(void* object, const InterfaceEntry* table, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const InterfaceEntry* row = table;
    if (!IsEqualIID(riid, IID_IUnknown)) {
        while (row->iid && memcmp(row->iid, &riid, sizeof(IID)) != 0)
            ++row;
        if (!row->iid)
            return E_NOINTERFACE;
    }
    IUnknown* face = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + row->offset);
    face->AddRef();
    *ppv = face;
    return S_OK;
}
