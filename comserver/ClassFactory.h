// The class object of the module's one class: creates instances through the creator
// taken from the class map, and couples its clients' references with the module lock.
#pragma once

#include "comserver/ServerModule.h"

class ClassFactory : public IClassFactory {
public:
    // The getClassObject of a class map row: a new class object around the given
    // instance creator, answering riid into *ppv.
    static HRESULT Create(CreatorFunction creator, REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    LONG refCount;
    CreatorFunction createInstance;
    CRITICAL_SECTION cacheLock;

private:
    explicit ClassFactory(CreatorFunction creator);
    ~ClassFactory();
    void Destroy();
};
