// ChangeName: the drop handler of pelim. With exactly one dragged item it adds "rename
// and copy" and "rename and move" to the drop menu and carries out the pick. Three faces
// (dispatch, shell init, context menu) of one object, alone or inside an outer object.
#pragma once

#include "comserver/Identifiers.h"
#include "comserver/ServerModule.h"
#include "common/StringBuffer.h"

#include <shlobj.h>

class ChangeName : public IChangeName, public IShellExtInit, public IContextMenu {
public:
    // The createInstance of the class map row: a null outer gives a stand-alone object,
    // any other an aggregated one.
    static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);
    static const InterfaceEntry interfaces[];

    // IUnknown, stand-alone form
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch (the dispatch face)
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* dispids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                            HKEY hkeyProgID) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* lpici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName,
                                  UINT cchMax) override;

    // Asks for the new name and starts the copy (verb 0) or move (verb 1). Always S_OK.
    HRESULT ExecuteRename(int verb);
    template <class Char>
    void RenameOnRoad(TextBuffer<Char>& source, TextBuffer<Char>& target, int verb);

    union {
        LONG refCount; // stand-alone form
        IUnknown* outer; // aggregated form: the outer object's IUnknown
    };
    IDataObject* dataObject;
    StringBuffer targetFolder;
    StringBuffer sourcePath;
    // The same two paths on the wide road of the NT family (see common/TextRoad.h).
    WideBuffer wideTargetFolder;
    WideBuffer wideSourcePath;

protected:
    ChangeName();
    ~ChangeName();
    void Destroy();
};

// The embedded ChangeName of an aggregated object: its faces hand IUnknown to the outer object.
class ContainedChangeName : public ChangeName {
public:
    explicit ContainedChangeName(IUnknown* outerUnknown);
    ~ContainedChangeName() {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
};

// A ChangeName created inside an outer object: the owner face is the object's own
// IUnknown, which the outer object holds; the embedded object does the work.
class AggregatedChangeName : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    LONG refCount;
    ContainedChangeName contained;

    explicit AggregatedChangeName(IUnknown* outerUnknown);
    ~AggregatedChangeName() {}
    void Destroy();
};
