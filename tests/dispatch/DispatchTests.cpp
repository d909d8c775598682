// Dispatch through the type library: the dispatch face of a ChangeName from the built
// DLL before and after registration, and the type information holder with its name
// cache (from the COM server's library) watched through a counting type information.
#include "support/ChildProcess.h"
#include "support/PelimDll.h"
#include "comserver/Identifiers.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"
#include "comserver/TypeInfoHolder.h"

#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

// The module's own identifiers, for the holder's sources; the platform's come from its
// uuid library here.
const IID IID_IChangeName = {
    0x8D835F8D, 0x429F, 0x427E, { 0x8E, 0x0A, 0x6B, 0xCD, 0x20, 0x8B, 0xE5, 0xEE }
};
const GUID LIBID_PELIMLib = {
    0x09453CB6, 0x62C4, 0x4355, { 0x94, 0xA7, 0x05, 0x8C, 0xE2, 0x68, 0x6E, 0xC6 }
};

namespace {

const GUID libraryId = {
    0x09453CB6, 0x62C4, 0x4355, { 0x94, 0xA7, 0x05, 0x8C, 0xE2, 0x68, 0x6E, 0xC6 }
};

HRESULT RegisteredLibraryError()
{
    ITypeLib* library = nullptr;
    HRESULT result = LoadRegTypeLib(libraryId, 1, 0, 0, &library);
    if (library)
        library->Release();
    return result;
}

TEST(DispatchFace, AnswersFromTheRegisteredTypeLibrary)
{
    ASSERT_EQ(0u, RunRegsvr32("/s /u", kPelimDllPath));
    const HRESULT notRegistered = RegisteredLibraryError();
    ASSERT_EQ(TYPE_E_LIBNOTREGISTERED, notRegistered);

    PelimDll dll;
    ASSERT_TRUE(dll.Load());
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK,
              dll.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)));

    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    // Not registered: every call that needs the type information returns the load error.
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(notRegistered, dispatch->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(nullptr, info);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, 0, nullptr));
    LPOLESTR name = const_cast<LPOLESTR>(L"AddRef");
    DISPID dispid = 0;
    EXPECT_EQ(notRegistered, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid));
    DISPPARAMS none = { nullptr, nullptr, 0, 0 };
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(notRegistered,
              dispatch->Invoke(0x60000001, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr,
                               nullptr));

    // Registered: the next calls succeed, with the same type information for any index.
    ASSERT_EQ(0u, RunRegsvr32("/s", kPelimDllPath));
    ITypeInfo* first = nullptr;
    ITypeInfo* other = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &first));
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(7, 0x411, &other));
    EXPECT_EQ(first, other);
    TYPEATTR* attributes;
    ASSERT_EQ(S_OK, first->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
    EXPECT_EQ(7, attributes->cFuncs);
    first->ReleaseTypeAttr(attributes);
    first->Release();
    other->Release();

    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid));
    EXPECT_EQ(0x60000001, dispid);
    // Invoke now reaches the type information, which has no member of IChangeName's own
    // to call: the inherited IDispatch members are not callable through it.
    EXPECT_EQ(
        DISP_E_MEMBERNOTFOUND,
        dispatch->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(
        DISP_E_MEMBERNOTFOUND,
        dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));

    dispatch->Release();
    dll.Unload();
    EXPECT_EQ(0u, RunRegsvr32("/s /u", kPelimDllPath));
}

// Counts the name lookups that reach the type information; everything else is passed on.
class CountingTypeInfo : public ITypeInfo {
public:
    ITypeInfo* inner;
    LONG references = 1;
    int nameLookups = 0;

    explicit CountingTypeInfo(ITypeInfo* real) : inner(real) {}
    virtual ~CountingTypeInfo() {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeInfo)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --references;
        if (left == 0)
            inner->Release();
        return left;
    }
    STDMETHODIMP GetTypeAttr(TYPEATTR** a) override { return inner->GetTypeAttr(a); }
    STDMETHODIMP GetTypeComp(ITypeComp** c) override { return inner->GetTypeComp(c); }
    STDMETHODIMP GetFuncDesc(UINT i, FUNCDESC** f) override { return inner->GetFuncDesc(i, f); }
    STDMETHODIMP GetVarDesc(UINT i, VARDESC** v) override { return inner->GetVarDesc(i, v); }
    STDMETHODIMP GetNames(MEMBERID m, BSTR* n, UINT c, UINT* g) override
    {
        return inner->GetNames(m, n, c, g);
    }
    STDMETHODIMP GetRefTypeOfImplType(UINT i, HREFTYPE* r) override
    {
        return inner->GetRefTypeOfImplType(i, r);
    }
    STDMETHODIMP GetImplTypeFlags(UINT i, INT* f) override { return inner->GetImplTypeFlags(i, f); }
    STDMETHODIMP GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override
    {
        ++nameLookups;
        return inner->GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(PVOID o, MEMBERID m, WORD f, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e,
                        UINT* a) override
    {
        return inner->Invoke(o, m, f, p, r, e, a);
    }
    STDMETHODIMP GetDocumentation(MEMBERID m, BSTR* n, BSTR* d, DWORD* c, BSTR* h) override
    {
        return inner->GetDocumentation(m, n, d, c, h);
    }
    STDMETHODIMP GetDllEntry(MEMBERID m, INVOKEKIND k, BSTR* d, BSTR* n, WORD* o) override
    {
        return inner->GetDllEntry(m, k, d, n, o);
    }
    STDMETHODIMP GetRefTypeInfo(HREFTYPE r, ITypeInfo** t) override
    {
        return inner->GetRefTypeInfo(r, t);
    }
    STDMETHODIMP AddressOfMember(MEMBERID m, INVOKEKIND k, PVOID* p) override
    {
        return inner->AddressOfMember(m, k, p);
    }
    STDMETHODIMP CreateInstance(IUnknown* o, REFIID r, PVOID* p) override
    {
        return inner->CreateInstance(o, r, p);
    }
    STDMETHODIMP GetMops(MEMBERID m, BSTR* b) override { return inner->GetMops(m, b); }
    STDMETHODIMP GetContainingTypeLib(ITypeLib** l, UINT* i) override
    {
        return inner->GetContainingTypeLib(l, i);
    }
    STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* a) override { inner->ReleaseTypeAttr(a); }
    STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* f) override { inner->ReleaseFuncDesc(f); }
    STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* v) override { inner->ReleaseVarDesc(v); }
};

int TerminationCount()
{
    int count = 0;
    for (TerminationNode* node = serverModule.termList; node; node = node->next)
        ++count;
    return count;
}

TEST(TypeInfoHolder, LoadsOnceAndAnswersCachedNames)
{
    InitModule(nullptr, GetModuleHandleA(nullptr));
    TypeInfoHolder& holder = changeNameTypeInfo;
    ASSERT_EQ(0u, RunRegsvr32("/s /u", kPelimDllPath));

    // Failing loads are tried again each time and leave no clean-up behind.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, holder.LoadTypeInfo(0));
    EXPECT_EQ(nullptr, holder.typeInfo);
    EXPECT_EQ(0, TerminationCount());

    ASSERT_EQ(0u, RunRegsvr32("/s", kPelimDllPath));
    ASSERT_EQ(S_OK, holder.LoadTypeInfo(0));
    ASSERT_NE(nullptr, holder.typeInfo);
    EXPECT_EQ(S_OK, holder.LoadTypeInfo(0));
    EXPECT_EQ(1, TerminationCount());
    ITypeInfo2* richer = nullptr;
    EXPECT_EQ(S_OK,
              holder.typeInfo->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&richer)));
    if (richer)
        richer->Release();

    // The cache holds the seven members IChangeName inherits.
    ASSERT_EQ(7, holder.nameCount);
    EXPECT_STREQ(L"QueryInterface", holder.nameCache[0].name);
    EXPECT_EQ(14, holder.nameCache[0].length);
    EXPECT_EQ(0x60000000, holder.nameCache[0].dispid);
    EXPECT_STREQ(L"Invoke", holder.nameCache[6].name);
    EXPECT_EQ(6, holder.nameCache[6].length);

    CountingTypeInfo* counting = new CountingTypeInfo(holder.typeInfo);
    holder.typeInfo = counting;
    LPOLESTR exact = const_cast<LPOLESTR>(L"Invoke");
    LPOLESTR otherCase = const_cast<LPOLESTR>(L"invoke");
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    LPOLESTR empty = const_cast<LPOLESTR>(L"");
    DISPID dispid = 0;
    EXPECT_EQ(S_OK, holder.GetIDsOfNames(IID_NULL, &exact, 1, 0, &dispid));
    EXPECT_EQ(holder.nameCache[6].dispid, dispid);
    EXPECT_EQ(0, counting->nameLookups);
    dispid = 0;
    EXPECT_EQ(S_OK, holder.GetIDsOfNames(IID_NULL, &otherCase, 1, 0, &dispid));
    EXPECT_EQ(holder.nameCache[6].dispid, dispid);
    EXPECT_EQ(1, counting->nameLookups);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, holder.GetIDsOfNames(IID_NULL, &unknown, 1, 0, &dispid));
    EXPECT_EQ(2, counting->nameLookups);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, holder.GetIDsOfNames(IID_NULL, &empty, 1, 0, &dispid));
    EXPECT_EQ(3, counting->nameLookups);
    EXPECT_EQ(E_POINTER, holder.GetIDsOfNames(IID_NULL, nullptr, 1, 0, &dispid));

    // Module end releases it; a second run of the clean-up does nothing more.
    TypeInfoHolder::ReleaseTypeInfo(reinterpret_cast<DWORD_PTR>(&holder));
    EXPECT_EQ(nullptr, holder.typeInfo);
    EXPECT_EQ(nullptr, holder.nameCache);
    EXPECT_EQ(0, counting->references);
    delete counting;
    TypeInfoHolder::ReleaseTypeInfo(reinterpret_cast<DWORD_PTR>(&holder));
    TermModule();
    EXPECT_EQ(0u, RunRegsvr32("/s /u", kPelimDllPath));
}

// Callers that come in while the first call is loading the type information get the
// answers of the finished holder: a cache still being built is never seen, even when its
// block comes back from the allocator holding stale entries.
struct Caller {
    TypeInfoHolder* holder;
    bool first; // starts the load; the others wait until it is published
    HRESULT result;
    DISPID dispid;
};

DWORD WINAPI CallDuringLoad(LPVOID parameter)
{
    Caller* caller = static_cast<Caller*>(parameter);
    DWORD start = GetTickCount();
    while (!caller->first && GetTickCount() - start < 20000 &&
           !InterlockedCompareExchangePointer(
               reinterpret_cast<PVOID volatile*>(&caller->holder->typeInfo), nullptr, nullptr))
        YieldProcessor();
    LPOLESTR name = const_cast<LPOLESTR>(L"Invoke");
    caller->result = caller->holder->GetIDsOfNames(IID_NULL, &name, 1, 0, &caller->dispid);
    return 0;
}

TEST(TypeInfoHolder, CallersDuringTheFirstLoadSeeItWholeOrNotAtAll)
{
    InitModule(nullptr, GetModuleHandleA(nullptr));
    ASSERT_EQ(0u, RunRegsvr32("/s", kPelimDllPath));
    TypeInfoHolder holder = { &IID_IChangeName, &LIBID_PELIMLib, 1, 0, nullptr, nullptr, 0 };
    BSTR stale = SysAllocString(L"Invoke");
    NameCacheEntry* block = static_cast<NameCacheEntry*>(ModuleAlloc(7 * sizeof(NameCacheEntry)));
    for (int i = 0; i < 7; ++i)
        block[i] = { stale, 6, 0xBAD };
    ModuleFree(block);

    const int kCallers = 3;
    Caller callers[kCallers];
    HANDLE threads[kCallers];
    for (int i = kCallers - 1; i >= 0; --i) {
        callers[i] = { &holder, i == 0, E_FAIL, 0 };
        threads[i] = CreateThread(nullptr, 0, CallDuringLoad, &callers[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kCallers, threads, TRUE, 30000));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    ASSERT_EQ(7, holder.nameCount);
    for (const Caller& caller : callers) {
        EXPECT_EQ(S_OK, caller.result);
        EXPECT_EQ(holder.nameCache[6].dispid, caller.dispid);
    }
    TermModule();
    SysFreeString(stale);
    EXPECT_EQ(0u, RunRegsvr32("/s /u", kPelimDllPath));
}

} // namespace
