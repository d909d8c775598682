// The ARM64 suite's test program: the ARM64 DLL in an ARM64 Windows, through the routes the
// x86 suites take: regsvr32, the file manager's handler keys, right-drops through the ARM64
// drop host with the rename dialog driven by the UI robot, the shell's transfer on real files.
//   arm64tests --list        the cases, one a line
//   arm64tests CASE          runs one: exit 0 passed, 1 failed
// Run with the current folder on the scratch drive S: and the DLL and drop host on P:. No
// runtime library (tests/arm64/ExeEntry.cpp), no va_list: output goes through ReportLine.
// Every wait has a time limit; under emulation they are generous.
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>

#include "ProductVersion.h"
#include "e2e/UserTexts.h"
#include "robot/UiRobot.h"
#include "support/ChildProcess.h"
#include "tools/ReportLine.h"
#include "tools/TestFiles.h"

using namespace e2e;

namespace {

const DWORD kAppearMs = 60000;
const DWORD kGoneMs = 20000;
const DWORD kDropMs = 150000;
const wchar_t kDll[] = L"P:\\" PELIM_DLL_NAME;
const GUID kLibraryId = {
    0x09453CB6, 0x62C4, 0x4355, { 0x94, 0xA7, 0x05, 0x8C, 0xE2, 0x68, 0x6E, 0xC6 }
};

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

// S:\arm64\<case> made afresh, with src and dst below it.
struct Folders {
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH];
};

Folders CaseFolder(const wchar_t* name)
{
    Folders f;
    CreateDirectoryW(L"S:\\arm64", nullptr);
    MakeEmptyFolder(JoinPath(f.folder, L"S:\\arm64", name));
    CreateDirectoryW(JoinPath(f.source, f.folder, L"src"), nullptr);
    CreateDirectoryW(JoinPath(f.target, f.folder, L"dst"), nullptr);
    return f;
}

void ExpectContent(const wchar_t* folder, const wchar_t* name, const char* content)
{
    wchar_t path[MAX_PATH];
    char data[256];
    ReadFileText(JoinPath(path, folder, name), data, sizeof data);
    Check(lstrcmpA(data, content) == 0, "file there with its content", path);
}

// What the robot does with the rename dialog: checks its buttons and the name it shows (a
// folder's: no extension box), goes through the refused names (each message box read and
// closed), types the new name (null: leaves it) and confirms, or cancels.
struct RobotPlan {
    bool move, folder, cancel;
    const wchar_t *shownName, *typedName;
    const Refusal* refusals;
    int refusalCount;
};

void DriveDialog(const RobotPlan& plan, DWORD host)
{
    HWND dialog = UiRobot::WaitForWindow(
        UiRobot::DialogOfProcess(host, plan.move ? kMoveCaption : kCopyCaption), kAppearMs);
    if (!Check(dialog != nullptr, "rename dialog appears"))
        return;
    CheckText(UiRobot::ControlText(dialog, IDOK), plan.move ? kMoveButton : kCopyButton, "OK");
    CheckText(UiRobot::ControlText(dialog, IDCANCEL), kCancelButton, "Cancel");
    CheckText(UiRobot::ControlTextW(dialog, kNameBox), plan.shownName, "name box");
    if (plan.folder)
        Check(!UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)), "no extension box");
    for (int i = 0; i < plan.refusalCount; ++i) {
        const Refusal& refusal = plan.refusals[i];
        UiRobot::SetControlText(dialog, kNameBox, refusal.name);
        UiRobot::SetControlText(dialog, kExtensionBox, refusal.extension);
        UiRobot::PostCommand(dialog, IDOK);
        UiRobot::MessageBoxInfo box = {};
        HWND shown = UiRobot::WaitForMessageBox(host, kErrorCaption, kAppearMs);
        if (!Check(UiRobot::ReadMessageBox(shown, &box), "refused", refusal.name))
            break;
        Check(box.owner == dialog, "message box owned by the dialog");
        CheckText(box.text, refusal.text, "message");
        Check(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs), "message box closed");
        Check(UiRobot::IsShown(dialog), "dialog stays open after the refusal");
    }
    if (plan.typedName)
        UiRobot::SetControlTextW(dialog, kNameBox, plan.typedName);
    UiRobot::PostCommand(dialog, plan.cancel ? IDCANCEL : IDOK);
    Check(UiRobot::WaitForWindowGone(dialog, kGoneMs), "rename dialog ends");
}

// A child process with reportPath as its output; its exit code (ChildProcess::kEndedByForce
// when it did not end in time).
int RunChild(const wchar_t* commandLine, const wchar_t* reportPath, const RobotPlan* robot)
{
    ChildProcess child;
    child.reportPath = reportPath;
    if (!Check(child.Start(commandLine), "child started"))
        return -1;
    if (robot)
        DriveDialog(*robot, child.id);
    child.Finish(kDropMs);
    return static_cast<int>(child.exitCode);
}

// A right-drop of items onto target through the drop host, by the road given ("--dll ..."
// or "--registry"); the host's report must hold a line starting with each of lines.
template <int Items, int Lines>
void Drop(const wchar_t* road, const wchar_t* pick, const wchar_t* target,
          const wchar_t* const (&items)[Items], const RobotPlan* robot,
          const char* const (&lines)[Lines])
{
    wchar_t commandLine[2048], reportPath[MAX_PATH];
    lstrcpyW(commandLine, L"P:\\drophost.exe --wait-ms 90000 --pick ");
    const wchar_t* const parts[] = { pick, L" ", road, L" \"", target, L"\"" };
    for (const wchar_t* part : parts)
        lstrcatW(commandLine, part);
    for (const wchar_t* item : items)
        lstrcatW(lstrcatW(lstrcatW(commandLine, L" \""), item), L"\"");
    JoinPath(reportPath, target, L"..\\host.txt");
    Check(RunChild(commandLine, reportPath, robot) == 0, "drop host ends with 0");
    char report[16384] = "\n";
    ReadFileText(reportPath, report + 1, sizeof report - 1);
    for (const char* line : lines) {
        bool found = false;
        for (const char* at = report; *at && !found; ++at) {
            const char* expected = line;
            for (const char* c = at + 1; *at == '\n' && *expected && *c == *expected; ++c)
                ++expected;
            found = *at == '\n' && !*expected;
        }
        Check(found, "drop host's line", line);
    }
    DWORD written = 0;
    if (failures) // the whole report, for the reader of a failure
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report, lstrlenA(report), &written, nullptr);
}

// regsvr32.exe as the setup program starts it, with the DLL; its exit code.
int Regsvr32(const wchar_t* switches)
{
    wchar_t commandLine[MAX_PATH];
    lstrcatW(lstrcatW(lstrcatW(lstrcpyW(commandLine, L"regsvr32.exe "), switches), L" "), kDll);
    int exitCode = RunChild(commandLine, L"S:\\regsvr32.txt", nullptr);
    ReportLine().Text("regsvr32 ").Wide(switches).Text(" exit ").Signed(exitCode).Print();
    return exitCode;
}

const char kNoKey[] = "<no key>";
const char kAnyValue[] = "<any value>"; // the key is there, whatever it holds

// The registration below the classes, value by value (a null name: the key's default
// value), as regsvr32 leaves it and after the removal. The shared parents stay.
struct RegistryValue {
    const char *key, *name, *registered, *removed;
};
const RegistryValue kRegistration[] = {
    { kClassKey, nullptr, kClassName, kNoKey },
    { kClassKey, "Version", "", kNoKey },
    { kClassKey, "InstFolder", "", kNoKey },
    { "CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}\\InprocServer32", nullptr, kDllPath, kNoKey },
    { "CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}\\InprocServer32", "ThreadingModel",
      "Apartment", kNoKey },
    { "*\\shellex\\DragDropHandlers\\pelim", nullptr, kClassId, kNoKey },
    { "Folder\\shellex\\DragDropHandlers\\pelim", nullptr, kClassId, kNoKey },
    { "Drive\\shellex\\DragDropHandlers\\pelim", nullptr, kClassId, kNoKey },
    { "*\\shellex\\DragDropHandlers", nullptr, kAnyValue, kAnyValue },
    { "Folder\\shellex\\DragDropHandlers", nullptr, kAnyValue, kAnyValue },
    { "Drive\\shellex\\DragDropHandlers", nullptr, kAnyValue, kAnyValue },
};

// A string value below root against the expected one; "<missing>" read for a key without it.
void CheckValue(HKEY root, const char* key, const char* name, const char* expected)
{
    UiRobot::Text value(kNoKey);
    DWORD type = REG_NONE, bytes = UiRobot::Text::kSize - 1;
    HKEY opened;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        if (RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(value.chars),
                             &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            value = "<missing>";
        if (expected == kAnyValue)
            value = kAnyValue;
        RegCloseKey(opened);
    }
    char what[MAX_PATH];
    CheckText(value, expected, lstrcatA(lstrcatA(lstrcpyA(what, key), " "), name ? name : ""));
}

// The table below the classes (the machine's or the user's) and the type library, which
// the user's registration does not look for: Wine's RegisterTypeLibForUser writes it for
// the machine (a FIXME in Wine). After a removal the type library is gone everywhere.
void ExpectRegistration(HKEY classes, bool registered, bool typeLibrary = true)
{
    for (const RegistryValue& value : kRegistration)
        CheckValue(classes, value.key, value.name, registered ? value.registered : value.removed);
    ITypeLib* library = nullptr;
    HRESULT loaded = LoadRegTypeLib(kLibraryId, 1, 0, 0, &library);
    if (library)
        library->Release();
    if (!registered) {
        CheckValue(classes, kLibraryKey, nullptr, kNoKey);
        Check(loaded == TYPE_E_LIBNOTREGISTERED, "LoadRegTypeLib: not registered");
    } else if (typeLibrary) {
        CheckValue(classes, "TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}\\1.0\\0\\win64",
                   nullptr, kDllPath);
        Check(loaded == S_OK, "LoadRegTypeLib");
    }
}

void CaseRegister()
{
    Check(Regsvr32(L"/s") == 0, "regsvr32 /s");
    ExpectRegistration(HKEY_CLASSES_ROOT, true);
    Check(Regsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    ExpectRegistration(HKEY_CLASSES_ROOT, false);
}

// One user's registration: the same keys under HKCU\Software\Classes, none for the machine.
void CaseRegisterUser()
{
    HKEY user = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr, &user,
                    nullptr);
    Check(Regsvr32(L"/s /n /i:user") == 0, "regsvr32 /s /n /i:user");
    ExpectRegistration(user, true, false);
    CheckValue(HKEY_LOCAL_MACHINE,
               "Software\\Classes\\CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}", nullptr, kNoKey);
    Check(Regsvr32(L"/s /u /n /i:user") == 0, "regsvr32 /s /u /n /i:user");
    ExpectRegistration(user, false);
    RegCloseKey(user);
}

const wchar_t kDllRoad[] = L"--dll P:\\" PELIM_DLL_NAME;
// A drop that ended well: both items in the menu before the host's separator, the pick
// invoked, the transfer done and the DLL free to unload.
const char* const kDropped[] = { "query-context-menu 0x00000002", kSeparatorLine,
                                 "invoke-command 0x00000000", "transfers done",
                                 "can-unload-now 0x00000000" };

// The file manager's road: the Folder handler key names the class, COM loads the DLL from
// InprocServer32; the drop menu gets both items with their exact texts and command ids.
void CaseMenu()
{
    Folders f = CaseFolder(L"menu");
    wchar_t item[MAX_PATH];
    WriteFileText(JoinPath(item, f.source, L"見積書.txt"), "estimate");
    if (!Check(Regsvr32(L"/s") == 0, "regsvr32 /s"))
        return;
    const char* const lines[] = {
        "handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim {6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}",
        "co-create-instance 0x00000000",
        "ansi-code-page 932",
        kCopyItemLine,
        kMoveItemLine,
        kSeparatorLine,
        "invoke-command 0x00000000"
    };
    RobotPlan cancel = { false, false, true, L"見積書" };
    Drop(L"--registry", L"copy", f.target, { item }, &cancel, lines);
    Check(CountEntries(f.target) == 0, "cancelled: nothing transferred");
    Check(Regsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    ExpectRegistration(HKEY_CLASSES_ROOT, false);
}

// Copies an item under a new name, then moves it into another folder under another; names
// outside code page 932 are kept exactly by the NT family's wide road.
struct NameCase {
    const wchar_t *caseName, *name, *shownName, *copyName, *copied, *moveName, *moved;
};

const NameCase kNameCases[] = {
    { L"cp932", L"見積書.txt", L"見積書", L"見積書_控え", L"見積書_控え.txt", L"能力表",
      L"能力表.txt" },
    { L"wave-dash", kWideNames[0], L"4月\u301C6月", nullptr, kWideNames[0], L"7月\u301C9月",
      L"7月\u301C9月.xlsx" },
    { L"decomposed-kana", kWideNames[1], L"\u304B\u3099\u3057", nullptr, kWideNames[1],
      L"\u30D8\u309A\u30FC\u30B7\u3099", L"\u30D8\u309A\u30FC\u30B7\u3099.txt" },
    { L"emoji", kWideNames[3], L"\xD83D\xDE00", L"plan\xD83D\xDCC5", L"plan\xD83D\xDCC5.txt",
      nullptr, kWideNames[3] },
};

template <int Index>
void CopyAndMove()
{
    const NameCase& c = kNameCases[Index];
    Folders f = CaseFolder(c.caseName);
    wchar_t item[MAX_PATH], other[MAX_PATH];
    CreateDirectoryW(JoinPath(other, f.folder, L"moved"), nullptr);
    WriteFileText(JoinPath(item, f.source, c.name), "body");
    RobotPlan copy = { false, false, false, c.shownName, c.copyName };
    Drop(kDllRoad, L"copy", f.target, { item }, &copy, kDropped);
    ExpectContent(f.target, c.copied, "body");
    Check(CountEntries(f.target) == 1 && CountEntries(f.source) == 1, "one copy; the source stays");
    RobotPlan move = { true, false, false, c.shownName, c.moveName };
    Drop(kDllRoad, L"move", other, { item }, &move, kDropped);
    ExpectContent(other, c.moved, "body");
    Check(CountEntries(other) == 1 && CountEntries(f.source) == 0, "moved, not copied");
}

void CaseFolderCopy()
{
    Folders f = CaseFolder(L"folder");
    wchar_t item[MAX_PATH], path[MAX_PATH], album[MAX_PATH];
    CreateDirectoryW(JoinPath(item, f.source, L"写真.2024"), nullptr);
    CreateDirectoryW(JoinPath(path, item, L"sub"), nullptr);
    WriteFileText(JoinPath(path, item, L"inner.txt"), "inner");
    WriteFileText(JoinPath(path, item, L"sub\\deep.txt"), "deep");
    RobotPlan copy = { false, true, false, L"写真.2024", L"album" };
    Drop(kDllRoad, L"copy", f.target, { item }, &copy, kDropped);
    ExpectContent(JoinPath(album, f.target, L"album"), L"inner.txt", "inner");
    ExpectContent(album, L"sub\\deep.txt", "deep");
    Check(CountEntries(f.target) == 1 && CountEntries(f.source) == 1, "one copy; the source stays");
}

// New names no file can carry are refused with their message; the dialog is then cancelled
// and nothing is transferred.
void CaseRefusedNames()
{
    Folders f = CaseFolder(L"refused");
    wchar_t item[MAX_PATH];
    WriteFileText(JoinPath(item, f.source, L"rules.txt"), "rules");
    const Refusal refusals[] = { { "CON", "", kDeviceNameText },
                                 { "nul", "txt", kDeviceNameText },
                                 { "a:b", "txt", kForbiddenCharacterText } };
    RobotPlan copy = { false, false, true, L"rules", nullptr, refusals, 3 };
    Drop(kDllRoad, L"copy", f.target, { item }, &copy, kDropped);
    Check(CountEntries(f.target) == 0, "nothing transferred");
}

// Two dragged items: no menu items, and InvokeCommand refuses.
void CaseTwoItems()
{
    Folders f = CaseFolder(L"two-items");
    wchar_t first[MAX_PATH], second[MAX_PATH];
    WriteFileText(JoinPath(first, f.source, L"a.txt"), "a");
    WriteFileText(JoinPath(second, f.source, L"b.txt"), "b");
    const char* const lines[] = { "query-context-menu 0x00000000", "menu 3 separator",
                                  "invoke-command 0x80070057", "can-unload-now 0x00000000" };
    Drop(kDllRoad, L"copy", f.target, { first, second }, nullptr, lines);
    Check(CountEntries(f.target) == 0, "nothing transferred");
}

const struct {
    const wchar_t* name;
    void (*run)();
} kCases[] = {
    { L"register", CaseRegister },
    { L"register-user", CaseRegisterUser },
    { L"menu", CaseMenu },
    { L"cp932-name", CopyAndMove<0> },
    { L"wave-dash", CopyAndMove<1> },
    { L"decomposed-kana", CopyAndMove<2> },
    { L"emoji", CopyAndMove<3> },
    { L"folder", CaseFolderCopy },
    { L"refused-names", CaseRefusedNames },
    { L"two-items", CaseTwoItems },
};

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const wchar_t* name = arguments && count == 2 ? arguments[1] : L"";
    bool list = lstrcmpW(name, L"--list") == 0;
    for (const auto& entry : kCases) {
        if (list)
            ReportLine().Text(entry.name).Print();
        if (list || lstrcmpW(name, entry.name) != 0)
            continue;
        // A build that made no DLL is a failure, never a skip.
        if (Check(GetFileAttributesW(kDll) != INVALID_FILE_ATTRIBUTES, "DLL at", kDll)) {
            CoInitialize(nullptr);
            entry.run();
            CoUninitialize();
        }
        ReportLine().Text(failures ? "FAILED " : "PASSED ").Text(entry.name).Print();
        return failures ? 1 : 0;
    }
    if (!list)
        ReportLine().Text("usage: arm64tests --list | CASE (no case ").Text(name).Text(")").Print();
    return list ? 0 : 2;
}
