// COM identity of pelim102.dll, loaded for real: the cached class object and the module
// lock it couples with, class ids and interfaces it refuses, ChangeName's three faces
// alone and inside an outer object, LockServer, and two threads racing for the class object.
#include "support/PelimDll.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include "ProductVersion.h"

namespace {

PelimDll dll;

class ComIdentity : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(dll.Load()); }
    static void TearDownTestSuite() { dll.Unload(); }
    void SetUp() override
    {
        ASSERT_EQ(S_OK, dll.DllCanUnloadNow()) << "a lock left by an earlier test";
    }
    void TearDown() override { EXPECT_EQ(S_OK, dll.DllCanUnloadNow()) << "a lock left behind"; }
};

// An outer object that aggregates ChangeName: its own IUnknown, the shell interfaces
// passed on to the inner object (the context menu only when answerMenu is set).
class TestOuter : public IUnknown {
public:
    LONG refs = 1;
    IUnknown* inner = nullptr;
    bool answerMenu = true;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        bool passOn = IsEqualIID(riid, IID_IShellExtInit) || IsEqualIID(riid, kIidIChangeName) ||
            (answerMenu && IsEqualIID(riid, IID_IContextMenu));
        if (passOn && inner)
            return inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

const void* const kUntouched = reinterpret_cast<void*>(0x1234);

TEST_F(ComIdentity, ClassObjectIsCachedAndHoldsTheModuleOnlyWhileAClientDoes)
{
    IClassFactory* first = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&first)));
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());

    IClassFactory* second = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&second)));
    EXPECT_EQ(first, second);
    // The class map's reference and the two clients'.
    EXPECT_EQ(4u, first->AddRef());
    EXPECT_EQ(3u, first->Release());
    EXPECT_EQ(2u, second->Release());
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
    EXPECT_EQ(1u, first->Release());
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow());

    // Still cached: the next client gets the same object.
    IUnknown* again = nullptr;
    ASSERT_EQ(
        S_OK,
        dll.DllGetClassObject(kClsidChangeName, IID_IUnknown, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(static_cast<IUnknown*>(first), again);
    EXPECT_EQ(1u, again->Release());
}

TEST_F(ComIdentity, ClassObjectRefusals)
{
    void* out = const_cast<void*>(kUntouched);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              dll.DllGetClassObject(kIidIChangeName, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = const_cast<void*>(kUntouched);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll.DllGetClassObject(GUID_NULL, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory, nullptr));

    out = const_cast<void*>(kUntouched);
    EXPECT_EQ(E_NOINTERFACE, dll.DllGetClassObject(kClsidChangeName, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow());
}

TEST_F(ComIdentity, FreshModuleCachesTheClassObjectEvenWhenTheInterfaceIsRefused)
{
    dll.Unload();
    ASSERT_FALSE(dll.IsLoaded()) << "someone else holds " PELIM_DLL_NAME;
    ASSERT_TRUE(dll.Load());

    void* out = const_cast<void*>(kUntouched);
    EXPECT_EQ(E_NOINTERFACE, dll.DllGetClassObject(kClsidChangeName, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(2u, RefCount(factory));
    EXPECT_EQ(1u, factory->Release());
}

TEST_F(ComIdentity, CreateInstanceAloneHoldsOneModuleLockPerObject)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());

    EXPECT_EQ(2u, init->AddRef());
    EXPECT_EQ(1u, init->Release());
    EXPECT_EQ(0u, init->Release());
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow()) << "the second object still holds its lock";
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow());
}

TEST_F(ComIdentity, CreateInstanceRefusals)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
    void* out = const_cast<void*>(kUntouched);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IContextMenu, nullptr));

    TestOuter outer;
    out = const_cast<void*>(kUntouched);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, outer.refs);
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow()) << "a refused object must give its lock back";
}

TEST_F(ComIdentity, AllFacesAreOneObject)
{
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, dll.CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    IUnknown* unknown = nullptr;
    IUnknown* changeName = nullptr;
    IUnknown* dispatch = nullptr;
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    ASSERT_EQ(S_OK, menu->QueryInterface(kIidIChangeName, reinterpret_cast<void**>(&changeName)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(unknown, changeName) << "IUnknown is answered by the dispatch face";
    EXPECT_EQ(changeName, dispatch);
    EXPECT_NE(static_cast<void*>(init), static_cast<void*>(unknown));
    EXPECT_NE(static_cast<void*>(menu), static_cast<void*>(unknown));

    IUnknown* fromInit = nullptr;
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromInit)));
    EXPECT_EQ(unknown, fromInit);
    IContextMenu* menuAgain = nullptr;
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menuAgain)));
    EXPECT_EQ(menu, menuAgain);
    EXPECT_EQ(7u, RefCount(menu)) << "one count for every face handed out";

    void* out = const_cast<void*>(kUntouched);
    EXPECT_EQ(E_NOINTERFACE, init->QueryInterface(IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, menu->QueryInterface(IID_IShellExtInit, nullptr));

    menuAgain->Release();
    fromInit->Release();
    init->Release();
    dispatch->Release();
    changeName->Release();
    unknown->Release();
    EXPECT_EQ(0u, menu->Release());
}

TEST_F(ComIdentity, AggregatedObjectHandsIdentityToTheOuterObject)
{
    TestOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, dll.CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), inner);
    EXPECT_EQ(1, outer.refs) << "creating the inner object does not count on the outer one";
    EXPECT_EQ(1u, RefCount(inner));
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
    outer.inner = inner;

    // The owner face answers IUnknown with itself.
    IUnknown* owner = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&owner)));
    EXPECT_EQ(inner, owner);
    EXPECT_EQ(1u, owner->Release());
    EXPECT_EQ(E_POINTER, inner->QueryInterface(IID_IUnknown, nullptr));

    // Faces handed out count on the outer object.
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(2, outer.refs);
    EXPECT_EQ(3u, menu->AddRef());
    EXPECT_EQ(2u, menu->Release());
    EXPECT_EQ(1u, RefCount(inner));

    // From a face, IUnknown is the outer object's.
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(3, outer.refs);

    // An interface the outer object does not pass on is still answered by the inner
    // object's own table.
    outer.answerMenu = false;
    IContextMenu* menuAgain = nullptr;
    EXPECT_EQ(E_NOINTERFACE,
              outer.QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menuAgain)));
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menuAgain)));
    EXPECT_EQ(menu, menuAgain);
    menuAgain->Release();

    init->Release();
    menu->Release();
    EXPECT_EQ(1, outer.refs);
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(1, outer.refs);
}

TEST_F(ComIdentity, LockServerCounts)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK,
              dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, dll.DllCanUnloadNow());
}

struct RaceArgument {
    HANDLE start;
    IUnknown* got;
    HRESULT result;
};

DWORD WINAPI AskForClassObject(LPVOID parameter)
{
    RaceArgument* argument = static_cast<RaceArgument*>(parameter);
    WaitForSingleObject(argument->start, 10000);
    argument->result = dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory,
                                             reinterpret_cast<void**>(&argument->got));
    return 0;
}

TEST_F(ComIdentity, TwoThreadsAskingAtOnceGetTheSameClassObject)
{
    for (int round = 0; round < 20; ++round) {
        dll.Unload();
        ASSERT_FALSE(dll.IsLoaded());
        ASSERT_TRUE(dll.Load());
        HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        RaceArgument arguments[2] = { { start, nullptr, E_FAIL }, { start, nullptr, E_FAIL } };
        HANDLE threads[2];
        for (int i = 0; i < 2; ++i)
            threads[i] = CreateThread(nullptr, 0, AskForClassObject, &arguments[i], 0, nullptr);
        Sleep(5);
        SetEvent(start);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 10000));
        CloseHandle(threads[0]);
        CloseHandle(threads[1]);
        CloseHandle(start);
        ASSERT_EQ(S_OK, arguments[0].result);
        ASSERT_EQ(S_OK, arguments[1].result);
        ASSERT_EQ(arguments[0].got, arguments[1].got) << "round " << round;
        EXPECT_EQ(2u, arguments[0].got->Release());
        EXPECT_EQ(1u, arguments[1].got->Release());
        EXPECT_EQ(S_OK, dll.DllCanUnloadNow());
    }
}

} // namespace
