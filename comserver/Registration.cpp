// Self-registration of pelim102.dll: the registry script among the module's resources is
// run for every class of the class map, then the type library is registered; for the
// machine (DllRegisterServer) or, through DllInstall with "user", for the calling user.
#include "comserver/Registration.h"
#include "comserver/ServerModule.h"
#include "comserver/ReplacementMap.h"
#include "comserver/ScriptInterpreter.h"
#include "common/CharWalk.h"

#include <oleauto.h>
#include <shlobj.h>

static const UINT registryScriptId = 101;

typedef HRESULT(WINAPI* RegisterTypeLibFunction)(ITypeLib*, LPOLESTR, LPOLESTR);
typedef HRESULT(WINAPI* UnRegisterTypeLibFunction)(REFGUID, WORD, WORD, LCID, SYSKIND);

// RegisterTypeLibForUser and UnRegisterTypeLibForUser (same parameters as RegisterTypeLib
// and UnRegisterTypeLib) came with the per-user type library registration of Windows
// Vista's oleaut32.dll: Windows 95, 98 and Me, NT 4.0, 2000, XP and XP x64 lack them, and
// there one user's registration registers no type library. Wine has both, but registers
// for the machine (a FIXME there).
static bool ForUser(HKEY classesRoot)
{
    return classesRoot != HKEY_CLASSES_ROOT;
}

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

HRESULT RunRegistryResource(UINT resourceId, BOOL doRegister, HKEY classesRoot)
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
        ScriptInterpreter interpreter(&map, classesRoot);
        result = interpreter.RunScriptFromResource(widePath, resourceId, L"REGISTRY", doRegister);
    }
    map.ClearReplacements();
    return result;
}

HRESULT UpdateChangeNameRegistry(BOOL doRegister, HKEY classesRoot)
{
    return RunRegistryResource(registryScriptId, doRegister, classesRoot);
}

HRESULT LoadModuleTypeLib(ITypeLib** library, BSTR* loadedPath)
{
    *library = nullptr;
    *loadedPath = nullptr;
    char path[MAX_PATH + 4]; // room for ".tlb" after a path without an extension
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

HRESULT RegisterModuleTypeLib(HKEY classesRoot)
{
    HMODULE oleaut = nullptr;
    RegisterTypeLibFunction registerForUser = nullptr;
    if (ForUser(classesRoot)) {
        oleaut = LoadLibraryA("oleaut32.dll");
        if (oleaut) {
            registerForUser = reinterpret_cast<RegisterTypeLibFunction>(
                GetProcAddress(oleaut, "RegisterTypeLibForUser"));
        }
        if (!registerForUser) { // before Vista: no type library for one user
            if (oleaut)
                FreeLibrary(oleaut);
            return S_OK;
        }
    }
    ITypeLib* library;
    BSTR path;
    HRESULT result = LoadModuleTypeLib(&library, &path);
    if (FAILED(result)) {
        if (oleaut)
            FreeLibrary(oleaut);
        return result;
    }
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
    result = registerForUser ? registerForUser(library, path, folder)
                             : RegisterTypeLib(library, path, folder);
    library->Release();
    SysFreeString(path);
    if (oleaut)
        FreeLibrary(oleaut);
    return result;
}

HRESULT UnregisterModuleTypeLib(HKEY classesRoot)
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
            UnRegisterTypeLibFunction unregister =
                reinterpret_cast<UnRegisterTypeLibFunction>(GetProcAddress(
                    oleaut,
                    ForUser(classesRoot) ? "UnRegisterTypeLibForUser" : "UnRegisterTypeLib"));
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

HRESULT RegisterModule(BOOL withTypeLib, HKEY classesRoot)
{
    for (ClassEntry* entry = serverModule.classMap; entry && entry->clsid; ++entry) {
        HRESULT result = entry->updateRegistry(TRUE, classesRoot);
        if (FAILED(result))
            return result;
    }
    return withTypeLib ? RegisterModuleTypeLib(classesRoot) : S_OK;
}

HRESULT UnregisterModule(BOOL withTypeLib, HKEY classesRoot)
{
    for (ClassEntry* entry = serverModule.classMap; entry && entry->clsid; ++entry)
        entry->updateRegistry(FALSE, classesRoot);
    if (withTypeLib)
        UnregisterModuleTypeLib(classesRoot);
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return RegisterModule(TRUE, HKEY_CLASSES_ROOT);
}

STDAPI DllUnregisterServer()
{
    UnregisterModule(TRUE, HKEY_CLASSES_ROOT);
    return S_OK;
}

// "user" in any case. Compared by hand: the older family only stubs lstrcmpiW.
static bool IsUserCommandLine(LPCWSTR commandLine)
{
    static const char user[] = "user";
    if (!commandLine)
        return false;
    for (int i = 0;; ++i) {
        WCHAR c = commandLine[i];
        if (c >= L'A' && c <= L'Z')
            c = WCHAR(c - L'A' + L'a');
        if (c != WCHAR(user[i]))
            return false;
        if (c == L'\0')
            return true;
    }
}

// regsvr32 /n /i:user (install) and /u /n /i:user (uninstall): the same registration as
// DllRegisterServer and DllUnregisterServer for the calling user alone, every HKCR key of
// the script under HKCU\Software\Classes; nothing for the machine.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    if (!IsUserCommandLine(commandLine))
        return E_INVALIDARG;
    HKEY classes;
    LONG status = install
        ? RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &classes, nullptr)
        : RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, KEY_ALL_ACCESS, &classes);
    if (status != ERROR_SUCCESS)
        return install ? HRESULT_FROM_WIN32(status) : S_OK; // nothing of the user's to remove
    HRESULT result = install ? RegisterModule(TRUE, classes) : UnregisterModule(TRUE, classes);
    RegCloseKey(classes);
    // The file manager reads its handlers anew.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return result;
}
