// Drops inside the test process: the handler runs on a drop thread of the test while the
// robot drives its dialog from the test thread, so that the process's threads, handles and
// the DLL's heaps can be counted around the transfers.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "E2eSupport.h"
#include "ShellDrop.h"
#include "UiRobot.h"

using namespace e2e;

namespace {

typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT(WINAPI* CanUnloadNowFunction)();

// One drop, run from Initialize to InvokeCommand on a thread of its own.
struct DropJob {
    IClassFactory* factory = nullptr;
    std::wstring folder;
    std::wstring item;
    int verb = 0;
    HRESULT query = E_FAIL;
    HRESULT invoke = E_FAIL;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
};

DWORD WINAPI RunDrop(void* parameter)
{
    DropJob* job = static_cast<DropJob*>(parameter);
    CoInitialize(nullptr);
    IShellExtInit* handler = nullptr;
    if (SUCCEEDED(job->factory->CreateInstance(nullptr, IID_IShellExtInit,
                                               reinterpret_cast<void**>(&handler)))) {
        PIDLIST_ABSOLUTE folderId = nullptr;
        SHParseDisplayName(job->folder.c_str(), nullptr, &folderId, 0, nullptr);
        IDataObject* dataObject = nullptr;
        const wchar_t* items[] = { job->item.c_str() };
        MakeDropDataObject(items, 1, &dataObject);
        handler->Initialize(folderId, dataObject, nullptr);
        IContextMenu* contextMenu = nullptr;
        if (SUCCEEDED(handler->QueryInterface(IID_IContextMenu,
                                              reinterpret_cast<void**>(&contextMenu)))) {
            HMENU menu = CreatePopupMenu();
            job->query = contextMenu->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
            CMINVOKECOMMANDINFO invoke = {};
            invoke.cbSize = sizeof invoke;
            invoke.lpVerb = MAKEINTRESOURCEA(job->verb);
            invoke.nShow = SW_SHOWNORMAL;
            job->invoke = contextMenu->InvokeCommand(&invoke);
            DestroyMenu(menu);
            contextMenu->Release();
        }
        if (dataObject != nullptr)
            dataObject->Release();
        CoTaskMemFree(folderId);
        handler->Release();
    }
    CoUninitialize();
    return 0;
}

// The value a fresh handle gets: the lowest free slot, so it is the same before and after
// exactly when nothing that was opened in between stayed open.
ULONG_PTR FreshHandleValue()
{
    HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<ULONG_PTR>(probe);
}

class InProcessDropTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The heaps the DLL makes when it is loaded are the module allocator's.
        HANDLE before[256];
        DWORD beforeCount = GetProcessHeaps(256, before);
        module = LoadLibraryA(kDllPath);
        HANDLE after[256];
        DWORD afterCount = GetProcessHeaps(256, after);
        for (DWORD i = 0; i < afterCount && i < 256; ++i) {
            bool known = false;
            for (DWORD j = 0; j < beforeCount && j < 256; ++j)
                known = known || after[i] == before[j];
            if (!known)
                dllHeaps.push_back(after[i]);
        }
    }

    static void TearDownTestSuite()
    {
        // The DLL stays loaded: a transfer thread of a failed test may still be in it.
        dllHeaps.clear();
    }

    void SetUp() override
    {
        ASSERT_NE(nullptr, module) << "cannot load " << kDllPath;
        getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_NE(nullptr, getClassObject);
        ASSERT_NE(nullptr, canUnloadNow);
        ASSERT_EQ(S_OK,
                  getClassObject(kChangeNameClsid, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)));
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = CaseFolder(std::string("InProcess.") + info->name());
        source = folder + "src\\";
        target = folder + "dst";
        ASSERT_TRUE(MakeFolder(source));
        ASSERT_TRUE(MakeFolder(target));
    }

    void TearDown() override
    {
        if (factory != nullptr)
            factory->Release();
        factory = nullptr;
    }

    // Starts a copy of the named file of the source folder on a drop thread, confirms its
    // dialog unchanged and waits until InvokeCommand has returned.
    void CopyThroughDialog(const std::string& name)
    {
        DropJob job;
        job.factory = factory;
        job.folder = Wide(target);
        job.item = Wide(source + name);
        job.verb = 0;
        job.thread = CreateThread(nullptr, 0, RunDrop, &job, 0, &job.threadId);
        ASSERT_NE(nullptr, job.thread);
        UiRobot::WindowQuery query = UiRobot::DialogOfProcess(GetCurrentProcessId(), kCopyCaption);
        query.threadId = job.threadId;
        HWND dialog = UiRobot::WaitForWindow(query, kAppearMs);
        if (dialog != nullptr) {
            EXPECT_EQ(name.substr(0, name.find('.')), UiRobot::ControlText(dialog, kNameBox));
            UiRobot::ClickButton(dialog, IDOK);
        }
        bool ended = WaitForSingleObject(job.thread, kDropMs) == WAIT_OBJECT_0;
        if (!ended) {
            // Leave no dialog behind: the drop thread then ends on its own.
            if (dialog != nullptr)
                UiRobot::PostCommand(dialog, IDCANCEL);
            WaitForSingleObject(job.thread, kGoneMs);
        }
        CloseHandle(job.thread);
        ASSERT_NE(nullptr, dialog) << "no dialog for " << name;
        ASSERT_TRUE(ended) << "InvokeCommand did not return for " << name;
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), job.query);
        EXPECT_EQ(S_OK, job.invoke);
    }

    // Blocks in use in the DLL's own heaps.
    static int BusyBlocksInDllHeaps()
    {
        int busy = 0;
        for (HANDLE heap : dllHeaps) {
            HeapLock(heap);
            PROCESS_HEAP_ENTRY entry = {};
            while (HeapWalk(heap, &entry)) {
                if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                    ++busy;
            }
            HeapUnlock(heap);
        }
        return busy;
    }

    static HMODULE module;
    static std::vector<HANDLE> dllHeaps;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
    IClassFactory* factory = nullptr;
    std::string folder;
    std::string source;
    std::string target;
};

HMODULE InProcessDropTest::module = nullptr;
std::vector<HANDLE> InProcessDropTest::dllHeaps;

TEST_F(InProcessDropTest, SeveralTransfersRunAtOnce)
{
    const int kTransfers = 3;
    int baseline = CountOwnThreads();
    int blocksIdle = BusyBlocksInDllHeaps();
    for (int i = 1; i <= kTransfers; ++i) {
        std::string name = "c" + std::to_string(i) + ".txt";
        ASSERT_TRUE(WriteTextFile(source + name, "new " + std::to_string(i)));
        ASSERT_TRUE(WriteTextFile(target + "\\" + name, "old " + std::to_string(i)));
    }
    // Each transfer stops at the shell's replace question, so all of them are running
    // at the same time once the last dialog has been confirmed.
    for (int i = 1; i <= kTransfers; ++i)
        CopyThroughDialog("c" + std::to_string(i) + ".txt");

    UiRobot::WindowQuery query = UiRobot::DialogOfProcess(GetCurrentProcessId(), kReplaceCaption);
    UiRobot::WindowList questions = {};
    DWORD start = GetTickCount();
    while ((questions = UiRobot::FindWindows(query)).size() < kTransfers &&
           GetTickCount() - start < kAppearMs) {
        Sleep(50);
    }
    EXPECT_EQ(static_cast<size_t>(kTransfers), questions.size());
    EXPECT_EQ(baseline + kTransfers, CountOwnThreads());
    // Each running transfer holds its request and its two path lists.
    EXPECT_LE(blocksIdle + 3 * kTransfers, BusyBlocksInDllHeaps());
    Screenshot("several-transfers");

    // With every object and the class object released, the running transfers still keep
    // the module from being unloaded.
    factory->Release();
    factory = nullptr;
    EXPECT_EQ(S_FALSE, canUnloadNow());

    for (HWND question : questions)
        EXPECT_TRUE(UiRobot::AnswerMessageBox(question, IDYES, kGoneMs));
    EXPECT_EQ(baseline, WaitForThreadCount(baseline, kDropMs));
    EXPECT_EQ(S_OK, canUnloadNow());
    EXPECT_EQ(blocksIdle, BusyBlocksInDllHeaps());
    for (int i = 1; i <= kTransfers; ++i) {
        std::string name = "c" + std::to_string(i) + ".txt";
        EXPECT_EQ("new " + std::to_string(i), ReadTextFile(target + "\\" + name)) << name;
    }
}

TEST_F(InProcessDropTest, TransfersLeaveNoHandleOrRequestBehind)
{
    ASSERT_FALSE(dllHeaps.empty()) << "the DLL made no heap of its own";
    const int kTransfers = 6;
    for (int i = 0; i < kTransfers + 2; ++i) {
        ASSERT_TRUE(WriteTextFile(source + "f" + std::to_string(i) + ".txt", "body"));
    }
    int baseline = CountOwnThreads();
    // Two transfers first, so that what the shell opens once and keeps is already open.
    CopyThroughDialog("f0.txt");
    CopyThroughDialog("f1.txt");
    ASSERT_EQ(baseline, WaitForThreadCount(baseline, kDropMs));
    ULONG_PTR handleBefore = FreshHandleValue();
    int blocksBefore = BusyBlocksInDllHeaps();

    for (int i = 2; i < kTransfers + 2; ++i)
        CopyThroughDialog("f" + std::to_string(i) + ".txt");
    ASSERT_EQ(baseline, WaitForThreadCount(baseline, kDropMs));

    EXPECT_EQ(handleBefore, FreshHandleValue());
    EXPECT_EQ(blocksBefore, BusyBlocksInDllHeaps());
    // The probe does see a handle left open.
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(handleBefore, FreshHandleValue());
    CloseHandle(held);
    EXPECT_EQ(static_cast<size_t>(kTransfers + 2), ListFolder(target).size());
}

} // namespace
