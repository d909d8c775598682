// The type information of IChangeName, loaded from the registered type library at the
// first dispatch call that needs it and kept until the module ends, with its member
// names cached for fast lookup.
#pragma once

#include <windows.h>
#include <oaidl.h>

struct NameCacheEntry {
    BSTR name; // owned; null when the entry could not be filled
    LONG length; // in UTF-16 units
    DISPID dispid;
};

class TypeInfoHolder {
public:
    const IID* interfaceId;
    const GUID* libraryId;
    WORD majorVersion;
    WORD minorVersion;
    ITypeInfo* typeInfo; // one reference while set
    NameCacheEntry* nameCache;
    LONG nameCount;

    HRESULT LoadTypeInfo(LCID lcid);
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids);
    HRESULT Invoke(IDispatch* self, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

    // Run from the module's termination list; may run more than once.
    static void ReleaseTypeInfo(DWORD_PTR holder);

private:
    ITypeInfo* Published();
    static NameCacheEntry* BuildNameCache(ITypeInfo* info, LONG* count);
};

// The one holder serving the dispatch face of every ChangeName.
extern TypeInfoHolder changeNameTypeInfo;
