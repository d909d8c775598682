// The install folder dialog as setup.exe shows it: its template among the program's
// resources, the ways to close it, the empty-folder warning, the folder browser with and
// without a preselected folder, and the trailing backslash the install flow adds.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <commctrl.h>

#include "InstallSupport.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

// Reads the template: a DLGTEMPLATE, its strings and the DLGITEMTEMPLATEs, word aligned.
struct TemplateReader {
    const BYTE* p;
    WORD Word()
    {
        WORD w = *reinterpret_cast<const WORD*>(p);
        p += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD d = *reinterpret_cast<const DWORD*>(p);
        p += 4;
        return d;
    }
    std::wstring Text()
    {
        std::wstring text;
        for (WORD w = Word(); w != 0; w = Word())
            text += static_cast<wchar_t>(w);
        return text;
    }
    void Align()
    {
        p = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
    }
};

struct Item {
    DWORD style, exStyle;
    short x, y, cx, cy;
    WORD id;
    std::wstring className, text;
};

std::wstring FromCodePage932(const char* text)
{
    wchar_t wide[256] = {};
    MultiByteToWideChar(932, 0, text, -1, wide, 256);
    return wide;
}

TEST(FolderDialog, Template101IsTheJapaneseInstallFolderDialog)
{
    HMODULE setup = LoadLibraryExA("S:\\dist-master\\setup.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, setup);
    HRSRC resource =
        FindResourceExA(setup, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(101),
                        MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(nullptr, resource);
    TemplateReader reader = { static_cast<const BYTE*>(
        LockResource(LoadResource(setup, resource))) };
    EXPECT_EQ(0x90C80AC4u, reader.Dword()); // style
    EXPECT_EQ(0u, reader.Dword()); // extended style
    EXPECT_EQ(5, reader.Word()); // controls
    EXPECT_EQ(0, reader.Word());
    EXPECT_EQ(0, reader.Word());
    EXPECT_EQ(225, reader.Word());
    EXPECT_EQ(67, reader.Word());
    EXPECT_EQ(L"", reader.Text()); // no menu
    EXPECT_EQ(L"", reader.Text()); // the dialog class
    // The texts are the UTF-16 forms of the program's code page 932 texts.
    std::wstring caption = reader.Text();
    EXPECT_EQ(L"PELIM インストーラー", caption);
    EXPECT_EQ(FromCodePage932(kInstallerCaption), caption);
    EXPECT_EQ(9, reader.Word()); // points
    EXPECT_EQ(L"ＭＳ Ｐゴシック", reader.Text());

    const Item expected[] = {
        { 0x50000007, 0, 7, 7, 211, 34, 0xFFFF, L"BUTTON", L" インストールフォルダ " },
        { 0x50810080, 0, 12, 19, 160, 15, 1000, L"EDIT", L"" },
        { 0x50010000, 0, 177, 20, 35, 15, 1001, L"BUTTON", L"参照(&B)" },
        { 0x50010001, 0, 109, 46, 55, 15, 1, L"BUTTON", L"インストール(&I)" },
        { 0x50010000, 0, 168, 46, 50, 15, 2, L"BUTTON", L"キャンセル(&C)" },
    };
    for (const Item& want : expected) {
        reader.Align();
        Item got;
        got.style = reader.Dword();
        got.exStyle = reader.Dword();
        got.x = reader.Word();
        got.y = reader.Word();
        got.cx = reader.Word();
        got.cy = reader.Word();
        got.id = reader.Word();
        got.className = reader.Text();
        got.text = reader.Text();
        EXPECT_EQ(0, reader.Word()); // no creation data
        EXPECT_EQ(want.style, got.style) << got.id;
        EXPECT_EQ(want.exStyle, got.exStyle) << got.id;
        EXPECT_EQ(want.x, got.x) << got.id;
        EXPECT_EQ(want.y, got.y) << got.id;
        EXPECT_EQ(want.cx, got.cx) << got.id;
        EXPECT_EQ(want.cy, got.cy) << got.id;
        EXPECT_EQ(want.id, got.id);
        EXPECT_TRUE(want.className == got.className) << got.id;
        EXPECT_TRUE(want.text == got.text) << got.id;
    }
    EXPECT_EQ(FromCodePage932(" インストールフォルダ "), expected[0].text);
    FreeLibrary(setup);
}

// Starts setup.exe and returns its dialog.
HWND StartSetup(Process& setup)
{
    EXPECT_TRUE(CopyDist());
    EXPECT_TRUE(setup.Start(kDistSetup, kDistSetup));
    return WaitForFolderDialog(setup.id);
}

// The dialog ended without a message and without any change, as cancelled by the user.
void ExpectEndedUntouched(Process& setup)
{
    EXPECT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(2u, setup.exitCode);
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(Exists("C:\\Program Files\\pelim"));
}

TEST(FolderDialog, CancelEscAndTheCloseBoxEndItWithoutAMessage)
{
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "cancel" : way == 1 ? "esc" : "close box");
        Process setup;
        HWND dialog = StartSetup(setup);
        ASSERT_NE(nullptr, dialog);
        if (way == 0) {
            ASSERT_TRUE(UiRobot::ClickButton(dialog, IDCANCEL));
        } else if (way == 1) {
            HWND edit = GetDlgItem(dialog, 1000);
            ASSERT_TRUE(UiRobot::WaitForFocus(dialog, edit, 5000));
            ASSERT_TRUE(UiRobot::PressKey(edit, VK_ESCAPE));
        } else {
            ASSERT_TRUE(UiRobot::CloseBox(dialog));
        }
        ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, 10000));
        EXPECT_EQ(nullptr, UiRobot::WaitForMessageBox(setup.id, nullptr, 1000));
        ExpectEndedUntouched(setup);
    }
}

TEST(FolderDialog, AnEmptyOrRelativeFolderWarnsAndPutsTheFocusBackInTheEditBox)
{
    Process setup;
    HWND dialog = StartSetup(setup);
    ASSERT_NE(nullptr, dialog);
    HWND edit = GetDlgItem(dialog, 1000);
    // A relative folder would land below whatever folder is current (here S:\).
    for (const char* typed : { "", "pelim", "pelim\\", "\\pelim", "S:pelim" }) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(UiRobot::SetControlText(dialog, 1000, typed));
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
        MessageBoxInfo warning = ExpectBox(setup.id, kWarningCaption);
        EXPECT_EQ(kEmptyFolderText, warning.text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), warning.style);
        EXPECT_EQ(dialog, warning.owner);
        ASSERT_TRUE(Answer(warning, IDOK));
        EXPECT_TRUE(UiRobot::WaitForFocus(dialog, edit, 5000));
        EXPECT_TRUE(UiRobot::IsShown(dialog));
    }
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDCANCEL));
    ExpectEndedUntouched(setup);
    EXPECT_FALSE(Exists("S:\\pelim"));
}

// The shell's folder browser that the browse button opens, owned by the dialog.
HWND WaitForBrowser(HWND dialog, DWORD processId)
{
    UiRobot::WindowQuery query = UiRobot::AnyWindow();
    query.processId = processId;
    query.owner = dialog;
    query.visibleOnly = true;
    return UiRobot::WaitForWindow(query, kAppearMs);
}

static BOOL CALLBACK FindTree(HWND child, LPARAM found)
{
    if (UiRobot::WindowClass(child) != "SysTreeView32")
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// Waits until the browser's tree holds its root and, with beyondRoot, has selected an item
// below it: the folder from the edit box, once the browser has selected it.
bool WaitForSelection(HWND browser, bool beyondRoot)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kAppearMs; Sleep(50)) {
        HWND tree = nullptr;
        EnumChildWindows(browser, FindTree, reinterpret_cast<LPARAM>(&tree));
        if (tree == nullptr)
            continue;
        DWORD_PTR selected = 0, root = 0;
        if (!SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_NORMAL, 1000,
                                 &selected) ||
            !SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, SMTO_NORMAL, 1000, &root))
            continue;
        if (root != 0 && (!beyondRoot || (selected != 0 && selected != root)))
            return true;
    }
    return false;
}

// The desktop folder with a backslash.
std::string DesktopFolder()
{
    char desktop[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    return std::string(desktop) + "\\";
}

TEST(FolderDialog, BrowseSelectsTheTypedFolderAndReturnsItWithABackslash)
{
    struct Case {
        const char* typed;
        // The typed folder is made just before its case, once the browser has been open
        // before: made before its first opening, the prefix's browser does not select it.
        bool madeFirst;
        int button; // pressed in the browser
        const char* selection; // what the browser must have selected first; null: nothing
        const char* result; // the edit box afterwards; null: the desktop folder
    };
    const Case cases[] = {
        // A folder in the edit box is selected when the browser opens: OK returns it.
        { "C:\\windows", false, IDOK, "the typed folder", "C:\\windows\\" },
        // A drive root comes back as it is, with its one backslash.
        { "C:\\", false, IDOK, "the typed folder", "C:\\" },
        // A folder whose name ends in the byte 0x5C of 表 still gets its backslash.
        { "S:\\browse\\表", true, IDOK, "the typed folder", "S:\\browse\\表\\" },
        // A cancelled browser leaves the edit box as it was.
        { "S:\\typed", false, IDCANCEL, nullptr, "S:\\typed" },
        // With an empty edit box the browser opens on its root, with nothing preselected: the
        // desktop folder is what OK then returns.
        { "", false, IDOK, "the root", nullptr },
    };

    Process setup;
    HWND dialog = StartSetup(setup);
    ASSERT_NE(nullptr, dialog);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        if (c.madeFirst) {
            RemoveTree("S:\\browse");
            ASSERT_TRUE(CreateDirectoryA("S:\\browse", nullptr));
            ASSERT_TRUE(CreateDirectoryA(c.typed, nullptr));
        }
        ASSERT_TRUE(UiRobot::SetControlText(dialog, 1000, c.typed));
        ASSERT_TRUE(UiRobot::ClickButton(dialog, 1001));
        HWND browser = WaitForBrowser(dialog, setup.id);
        ASSERT_NE(nullptr, browser);
        if (c.selection != nullptr) {
            ASSERT_TRUE(WaitForSelection(browser, c.typed[0] != '\0')) << c.selection;
        }
        ASSERT_TRUE(UiRobot::ClickButton(browser, c.button));
        ASSERT_TRUE(UiRobot::WaitForWindowGone(browser, 10000));
        EXPECT_EQ(c.result != nullptr ? c.result : DesktopFolder(),
                  UiRobot::ControlText(dialog, 1000));
    }
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDCANCEL));
    ExpectEndedUntouched(setup);
}

TEST(FolderDialog, AFolderTypedWithoutABackslashGetsOneEvenAfterADoubleByteName)
{
    // 表 ends in the byte 0x5C: only a real backslash counts as the end of the folder.
    RemoveTree("S:\\inst");
    ASSERT_TRUE(CreateDirectoryA("S:\\inst", nullptr));
    InstallAccepting("S:\\inst\\表");
    EXPECT_EQ("S:\\inst\\表\\", Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    EXPECT_EQ("S:\\inst\\表\\setup.exe -U",
              Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List("S:\\inst\\表\\"));
    EXPECT_EQ(std::vector<std::string>({ "表" }), List("S:\\inst\\"));
}

} // namespace
