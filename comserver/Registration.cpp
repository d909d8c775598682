// Self-registration of pelim102.dll: the registry script among the module's resources is
// run for every class of the class map, then the type library is registered.
#include "comserver/Registration.h"
#include "comserver/ServerModule.h"
#include "comserver/ReplacementMap.h"
#include "comserver/ScriptInterpreter.h"
#include "common/CharWalk.h"

#include <oleauto.h>

static const UINT registryScriptId = 101;

typedef HRESULT(WINAPI* UnRegisterTypeLibFunction)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The DLL's full path in ANSI; false when it cannot be read whole.
static bool GetModulePath(char* path)
{
    DWORD length = GetModuleFileNameA(serverModule.moduleInstance, path, MAX_PATH);
    path[MAX_PATH - 1] = '\0';
    return length > 0 && length < MAX_PATH;
}

static HRESULT ModulePathError()
{
    DWORD code = GetLastError();
    return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
}

HRESULT RunRegistryResource(UINT resourceId, BOOL doRegister)
{
    char path[MAX_PATH];
    if (!GetModulePath(path))
        return ModulePathError();
    WCHAR widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return ModulePathError();

    // The script puts the path between single quotes: each quote in it is doubled.
    WCHAR quotedPath[2 * MAX_PATH];
    int length = 0;
    for (const WCHAR* p = widePath; *p; ++p) {
        if (*p == L'\'')
            quotedPath[length++] = L'\'';
        quotedPath[length++] = *p;
    }
    quotedPath[length] = L'\0';

    ReplacementMap map;
    HRESULT result = map.AddReplacement(L"Module", quotedPath);
    if (SUCCEEDED(result)) {
        ScriptInterpreter interpreter(&map);
        result = interpreter.RunScriptFromResource(widePath, resourceId, L"REGISTRY", doRegister);
    }
    map.ClearReplacements();
    return result;
}

HRESULT UpdateChangeNameRegistry(BOOL doRegister)
{
    return RunRegistryResource(registryScriptId, doRegister);
}

HRESULT LoadModuleTypeLib(ITypeLib** library, BSTR* loadedPath)
{
    *library = nullptr;
    *loadedPath = nullptr;
    char path[MAX_PATH + 4];    // room for ".tlb" after a path without an extension
    if (!GetModulePath(path))
        return ModulePathError();
    WCHAR widePath[MAX_PATH + 4];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH + 4))
        return ModulePathError();
    HRESULT result = LoadTypeLib(widePath, library);
    if (FAILED(result)) {
        // Not in the module itself: a .tlb file beside it, named after it.
        char* lastDot = nullptr;
        for (char* p = path; *p; p = NextChar(p)) {
            if (*p == '.')
                lastDot = p;
        }
        if (lastDot)
            lstrcpyA(lastDot, ".tlb");
        else
            lstrcatA(path, ".tlb");
        if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH + 4))
            return ModulePathError();
        result = LoadTypeLib(widePath, library);
        if (FAILED(result))
            return result;
    }
    *loadedPath = SysAllocString(widePath);
    if (!*loadedPath) {
        (*library)->Release();
        *library = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT RegisterModuleTypeLib()
{
    ITypeLib* library;
    BSTR path;
    HRESULT result = LoadModuleTypeLib(&library, &path);
    if (FAILED(result))
        return result;
    // The folder of the library, with its separator, for its help files. Copied by hand:
    // of the wide string functions the older family carries out only lstrlenW.
    WCHAR folder[MAX_PATH];
    int length = 0;
    while (length < MAX_PATH - 1 && path[length] != L'\0') {
        folder[length] = path[length];
        ++length;
    }
    folder[length] = L'\0';
    WCHAR* cut = folder;
    for (WCHAR* p = folder; *p; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            cut = p + 1;
    }
    *cut = L'\0';
    result = RegisterTypeLib(library, path, folder);
    library->Release();
    SysFreeString(path);
    return result;
}

HRESULT UnregisterModuleTypeLib()
{
    ITypeLib* library;
    BSTR path;
    HRESULT result = LoadModuleTypeLib(&library, &path);
    if (FAILED(result))
        return result;
    TLIBATTR* attributes;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        HMODULE oleaut = LoadLibraryA("oleaut32.dll");
        if (oleaut) {
            UnRegisterTypeLibFunction unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
                GetProcAddress(oleaut, "UnRegisterTypeLib"));
            if (unregister) {
                unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
            }
            FreeLibrary(oleaut);
        }
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
    SysFreeString(path);
    return result;
}

HRESULT RegisterModule(BOOL withTypeLib)
{
    for (ClassEntry* entry = serverModule.classMap; entry && entry->clsid; ++entry) {
        HRESULT result = entry->updateRegistry(TRUE);
        if (FAILED(result))
            return result;
    }
    return withTypeLib ? RegisterModuleTypeLib() : S_OK;
}

HRESULT UnregisterModule(BOOL withTypeLib)
{
    for (ClassEntry* entry = serverModule.classMap; entry && entry->clsid; ++entry)
        entry->updateRegistry(FALSE);
    if (withTypeLib)
        UnregisterModuleTypeLib();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return RegisterModule(TRUE);
}

STDAPI DllUnregisterServer()
{
    UnregisterModule(TRUE);
    return S_OK;
}
