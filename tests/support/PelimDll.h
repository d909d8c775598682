// pelim102.dll as a client loads it: LoadLibraryA of the built DLL and its exports, and
// the identifiers a client uses, written out as the registry and type library carry them.
#pragma once

#include <windows.h>
#include <objbase.h>
#include "ProductVersion.h"

// {6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}
const CLSID kClsidChangeName = {
    0x6D9CAEAC, 0x7AC7, 0x46CD, { 0x97, 0xB8, 0x28, 0xCB, 0x76, 0xA4, 0x73, 0xC0 }
};
// {8D835F8D-429F-427E-8E0A-6BCD208BE5EE}
const IID kIidIChangeName = {
    0x8D835F8D, 0x429F, 0x427E, { 0x8E, 0x0A, 0x6B, 0xCD, 0x20, 0x8B, 0xE5, 0xEE }
};

const char kPelimDllPath[] = "P:\\" PELIM_DLL_NAME;

class PelimDll {
public:
    typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunction)(REFCLSID, REFIID, void**);
    typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFunction)();

    HMODULE module = nullptr;
    GetClassObjectFunction DllGetClassObject = nullptr;
    CanUnloadNowFunction DllCanUnloadNow = nullptr;

    bool Load(); // one more load reference on the DLL
    bool LoadFrom(const wchar_t* path); // the same, from a copy elsewhere
    void Unload(); // gives that reference back
    bool IsLoaded() const { return GetModuleHandleA(PELIM_DLL_NAME) != nullptr; }

    // A new ChangeName through the class object, answering riid; the class object is
    // released again.
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
};

// The reference count of a COM object, read through AddRef and Release.
ULONG RefCount(IUnknown* object);
