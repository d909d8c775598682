// The type information behind the dispatch face of ChangeName: loaded once from the
// registered PELIMLib, released at module end through the termination list.
#include "comserver/TypeInfoHolder.h"
#include "comserver/Identifiers.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

TypeInfoHolder changeNameTypeInfo = {
    &IID_IChangeName,
    &LIBID_PELIMLib,
    PELIMLibMajorVersion,
    PELIMLibMinorVersion,
    nullptr,
    nullptr,
    0,
};

// The type information once it has been published, or null. Read with a full barrier:
// the name cache, published before it, is then seen complete.
ITypeInfo* TypeInfoHolder::Published()
{
    return static_cast<ITypeInfo*>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(&typeInfo), nullptr, nullptr));
}

HRESULT TypeInfoHolder::LoadTypeInfo(LCID lcid)
{
    if (Published())
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
                if (SUCCEEDED(
                        info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2))) &&
                    info2) {
                    kept = info2;
                    info->Release();
                }
                // Built aside and published whole, the type information last: a thread that
                // finds it set without taking the lock finds the cache complete.
                LONG count = 0;
                NameCacheEntry* cache = BuildNameCache(kept, &count);
                nameCache = cache;
                nameCount = count;
                InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&typeInfo), kept);
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

NameCacheEntry* TypeInfoHolder::BuildNameCache(ITypeInfo* info, LONG* count)
{
    *count = 0;
    TYPEATTR* attributes;
    if (FAILED(info->GetTypeAttr(&attributes)))
        return nullptr;
    LONG functions = attributes->cFuncs;
    NameCacheEntry* cache = nullptr;
    if (functions > 0)
        cache = static_cast<NameCacheEntry*>(ModuleAlloc(functions * sizeof(NameCacheEntry)));
    if (!cache)
        functions = 0;
    for (LONG i = 0; i < functions; ++i) {
        NameCacheEntry& entry = cache[i];
        entry.name = nullptr;
        entry.length = 0;
        entry.dispid = 0;
        FUNCDESC* function;
        if (FAILED(info->GetFuncDesc(i, &function)))
            continue;
        BSTR name;
        if (SUCCEEDED(info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
            entry.name = name;
            entry.length = SysStringLen(name);
            entry.dispid = function->memid;
        }
        info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
    *count = functions;
    return cache;
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
    HRESULT result = LoadTypeInfo(lcid);
    ITypeInfo* info = Published();
    *pptinfo = info;
    if (!info)
        return result;
    info->AddRef();
    return S_OK;
}

HRESULT TypeInfoHolder::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                      DISPID* dispids)
{
    HRESULT result = LoadTypeInfo(lcid);
    ITypeInfo* info = Published();
    if (!info)
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
        result = info->GetIDsOfNames(names, count, dispids);
        if (FAILED(result))
            break;
    }
    return result;
}

HRESULT TypeInfoHolder::Invoke(IDispatch* self, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                               UINT* argErr)
{
    HRESULT loaded = LoadTypeInfo(lcid);
    ITypeInfo* info = Published();
    if (!info)
        return loaded;
    return info->Invoke(self, dispid, flags, params, result, excepInfo, argErr);
}
