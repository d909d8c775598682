// ChangeName's COM identity (three faces, alone or aggregated, one module lock per live
// object) and its shell methods: Initialize takes the drop target and the dragged data,
// QueryContextMenu adds the two items for exactly one item, InvokeCommand carries out a pick.
#include "ext/ChangeName.h"
#include "comserver/Dispatch.h"
#include "comserver/ModuleAllocator.h"
#include "common/TextRoad.h"
#include "UiTexts.h"

#include <new>
#include <string.h>

const InterfaceEntry ChangeName::interfaces[] = {
    { &IID_IChangeName, PELIM_FACE_OFFSET(ChangeName, IChangeName) },
    { &IID_IDispatch, PELIM_FACE_OFFSET(ChangeName, IChangeName) },
    { &IID_IShellExtInit, PELIM_FACE_OFFSET(ChangeName, IShellExtInit) },
    { &IID_IContextMenu, PELIM_FACE_OFFSET(ChangeName, IContextMenu) },
    { nullptr, 0 },
};


// Paths are read into buffers of 1000 characters, well above MAX_PATH (260), so that every
// path the shell hands over fits; a longer one is cut to 999 characters and the terminator.
const int PathBufferSize = 1000;

// ---- creation and destruction ----

ChangeName::ChangeName() : refCount(0), dataObject(nullptr) {}

// The path buffers are wiped and freed by their own destructors after this.
ChangeName::~ChangeName()
{
    if (dataObject) {
        dataObject->Release();
        dataObject = nullptr;
    }
}

void ChangeName::Destroy()
{
    // A count above zero while the object is torn down: an AddRef and Release made from
    // inside the destructor cannot reach zero again and destroy it a second time.
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
    if (result != S_OK)
        wrapper->Destroy();
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
    if (count == 0)
        Destroy();
    return count;
}

void AggregatedChangeName::Destroy()
{
    // As for ChangeName: no second destruction from inside the destructor.
    refCount = 1;
    UnlockModule();
    this->~AggregatedChangeName();
    ModuleFree(this);
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

template <class Char>
static void ReadFolderPath(PCIDLIST_ABSOLUTE folder, TextBuffer<Char>& path)
{
    if (path.Reserve(PathBufferSize))
        SHGetPathFromIDListT(folder, path.data);
}

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
        if (UseWideRoad())
            ReadFolderPath(pidlFolder, wideTargetFolder);
        else
            ReadFolderPath(pidlFolder, targetFolder);
    }
    return S_OK;
}

// ---- IContextMenu ----

// Whether the ANSI path of item 0 says exactly what its wide path says. A character that
// the ANSI code page cannot carry arrives as "?", a wildcard to the shell's file
// operation, which would then act on whatever else matches, or as a look-alike (the yen
// sign as a backslash). Where the wide query fails (the older family may carry only a
// stub), the ANSI path is trusted unless it holds a wildcard.
static bool IsExactPath(HDROP drop, const char* ansiPath)
{
    WCHAR widePath[PathBufferSize];
    WCHAR converted[PathBufferSize];
    if (!DragQueryFileW(drop, 0, widePath, PathBufferSize)) {
        for (const char* p = ansiPath; *p; p = NextChar(p)) {
            if (*p == '?' || *p == '*')
                return false;
        }
        return true;
    }
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

// The wide path is the item's own name.
static bool IsExactPath(HDROP drop, const wchar_t* widePath)
{
    return true;
}

// The path of the one dragged item into path. False when the list holds another number
// of items (path keeps what it had) or the path is empty or cannot be trusted (path is
// freed).
template <class Char>
static bool ReadDraggedItem(HDROP drop, TextBuffer<Char>& path)
{
    if (DragQueryFileT(drop, 0xFFFFFFFF, static_cast<Char*>(nullptr), 0) != 1)
        return false;
    if (!path.Reserve(PathBufferSize))
        return false;
    DragQueryFileT(drop, 0, path.data, PathBufferSize);
    if (path.IsEmpty() || !IsExactPath(drop, path.data)) {
        path.Free();
        return false;
    }
    return true;
}

template <class Char>
static void InsertItems(HMENU menu, UINT index, UINT first)
{
    InsertMenuT(menu, index, MF_BYPOSITION | MF_STRING, first, SystemText<Char>(copyItemText).text);
    InsertMenuT(menu, index + 1, MF_BYPOSITION | MF_STRING, first + 1,
                SystemText<Char>(moveItemText).text);
}

STDMETHODIMP ChangeName::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                          UINT idCmdLast, UINT uFlags)
{
    bool wide = UseWideRoad();
    if (!dataObject || (wide ? wideTargetFolder.IsEmpty() : targetFolder.IsEmpty()))
        return S_OK;

    FORMATETC format = { CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL };
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
    // Not exactly one item, no path, or one the ANSI code page cannot name exactly:
    // nothing to offer.
    bool one = wide ? ReadDraggedItem(drop, wideSourcePath) : ReadDraggedItem(drop, sourcePath);
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    if (!one)
        return S_OK;
    if (wide)
        InsertItems<wchar_t>(hmenu, indexMenu, idCmdFirst);
    else
        InsertItems<char>(hmenu, indexMenu, idCmdFirst);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2);
}

STDMETHODIMP ChangeName::InvokeCommand(CMINVOKECOMMANDINFO* lpici)
{
    if (!lpici)
        return E_INVALIDARG;
    ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(lpici->lpVerb);
    if ((verb >> 16) != 0)
        return E_INVALIDARG;
    bool wide = UseWideRoad();
    if (wide ? wideSourcePath.IsEmpty() : sourcePath.IsEmpty())
        return E_INVALIDARG;
    if (wide ? wideTargetFolder.IsEmpty() : targetFolder.IsEmpty())
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
