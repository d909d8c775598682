// ChangeName's COM identity (three faces, alone or aggregated, one module lock per live
// object) and its shell methods: Initialize takes the drop target and the dragged data,
// QueryContextMenu adds the two items for exactly one item, InvokeCommand carries out a pick.
#include "ext/ChangeName.h"
#include "comserver/Dispatch.h"
#include "comserver/ModuleAllocator.h"

#include <new>
#include <string.h>

const InterfaceEntry ChangeName::interfaces[] = {
    {&IID_IChangeName, PELIM_FACE_OFFSET(ChangeName, IChangeName)},
    {&IID_IDispatch, PELIM_FACE_OFFSET(ChangeName, IChangeName)},
    {&IID_IShellExtInit, PELIM_FACE_OFFSET(ChangeName, IShellExtInit)},
    {&IID_IContextMenu, PELIM_FACE_OFFSET(ChangeName, IContextMenu)},
    {nullptr, 0},
};

static const char copyItemText[] = "名前を変更してコピー(&G)";
static const char moveItemText[] = "名前を変更して移動(&W)";

const int PathBufferSize = 1000;

// ---- creation and destruction ----

ChangeName::ChangeName() : refCount(0), dataObject(nullptr)
{
}

ChangeName::~ChangeName()
{
    if (dataObject) {
        dataObject->Release();
        dataObject = nullptr;
    }
    sourcePath.Free();
    targetFolder.Free();
}

void ChangeName::Destroy()
{
    refCount = 1;
    UnlockModule();
    this->~ChangeName();
    ModuleFree(this);
}

HRESULT ChangeName::Create(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!outer) {
        void* memory = ModuleAlloc(sizeof(ChangeName));
        if (!memory)
            return E_OUTOFMEMORY;
        ChangeName* object = new (memory) ChangeName();
        LockModule();
        HRESULT result = object->QueryInterface(riid, ppv);
        if (result != S_OK)
            object->Destroy();
        return result;
    }
    void* memory = ModuleAlloc(sizeof(AggregatedChangeName));
    if (!memory)
        return E_OUTOFMEMORY;
    AggregatedChangeName* wrapper = new (memory) AggregatedChangeName(outer);
    LockModule();
    HRESULT result = wrapper->QueryInterface(riid, ppv);
    if (result != S_OK) {
        wrapper->refCount = 1;
        UnlockModule();
        wrapper->~AggregatedChangeName();
        ModuleFree(wrapper);
    }
    return result;
}

// ---- IUnknown, stand-alone form ----

STDMETHODIMP ChangeName::QueryInterface(REFIID riid, void** ppv)
{
    return LookupInterface(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ChangeName::AddRef()
{
    return ++refCount;
}

STDMETHODIMP_(ULONG) ChangeName::Release()
{
    LONG count = --refCount;
    if (count == 0)
        Destroy();
    return count;
}

// ---- IUnknown, aggregated form ----

ContainedChangeName::ContainedChangeName(IUnknown* outerUnknown)
{
    outer = outerUnknown;
}

STDMETHODIMP ContainedChangeName::QueryInterface(REFIID riid, void** ppv)
{
    HRESULT result = outer->QueryInterface(riid, ppv);
    if (FAILED(result) && static_cast<IUnknown*>(static_cast<IChangeName*>(this)) != outer)
        result = LookupInterface(this, interfaces, riid, ppv);
    return result;
}

STDMETHODIMP_(ULONG) ContainedChangeName::AddRef()
{
    return outer->AddRef();
}

STDMETHODIMP_(ULONG) ContainedChangeName::Release()
{
    return outer->Release();
}

AggregatedChangeName::AggregatedChangeName(IUnknown* outerUnknown)
    : refCount(0), contained(outerUnknown)
{
}

STDMETHODIMP AggregatedChangeName::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown)) {
        if (!ppv)
            return E_POINTER;
        AddRef();
        *ppv = static_cast<IUnknown*>(this);
        return S_OK;
    }
    return LookupInterface(static_cast<ChangeName*>(&contained), ChangeName::interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) AggregatedChangeName::AddRef()
{
    return ++refCount;
}

STDMETHODIMP_(ULONG) AggregatedChangeName::Release()
{
    LONG count = --refCount;
    if (count == 0) {
        refCount = 1;
        UnlockModule();
        this->~AggregatedChangeName();
        ModuleFree(this);
    }
    return count;
}

// ---- IDispatch: answered from the type library ----

STDMETHODIMP ChangeName::GetTypeInfoCount(UINT* pctinfo)
{
    return DispatchGetTypeInfoCount(pctinfo);
}

STDMETHODIMP ChangeName::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo)
{
    return DispatchGetTypeInfo(index, lcid, pptinfo);
}

STDMETHODIMP ChangeName::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                       DISPID* dispids)
{
    return DispatchGetIDsOfNames(riid, names, count, lcid, dispids);
}

STDMETHODIMP ChangeName::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                                DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                UINT* argErr)
{
    return DispatchInvoke(static_cast<IChangeName*>(this), dispid, riid, lcid, flags, params,
                          result, excepInfo, argErr);
}

// ---- IShellExtInit ----

STDMETHODIMP ChangeName::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                                    HKEY hkeyProgID)
{
    if (dataObject) {
        dataObject->Release();
        dataObject = nullptr;
    }
    if (pdtobj) {
        dataObject = pdtobj;
        dataObject->AddRef();
    }
    if (pidlFolder) {
        // A target without a file-system path leaves the buffer empty.
        if (targetFolder.Reserve(PathBufferSize))
            SHGetPathFromIDListA(pidlFolder, targetFolder.data);
    }
    return S_OK;
}

// ---- IContextMenu ----

// Whether the ANSI path of item 0 says exactly what its wide path says. A character that
// code page 932 cannot carry arrives as "?", a wildcard to the shell's file operation,
// which would then act on whatever else matches.
static bool IsExactAnsiPath(HDROP drop, const char* ansiPath)
{
    WCHAR widePath[PathBufferSize];
    WCHAR converted[PathBufferSize];
    if (!DragQueryFileW(drop, 0, widePath, PathBufferSize))
        return false;
    if (!MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, converted, PathBufferSize))
        return false;
    for (int i = 0; i < PathBufferSize; ++i) {
        if (widePath[i] != converted[i])
            return false;
        if (widePath[i] == 0)
            return true;
    }
    return true;
}

STDMETHODIMP ChangeName::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                          UINT idCmdLast, UINT uFlags)
{
    if (!dataObject || targetFolder.IsEmpty())
        return S_OK;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    memset(&medium, 0, sizeof(medium));
    if (FAILED(dataObject->GetData(&format, &medium)))
        return E_INVALIDARG;
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) {
        ReleaseStgMedium(&medium);
        return E_INVALIDARG;
    }
    HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (!drop) {
        ReleaseStgMedium(&medium);
        return E_INVALIDARG;
    }
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count != 1) {
        GlobalUnlock(medium.hGlobal);
        ReleaseStgMedium(&medium);
        return S_OK;
    }
    bool exact = false;
    if (sourcePath.Reserve(PathBufferSize)) {
        DragQueryFileA(drop, 0, sourcePath.data, PathBufferSize);
        exact = IsExactAnsiPath(drop, sourcePath.data);
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);

    // No path, or one the ANSI code page cannot name exactly: nothing to offer.
    if (sourcePath.IsEmpty() || !exact) {
        sourcePath.Free();
        return S_OK;
    }
    InsertMenuA(hmenu, indexMenu, MF_BYPOSITION | MF_STRING, idCmdFirst, copyItemText);
    InsertMenuA(hmenu, indexMenu + 1, MF_BYPOSITION | MF_STRING, idCmdFirst + 1, moveItemText);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2);
}

STDMETHODIMP ChangeName::InvokeCommand(CMINVOKECOMMANDINFO* lpici)
{
    if (!lpici)
        return E_INVALIDARG;
    ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(lpici->lpVerb);
    if ((verb >> 16) != 0)
        return E_INVALIDARG;
    if (sourcePath.IsEmpty())
        return E_INVALIDARG;
    if (targetFolder.IsEmpty())
        return E_INVALIDARG;
    if (verb > 1)
        return E_INVALIDARG;
    return ExecuteRename(static_cast<int>(verb));
}

STDMETHODIMP ChangeName::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved,
                                          CHAR* pszName, UINT cchMax)
{
    return E_NOTIMPL;
}
