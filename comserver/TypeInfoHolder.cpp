// The type information behind the dispatch face of ChangeName: loaded once from the
// registered PELIMLib, released at module end through the termination list.
#include "comserver/TypeInfoHolder.h"
#include "comserver/Identifiers.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

TypeInfoHolder changeNameTypeInfo = {
    &IID_IChangeName, &LIBID_PELIMLib, PELIMLibMajorVersion, PELIMLibMinorVersion,
    nullptr, nullptr, 0,
};

HRESULT TypeInfoHolder::LoadTypeInfo(LCID lcid)
{
    if (typeInfo)
        return S_OK;
    HRESULT result = S_OK;
    bool stored = false;
    EnterCriticalSection(&serverModule.typeInfoLock);
    if (!typeInfo) {
        ITypeLib* library = nullptr;
        result = LoadRegTypeLib(*libraryId, majorVersion, minorVersion, lcid, &library);
        if (SUCCEEDED(result)) {
            ITypeInfo* info = nullptr;
            result = library->GetTypeInfoOfGuid(*interfaceId, &info);
            if (SUCCEEDED(result)) {
                // Keep the richer ITypeInfo2 when the platform offers it; one reference either way.
                ITypeInfo* kept = info;
                ITypeInfo2* info2 = nullptr;
                if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2))) &&
                    info2) {
                    kept = info2;
                    info->Release();
                }
                typeInfo = kept;
                BuildNameCache();
                stored = true;
            }
            library->Release();
        }
    }
    LeaveCriticalSection(&serverModule.typeInfoLock);
    // Released at module end; added once, by the call that loaded it, so that failing
    // calls do not lengthen the termination list.
    if (stored)
        AddTermination(ReleaseTypeInfo, reinterpret_cast<DWORD_PTR>(this));
    return result;
}

void TypeInfoHolder::BuildNameCache()
{
    TYPEATTR* attributes;
    if (FAILED(typeInfo->GetTypeAttr(&attributes)))
        return;
    nameCount = attributes->cFuncs;
    if (nameCount > 0) {
        nameCache = static_cast<NameCacheEntry*>(ModuleAlloc(nameCount * sizeof(NameCacheEntry)));
        if (!nameCache)
            nameCount = 0;
    }
    for (LONG i = 0; i < nameCount; ++i) {
        NameCacheEntry& entry = nameCache[i];
        entry.name = nullptr;
        entry.length = 0;
        entry.dispid = 0;
        FUNCDESC* function;
        if (FAILED(typeInfo->GetFuncDesc(i, &function)))
            continue;
        BSTR name;
        if (SUCCEEDED(typeInfo->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
            entry.name = name;
            entry.length = SysStringLen(name);
            entry.dispid = function->memid;
        }
        typeInfo->ReleaseFuncDesc(function);
    }
    typeInfo->ReleaseTypeAttr(attributes);
}

void TypeInfoHolder::ReleaseTypeInfo(DWORD_PTR argument)
{
    TypeInfoHolder* holder = reinterpret_cast<TypeInfoHolder*>(argument);
    if (holder->typeInfo) {
        holder->typeInfo->Release();
        holder->typeInfo = nullptr;
    }
    if (holder->nameCache) {
        for (LONG i = holder->nameCount - 1; i >= 0; --i)
            SysFreeString(holder->nameCache[i].name);
        ModuleFree(holder->nameCache);
        holder->nameCache = nullptr;
        holder->nameCount = 0;
    }
}

HRESULT TypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo)
{
    if (!pptinfo)
        return E_POINTER;
    HRESULT result = S_OK;
    if (!typeInfo)
        result = LoadTypeInfo(lcid);
    *pptinfo = typeInfo;
    if (!typeInfo)
        return result;
    typeInfo->AddRef();
    return S_OK;
}

HRESULT TypeInfoHolder::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                      DISPID* dispids)
{
    HRESULT result = typeInfo ? S_OK : LoadTypeInfo(lcid);
    if (!typeInfo)
        return result;
    if (count > 0 && (!names || !dispids))
        return E_POINTER;
    for (UINT i = 0; i < count; ++i) {
        // Exact, case-sensitive match in the cache; anything else asks the type information.
        LONG length = names[i] ? lstrlenW(names[i]) : 0;
        LONG found = -1;
        for (LONG j = nameCount - 1; j >= 0; --j) {
            const NameCacheEntry& entry = nameCache[j];
            if (names[i] && entry.name && entry.length == length &&
                memcmp(entry.name, names[i], length * sizeof(OLECHAR)) == 0) {
                found = j;
                break;
            }
        }
        if (found >= 0) {
            dispids[i] = nameCache[found].dispid;
            continue;
        }
        result = typeInfo->GetIDsOfNames(names, count, dispids);
        if (FAILED(result))
            break;
    }
    return result;
}

HRESULT TypeInfoHolder::Invoke(IDispatch* self, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                               UINT* argErr)
{
    if (!typeInfo) {
        HRESULT loaded = LoadTypeInfo(lcid);
        if (!typeInfo)
            return loaded;
    }
    return typeInfo->Invoke(self, dispid, flags, params, result, excepInfo, argErr);
}
