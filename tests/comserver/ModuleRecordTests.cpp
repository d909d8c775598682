// The module record seen from inside: the module's own sources linked into a test
// program, ChangeName's creator replaced by a counting one. Exact lock and reference
// counts, the class map's cache, the termination list at detach, the interface lookup.
#include "comserver/ServerModule.h"
#include "comserver/ClassFactory.h"
#include "comserver/Identifiers.h"
#include "comserver/Registration.h"
#include "ext/ChangeName.h"

#include <gtest/gtest.h>
#include <vector>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

namespace {

int creatorCalls = 0;
IUnknown* creatorOuter = nullptr;
std::vector<DWORD_PTR> terminations;

void RecordTermination(DWORD_PTR argument)
{
    terminations.push_back(argument);
}

// Two faces over one count, for the interface lookup.
class TwoFaces : public IShellExtInit, public IContextMenu {
public:
    LONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) override { return S_OK; }
    STDMETHODIMP QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return S_OK; }
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO*) override { return S_OK; }
    STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return S_OK; }
};

class ModuleRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        creatorCalls = 0;
        creatorOuter = nullptr;
        terminations.clear();
        DllMain(instance, DLL_PROCESS_ATTACH, nullptr);
        attached = true;
    }
    void TearDown() override { Detach(); }
    void Detach()
    {
        if (attached)
            DllMain(instance, DLL_PROCESS_DETACH, nullptr);
        attached = false;
    }
    ClassFactory* CachedFactory() const
    {
        return static_cast<ClassFactory*>(
            static_cast<IClassFactory*>(serverModule.classMap[0].classObject));
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr));
    bool attached = false;
};

TEST_F(ModuleRecord, AttachSetsUpTheRecord)
{
    EXPECT_EQ(instance, serverModule.moduleInstance);
    EXPECT_EQ(0, serverModule.lockCount);
    EXPECT_EQ(nullptr, serverModule.termList);
    ASSERT_NE(nullptr, serverModule.classMap);
    EXPECT_TRUE(IsEqualCLSID(CLSID_ChangeName, *serverModule.classMap[0].clsid));
    EXPECT_EQ(&UpdateChangeNameRegistry, serverModule.classMap[0].updateRegistry);
    EXPECT_EQ(&ChangeName::Create, serverModule.classMap[0].createInstance);
    EXPECT_EQ(nullptr, serverModule.classMap[0].classObject);
    EXPECT_EQ(nullptr, serverModule.classMap[1].clsid);
}

TEST_F(ModuleRecord, RefusedInterfaceStillCachesTheClassObject)
{
    void* out = nullptr;
    EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_ChangeName, IID_IDispatch, &out));
    ASSERT_NE(nullptr, serverModule.classMap[0].classObject);
    EXPECT_EQ(1, CachedFactory()->refCount);
    EXPECT_EQ(0, serverModule.lockCount);
    EXPECT_EQ(&ChangeName::Create, CachedFactory()->createInstance);
}

TEST_F(ModuleRecord, ClientReferencesCoupleWithOneModuleLock)
{
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(
        S_OK,
        DllGetClassObject(CLSID_ChangeName, IID_IClassFactory, reinterpret_cast<void**>(&first)));
    EXPECT_EQ(2, CachedFactory()->refCount);
    EXPECT_EQ(1, serverModule.lockCount);
    ASSERT_EQ(
        S_OK,
        DllGetClassObject(CLSID_ChangeName, IID_IClassFactory, reinterpret_cast<void**>(&second)));
    EXPECT_EQ(3, CachedFactory()->refCount);
    EXPECT_EQ(1, serverModule.lockCount);
    second->Release();
    EXPECT_EQ(1, serverModule.lockCount);
    EXPECT_EQ(S_OK, first->LockServer(TRUE));
    EXPECT_EQ(2, serverModule.lockCount);
    EXPECT_EQ(S_OK, first->LockServer(FALSE));
    first->Release();
    EXPECT_EQ(1, CachedFactory()->refCount);
    EXPECT_EQ(0, serverModule.lockCount);
}

TEST_F(ModuleRecord, AggregationIsCheckedBeforeTheCreatorRuns)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        S_OK,
        DllGetClassObject(CLSID_ChangeName, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    IUnknown* outer = reinterpret_cast<IUnknown*>(0x1000);
    void* out = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IShellExtInit, &out));
    EXPECT_EQ(0, creatorCalls);
    EXPECT_EQ(E_NOTIMPL, factory->CreateInstance(outer, IID_IUnknown, &out));
    EXPECT_EQ(1, creatorCalls);
    EXPECT_EQ(outer, creatorOuter);
    EXPECT_EQ(E_NOTIMPL, factory->CreateInstance(nullptr, IID_IContextMenu, &out));
    EXPECT_EQ(2, creatorCalls);
    EXPECT_EQ(nullptr, creatorOuter);
    factory->Release();
}

TEST_F(ModuleRecord, DetachReleasesTheClassObjectAndRunsTerminationsNewestFirst)
{
    void* out = nullptr;
    DllGetClassObject(CLSID_ChangeName, IID_IUnknown, &out);
    static_cast<IUnknown*>(out)->Release();
    ASSERT_NE(nullptr, serverModule.classMap[0].classObject);
    ASSERT_EQ(S_OK, AddTermination(RecordTermination, 1));
    ASSERT_EQ(S_OK, AddTermination(RecordTermination, 2));
    ASSERT_EQ(S_OK, AddTermination(RecordTermination, 3));
    ASSERT_NE(nullptr, serverModule.termList);
    EXPECT_EQ(3u, serverModule.termList->argument);

    Detach();
    EXPECT_EQ(nullptr, serverModule.classMap[0].classObject);
    EXPECT_EQ((std::vector<DWORD_PTR> { 3, 2, 1 }), terminations);
    EXPECT_EQ(nullptr, serverModule.termList);
}

TEST_F(ModuleRecord, LookupInterface)
{
    TwoFaces object;
    const InterfaceEntry table[] = {
        { &IID_IContextMenu, PELIM_FACE_OFFSET(TwoFaces, IContextMenu) },
        { &IID_IShellExtInit, PELIM_FACE_OFFSET(TwoFaces, IShellExtInit) },
        { nullptr, 0 },
    };
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_POINTER, LookupInterface(&object, table, IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOINTERFACE, LookupInterface(&object, table, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, object.refs);

    EXPECT_EQ(S_OK, LookupInterface(&object, table, IID_IUnknown, &out));
    EXPECT_EQ(static_cast<IContextMenu*>(&object), out) << "IUnknown is the first row's face";
    EXPECT_EQ(S_OK, LookupInterface(&object, table, IID_IShellExtInit, &out));
    EXPECT_EQ(static_cast<IShellExtInit*>(&object), out);
    EXPECT_EQ(3, object.refs);
}

} // namespace

// The class map's creator for ChangeName, replaced: it counts its calls and creates nothing.
HRESULT ChangeName::Create(IUnknown* outer, REFIID riid, void** ppv)
{
    ++creatorCalls;
    creatorOuter = outer;
    return E_NOTIMPL;
}

HRESULT UpdateChangeNameRegistry(BOOL doRegister, HKEY classesRoot)
{
    return E_NOTIMPL;
}
