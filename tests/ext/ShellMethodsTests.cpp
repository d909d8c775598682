// ChangeName's shell methods in pelim102.dll, driven as the file manager drives them:
// real files under S:\ext\, shell data objects made by their folders, real popup menus
// read back item by item. Where a call may open the rename dialog, a robot thread watches
// for it with a time limit, reads it and closes it.
#include "support/PelimDll.h"
#include "ShellDrop.h"
#include "UiRobot.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "ProductVersion.h"

namespace {

const char kCopyItem[] = "名前を変更してコピー(&G)";
const char kMoveItem[] = "名前を変更して移動(&W)";
const char kCopyCaption[] = "名前を変更してコピー";
const HRESULT kTwoItemsAdded = 2;
const UINT kFirst = 100;
const UINT kLast = 200;
const DWORD kAppearMs = 15000;

PelimDll dll;

void WriteFileW(const std::wstring& path, const char* content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot create a test file";
    DWORD written = 0;
    WriteFile(file, content, static_cast<DWORD>(strlen(content)), &written, nullptr);
    CloseHandle(file);
}

PIDLIST_ABSOLUTE Pidl(const wchar_t* path)
{
    PIDLIST_ABSOLUTE pidl = nullptr;
    SHParseDisplayName(path, nullptr, &pidl, 0, nullptr);
    return pidl;
}

IDataObject* ShellData(std::vector<const wchar_t*> items)
{
    IDataObject* data = nullptr;
    MakeDropDataObject(items.data(), static_cast<int>(items.size()), &data);
    return data;
}

// The file manager's own drop menu before a handler adds to it.
HMENU HostMenu()
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "A");
    AppendMenuA(menu, MF_STRING, 2, "B");
    AppendMenuA(menu, MF_STRING, 3, "C");
    return menu;
}

struct MenuItem {
    UINT id;
    std::string text;
    bool operator==(const MenuItem& other) const { return id == other.id && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const MenuItem& item)
{
    return out << "{" << item.id << ", \"" << item.text << "\"}";
}

std::vector<MenuItem> Items(HMENU menu)
{
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        items.push_back({ GetMenuItemID(menu, i), text });
    }
    return items;
}

const std::vector<MenuItem> kUnchanged = { { 1, "A" }, { 2, "B" }, { 3, "C" } };
const std::vector<MenuItem> kWithHandlerItems = {
    { 1, "A" }, { kFirst, kCopyItem }, { kFirst + 1, kMoveItem }, { 2, "B" }, { 3, "C" }
};

// A ChangeName as the file manager holds it: the init face and the menu face.
struct Handler {
    IShellExtInit* init = nullptr;
    IContextMenu* menu = nullptr;
    Handler()
    {
        dll.CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
        if (init)
            init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    }
    ~Handler()
    {
        if (menu)
            menu->Release();
        if (init)
            init->Release();
    }
    // Initialize with the folder and the items, then QueryContextMenu on a host menu.
    HRESULT Query(const wchar_t* folder, std::vector<const wchar_t*> dragged,
                  std::vector<MenuItem>* items)
    {
        PIDLIST_ABSOLUTE pidl = Pidl(folder);
        IDataObject* data = ShellData(dragged);
        EXPECT_NE(nullptr, pidl);
        EXPECT_NE(nullptr, data);
        init->Initialize(pidl, data, nullptr);
        data->Release();
        CoTaskMemFree(pidl);
        HMENU host = HostMenu();
        HRESULT result = menu->QueryContextMenu(host, 1, kFirst, kLast, CMF_NORMAL);
        *items = Items(host);
        DestroyMenu(host);
        return result;
    }
    HRESULT Invoke(LPCSTR verb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = verb;
        info.nShow = SW_SHOWNORMAL;
        return menu->InvokeCommand(&info);
    }
};

// Watches for the rename dialog of this process on a thread of its own: reads its name
// box, types newName into it when given, then ends it with the given button. Records
// whether it appeared at all.
class DialogWatch {
public:
    DialogWatch(int button, DWORD waitMs, const char* newName = nullptr)
        : button_(button), waitMs_(waitMs), newName_(newName)
    {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~DialogWatch() { Finish(); }
    void Finish()
    {
        if (thread_) {
            WaitForSingleObject(thread_, waitMs_ + 5000);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
    }
    bool appeared = false;
    std::string nameBox;

private:
    static DWORD WINAPI Run(LPVOID parameter)
    {
        DialogWatch* watch = static_cast<DialogWatch*>(parameter);
        HWND dialog = UiRobot::WaitForWindow(
            UiRobot::DialogOfProcess(GetCurrentProcessId(), kCopyCaption), watch->waitMs_);
        if (!dialog)
            return 0;
        watch->appeared = true;
        watch->nameBox = UiRobot::ControlText(dialog, 201);
        if (watch->newName_)
            UiRobot::SetControlText(dialog, 201, watch->newName_);
        UiRobot::PostCommand(dialog, watch->button_);
        UiRobot::WaitForWindowGone(dialog, 5000);
        return 0;
    }
    int button_;
    DWORD waitMs_;
    const char* newName_;
    HANDLE thread_ = nullptr;
};

// A drop of item onto folder, picked as copy, with watch answering the rename dialog:
// the two items are added, InvokeCommand says S_OK (also for a cancelled dialog) and the
// dialog appeared.
void DropAndPickCopy(const wchar_t* folder, const wchar_t* item, DialogWatch& watch)
{
    Handler handler;
    std::vector<MenuItem> items;
    ASSERT_EQ(kTwoItemsAdded, handler.Query(folder, { item }, &items));
    EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(0)));
    watch.Finish();
    ASSERT_TRUE(watch.appeared);
}

// A data object of the test's own making: CF_HDROP from a DROPFILES block in the ANSI
// form (a path the shell could not produce), or a failure, or an empty medium.
class HandMadeData : public IDataObject {
public:
    enum Mode { Paths, Refuse, NullMedium };
    HandMadeData(Mode mode, const std::string& path) : mode_(mode), path_(path) {}
    LONG refs = 1;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (mode_ == Refuse || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->pUnkForRelease = nullptr;
        medium->hGlobal = nullptr;
        if (mode_ == NullMedium)
            return S_OK;
        size_t size = sizeof(DROPFILES) + path_.size() + 2;
        medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(medium->hGlobal));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = FALSE;
        memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path_.data(), path_.size());
        GlobalUnlock(medium->hGlobal);
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    Mode mode_;
    std::string path_;
};

class ShellMethods : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(dll.Load());
        CreateDirectoryW(L"S:\\ext", nullptr);
        CreateDirectoryW(L"S:\\ext\\shell", nullptr);
        CreateDirectoryW(L"S:\\ext\\shell\\sub", nullptr);
        CreateDirectoryW(L"S:\\ext\\shell\\target", nullptr);
        WriteFileW(L"S:\\ext\\shell\\one.txt", "one");
        WriteFileW(L"S:\\ext\\shell\\two.txt", "two");
        CreateDirectoryW(L"S:\\ext\\wild", nullptr);
        WriteFileW(L"S:\\ext\\wild\\a\xD55C"
                   L"b.txt",
                   "korean"); // a한b.txt
        WriteFileW(L"S:\\ext\\wild\\a1b.txt", "one");
        WriteFileW(L"S:\\ext\\wild\\a2b.txt", "two");
    }
    static void TearDownTestSuite()
    {
        dll.Unload();
        CoUninitialize();
    }
    void SetUp() override { ASSERT_EQ(S_OK, dll.DllCanUnloadNow()); }
    void TearDown() override
    {
        EXPECT_EQ(S_OK, dll.DllCanUnloadNow()) << "an object or lock left behind";
    }
};

TEST_F(ShellMethods, OneItemAddsTwoItemsAtIndexMenu)
{
    const wchar_t* kinds[] = { L"S:\\ext\\shell\\one.txt", L"S:\\ext\\shell\\sub", L"R:\\" };
    for (const wchar_t* item : kinds) {
        SCOPED_TRACE(testing::Message() << "item " << (item - kinds[0]));
        Handler handler;
        std::vector<MenuItem> items;
        EXPECT_EQ(kTwoItemsAdded, handler.Query(L"S:\\ext\\shell\\target", { item }, &items));
        EXPECT_EQ(kWithHandlerItems, items);
    }
}

// No data object at all: nothing added. (A drop folder without a file-system path and
// two dragged items go through the drop host: tests/e2e/RefusalTests.cpp.)
TEST_F(ShellMethods, NoDataObjectAddsNothing)
{
    Handler handler;
    EXPECT_EQ(S_OK, handler.init->Initialize(nullptr, nullptr, nullptr));
    HMENU host = HostMenu();
    EXPECT_EQ(S_OK, handler.menu->QueryContextMenu(host, 1, kFirst, kLast, CMF_NORMAL));
    EXPECT_EQ(kUnchanged, Items(host));
    DestroyMenu(host);
}

TEST_F(ShellMethods, PathOutsideTheCodePageGetsItemsOnTheWideRoad)
{
    // a한b.txt reads "a?b.txt" through the ANSI call, a pattern that matches a1b.txt and
    // a2b.txt beside it; the NT family's wide road takes the name itself and offers it.
    Handler korean;
    std::vector<MenuItem> items;
    EXPECT_EQ(kTwoItemsAdded,
              korean.Query(L"S:\\ext\\shell\\target",
                           { L"S:\\ext\\wild\\a\xD55C"
                             L"b.txt" },
                           &items));
    EXPECT_EQ(kWithHandlerItems, items);
}

TEST_F(ShellMethods, InitializeTwiceReleasesTheFirstDataObject)
{
    PIDLIST_ABSOLUTE folder = Pidl(L"S:\\ext\\shell\\target");
    IDataObject* first = ShellData({ L"S:\\ext\\shell\\one.txt" });
    IDataObject* second = ShellData({ L"S:\\ext\\shell\\two.txt" });
    ASSERT_EQ(1u, RefCount(first));
    ASSERT_EQ(1u, RefCount(second));
    {
        Handler handler;
        EXPECT_EQ(S_OK, handler.init->Initialize(folder, first, nullptr));
        EXPECT_EQ(2u, RefCount(first));
        EXPECT_EQ(S_OK, handler.init->Initialize(folder, second, nullptr));
        EXPECT_EQ(1u, RefCount(first));
        EXPECT_EQ(2u, RefCount(second));
    }
    EXPECT_EQ(1u, RefCount(second)) << "the last Release gives the data object back";
    first->Release();
    second->Release();
    CoTaskMemFree(folder);
}

TEST_F(ShellMethods, DataWithoutAFileListIsRefused)
{
    PIDLIST_ABSOLUTE folder = Pidl(L"S:\\ext\\shell\\target");
    HandMadeData refusing(HandMadeData::Refuse, "");
    HandMadeData empty(HandMadeData::NullMedium, "");
    for (HandMadeData* data : { &refusing, &empty }) {
        Handler handler;
        handler.init->Initialize(folder, data, nullptr);
        HMENU host = HostMenu();
        EXPECT_EQ(E_INVALIDARG, handler.menu->QueryContextMenu(host, 1, kFirst, kLast, CMF_NORMAL));
        EXPECT_EQ(kUnchanged, Items(host));
        DestroyMenu(host);
    }
    EXPECT_EQ(1, refusing.refs);
    EXPECT_EQ(1, empty.refs);
    CoTaskMemFree(folder);
}

TEST_F(ShellMethods, InvokeCommandRefusalsShowNothing)
{
    DialogWatch watch(IDCANCEL, 3000);
    {
        Handler fresh; // neither a source nor a target yet
        EXPECT_EQ(E_INVALIDARG, fresh.Invoke(MAKEINTRESOURCEA(0)));
    }
    {
        Handler handler;
        std::vector<MenuItem> items;
        ASSERT_EQ(kTwoItemsAdded,
                  handler.Query(L"S:\\ext\\shell\\target", { L"S:\\ext\\shell\\one.txt" }, &items));
        EXPECT_EQ(E_INVALIDARG, handler.Invoke("copy")) << "a verb given as a string";
        EXPECT_EQ(E_INVALIDARG, handler.Invoke(MAKEINTRESOURCEA(2)));
        EXPECT_EQ(E_INVALIDARG, handler.Invoke(MAKEINTRESOURCEA(0xFFFF)));

        // The source stays, the target is gone: a folder without a file-system path.
        PIDLIST_ABSOLUTE computer = nullptr;
        ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
        EXPECT_EQ(S_OK, handler.init->Initialize(computer, nullptr, nullptr));
        CoTaskMemFree(computer);
        EXPECT_EQ(E_INVALIDARG, handler.Invoke(MAKEINTRESOURCEA(0)));
        EXPECT_EQ(E_INVALIDARG, handler.Invoke(MAKEINTRESOURCEA(1)));
    }
    watch.Finish();
    EXPECT_FALSE(watch.appeared) << "a refused command must not open the dialog";
}

TEST_F(ShellMethods, GetCommandStringIsNotImplemented)
{
    Handler handler;
    std::vector<MenuItem> items;
    ASSERT_EQ(kTwoItemsAdded,
              handler.Query(L"S:\\ext\\shell\\target", { L"S:\\ext\\shell\\one.txt" }, &items));
    const UINT types[] = { GCS_VERBA, GCS_HELPTEXTA, GCS_VALIDATEA, GCS_VERBW, GCS_HELPTEXTW };
    for (UINT_PTR command = 0; command < 2; ++command) {
        for (UINT type : types) {
            char name[16];
            memset(name, 'x', sizeof(name));
            EXPECT_EQ(E_NOTIMPL,
                      handler.menu->GetCommandString(command, type, nullptr, name, sizeof(name)));
            EXPECT_EQ(std::string(16, 'x'), std::string(name, 16)) << "the buffer is left alone";
        }
    }
}

TEST_F(ShellMethods, LongPathIsCutTo999Characters)
{
    // S:\ + 300 folder characters + \ + 800 name characters: 1104 in all. The first 999
    // leave 695 characters of the name.
    std::string path = "S:\\" + std::string(300, 'd') + "\\" + std::string(800, 'n');
    HandMadeData data(HandMadeData::Paths, path);
    PIDLIST_ABSOLUTE folder = Pidl(L"S:\\ext\\shell\\target");
    {
        Handler handler;
        handler.init->Initialize(folder, &data, nullptr);
        HMENU host = HostMenu();
        EXPECT_EQ(kTwoItemsAdded,
                  handler.menu->QueryContextMenu(host, 1, kFirst, kLast, CMF_NORMAL));
        DestroyMenu(host);

        DialogWatch watch(IDCANCEL, kAppearMs);
        EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(0))) << "cancelled, still S_OK";
        watch.Finish();
        ASSERT_TRUE(watch.appeared);
        EXPECT_EQ(std::string(695, 'n'), watch.nameBox);
    }
    EXPECT_EQ(1, data.refs);
    CoTaskMemFree(folder);
}

// A dragged drive root is the drive itself, not the folder that is current on it: the
// host's current folder lies on R: while R:\ is copied under a new name.
TEST_F(ShellMethods, DraggedDriveRootCopiesTheDrive)
{
    CreateDirectoryW(L"R:\\ext-current", nullptr);
    WriteFileW(L"R:\\ext-root.txt", "root");
    WriteFileW(L"R:\\ext-current\\current.txt", "current");
    CreateDirectoryW(L"S:\\ext\\root-drop", nullptr);
    SHFILEOPSTRUCTW clear = {};
    clear.wFunc = FO_DELETE;
    clear.pFrom = L"S:\\ext\\root-drop\\drive\0";
    clear.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationW(&clear);
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("R:\\ext-current"));
    {
        DialogWatch watch(IDOK, kAppearMs, "drive");
        DropAndPickCopy(L"S:\\ext\\root-drop", L"R:\\", watch);
        EXPECT_EQ("R:", watch.nameBox) << "the name comes from the drive letter";
    }
    DWORD start = GetTickCount();
    while (dll.DllCanUnloadNow() != S_OK && GetTickCount() - start < kAppearMs)
        Sleep(20);
    SetCurrentDirectoryA(previous);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA("S:\\ext\\root-drop\\drive\\ext-root.txt"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA("S:\\ext\\root-drop\\drive\\ext-current\\current.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("S:\\ext\\root-drop\\drive\\current.txt"))
        << "the current folder of R: was copied instead of the drive";
}

// While a transfer runs, its thread keeps the module loaded: the client's own references
// may all be gone, yet the code stays mapped until the thread has left it. The copy meets
// an existing file, so the thread waits in the shell's replace confirmation meanwhile.
void TransferKeepsTheModuleLoaded(const std::wstring& caseFolder)
{
    std::wstring source = caseFolder + L"\\keep.txt";
    std::wstring target = caseFolder + L"\\dst";
    CreateDirectoryW(caseFolder.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    WriteFileW(source, "new");
    WriteFileW(target + L"\\keep.txt", "old");
    {
        DialogWatch watch(IDOK, kAppearMs); // OK with the name as offered: keep.txt
        DropAndPickCopy(target.c_str(), source.c_str(), watch);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    HWND confirm = UiRobot::WaitForWindow(
        UiRobot::DialogOfProcess(GetCurrentProcessId(), "ファイルの上書きの確認"), kAppearMs);
    ASSERT_NE(nullptr, confirm) << "the shell's replace confirmation did not appear";
    EXPECT_EQ(S_FALSE, dll.DllCanUnloadNow()) << "the running transfer holds a module lock";

    dll.Unload();
    EXPECT_TRUE(dll.IsLoaded()) << "the transfer thread's own reference";

    ASSERT_TRUE(UiRobot::PostCommand(confirm, IDYES));
    DWORD start = GetTickCount();
    while (dll.IsLoaded() && GetTickCount() - start < kAppearMs)
        Sleep(20);
    EXPECT_FALSE(dll.IsLoaded()) << "the thread gives its reference back as it ends";

    char content[8] = {};
    HANDLE file = CreateFileW((target + L"\\keep.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    ReadFile(file, content, sizeof(content) - 1, &read, nullptr);
    CloseHandle(file);
    EXPECT_STREQ("new", content);
}

TEST_F(ShellMethods, TransferThreadKeepsTheModuleLoadedUntilItEnds)
{
    TransferKeepsTheModuleLoaded(L"S:\\ext\\transfer");
    ASSERT_TRUE(dll.Load());
}

TEST_F(ShellMethods, TransferThreadKeepsAModuleLoadedFromAPathOutsideTheCodePage)
{
    // The DLL itself under S:\ext\한\: its ANSI path would read "S:\ext\?\pelim102.dll".
    std::wstring folder = L"S:\\ext\\\xD55C";
    std::wstring copy = folder + L"\\" PELIM_DLL_NAME;
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(L"P:\\" PELIM_DLL_NAME, copy.c_str(), FALSE));
    dll.Unload();
    ASSERT_FALSE(dll.IsLoaded());
    ASSERT_TRUE(dll.LoadFrom(copy.c_str()));
    TransferKeepsTheModuleLoaded(L"S:\\ext\\transfer-copy");
    ASSERT_TRUE(dll.Load());
}

} // namespace
