// The class object. The class map keeps one reference on it; the module lock is held
// exactly while some client holds a further reference (the count between 2 and up), so
// a cached class object alone never keeps the DLL loaded.
#include "comserver/ClassFactory.h"
#include "comserver/ModuleAllocator.h"

#include <new>

static const InterfaceEntry classFactoryInterfaces[] = {
    { &IID_IClassFactory, 0 },
    { nullptr, 0 },
};

ClassFactory::ClassFactory(CreatorFunction creator) : refCount(0), createInstance(creator)
{
    InitializeCriticalSection(&cacheLock);
}

ClassFactory::~ClassFactory()
{
    DeleteCriticalSection(&cacheLock);
}

void ClassFactory::Destroy()
{
    refCount = 1; // an AddRef and Release made during the teardown cannot free it twice
    this->~ClassFactory();
    ModuleFree(this);
}

HRESULT ClassFactory::Create(CreatorFunction creator, REFIID riid, void** ppv)
{
    void* memory = ModuleAlloc(sizeof(ClassFactory));
    if (!memory)
        return E_OUTOFMEMORY;
    ClassFactory* factory = new (memory) ClassFactory(creator);
    HRESULT result = factory->QueryInterface(riid, ppv);
    if (result != S_OK)
        factory->Destroy();
    return result;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    return LookupInterface(this, classFactoryInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef()
{
    EnterCriticalSection(&cacheLock);
    LONG count = InterlockedIncrement(&refCount);
    if (count == 2)
        LockModule();
    LeaveCriticalSection(&cacheLock);
    return count;
}

STDMETHODIMP_(ULONG) ClassFactory::Release()
{
    EnterCriticalSection(&cacheLock);
    LONG count = InterlockedDecrement(&refCount);
    LeaveCriticalSection(&cacheLock);
    if (count == 0)
        Destroy();
    else if (count == 1)
        UnlockModule();
    return count;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return createInstance(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}
