// The ARM64 suite's test program: the ARM64 pelim102.dll in an ARM64 Windows, through the
// routes the x86 suites take: regsvr32, the file manager's handler keys, right-drops through
// the ARM64 drop host (P:\drophost.exe) with the rename dialog driven by the UI robot, the
// shell's transfer on real files.
//
//   arm64tests --list        the cases, one a line
//   arm64tests CASE          runs one: exit 0 passed, 1 failed, 77 skipped
//
// Run with the current folder on the scratch drive S: and the DLL at P:\pelim102.dll. No
// runtime library (tests/arm64/ExeEntry.cpp), no va_list: output goes through ReportLine.
// Every wait has a time limit; under emulation they are generous.
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>

#include "e2e/UserTexts.h"
#include "robot/UiRobot.h"
#include "tools/ReportLine.h"

using namespace e2e;

namespace {

const DWORD kAppearMs = 60000;
const DWORD kGoneMs = 20000;
const DWORD kDropMs = 150000;
const GUID kLibraryId = {
    0x09453CB6, 0x62C4, 0x4355, { 0x94, 0xA7, 0x05, 0x8C, 0xE2, 0x68, 0x6E, 0xC6 }
};

int failures = 0;

bool Check(bool ok, const char* what, const char* detail = "")
{
    ReportLine line;
    line.Text(ok ? "ok   " : "FAIL ").Text(what);
    if (*detail)
        line.Text(": ").Text(detail);
    line.Print();
    failures += ok ? 0 : 1;
    return ok;
}

// A text read back (UTF-16: a name) against the expected one, both shown on a failure.
template <typename Char>
void CheckText(const UiRobot::TextOf<Char>& actual, const Char* expected, const char* what)
{
    bool same = actual == expected;
    ReportLine line;
    line.Text(same ? "ok   " : "FAIL ").Text(what).Text(" \"").Text(actual.c_str());
    if (!same)
        line.Text("\", expected \"").Text(expected);
    line.Text("\"").Print();
    failures += same ? 0 : 1;
}

// Case folders and files: S:\arm64\<case> made afresh, with src and dst below it.
struct Folders {
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH];
};

const wchar_t* Join(wchar_t* out, const wchar_t* folder, const wchar_t* name)
{
    lstrcpyW(out, folder);
    lstrcatW(out, L"\\");
    return lstrcatW(out, name);
}

void WriteContent(const wchar_t* path, const char* content)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    Check(WriteFile(file, content, lstrlenA(content), &written, nullptr) != FALSE, "file written");
    CloseHandle(file);
}

// The file at folder\name holds exactly content.
void ExpectContent(const wchar_t* folder, const wchar_t* name, const char* content)
{
    wchar_t path[MAX_PATH];
    HANDLE file = CreateFileW(Join(path, folder, name), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    char data[256] = {};
    DWORD read = 0;
    ReadFile(file, data, sizeof data - 1, &read, nullptr);
    CloseHandle(file);
    ReportLine().Wide(path).Print();
    Check(lstrcmpA(data, content) == 0, "file there with its content");
}

int CountEntries(const wchar_t* folder)
{
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Join(pattern, folder, L"*"), &found);
    int count = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        count += found.cFileName[0] != L'.' || (found.cFileName[1] && found.cFileName[1] != L'.');
    FindClose(search);
    return count;
}

Folders CaseFolder(const wchar_t* name)
{
    Folders f;
    CreateDirectoryW(L"S:\\arm64", nullptr);
    Join(f.folder, L"S:\\arm64", name);
    wchar_t from[MAX_PATH + 1] = {};
    lstrcpyW(from, f.folder); // double zero-terminated
    SHFILEOPSTRUCTW remove = { nullptr, FO_DELETE, from, nullptr,
                               FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI };
    SHFileOperationW(&remove);
    CreateDirectoryW(f.folder, nullptr);
    CreateDirectoryW(Join(f.source, f.folder, L"src"), nullptr);
    CreateDirectoryW(Join(f.target, f.folder, L"dst"), nullptr);
    return f;
}

// What the robot does with the rename dialog: checks it, goes through the refused names
// (each message box read and closed) and ends it with the typed name, or cancels it.
struct RobotPlan {
    bool move;
    const wchar_t* shownName; // the name box as the dialog opens
    bool folder; // a folder's dialog: no extension box
    const wchar_t* typedName; // null: left as it is
    const Refusal* refusals;
    int refusalCount;
    bool cancel;
};

void DriveDialog(const RobotPlan& plan, DWORD host)
{
    HWND dialog = UiRobot::WaitForWindow(
        UiRobot::DialogOfProcess(host, plan.move ? kMoveCaption : kCopyCaption), kAppearMs);
    if (!Check(dialog != nullptr, "rename dialog appears"))
        return;
    CheckText(UiRobot::ControlText(dialog, IDOK), plan.move ? kMoveButton : kCopyButton,
              "OK button");
    CheckText(UiRobot::ControlText(dialog, IDCANCEL), kCancelButton, "Cancel button");
    CheckText(UiRobot::ControlTextW(dialog, kNameBox), plan.shownName, "name box");
    if (plan.folder)
        Check(!UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)), "no extension box");
    for (int i = 0; i < plan.refusalCount; ++i) {
        const Refusal& refusal = plan.refusals[i];
        UiRobot::SetControlText(dialog, kNameBox, refusal.name);
        UiRobot::SetControlText(dialog, kExtensionBox, refusal.extension);
        UiRobot::PostCommand(dialog, IDOK);
        UiRobot::MessageBoxInfo box = {};
        if (!Check(UiRobot::ReadMessageBox(
                       UiRobot::WaitForMessageBox(host, kErrorCaption, kAppearMs), &box),
                   "message box for the refused name", refusal.name))
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

// A child process started with the case folder's report file as its output; its exit
// code, -1 when it did not end in time.
int RunChild(wchar_t* commandLine, const wchar_t* reportPath, const RobotPlan* robot)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    STARTUPINFOW startup = { sizeof startup };
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = CreateFileW(reportPath, GENERIC_WRITE, FILE_SHARE_READ,
                                                         &inherit, CREATE_ALWAYS, 0, nullptr);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(startup.hStdOutput);
    if (!Check(started != FALSE, "child started"))
        return -1;
    if (robot)
        DriveDialog(*robot, process.dwProcessId);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kDropMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(exitCode);
}

// A right-drop of items onto target through the drop host, by the road given ("--dll ..."
// or "--registry"); the host's report must hold a line starting with each of lines.
void Drop(const wchar_t* road, const wchar_t* pick, const wchar_t* target,
          const wchar_t* const* items, int count, const RobotPlan* robot, const char* const* lines,
          int lineCount)
{
    wchar_t commandLine[2048], reportPath[MAX_PATH];
    lstrcpyW(commandLine, L"P:\\drophost.exe --wait-ms 90000 --pick ");
    const wchar_t* const parts[] = { pick, L" ", road, L" \"", target, L"\"" };
    for (const wchar_t* part : parts)
        lstrcatW(commandLine, part);
    for (int i = 0; i < count; ++i)
        lstrcatW(lstrcatW(lstrcatW(commandLine, L" \""), items[i]), L"\"");
    Join(reportPath, target, L"..\\host.txt");
    Check(RunChild(commandLine, reportPath, robot) == 0, "drop host ends with 0");
    char report[16384] = "\n";
    HANDLE file =
        CreateFileW(reportPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    ReadFile(file, report + 1, sizeof report - 2, &read, nullptr);
    CloseHandle(file);
    for (int i = 0; i < lineCount; ++i) {
        bool found = false;
        for (const char* at = report; *at && !found; ++at) {
            const char* expected = lines[i];
            for (const char* c = at + 1; *at == '\n' && *expected && *c == *expected; ++c)
                ++expected;
            found = *at == '\n' && !*expected;
        }
        Check(found, "drop host's line", lines[i]);
    }
    DWORD written = 0;
    if (failures) // the whole report, for the reader of a failure
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report, read + 1, &written, nullptr);
}

// regsvr32.exe as the setup program starts it, with the DLL; its exit code.
int Regsvr32(const wchar_t* switches)
{
    wchar_t commandLine[MAX_PATH];
    lstrcatW(lstrcatW(lstrcpyW(commandLine, L"regsvr32.exe "), switches), L" P:\\pelim102.dll");
    int exitCode = RunChild(commandLine, L"S:\\regsvr32.txt", nullptr);
    ReportLine().Text("regsvr32 ").Wide(switches).Text(" exit ").Signed(exitCode).Print();
    return exitCode;
}

// The classes the registration cases read: the machine's, or the user's (register-user).
HKEY classes = HKEY_CLASSES_ROOT;

bool KeyExists(const char* path)
{
    HKEY key;
    bool exists = RegOpenKeyExA(classes, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
    RegCloseKey(exists ? key : nullptr);
    return exists;
}

// A string value below the classes; "<missing>" when there is none.
UiRobot::Text Value(const char* path, const char* name = nullptr)
{
    UiRobot::Text value;
    DWORD type = REG_NONE, bytes = UiRobot::Text::kSize - 1;
    HKEY key;
    if (RegOpenKeyExA(classes, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.chars),
                             &bytes) != ERROR_SUCCESS)
            type = REG_NONE;
        RegCloseKey(key);
    }
    return type == REG_SZ ? value : UiRobot::Text("<missing>");
}

const char* HandlerKey(char* path, const char* parent)
{
    return lstrcatA(lstrcpyA(path, parent), "\\shellex\\DragDropHandlers\\pelim");
}

// The class and the three handler keys; with the type library for the machine.
void ExpectRegistered(bool typeLibrary)
{
    char path[MAX_PATH];
    CheckText<char>(Value(kClassKey), kClassName, "class key");
    lstrcatA(lstrcpyA(path, kClassKey), "\\InprocServer32");
    CheckText(Value(path), kDllPath, "InprocServer32");
    CheckText(Value(path, "ThreadingModel"), "Apartment", "ThreadingModel");
    CheckText(Value(kClassKey, "Version"), "", "Version");
    CheckText(Value(kClassKey, "InstFolder"), "", "InstFolder");
    for (const char* parent : kHandlerParents)
        CheckText(Value(HandlerKey(path, parent)), kClassId, "handler key");
    if (!typeLibrary)
        return;
    lstrcatA(lstrcpyA(path, kLibraryKey), "\\1.0\\0\\win64");
    CheckText(Value(path), kDllPath, "type library's win64 entry");
    ITypeLib* library = nullptr;
    Check(LoadRegTypeLib(kLibraryId, 1, 0, 0, &library) == S_OK, "LoadRegTypeLib");
    if (library)
        library->Release();
}

void ExpectUnregistered()
{
    char path[MAX_PATH];
    Check(!KeyExists(kClassKey), "class key removed");
    for (const char* parent : kHandlerParents) {
        Check(!KeyExists(HandlerKey(path, parent)), "handler key removed", path);
        // The shared parents stay.
        Check(KeyExists(lstrcatA(lstrcpyA(path, parent), "\\shellex\\DragDropHandlers")),
              "shared key stays", path);
    }
    Check(!KeyExists(kLibraryKey), "type library key removed");
    ITypeLib* library = nullptr;
    Check(LoadRegTypeLib(kLibraryId, 1, 0, 0, &library) == TYPE_E_LIBNOTREGISTERED,
          "LoadRegTypeLib: not registered");
}

void CaseRegister()
{
    Check(Regsvr32(L"/s") == 0, "regsvr32 /s");
    ExpectRegistered(true);
    Check(Regsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    ExpectUnregistered();
}

// One user's registration: the same keys under HKCU\Software\Classes, none for the
// machine. Its type library is not looked for among them: Wine's RegisterTypeLibForUser
// writes it for the machine (a FIXME in Wine). After the removal it is gone everywhere.
void CaseRegisterUser()
{
    Check(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr,
                          &classes, nullptr) == ERROR_SUCCESS,
          "HKCU\\Software\\Classes");
    Check(Regsvr32(L"/s /n /i:user") == 0, "regsvr32 /s /n /i:user");
    ExpectRegistered(false);
    HKEY machine = HKEY_LOCAL_MACHINE;
    Check(RegOpenKeyExA(machine, "Software\\Classes\\CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}",
                        0, KEY_READ, &machine) == ERROR_FILE_NOT_FOUND,
          "no class key for the machine");
    Check(Regsvr32(L"/s /u /n /i:user") == 0, "regsvr32 /s /u /n /i:user");
    ExpectUnregistered();
}

const wchar_t kDllRoad[] = L"--dll P:\\pelim102.dll";
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
    WriteContent(Join(item, f.source, L"見積書.txt"), "estimate");
    if (!Check(Regsvr32(L"/s") == 0, "regsvr32 /s"))
        return;
    const wchar_t* items[] = { item };
    RobotPlan cancel = { false, L"見積書", false, nullptr, nullptr, 0, true };
    const char* const lines[] = {
        "handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim {6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}",
        "co-create-instance 0x00000000",
        "ansi-code-page 932",
        kCopyItemLine,
        kMoveItemLine,
        kSeparatorLine,
        "invoke-command 0x00000000"
    };
    Drop(L"--registry", L"copy", f.target, items, 1, &cancel, lines, 7);
    Check(CountEntries(f.target) == 0, "cancelled: nothing transferred");
    Check(Regsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    Check(!KeyExists("Folder\\shellex\\DragDropHandlers\\pelim"), "handler key removed");
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
    CreateDirectoryW(Join(other, f.folder, L"moved"), nullptr);
    WriteContent(Join(item, f.source, c.name), "body");
    const wchar_t* items[] = { item };
    RobotPlan copy = { false, c.shownName, false, c.copyName, nullptr, 0, false };
    Drop(kDllRoad, L"copy", f.target, items, 1, &copy, kDropped, 5);
    ExpectContent(f.target, c.copied, "body");
    Check(CountEntries(f.target) == 1 && CountEntries(f.source) == 1, "one copy; the source stays");
    RobotPlan move = { true, c.shownName, false, c.moveName, nullptr, 0, false };
    Drop(kDllRoad, L"move", other, items, 1, &move, kDropped, 5);
    ExpectContent(other, c.moved, "body");
    Check(CountEntries(other) == 1 && CountEntries(f.source) == 0, "moved, not copied");
}

void CaseFolderCopy()
{
    Folders f = CaseFolder(L"folder");
    wchar_t item[MAX_PATH], path[MAX_PATH], album[MAX_PATH];
    CreateDirectoryW(Join(item, f.source, L"写真.2024"), nullptr);
    CreateDirectoryW(Join(path, item, L"sub"), nullptr);
    WriteContent(Join(path, item, L"inner.txt"), "inner");
    WriteContent(Join(path, item, L"sub\\deep.txt"), "deep");
    const wchar_t* items[] = { item };
    RobotPlan copy = { false, L"写真.2024", true, L"album", nullptr, 0, false };
    Drop(kDllRoad, L"copy", f.target, items, 1, &copy, kDropped, 5);
    ExpectContent(Join(album, f.target, L"album"), L"inner.txt", "inner");
    ExpectContent(album, L"sub\\deep.txt", "deep");
    Check(CountEntries(f.target) == 1 && CountEntries(f.source) == 1, "one copy; the source stays");
}

// New names no file can carry are refused with their message; the dialog is then cancelled
// and nothing is transferred.
void CaseRefusedNames()
{
    Folders f = CaseFolder(L"refused");
    wchar_t item[MAX_PATH];
    WriteContent(Join(item, f.source, L"rules.txt"), "rules");
    const wchar_t* items[] = { item };
    const Refusal refusals[] = {
        { "CON", "", kDeviceNameText },
        { "nul", "txt", kDeviceNameText },
        { "a:b", "txt", kForbiddenCharacterText },
    };
    RobotPlan copy = { false, L"rules", false, nullptr, refusals, 3, true };
    Drop(kDllRoad, L"copy", f.target, items, 1, &copy, kDropped, 5);
    Check(CountEntries(f.target) == 0, "nothing transferred");
}

// Two dragged items: no menu items, and InvokeCommand refuses.
void CaseTwoItems()
{
    Folders f = CaseFolder(L"two-items");
    wchar_t first[MAX_PATH], second[MAX_PATH];
    WriteContent(Join(first, f.source, L"a.txt"), "a");
    WriteContent(Join(second, f.source, L"b.txt"), "b");
    const wchar_t* items[] = { first, second };
    const char* const lines[] = { "query-context-menu 0x00000000", "menu 3 separator",
                                  "invoke-command 0x80070057", "can-unload-now 0x00000000" };
    Drop(kDllRoad, L"copy", f.target, items, 2, nullptr, lines, 4);
    Check(CountEntries(f.target) == 0, "nothing transferred");
}

struct Case {
    const char* name;
    void (*run)();
};

const Case kCases[] = {
    { "register", CaseRegister },
    { "register-user", CaseRegisterUser },
    { "menu", CaseMenu },
    { "cp932-name", CopyAndMove<0> },
    { "wave-dash", CopyAndMove<1> },
    { "decomposed-kana", CopyAndMove<2> },
    { "emoji", CopyAndMove<3> },
    { "folder", CaseFolderCopy },
    { "refused-names", CaseRefusedNames },
    { "two-items", CaseTwoItems },
};

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    char name[64] = {};
    if (arguments && count == 2)
        WideCharToMultiByte(CP_ACP, 0, arguments[1], -1, name, sizeof name, nullptr, nullptr);
    LocalFree(arguments);
    for (const Case& entry : kCases) {
        if (lstrcmpA(name, "--list") == 0)
            ReportLine().Text(entry.name).Print();
        if (lstrcmpA(name, entry.name) != 0)
            continue;
        // A build that made no DLL is a failure, never a skip.
        if (!Check(GetFileAttributesA(kDllPath) != INVALID_FILE_ATTRIBUTES, "DLL at", kDllPath))
            return 1;
        CoInitialize(nullptr);
        entry.run();
        CoUninitialize();
        ReportLine()
            .Text(failures ? "FAILED " : "PASSED ")
            .Text(entry.name)
            .Text(" (")
            .Number(failures)
            .Text(" failed checks)")
            .Print();
        return failures ? 1 : 0;
    }
    if (lstrcmpA(name, "--list") == 0)
        return 0;
    ReportLine().Text("usage: arm64tests --list | CASE (no case ").Text(name).Text(")").Print();
    return 2;
}
