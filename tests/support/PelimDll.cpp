// Loading pelim102.dll as a client does, for the tests and the benchmark.
#include "support/PelimDll.h"

bool PelimDll::Load()
{
    return LoadFrom(nullptr);
}

bool PelimDll::LoadFrom(const wchar_t* path)
{
    module = path ? LoadLibraryW(path) : LoadLibraryA(kPelimDllPath);
    if (!module)
        return false;
    DllGetClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    DllCanUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return DllGetClassObject && DllCanUnloadNow;
}

void PelimDll::Unload()
{
    if (module)
        FreeLibrary(module);
    module = nullptr;
    DllGetClassObject = nullptr;
    DllCanUnloadNow = nullptr;
}

HRESULT PelimDll::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    IClassFactory* factory = nullptr;
    HRESULT result =
        DllGetClassObject(kClsidChangeName, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result))
        return result;
    result = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    return result;
}

ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}
