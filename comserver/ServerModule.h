// The DLL's module record: instance handle, class map, module lock count, the
// allocator's heaps and the termination list. One static instance, set up at process
// attach and torn down at process detach.
#pragma once

#include <windows.h>
#include <objbase.h>

typedef HRESULT (*UpdateRegistryFunction)(BOOL doRegister, HKEY classesRoot);
typedef HRESULT (*CreatorFunction)(IUnknown* outer, REFIID riid, void** ppv);
typedef HRESULT (*ClassObjectFunction)(CreatorFunction creator, REFIID riid, void** ppv);
typedef void (*TerminationFunction)(DWORD_PTR argument);

struct ClassEntry {
    const CLSID* clsid; // null ends the map
    UpdateRegistryFunction updateRegistry;
    ClassObjectFunction getClassObject;
    CreatorFunction createInstance;
    IUnknown* classObject; // cached class object; the map holds one reference
};

struct TerminationNode {
    TerminationFunction function;
    DWORD_PTR argument;
    TerminationNode* next;
};

struct ServerModule {
    HINSTANCE moduleInstance;
    ClassEntry* classMap;
    LONG lockCount;
    HANDLE baseHeap;
    CRITICAL_SECTION typeInfoLock;
    CRITICAL_SECTION classMapLock;
    DWORD heapMask;
    HANDLE* heaps;
    DWORD nextHeap;
    TerminationNode* termList;
};

extern ServerModule serverModule;

// One row of an object's interface table: the interface id and where the face that
// answers it lies, as a byte offset from the start of the object. A null id ends it.
struct InterfaceEntry {
    const IID* iid;
    ptrdiff_t offset;
};

// The byte offset of the Face base within Class, for interface tables.
#define PELIM_FACE_OFFSET(Class, Face)                                                             \
    (reinterpret_cast<char*>(static_cast<Face*>(reinterpret_cast<Class*>(0x100))) -                \
     reinterpret_cast<char*>(0x100))

HRESULT InitModule(ClassEntry* map, HINSTANCE instance);
void TermModule();
void LockModule();
void UnlockModule();
HRESULT AddTermination(TerminationFunction function, DWORD_PTR argument);
HRESULT LookupInterface(void* object, const InterfaceEntry* table, REFIID riid, void** ppv);
