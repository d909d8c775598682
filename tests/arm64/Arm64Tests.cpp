// The ARM64 suite's test program: the ARM64 pelim102.dll in an ARM64 Windows, through the
// routes the x86 suites take (regsvr32, the file manager's handler keys, a right-drop with
// the rename dialog driven by a robot thread, the shell's transfer on real files).
//
//   arm64tests --list        the cases, one a line
//   arm64tests CASE          runs one: exit 0 passed, 1 failed, 77 skipped
//   arm64tests bench         the extension benchmark's figures ("what|figure" lines)
//
// Run with the current folder on the scratch drive S: and the DLL at P:\pelim102.dll.
// Plain Win32 without a C or C++ runtime (there is none for ARM64 here, hence no GoogleTest
// and no UI robot of the x86 suites, which need the C++ library): output is formatted here
// and written with WriteFile. No function that takes a va_list or variable arguments is
// called: the ARM64 Wine is Linux code, and such calls from ARM64 Windows code crash.
// Every wait has a time limit; under emulation they are generous.

// The platform's interface identifiers are defined here (INITGUID): the uuid library that
// holds them on x86 is x86 code.
#define INITGUID
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shellapi.h>

#include "benchmarks/BareCalls.h"
#include "tools/ShellDrop.h"

// IID_IUnknown comes with a header read before INITGUID takes effect: defined here.
extern "C" const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

const wchar_t kDllPath[] = L"P:\\pelim102.dll";
const DWORD kAppearMs = 60000;
const DWORD kGoneMs = 20000;
const DWORD kDropMs = 90000;
const DWORD kUnloadMs = 10000;
const DWORD kRegsvr32Ms = 120000;

// Dialog 201 and its controls; the drop menu the host builds around the handler's items.
const int kNameBox = 201;
const int kExtensionBox = 202;
const int kMessageText = 0xFFFF;    // a message box's text control
const UINT kFirstCommand = 0x100;
const UINT kHandlerPosition = 3;

const wchar_t kCopyCaption[] = L"名前を変更してコピー";
const wchar_t kMoveCaption[] = L"名前を変更して移動";
const wchar_t kCopyButton[] = L"コピー(&C)";
const wchar_t kMoveButton[] = L"移動(&M)";
const wchar_t kCancelButton[] = L"ｷｬﾝｾﾙ(&Q)";
const wchar_t kErrorCaption[] = L"エラー";
const wchar_t kCopyItem[] = L"名前を変更してコピー(&G)";
const wchar_t kMoveItem[] = L"名前を変更して移動(&W)";
// The same items as the code page 932 bytes the x86 builds carry.
const char kCopyItemBytes[] = "名前を変更してコピー(&G)";
const char kMoveItemBytes[] = "名前を変更して移動(&W)";
const wchar_t kForbiddenCharacterText[] =
    L"変更後の名前に使えない文字が含まれています！\n"
    L"次の文字と制御文字は名前に使えません。\n"
    L"\\ / : * ? \" < > |";
const wchar_t kDeviceNameText[] =
    L"変更後の名前はデバイス名なので使えません！\n"
    L"CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9 は、拡張子を付けても名前には使えません。";

const wchar_t kClassKey[] = L"CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const wchar_t kClassName[] = L"ドラッグ＆ドロップ拡張モジュール";
const wchar_t kClassId[] = L"{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const wchar_t kLibraryKey[] = L"TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}";
const wchar_t kLibraryWin64Key[] =
    L"TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}\\1.0\\0\\win64";
const GUID kLibraryId = {
    0x09453CB6, 0x62C4, 0x4355, {0x94, 0xA7, 0x05, 0x8C, 0xE2, 0x68, 0x6E, 0xC6}};
const wchar_t* const kHandlerParents[] = {L"*", L"Folder", L"Drive"};

LONG failures = 0;

// One line of output, built in a buffer and written at once, so that the lines of the
// robot thread and of the main thread never mix. Texts are code page 932.
class Line {
public:
    Line& Text(const char* text)
    {
        while (*text && length < static_cast<int>(sizeof buffer) - 2)
            buffer[length++] = *text++;
        return *this;
    }
    // Characters code page 932 lacks are written as \uXXXX, so that a name outside it
    // reads exactly.
    Line& Wide(const wchar_t* text)
    {
        for (; *text; ++text) {
            int units = IS_HIGH_SURROGATE(*text) && IS_LOW_SURROGATE(text[1]) ? 2 : 1;
            char bytes[8];
            BOOL lacking = FALSE;
            int count = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text, units, bytes,
                                            sizeof bytes, nullptr, &lacking);
            if (count <= 0 || lacking) {
                for (int i = 0; i < units; ++i) {
                    Text("\\u");
                    for (int shift = 12; shift >= 0; shift -= 4)
                        Text(HexDigit(text[i] >> shift));
                }
            } else {
                for (int i = 0; i < count && length < static_cast<int>(sizeof buffer) - 2; ++i)
                    buffer[length++] = bytes[i];
            }
            text += units - 1;
        }
        return *this;
    }
    Line& Number(unsigned long long value)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (count && length < static_cast<int>(sizeof buffer) - 2)
            buffer[length++] = digits[--count];
        return *this;
    }
    Line& Hex(unsigned long value)
    {
        Text("0x");
        for (int shift = 28; shift >= 0; shift -= 4)
            Text(HexDigit(value >> shift));
        return *this;
    }
    // A value with the given number of decimals, e.g. Fixed(1.2345, 3) "1.234".
    Line& Fixed(double value, int decimals)
    {
        unsigned long long scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        unsigned long long scaled = static_cast<unsigned long long>(value * scale + 0.5);
        Number(scaled / scale);
        if (decimals) {
            Text(".");
            unsigned long long fraction = scaled % scale;
            for (unsigned long long digit = scale / 10; digit; digit /= 10) {
                Number(fraction / digit);
                fraction %= digit;
            }
        }
        return *this;
    }
    void Print()
    {
        buffer[length++] = '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, length, &written, nullptr);
    }

private:
    static const char* HexDigit(unsigned long value)
    {
        static const char digits[] = "0\0" "1\0" "2\0" "3\0" "4\0" "5\0" "6\0" "7\0"
                                     "8\0" "9\0" "A\0" "B\0" "C\0" "D\0" "E\0" "F";
        return digits + 2 * (value & 0xF);
    }

    char buffer[1024];
    int length = 0;
};

bool Check(bool ok, const char* what, const wchar_t* detail = nullptr)
{
    Line line;
    line.Text(ok ? "ok   " : "FAIL ").Text(what);
    if (detail)
        line.Text(": ").Wide(detail);
    line.Print();
    if (!ok)
        InterlockedIncrement(&failures);
    return ok;
}

bool CheckResult(HRESULT actual, HRESULT expected, const char* what)
{
    Line line;
    line.Text(actual == expected ? "ok   " : "FAIL ").Text(what).Text(" ")
        .Hex(static_cast<unsigned long>(actual));
    if (actual != expected)
        line.Text(", expected ").Hex(static_cast<unsigned long>(expected));
    line.Print();
    if (actual != expected)
        InterlockedIncrement(&failures);
    return actual == expected;
}

bool CheckText(const wchar_t* actual, const wchar_t* expected, const char* what)
{
    bool same = lstrcmpW(actual, expected) == 0;
    Line line;
    line.Text(same ? "ok   " : "FAIL ").Text(what).Text(" \"").Wide(actual).Text("\"");
    if (!same)
        line.Text(", expected \"").Wide(expected).Text("\"");
    line.Print();
    if (!same)
        InterlockedIncrement(&failures);
    return same;
}

// Paths: a folder and a name joined, in a buffer of the caller's.
void Join(wchar_t* out, const wchar_t* folder, const wchar_t* name)
{
    lstrcpyW(out, folder);
    if (name) {
        lstrcatW(out, L"\\");
        lstrcatW(out, name);
    }
}

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool WriteContent(const wchar_t* path, const char* content)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content, lstrlenA(content), &written, nullptr);
    CloseHandle(file);
    return ok != FALSE;
}

// The file holds exactly content.
bool HasContent(const wchar_t* path, const char* content)
{
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char data[256] = {};
    DWORD read = 0;
    ReadFile(file, data, sizeof data - 1, &read, nullptr);
    CloseHandle(file);
    return lstrcmpA(data, content) == 0;
}

// Entries of a folder, "." and ".." left out.
int CountEntries(const wchar_t* folder)
{
    wchar_t pattern[MAX_PATH];
    Join(pattern, folder, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        if (lstrcmpW(found.cFileName, L".") != 0 && lstrcmpW(found.cFileName, L"..") != 0)
            ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

// S:\arm64\<name> made afresh, with src and dst below it.
void CaseFolder(const wchar_t* name, wchar_t* folder, wchar_t* source, wchar_t* target)
{
    CreateDirectoryW(L"S:\\arm64", nullptr);
    Join(folder, L"S:\\arm64", name);
    if (Exists(folder)) {
        wchar_t from[MAX_PATH + 1] = {};
        lstrcpyW(from, folder);   // double zero-terminated
        SHFILEOPSTRUCTW remove = {};
        remove.wFunc = FO_DELETE;
        remove.pFrom = from;
        remove.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
        SHFileOperationW(&remove);
    }
    CreateDirectoryW(folder, nullptr);
    Join(source, folder, L"src");
    Join(target, folder, L"dst");
    CreateDirectoryW(source, nullptr);
    CreateDirectoryW(target, nullptr);
}

// The robot: a thread of its own finds the rename dialog, checks and fills it, goes through
// the refused names (each message box found, read and closed) and ends the dialog.
struct Refusal {
    const wchar_t* name;
    const wchar_t* extension;
    const wchar_t* message;
};

struct RobotPlan {
    const wchar_t* caption;
    const wchar_t* expectedName;    // the name box as the dialog opens
    bool folder;                    // a folder's dialog: no extension box
    const wchar_t* typedName;       // for the name box; null: left as it is
    const Refusal* refusals;
    int refusalCount;
    bool cancel;                    // ends with Cancel instead of OK
};

HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(L"#32770", caption);
        if (window && IsWindowVisible(window))
            return window;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(100);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

// A control's text, through a message with a time limit (the dialog runs on another thread).
void ReadText(HWND control, wchar_t* text, int size)
{
    text[0] = L'\0';
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, size, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        kGoneMs, &result);
}

bool WriteText(HWND control, const wchar_t* text)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, kGoneMs, &result) != 0;
}

// A button's click, posted as the button posts it: the robot never waits on the modal loop
// the click may open.
void Press(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

DWORD WINAPI RobotThread(void* parameter)
{
    const RobotPlan& plan = *static_cast<const RobotPlan*>(parameter);
    HWND dialog = WaitForWindow(plan.caption, kAppearMs);
    if (!Check(dialog != nullptr, "rename dialog appears", plan.caption))
        return 1;
    wchar_t text[MAX_PATH];
    ReadText(GetDlgItem(dialog, IDOK), text, MAX_PATH);
    CheckText(text, plan.caption == kCopyCaption ? kCopyButton : kMoveButton, "OK button");
    ReadText(GetDlgItem(dialog, IDCANCEL), text, MAX_PATH);
    CheckText(text, kCancelButton, "Cancel button");
    ReadText(GetDlgItem(dialog, kNameBox), text, MAX_PATH);
    if (plan.expectedName)
        CheckText(text, plan.expectedName, "name box");
    if (plan.folder)
        Check(!IsWindowVisible(GetDlgItem(dialog, kExtensionBox)),
              "a folder's dialog has no extension box");

    for (int i = 0; i < plan.refusalCount; ++i) {
        const Refusal& refusal = plan.refusals[i];
        WriteText(GetDlgItem(dialog, kNameBox), refusal.name);
        WriteText(GetDlgItem(dialog, kExtensionBox), refusal.extension);
        Press(dialog, IDOK);
        HWND box = WaitForWindow(kErrorCaption, kAppearMs);
        if (!Check(box != nullptr, "message box for the refused name", refusal.name))
            break;
        Check(GetWindow(box, GW_OWNER) == dialog, "message box owned by the dialog");
        ReadText(GetDlgItem(box, kMessageText), text, MAX_PATH);
        CheckText(text, refusal.message, "message");
        Press(box, IDOK);
        Check(WaitForWindowGone(box, kGoneMs), "message box closed");
        Check(IsWindowVisible(dialog) != FALSE, "dialog stays open after the refusal");
    }

    if (plan.typedName)
        WriteText(GetDlgItem(dialog, kNameBox), plan.typedName);
    Press(dialog, plan.cancel ? IDCANCEL : IDOK);
    if (!Check(WaitForWindowGone(dialog, kGoneMs), "rename dialog ends")) {
        Press(dialog, IDCANCEL);   // so that the drop does not hang
        return 1;
    }
    return 0;
}

typedef HRESULT(STDAPICALLTYPE* GetClassObjectCall)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNowCall)();

// A right-drop as the file manager makes it, with the handler from the DLL's own class
// object: the drop menu is built around the handler's items, the item at offset pick is
// invoked with the robot's plan, the transfer threads are waited for, the handler released
// and DllCanUnloadNow asked until it answers S_OK.
struct DropPlan {
    const wchar_t* folder;
    const wchar_t* const* items;
    int itemCount;
    int pick;                      // 0 copy, 1 move
    const RobotPlan* robot;        // null: no dialog expected
    HRESULT expectedItems;         // QueryContextMenu's result
    HRESULT expectedInvoke;        // InvokeCommand's result
};

HMENU MakeDropMenu()
{
    HMENU menu = CreatePopupMenu();
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, 1, L"ここに移動(&M)");
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, 2, L"ここにコピー(&C)");
    InsertMenuW(menu, 2, MF_BYPOSITION | MF_STRING, 3, L"ショートカットをここに作成(&S)");
    InsertMenuW(menu, 3, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuW(menu, 4, MF_BYPOSITION | MF_STRING, 4, L"キャンセル");
    return menu;
}

// Initialize with the drop folder and the items, then QueryContextMenu on menu.
HRESULT InitializeAndQuery(IShellExtInit* init, const wchar_t* folder, const wchar_t* const* items,
                           int itemCount, HMENU menu, IContextMenu** contextMenu)
{
    *contextMenu = nullptr;
    PIDLIST_ABSOLUTE folderId = nullptr;
    IDataObject* data = nullptr;
    CheckResult(SHParseDisplayName(folder, nullptr, &folderId, 0, nullptr), S_OK,
                "drop folder parsed");
    CheckResult(MakeDropDataObject(items, itemCount, &data), S_OK,
                "shell data object of the items");
    CheckResult(init->Initialize(folderId, data, nullptr), S_OK, "Initialize");
    if (data)
        data->Release();
    CoTaskMemFree(folderId);
    if (!CheckResult(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(contextMenu)),
                     S_OK, "IContextMenu"))
        return E_NOINTERFACE;
    return (*contextMenu)->QueryContextMenu(menu, kHandlerPosition, kFirstCommand, 0x7FFF,
                                            CMF_NORMAL);
}

void RunDrop(const DropPlan& plan)
{
    HMODULE module = LoadLibraryW(kDllPath);
    if (!Check(module != nullptr, "ARM64 DLL loads"))
        return;
    GetClassObjectCall getClassObject = reinterpret_cast<GetClassObjectCall>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    CanUnloadNowCall canUnloadNow = reinterpret_cast<CanUnloadNowCall>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    IClassFactory* factory = nullptr;
    IShellExtInit* init = nullptr;
    if (!getClassObject || !canUnloadNow ||
        !CheckResult(
            getClassObject(kChangeNameClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK, "DllGetClassObject") ||
        !CheckResult(
            factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)),
            S_OK, "CreateInstance")) {
        if (factory)
            factory->Release();
        FreeLibrary(module);
        return;
    }

    HMENU menu = MakeDropMenu();
    IContextMenu* contextMenu = nullptr;
    HRESULT items =
        InitializeAndQuery(init, plan.folder, plan.items, plan.itemCount, menu, &contextMenu);
    CheckResult(items, plan.expectedItems, "QueryContextMenu");
    Check(GetMenuItemCount(menu) == 5 + HRESULT_CODE(plan.expectedItems), "drop menu's item count");
    if (contextMenu) {
        int baseline = CountOwnThreads();
        HANDLE robot = nullptr;
        if (plan.robot)
            robot = CreateThread(nullptr, 0, RobotThread, const_cast<RobotPlan*>(plan.robot), 0,
                                 nullptr);
        CMINVOKECOMMANDINFO invoke = {};
        invoke.cbSize = sizeof invoke;
        invoke.lpVerb = MAKEINTRESOURCEA(plan.pick);
        invoke.nShow = SW_SHOWNORMAL;
        CheckResult(contextMenu->InvokeCommand(&invoke), plan.expectedInvoke, "InvokeCommand");
        if (robot) {
            Check(WaitForSingleObject(robot, kDropMs) == WAIT_OBJECT_0, "robot done");
            CloseHandle(robot);
        }
        int left = WaitForThreadCount(baseline, kDropMs);
        Check(left <= baseline, "transfer threads ended");
        contextMenu->Release();
    }
    DestroyMenu(menu);
    init->Release();
    factory->Release();

    // The module unloads once its objects are gone; the transfer thread holds none.
    DWORD start = GetTickCount();
    HRESULT unload = canUnloadNow();
    while (unload != S_OK && GetTickCount() - start < kUnloadMs) {
        Sleep(100);
        unload = canUnloadNow();
    }
    CheckResult(unload, S_OK, "DllCanUnloadNow");
    FreeLibrary(module);
}

// regsvr32.exe as the setup program starts it; its exit code, -1 when it did not end in time.
int RunRegsvr32(const wchar_t* switches)
{
    wchar_t commandLine[MAX_PATH];
    lstrcpyW(commandLine, L"regsvr32.exe ");
    lstrcatW(commandLine, switches);
    lstrcatW(commandLine, L" ");
    lstrcatW(commandLine, kDllPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kRegsvr32Ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    Line().Text("regsvr32 ").Wide(switches).Text(" exit ").Number(exitCode).Print();
    return static_cast<int>(exitCode);
}

// The classes the registration cases read: the machine's, or the user's (register-user).
HKEY classes = HKEY_CLASSES_ROOT;

bool KeyExists(const wchar_t* path)
{
    HKEY key;
    if (RegOpenKeyExW(classes, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A string value below the classes; "<missing>" when there is none.
void ReadValue(const wchar_t* path, const wchar_t* name, wchar_t* value, DWORD size)
{
    lstrcpyW(value, L"<missing>");
    HKEY key;
    if (RegOpenKeyExW(classes, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0, bytes = size * sizeof(wchar_t);
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        lstrcpyW(value, L"<missing>");
    RegCloseKey(key);
}

void HandlerKey(wchar_t* path, const wchar_t* parent)
{
    lstrcpyW(path, parent);
    lstrcatW(path, L"\\shellex\\DragDropHandlers\\pelim");
}

// The class and the three handler keys.
void ExpectClassKeys()
{
    wchar_t value[MAX_PATH], path[MAX_PATH];
    ReadValue(kClassKey, nullptr, value, MAX_PATH);
    CheckText(value, kClassName, "class key");
    Join(path, kClassKey, L"InprocServer32");
    ReadValue(path, nullptr, value, MAX_PATH);
    CheckText(value, kDllPath, "InprocServer32");
    ReadValue(path, L"ThreadingModel", value, MAX_PATH);
    CheckText(value, L"Apartment", "ThreadingModel");
    ReadValue(kClassKey, L"Version", value, MAX_PATH);
    CheckText(value, L"", "Version");
    ReadValue(kClassKey, L"InstFolder", value, MAX_PATH);
    CheckText(value, L"", "InstFolder");
    for (const wchar_t* parent : kHandlerParents) {
        HandlerKey(path, parent);
        ReadValue(path, nullptr, value, MAX_PATH);
        CheckText(value, kClassId, "handler key");
    }
}

// The class, the three handler keys and the type library with its win64 entry.
void ExpectRegistered()
{
    wchar_t value[MAX_PATH];
    ExpectClassKeys();
    ReadValue(kLibraryWin64Key, nullptr, value, MAX_PATH);
    CheckText(value, kDllPath, "type library's win64 entry");
    ITypeLib* library = nullptr;
    CheckResult(LoadRegTypeLib(kLibraryId, 1, 0, 0, &library), S_OK, "LoadRegTypeLib");
    if (library)
        library->Release();
}

void ExpectUnregistered()
{
    wchar_t path[MAX_PATH];
    Check(!KeyExists(kClassKey), "class key removed");
    for (const wchar_t* parent : kHandlerParents) {
        HandlerKey(path, parent);
        Check(!KeyExists(path), "handler key removed", path);
        // The shared parents stay.
        Join(path, parent, L"shellex\\DragDropHandlers");
        Check(KeyExists(path), "shared key stays", path);
    }
    Check(!KeyExists(kLibraryKey), "type library key removed");
    ITypeLib* library = nullptr;
    CheckResult(LoadRegTypeLib(kLibraryId, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED,
                "LoadRegTypeLib");
    if (library)
        library->Release();
}

void CaseRegister()
{
    Check(RunRegsvr32(L"/s") == 0, "regsvr32 /s");
    ExpectRegistered();
    Check(RunRegsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    ExpectUnregistered();
}

// One user's registration: the same keys under HKCU\Software\Classes, none for the
// machine. Its type library is not looked for among them: Wine's RegisterTypeLibForUser
// writes it for the machine (a FIXME in Wine). After the removal it is gone everywhere.
void CaseRegisterUser()
{
    if (!Check(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ,
                               nullptr, &classes, nullptr) == ERROR_SUCCESS,
               "HKCU\\Software\\Classes"))
        return;
    Check(RunRegsvr32(L"/s /n /i:user") == 0, "regsvr32 /s /n /i:user");
    ExpectClassKeys();
    HKEY machine;
    Check(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\"
                        L"{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}", 0, KEY_READ, &machine) ==
              ERROR_FILE_NOT_FOUND, "no class key for the machine");
    Check(RunRegsvr32(L"/s /u /n /i:user") == 0, "regsvr32 /s /u /n /i:user");
    ExpectUnregistered();
    RegCloseKey(classes);
}

// The file manager's road: the Folder handler key names the class, COM loads the DLL from
// InprocServer32; the drop menu gets both items with their exact texts.
void CaseMenu()
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], item[MAX_PATH];
    CaseFolder(L"menu", folder, source, target);
    Join(item, source, L"見積書.txt");
    Check(WriteContent(item, "estimate"), "source file written");
    if (!Check(RunRegsvr32(L"/s") == 0, "regsvr32 /s"))
        return;

    wchar_t path[MAX_PATH], value[MAX_PATH];
    HandlerKey(path, L"Folder");
    ReadValue(path, nullptr, value, MAX_PATH);
    CLSID clsid = {};
    CheckResult(CLSIDFromString(value, &clsid), S_OK, "class id from the handler key");
    IShellExtInit* init = nullptr;
    if (CheckResult(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                     reinterpret_cast<void**>(&init)),
                    S_OK, "CoCreateInstance")) {
        HMENU menu = MakeDropMenu();
        IContextMenu* contextMenu = nullptr;
        const wchar_t* items[] = {item};
        CheckResult(InitializeAndQuery(init, target, items, 1, menu, &contextMenu),
                    MAKE_HRESULT(0, 0, 2), "QueryContextMenu");
        wchar_t text[128];
        char bytes[128];
        struct { UINT position; const wchar_t* text; const char* bytes; } expected[] = {
            {kHandlerPosition, kCopyItem, kCopyItemBytes},
            {kHandlerPosition + 1, kMoveItem, kMoveItemBytes},
        };
        for (const auto& entry : expected) {
            Check(GetMenuItemID(menu, entry.position) ==
                      kFirstCommand + entry.position - kHandlerPosition,
                  "menu item's command id");
            GetMenuStringW(menu, entry.position, text, 128, MF_BYPOSITION);
            CheckText(text, entry.text, "menu item");
            // The ANSI code page is 932 here: the item's bytes are the x86 builds'.
            GetMenuStringA(menu, entry.position, bytes, 128, MF_BYPOSITION);
            Check(GetACP() == 932 && lstrcmpA(bytes, entry.bytes) == 0,
                  "menu item as code page 932 bytes");
        }
        Check((GetMenuState(menu, kHandlerPosition + 2, MF_BYPOSITION) & MF_SEPARATOR) != 0,
              "the host's separator follows");
        if (contextMenu)
            contextMenu->Release();
        DestroyMenu(menu);
        init->Release();
    }
    CoFreeUnusedLibraries();
    Check(RunRegsvr32(L"/s /u") == 0, "regsvr32 /s /u");
    Check(!KeyExists(path), "handler key removed");
}

// Copies an item under a new name, then moves it into another folder under another.
void CopyAndMove(const wchar_t* caseName, const wchar_t* name, const wchar_t* shownName,
                 const wchar_t* copyName, const wchar_t* copied, const wchar_t* moveName,
                 const wchar_t* moved)
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], item[MAX_PATH], path[MAX_PATH];
    wchar_t other[MAX_PATH];
    CaseFolder(caseName, folder, source, target);
    Join(other, folder, L"moved");
    CreateDirectoryW(other, nullptr);
    Join(item, source, name);
    Check(WriteContent(item, "body"), "source file written", item);
    const wchar_t* items[] = {item};

    RobotPlan copy = {kCopyCaption, shownName, false, copyName, nullptr, 0, false};
    RunDrop({target, items, 1, 0, &copy, MAKE_HRESULT(0, 0, 2), S_OK});
    Join(path, target, copied);
    Check(HasContent(path, "body"), "copied under the exact name", path);
    Check(CountEntries(target) == 1 && HasContent(item, "body"), "one copy; the source stays");

    RobotPlan move = {kMoveCaption, shownName, false, moveName, nullptr, 0, false};
    RunDrop({other, items, 1, 1, &move, MAKE_HRESULT(0, 0, 2), S_OK});
    Join(path, other, moved);
    Check(HasContent(path, "body"), "moved under the exact name", path);
    Check(CountEntries(other) == 1 && CountEntries(source) == 0, "moved, not copied");
}

void CaseCodePage932()
{
    CopyAndMove(L"cp932", L"見積書.txt", L"見積書", L"見積書_控え", L"見積書_控え.txt", L"能力表",
                L"能力表.txt");
}

// Names outside code page 932: the NT family's wide road keeps them exactly.
void CaseWaveDash()
{
    CopyAndMove(L"wave-dash", L"4月\u301C6月.xlsx", L"4月\u301C6月", nullptr, L"4月\u301C6月.xlsx",
                L"7月\u301C9月", L"7月\u301C9月.xlsx");
}

void CaseDecomposedKana()
{
    CopyAndMove(L"decomposed-kana", L"\u304B\u3099\u3057.txt", L"\u304B\u3099\u3057", nullptr,
                L"\u304B\u3099\u3057.txt", L"\u30D8\u309A\u30FC\u30B7\u3099",
                L"\u30D8\u309A\u30FC\u30B7\u3099.txt");
}

void CaseEmoji()
{
    CopyAndMove(L"emoji", L"\xD83D\xDE00.txt", L"\xD83D\xDE00", L"plan\xD83D\xDCC5",
                L"plan\xD83D\xDCC5.txt", nullptr, L"\xD83D\xDE00.txt");
}

void CaseFolderCopy()
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], item[MAX_PATH], path[MAX_PATH];
    CaseFolder(L"folder", folder, source, target);
    Join(item, source, L"写真.2024");
    CreateDirectoryW(item, nullptr);
    Join(path, item, L"sub");
    CreateDirectoryW(path, nullptr);
    Join(path, item, L"inner.txt");
    WriteContent(path, "inner");
    Join(path, item, L"sub\\deep.txt");
    WriteContent(path, "deep");
    const wchar_t* items[] = {item};
    RobotPlan copy = {kCopyCaption, L"写真.2024", true, L"album", nullptr, 0, false};
    RunDrop({target, items, 1, 0, &copy, MAKE_HRESULT(0, 0, 2), S_OK});
    Join(path, target, L"album\\inner.txt");
    Check(HasContent(path, "inner"), "folder copied with its files", path);
    Join(path, target, L"album\\sub\\deep.txt");
    Check(HasContent(path, "deep"), "and its subfolders", path);
    Check(CountEntries(target) == 1 && Exists(item), "one copy; the source stays");
}

// New names no file can carry are refused with their message; the dialog is then cancelled
// and nothing is transferred.
void CaseRefusedNames()
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], item[MAX_PATH];
    CaseFolder(L"refused", folder, source, target);
    Join(item, source, L"rules.txt");
    WriteContent(item, "rules");
    const wchar_t* items[] = {item};
    const Refusal refusals[] = {
        {L"CON", L"", kDeviceNameText},
        {L"nul", L"txt", kDeviceNameText},
        {L"a:b", L"txt", kForbiddenCharacterText},
    };
    RobotPlan copy = {kCopyCaption, L"rules", false, nullptr, refusals, 3, true};
    RunDrop({target, items, 1, 0, &copy, MAKE_HRESULT(0, 0, 2), S_OK});
    Check(CountEntries(target) == 0, "nothing transferred");
}

// Two dragged items: no menu items, and InvokeCommand refuses.
void CaseTwoItems()
{
    wchar_t folder[MAX_PATH], source[MAX_PATH], target[MAX_PATH], first[MAX_PATH], second[MAX_PATH];
    CaseFolder(L"two-items", folder, source, target);
    Join(first, source, L"a.txt");
    Join(second, source, L"b.txt");
    WriteContent(first, "a");
    WriteContent(second, "b");
    const wchar_t* items[] = {first, second};
    RunDrop({target, items, 2, 0, nullptr, MAKE_HRESULT(0, 0, 0), E_INVALIDARG});
    Check(CountEntries(target) == 0, "nothing transferred");
}

struct Case {
    const char* name;
    void (*run)();
};

const Case kCases[] = {
    {"register", CaseRegister},
    {"register-user", CaseRegisterUser},
    {"menu", CaseMenu},
    {"cp932-name", CaseCodePage932},
    {"wave-dash", CaseWaveDash},
    {"decomposed-kana", CaseDecomposedKana},
    {"emoji", CaseEmoji},
    {"folder", CaseFolderCopy},
    {"refused-names", CaseRefusedNames},
    {"two-items", CaseTwoItems},
};

// The extension benchmark's figures (benchmarks/ExtensionBenchmark.cpp measures the same on
// x86): one Initialize + QueryContextMenu against the bare platform calls any one-item drop
// handler makes. Fewer calls per round, as the emulation is slow: a ratio, not a speed.
const int kBenchCalls = 200;
const int kBenchRounds = 5;

struct BenchState {
    IDataObject* data;
    PIDLIST_ABSOLUTE folder;
    IShellExtInit* init;
    IContextMenu* contextMenu;
    IClassFactory* factory;
};

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Bare(BenchState* state) { BareCalls(state->data, nullptr, kFirstCommand); }
void BareWithTarget(BenchState* state) { BareCalls(state->data, state->folder, kFirstCommand); }

void Handler(BenchState* state)
{
    HMENU menu = CreatePopupMenu();
    state->init->Initialize(state->folder, state->data, nullptr);
    state->contextMenu->QueryContextMenu(menu, 0, kFirstCommand, kFirstCommand + 100, CMF_NORMAL);
    DestroyMenu(menu);
}

void CreateAndRelease(BenchState* state)
{
    IUnknown* object = nullptr;
    state->factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (object)
        object->Release();
}

// The best of several rounds, in microseconds per call.
double MicrosecondsPerCall(void (*work)(BenchState*), BenchState* state)
{
    double best = 1e30;
    for (int round = 0; round < kBenchRounds; ++round) {
        double start = Now();
        for (int i = 0; i < kBenchCalls; ++i)
            work(state);
        double perCall = (Now() - start) * 1e6 / kBenchCalls;
        if (perCall < best)
            best = perCall;
    }
    return best;
}

void Figure(const char* what, double value, int decimals, const char* unit)
{
    Line().Text(what).Text("|").Fixed(value, decimals).Text(unit).Print();
}

int Bench()
{
    CreateDirectoryW(L"S:\\bench", nullptr);
    CreateDirectoryW(L"S:\\bench\\target", nullptr);
    WriteContent(L"S:\\bench\\item.txt", "");
    HMODULE module = LoadLibraryW(kDllPath);
    GetClassObjectCall getClassObject = module ? reinterpret_cast<GetClassObjectCall>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject"))) : nullptr;
    BenchState state = {};
    const wchar_t* items[] = {L"S:\\bench\\item.txt"};
    MakeDropDataObject(items, 1, &state.data);
    SHParseDisplayName(L"S:\\bench\\target", nullptr, &state.folder, 0, nullptr);
    if (getClassObject)
        getClassObject(kChangeNameClsid, IID_IClassFactory,
                       reinterpret_cast<void**>(&state.factory));
    if (state.factory)
        state.factory->CreateInstance(nullptr, IID_IShellExtInit,
                                      reinterpret_cast<void**>(&state.init));
    if (state.init)
        state.init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&state.contextMenu));
    if (!state.data || !state.folder || !state.contextMenu) {
        Line().Text("set-up failed").Print();
        return 1;
    }
    // Interleaved, so that all three see the same state of the machine.
    double bare = 1e30, bareWithTarget = 1e30, handler = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        double b = MicrosecondsPerCall(Bare, &state);
        double t = MicrosecondsPerCall(BareWithTarget, &state);
        double h = MicrosecondsPerCall(Handler, &state);
        bare = b < bare ? b : bare;
        bareWithTarget = t < bareWithTarget ? t : bareWithTarget;
        handler = h < handler ? h : handler;
    }
    Figure("one-item drop, Initialize + QueryContextMenu", handler, 2, " us/call");
    Figure("bare calls (GetData, DragQueryFileW x2, InsertMenuW x2)", bare, 2, " us/call");
    Figure("  ratio handler / bare", handler / bare, 3, "");
    Figure("bare calls + SHGetPathFromIDListW of the target", bareWithTarget, 2, " us/call");
    Figure("  ratio handler / bare with target (target <= 1.2)", handler / bareWithTarget, 3, "");
    Figure("DllGetClassObject + CreateInstance + Release",
           MicrosecondsPerCall(CreateAndRelease, &state), 3, " us/call");
    state.contextMenu->Release();
    state.init->Release();
    state.factory->Release();
    state.data->Release();
    CoTaskMemFree(state.folder);

    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    GetFileAttributesExW(kDllPath, GetFileExInfoStandard, &attributes);
    DWORD size = attributes.nFileSizeLow;
    Line().Text("pelim102.dll, stripped (target <= 64 KiB)|").Number(size).Text(" bytes = ")
        .Fixed(size / 1024.0, 1).Text(" KiB").Print();
    FreeLibrary(module);
    return 0;
}

}  // namespace

int ProgramMain()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 2) {
        Line().Text("usage: arm64tests --list | CASE | bench").Print();
        return 2;
    }
    char name[64] = {};
    WideCharToMultiByte(CP_ACP, 0, arguments[1], -1, name, sizeof name, nullptr, nullptr);
    LocalFree(arguments);
    if (lstrcmpA(name, "--list") == 0) {
        for (const Case& entry : kCases)
            Line().Text(entry.name).Print();
        return 0;
    }
    CoInitialize(nullptr);
    int result = 2;
    if (lstrcmpA(name, "bench") == 0) {
        result = Bench();
    } else {
        for (const Case& entry : kCases) {
            if (lstrcmpA(name, entry.name) != 0)
                continue;
            if (GetFileAttributesW(kDllPath) == INVALID_FILE_ATTRIBUTES) {
                // A build that made no DLL is a failure, never a skip.
                Line().Text("FAILED: no DLL at P:\\pelim102.dll").Print();
                result = 1;
                break;
            }
            entry.run();
            Line()
                .Text(failures ? "FAILED " : "PASSED ")
                .Text(entry.name)
                .Text(" (")
                .Number(failures)
                .Text(" failed checks)")
                .Print();
            result = failures ? 1 : 0;
        }
        if (result == 2)
            Line().Text("no case ").Text(name).Print();
    }
    CoUninitialize();
    return result;
}
