// The ARM64 suite's test program: the ARM64 DLL in an ARM64 Windows, through the x86 suites'
// routes: regsvr32, the file manager's handler keys, right-drops through the ARM64 drop host
// with the rename dialog driven by the UI robot, the shell's transfer on real files. "arm64tests
// --list" lists the cases, "arm64tests CASE" runs one (exit 0: passed), the current folder on
// the scratch drive S:, the DLL and drop host on P:. No runtime library (ExeEntry.cpp), no
// va_list: output goes through ReportLine. Every wait has a time limit, generous here.
#include <windows.h>
#include <shlobj.h>

#include "e2e/UserTexts.h"
#include "robot/UiRobot.h"
#include "support/ChildProcess.h"
#include "support/RegistryDump.h"
#include "tools/ReportLine.h"
#include "tools/TestFiles.h"

using namespace e2e;

namespace {

const DWORD kAppearMs = 60000, kGoneMs = 20000, kDropMs = 150000;

int failures = 0;

template <typename Char = char>
bool Check(bool ok, const char* what, const Char* detail = "")
{
    ReportLine().Text(ok ? "ok   " : "FAIL ").Text(what).Text(" ").Text(detail).Print();
    failures += ok ? 0 : 1;
    return ok;
}

// A text read back (UTF-16: a name) against the expected one.
template <typename Char>
void CheckText(const UiRobot::TextOf<Char>& actual, const Char* expected, const char* what)
{
    if (!Check(actual == expected, what, actual.c_str()))
        ReportLine().Text("     expected ").Text(expected).Print();
}

// The file folder\name holding what the drops write: "body".
void ExpectBody(const wchar_t* folder, const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    char data[256] = "";
    ReadFileText(JoinPath(path, folder, name), data, sizeof data);
    Check(lstrcmpA(data, "body") == 0, "file there with its content", path);
}

// A drop that ended well: both items in the menu before the host's separator, the pick
// invoked, the transfer done and the DLL free to unload.
const char* const kDropped[] = { "query-context-menu 0x00000002", kSeparatorLine,
                                 "invoke-command 0x00000000",     "transfers done",
                                 "can-unload-now 0x00000000",     nullptr };

// A drop of one item: made in src (a folder, when its name ends in a backslash: holding inner.txt
// and sub\deep.txt; else a file), shown in the dialog without its extension. The copy into dst goes
// through the refusals, types copyName (null: leaves the name) and confirms, making copied; or,
// where copied is null, cancels and nothing is transferred. Where moved is given, a move into
// another folder under moveName follows. Names outside code page 932 are kept exactly by the NT
// family's wide road. The road is the DLL's, or the registry's with regsvr32's registration around
// the drop; with a second item there is no dialog. lines: the host's (null: kDropped).
struct DropCase {
    const wchar_t *caseName, *item, *shownName, *copyName, *copied, *moveName, *moved;
    const Refusal* refusals;
    const char* const* lines;
    bool registry;
    const wchar_t* second;
};

// What the robot does with the rename dialog of the case's copy or move: checks its buttons and the
// name it shows (a folder's: no extension box), answers the refused names' messages, types the new
// name (null: leaves it) and confirms, or cancels a copy that copies nothing.
void DriveDialog(const DropCase& c, bool move, DWORD host)
{
    HWND dialog = UiRobot::WaitForWindow(
        UiRobot::DialogOfProcess(host, move ? kMoveCaption : kCopyCaption), kAppearMs);
    if (!Check(dialog != nullptr, "rename dialog appears"))
        return;
    CheckText(UiRobot::ControlText(dialog, IDOK), move ? kMoveButton : kCopyButton, "OK");
    CheckText(UiRobot::ControlText(dialog, IDCANCEL), kCancelButton, "Cancel");
    CheckText(UiRobot::ControlTextW(dialog, kNameBox), c.shownName, "name box");
    if (c.item[lstrlenW(c.item) - 1] == L'\\')
        Check(!UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)), "no extension box");
    for (const Refusal* refusal = c.refusals; refusal && refusal->name; ++refusal) {
        UiRobot::SetControlText(dialog, kNameBox, refusal->name);
        UiRobot::SetControlText(dialog, kExtensionBox, refusal->extension);
        UiRobot::PostCommand(dialog, IDOK);
        UiRobot::MessageBoxInfo box = {};
        HWND shown = UiRobot::WaitForMessageBox(host, kErrorCaption, kAppearMs);
        if (!Check(UiRobot::ReadMessageBox(shown, &box), "refused", refusal->name))
            break;
        Check(box.owner == dialog, "message box owned by the dialog");
        CheckText(box.text, refusal->text, "message");
        Check(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs), "message box closed");
        Check(UiRobot::IsShown(dialog), "dialog stays open after the refusal");
    }
    if (move ? c.moveName : c.copyName)
        UiRobot::SetControlTextW(dialog, kNameBox, move ? c.moveName : c.copyName);
    UiRobot::PostCommand(dialog, move || c.copied ? IDOK : IDCANCEL);
    Check(UiRobot::WaitForWindowGone(dialog, kGoneMs), "rename dialog ends");
}

// The case's copy (by its road) or move (by the DLL's) of items (null-ended) onto target
// through the drop host, the robot driving the dialog where the case shows one; the host's
// report must hold a line starting with each of the case's lines.
void Drop(const DropCase& c, bool move, const wchar_t* target, const wchar_t* const* items)
{
    const wchar_t* road = c.registry && !move ? L"--registry" : L"--dll P:\\" PELIM_DLL_NAME;
    const char* const* lines = c.lines && !move ? c.lines : kDropped;
    wchar_t commandLine[2048] = L"P:\\drophost.exe --wait-ms 90000 --pick ", reportPath[MAX_PATH];
    const wchar_t* const parts[] = { move ? L"move " : L"copy ", road, L" \"", target, L"\"" };
    for (const wchar_t* part : parts)
        lstrcatW(commandLine, part);
    for (; *items; ++items)
        lstrcatW(lstrcatW(lstrcatW(commandLine, L" \""), *items), L"\"");
    ChildProcess host;
    host.reportPath = JoinPath(reportPath, target, L"..\\host.txt");
    if (!Check(host.Start(commandLine), "drop host started"))
        return;
    if (c.shownName)
        DriveDialog(c, move, host.id);
    Check(host.Finish(kDropMs) && host.exitCode == 0, "drop host ends with 0");
    char report[16384] = "\n";
    ReadFileText(reportPath, report + 1, sizeof report - 1);
    for (; *lines; ++lines) {
        int matched = 0;
        for (const char* at = report; *at && (*lines)[matched]; ++at) {
            matched = 0;
            while (*at == '\n' && (*lines)[matched] && at[1 + matched] == (*lines)[matched])
                ++matched;
        }
        Check(!(*lines)[matched], "drop host's line", *lines);
    }
    DWORD written = 0;
    if (failures) // the whole report, for the reader of a failure
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report, lstrlenA(report), &written, nullptr);
}

// The dump of classes\key against pattern's (null: no key), name standing for its "<key>".
void ExpectDump(HKEY classes, const char* key, const char* pattern, const char* name = "")
{
    char actual[4096], expected[4096];
    DumpKey(classes, key, actual, sizeof actual);
    ExpectedDump(expected, sizeof expected, pattern, name, kDllPath);
    if (!Check(lstrcmpA(actual, expected) == 0, "registry below", key))
        ReportLine().Text(actual).Text("     expected\n").Text(expected).Print();
}

// regsvr32.exe as the setup program starts it, registering the DLL for the machine or for one user
// (the same keys under HKCU\Software\Classes, none for the machine), or removing it, and what it
// leaves below the classes: the class, a handler key under each parent (the parents are shared and
// stay) and the type library, not looked for after a user's registration: Wine's
// RegisterTypeLibForUser writes it for the machine (a FIXME in Wine). A removal takes it
// everywhere. True when regsvr32 ends with 0.
bool Registration(bool user, bool registered)
{
    const char* switches =
        registered ? (user ? "/s /n /i:user" : "/s") : (user ? "/s /u /n /i:user" : "/s /u");
    bool done = Check(RunRegsvr32(switches, kDllPath) == 0, "regsvr32 ends with 0", switches);
    HKEY classes = HKEY_CLASSES_ROOT;
    char key[MAX_PATH], parents[4096];
    if (user)
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, KEY_READ, &classes);
    ExpectDump(classes, kClassKey, registered ? kClassKeyDump : nullptr);
    if (user)
        ExpectDump(HKEY_LOCAL_MACHINE, lstrcatA(lstrcpyA(key, "Software\\Classes\\"), kClassKey),
                   nullptr);
    for (const char* parent : kHandlerParents) {
        DumpKey(classes, lstrcatA(lstrcpyA(key, parent), "\\shellex\\DragDropHandlers"), parents,
                sizeof parents);
        Check(parents[0] == '[', "the shared parent stays", key);
        ExpectDump(classes, lstrcatA(key, "\\pelim"), registered ? kHandlerKeyDump : nullptr,
                   parent);
    }
    ITypeLib* library = nullptr;
    HRESULT loaded = LoadRegTypeLib(kLibraryId, 1, 0, 0, &library);
    if (library)
        library->Release();
    if (!registered || !user) {
        ExpectDump(classes,
                   lstrcatA(lstrcpyA(key, kLibraryKey), registered ? "\\1.0\\0\\win64" : ""),
                   registered ? kLibraryKeyDump : nullptr, "win64");
        Check(loaded == (registered ? S_OK : TYPE_E_LIBNOTREGISTERED), "LoadRegTypeLib");
    }
    RegCloseKey(classes);
    return done;
}

// The file manager's road: the Folder handler key names the class, COM loads the DLL from
// InprocServer32; the drop menu gets both items with their exact texts and command ids.
const char* const kMenu[] = {
    "handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim {6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}",
    "co-create-instance 0x00000000",
    "ansi-code-page 932",
    kCopyItemLine,
    kMoveItemLine,
    kSeparatorLine,
    "invoke-command 0x00000000",
    nullptr
};
// Two dragged items: no menu items, and InvokeCommand refuses.
const char* const kTwoItems[] = { "query-context-menu 0x00000000", "menu 3 separator",
                                  "invoke-command 0x80070057", "can-unload-now 0x00000000",
                                  nullptr };

// New names no file can carry, each refused with its message.
const Refusal kRefusals[] = { { "CON", "", kDeviceNameText },
                              { "nul", "txt", kDeviceNameText },
                              { "a:b", "txt", kForbiddenCharacterText },
                              {} };

const DropCase kDropCases[] = {
    { L"menu", L"見積書.txt", L"見積書", nullptr, nullptr, nullptr, nullptr, nullptr, kMenu, true },
    { L"cp932-name", L"見積書.txt", L"見積書", L"見積書_控え", L"見積書_控え.txt", L"能力表",
      L"能力表.txt" },
    { L"wave-dash", kWideNames[0], L"4月\u301C6月", nullptr, kWideNames[0], L"7月\u301C9月",
      L"7月\u301C9月.xlsx" },
    { L"decomposed-kana", kWideNames[1], L"\u304B\u3099\u3057", nullptr, kWideNames[1],
      L"\u30D8\u309A\u30FC\u30B7\u3099", L"\u30D8\u309A\u30FC\u30B7\u3099.txt" },
    { L"emoji", kWideNames[3], L"\xD83D\xDE00", L"plan\xD83D\xDCC5", L"plan\xD83D\xDCC5.txt",
      nullptr, kWideNames[3] },
    { L"folder", L"写真.2024\\", L"写真.2024", L"album", L"album\\sub\\deep.txt" },
    { L"refused-names", L"rules.txt", L"rules", nullptr, nullptr, nullptr, nullptr, kRefusals },
    { L"two-items", L"a.txt", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, kTwoItems,
      false, L"b.txt" },
};

// The case's folder S:\arm64\<case> is made afresh, with src and dst below it.
void RunDropCase(const DropCase& c)
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], other[MAX_PATH], path[MAX_PATH];
    CreateDirectoryW(L"S:\\arm64", nullptr);
    MakeEmptyFolder(JoinPath(folder, L"S:\\arm64", c.caseName));
    CreateDirectoryW(JoinPath(source, folder, L"src"), nullptr);
    CreateDirectoryW(JoinPath(target, folder, L"dst"), nullptr);
    wchar_t item[MAX_PATH], second[MAX_PATH];
    const wchar_t* const items[] = { JoinPath(item, source, c.item),
                                     c.second ? JoinPath(second, source, c.second) : nullptr,
                                     nullptr };
    bool isFolder = item[lstrlenW(item) - 1] == L'\\';
    if (isFolder) {
        item[lstrlenW(item) - 1] = 0;
        SHCreateDirectoryExW(nullptr, JoinPath(path, item, L"sub"), nullptr);
        WriteFileText(JoinPath(path, item, L"inner.txt"), "body");
        WriteFileText(JoinPath(path, item, L"sub\\deep.txt"), "body");
    }
    for (int i = 0; items[i] && !isFolder; ++i)
        WriteFileText(items[i], "body");
    if (c.registry && !Registration(false, true))
        return;
    Drop(c, false, target, items);
    if (c.copied)
        ExpectBody(target, c.copied);
    if (isFolder)
        ExpectBody(JoinPath(path, target, c.copyName), L"inner.txt");
    Check(CountEntries(target) == (c.copied ? 1 : 0) && (!c.copied || CountEntries(source) == 1),
          c.copied ? "one copy; the source stays" : "cancelled or refused: nothing transferred");
    if (c.registry)
        Registration(false, false);
    if (!c.moved)
        return;
    CreateDirectoryW(JoinPath(other, folder, L"moved"), nullptr);
    Drop(c, true, other, items);
    ExpectBody(other, c.moved);
    Check(CountEntries(other) == 1 && CountEntries(source) == 0, "moved, not copied");
}

} // namespace

int main()
{
    int count = 0, found = -1; // found: a registration, or the drop case after them
    const wchar_t* const registrations[] = { L"register", L"register-user" };
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const wchar_t* name = arguments && count == 2 ? arguments[1] : L"";
    bool list = lstrcmpW(name, L"--list") == 0;
    for (int i = 0; i < 2 + static_cast<int>(ARRAYSIZE(kDropCases)); ++i) {
        const wchar_t* each = i < 2 ? registrations[i] : kDropCases[i - 2].caseName;
        if (list)
            ReportLine().Text(each).Print();
        found = lstrcmpW(name, each) == 0 ? i : found;
    }
    if (found < 0 && !list)
        ReportLine().Text("usage: arm64tests --list | CASE; no case ").Text(name).Print();
    if (found < 0 || list)
        return list ? 0 : 2;
    // A build that made no DLL is a failure, never a skip.
    if (Check(GetFileAttributesA(kDllPath) != INVALID_FILE_ATTRIBUTES, "DLL at", kDllPath)) {
        CoInitialize(nullptr);
        if (found >= 2)
            RunDropCase(kDropCases[found - 2]);
        for (int step = 0; found < 2 && step < 2; ++step) // the registration, then its removal
            Registration(found == 1, step == 0);
        CoUninitialize();
    }
    ReportLine().Text(failures ? "FAILED " : "PASSED ").Text(name).Print();
    return failures ? 1 : 0;
}
