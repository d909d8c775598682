// Drop host: plays the file manager's part in one right-drop of files onto a folder. It gets
// the drop handler from a DLL or through the registry, hands it the drop folder and a shell
// data object, builds the drop menu, picks an item (or lets a person pick it) and invokes it,
// writing one line per step to stdout.
//
//   drophost (--dll PATH | --registry [--key *|Folder|Drive]) [--pick copy|move|N]
//            [--verb TEXT] [--wait-ms N] FOLDER ITEM...
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shellapi.h>

#include "ReportLine.h"
#include "ShellDrop.h"

namespace {

// Command ids the host gives the handler, and the file manager's own drop-menu items.
const UINT kFirstCommand = 0x100;
const UINT kLastCommand = 0x7FFF;
const UINT kHandlerPosition = 3;

struct HostItem {
    UINT id;
    const wchar_t* text;
};

const HostItem kHostItems[] = {
    { 1, L"ここに移動(&M)" }, { 2, L"ここにコピー(&C)" }, { 3, L"ショートカットをここに作成(&S)" },
    { 0, nullptr }, // separator
    { 4, L"キャンセル" },
};

struct Options {
    const wchar_t* dllPath = nullptr;
    bool registry = false;
    const wchar_t* key = nullptr;
    int pick = -1; // command offset; -1: let a person pick
    const wchar_t* verb = nullptr; // a string verb instead of an offset
    DWORD waitMs = 30000;
    const wchar_t* folder = nullptr;
    wchar_t** items = nullptr;
    int itemCount = 0;
};

// A report line starting with its step's name. Formatted without the printf family, so
// that the host runs on ARM64 too.
ReportLine Line(const char* step)
{
    ReportLine line;
    line.Text(step);
    return line;
}

// A step and its HRESULT, e.g. "initialize 0x00000000".
void Result(const char* step, HRESULT result)
{
    Line(step).Text(" ").Hex(static_cast<unsigned long>(result)).Print();
}

int ToNumber(const wchar_t* text)
{
    int value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text)
        value = value * 10 + (*text - L'0');
    return value;
}

// Text for the report: code page 932 whatever the host's ANSI code page is, "?" where
// it has no character.
void ToAnsi(const wchar_t* text, char* out, int size)
{
    out[0] = '\0';
    WideCharToMultiByte(932, 0, text, -1, out, size, nullptr, nullptr);
}

bool ParseOptions(int count, wchar_t** arguments, Options* options)
{
    int i = 1;
    for (; i < count && arguments[i][0] == L'-' && arguments[i][1] == L'-'; ++i) {
        const wchar_t* name = arguments[i];
        if (lstrcmpW(name, L"--registry") == 0) {
            options->registry = true;
            continue;
        }
        if (i + 1 >= count)
            return false;
        const wchar_t* value = arguments[++i];
        if (lstrcmpW(name, L"--dll") == 0) {
            options->dllPath = value;
        } else if (lstrcmpW(name, L"--key") == 0) {
            options->key = value;
        } else if (lstrcmpW(name, L"--pick") == 0) {
            if (lstrcmpW(value, L"copy") == 0)
                options->pick = 0;
            else if (lstrcmpW(value, L"move") == 0)
                options->pick = 1;
            else
                options->pick = ToNumber(value);
        } else if (lstrcmpW(name, L"--verb") == 0) {
            options->verb = value;
        } else if (lstrcmpW(name, L"--wait-ms") == 0) {
            options->waitMs = static_cast<DWORD>(ToNumber(value));
        } else {
            return false;
        }
    }
    if ((options->dllPath != nullptr) == options->registry)
        return false;
    if (count - i < 2)
        return false;
    options->folder = arguments[i];
    options->items = arguments + i + 1;
    options->itemCount = count - i - 1;
    return true;
}

// The class object from the DLL's own export, as the platform gets it once the DLL is loaded.
HRESULT ClassObjectFromDll(const wchar_t* path, REFCLSID clsid, HMODULE* module,
                           IClassFactory** factory)
{
    char ansiPath[MAX_PATH * 2];
    ToAnsi(path, ansiPath, sizeof ansiPath);
    *module = LoadLibraryW(path);
    DWORD error = GetLastError();
    Line("load-library ").Text(ansiPath).Text(*module != nullptr ? " ok" : " failed").Print();
    if (*module == nullptr)
        return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
    typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void**);
    GetClassObject getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(*module, "DllGetClassObject")));
    if (getClassObject == nullptr)
        return E_NOINTERFACE;
    HRESULT result = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory));
    Result("class-object", result);
    return result;
}

// The file manager's view of the classes: the user's classes over the machine's, a user's
// key winning over the machine's key of the same name. Wine's HKEY_CLASSES_ROOT holds the
// machine's only, so the host looks at the user's first itself.
struct ClassesRoot {
    HKEY key;
    const char* subKey;
    const char* name; // as the report names it
};

const ClassesRoot kClassesRoots[] = {
    { HKEY_CURRENT_USER, "Software\\Classes\\", "HKCU\\Software\\Classes\\" },
    { HKEY_CLASSES_ROOT, "", "HKCR\\" },
};

// The DLL of a class registered for the user: the default value of its InprocServer32 key
// under the user's classes. False when the user has no such key (a machine class).
bool UserClassServer(REFCLSID clsid, wchar_t* path, DWORD size)
{
    wchar_t classId[40];
    StringFromGUID2(clsid, classId, 40);
    wchar_t keyPath[96];
    lstrcpyW(keyPath, L"Software\\Classes\\CLSID\\");
    lstrcatW(keyPath, classId);
    lstrcatW(keyPath, L"\\InprocServer32");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t value[MAX_PATH] = {};
    DWORD type = REG_NONE;
    DWORD bytes = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        value[0] = L'\0';
    }
    RegCloseKey(key);
    path[0] = L'\0';
    if (type == REG_EXPAND_SZ) {
        ExpandEnvironmentStringsW(value, path, size);
    } else {
        lstrcpynW(path, value, static_cast<int>(size));
    }
    return true;
}

// The registry's road: the drag-and-drop handler key of the drop target's type names the
// class. A machine class comes from COM, which loads the DLL from its InprocServer32 key; a
// class of the user's the host loads itself, as Wine's COM never looks there.
HRESULT HandlerFromRegistry(const Options& options, HMODULE* module, IClassFactory** factory,
                            IShellExtInit** handler)
{
    char key[64] = "Folder";
    if (options.key != nullptr) {
        ToAnsi(options.key, key, sizeof key);
    } else if (lstrlenW(options.folder) == 3 && options.folder[1] == L':') {
        lstrcpyA(key, "Drive");
    }
    char path[128];
    lstrcpyA(path, key);
    lstrcatA(path, "\\shellex\\DragDropHandlers\\pelim");
    char value[128] = {};
    LONG status = ERROR_FILE_NOT_FOUND;
    const char* root = nullptr;
    for (const ClassesRoot& classes : kClassesRoots) {
        char fullPath[160];
        lstrcpyA(fullPath, classes.subKey);
        lstrcatA(fullPath, path);
        LONG size = sizeof value;
        status = RegQueryValueA(classes.key, fullPath, value, &size);
        root = classes.name;
        if (status == ERROR_SUCCESS)
            break;
    }
    Line("handler-key ")
        .Text(root)
        .Text(path)
        .Text(" ")
        .Text(status == ERROR_SUCCESS ? value : "missing")
        .Print();
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);

    wchar_t wideValue[128];
    MultiByteToWideChar(CP_ACP, 0, value, -1, wideValue, 128);
    CLSID clsid;
    HRESULT result = CLSIDFromString(wideValue, &clsid);
    if (FAILED(result))
        return result;

    wchar_t server[MAX_PATH];
    if (UserClassServer(clsid, server, MAX_PATH)) {
        char ansiServer[MAX_PATH * 2];
        ToAnsi(server, ansiServer, sizeof ansiServer);
        Line("user-class ").Text(ansiServer).Print();
        return ClassObjectFromDll(server, clsid, module, factory);
    }
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                              reinterpret_cast<void**>(handler));
    Result("co-create-instance", result);
    return result;
}

HRESULT MakeDataObject(const Options& options, IDataObject** dataObject)
{
    HRESULT result = MakeDropDataObject(options.items, options.itemCount, dataObject);
    Line("data-object ")
        .Hex(static_cast<unsigned long>(result))
        .Text(" items ")
        .Signed(options.itemCount)
        .Print();
    return result;
}

// What the handler will read: the CF_HDROP list through the ANSI calls.
void ReportDropList(IDataObject* dataObject)
{
    FORMATETC format = { CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL };
    STGMEDIUM medium = {};
    if (FAILED(dataObject->GetData(&format, &medium))) {
        Line("hdrop none").Print();
        return;
    }
    HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (drop != nullptr) {
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            char path[1024] = {};
            DragQueryFileA(drop, i, path, sizeof path);
            Line("hdrop ").Number(i).Text(" ").Text(path).Print();
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
}

HMENU MakeDropMenu()
{
    HMENU menu = CreatePopupMenu();
    UINT position = 0;
    for (const HostItem& item : kHostItems) {
        if (item.text == nullptr) {
            InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        } else {
            InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, item.id, item.text);
        }
    }
    return menu;
}

// The items as the menu holds them (in UTF-16), so that the report shows what a person
// sees whatever the host's ANSI code page is.
void ReportMenu(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t wideText[256] = {};
        char text[512] = {};
        UINT id = GetMenuItemID(menu, i);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            Line("menu ").Signed(i).Text(" separator").Print();
            continue;
        }
        GetMenuStringW(menu, i, wideText, 256, MF_BYPOSITION);
        ToAnsi(wideText, text, sizeof text);
        Line("menu ")
            .Signed(i)
            .Text(" id ")
            .Hex(id, 0)
            .Text(" state ")
            .Hex(state, 0)
            .Text(" ")
            .Text(text)
            .Print();
    }
}

// Shows the drop menu at the pointer for a person; returns the handler's offset or -1.
int PickByPerson(HMENU menu, UINT handlerCommands)
{
    // The menu stays open only while its owner is the foreground window: a one-pixel
    // window under the pointer serves as the file manager's window.
    POINT point = {};
    GetCursorPos(&point);
    HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "drophost", WS_POPUP, point.x, point.y,
                                 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(owner, SW_SHOW);
    SetForegroundWindow(owner);
    UINT command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, point.x,
                                  point.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyWindow(owner);
    Line("menu-choice ").Hex(command, 0).Print();
    if (command >= kFirstCommand && command < kFirstCommand + handlerCommands) {
        return static_cast<int>(command - kFirstCommand);
    }
    return -1;
}

void WaitForTransfers(int baseline, DWORD waitMs)
{
    DWORD start = GetTickCount();
    int count = WaitForThreadCount(baseline, waitMs);
    Line("transfers ")
        .Text(count > baseline ? "running" : "done")
        .Text(" threads ")
        .Signed(count)
        .Text(" baseline ")
        .Signed(baseline)
        .Text(" ms ")
        .Number(GetTickCount() - start)
        .Print();
}

int Run(const Options& options)
{
    char folder[MAX_PATH * 2];
    ToAnsi(options.folder, folder, sizeof folder);
    Line("folder ").Text(folder).Print();
    Line("ansi-code-page ").Number(GetACP()).Print();

    HMODULE module = nullptr;
    IClassFactory* factory = nullptr;
    IShellExtInit* handler = nullptr;
    HRESULT result;
    if (options.registry) {
        result = HandlerFromRegistry(options, &module, &factory, &handler);
    } else {
        result = ClassObjectFromDll(options.dllPath, kChangeNameClsid, &module, &factory);
    }
    // The DLL loaded here stays loaded until the host ends.
    if (SUCCEEDED(result) && handler == nullptr) {
        result =
            factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&handler));
        Result("create-instance", result);
    }
    if (FAILED(result)) {
        if (factory != nullptr)
            factory->Release();
        Line("end no-handler").Print();
        return 3;
    }

    PIDLIST_ABSOLUTE folderId = nullptr;
    result = SHParseDisplayName(options.folder, nullptr, &folderId, 0, nullptr);
    Result("parse-folder", result);
    IDataObject* dataObject = nullptr;
    if (SUCCEEDED(MakeDataObject(options, &dataObject)))
        ReportDropList(dataObject);

    result = handler->Initialize(folderId, dataObject, nullptr);
    Result("initialize", result);

    IContextMenu* contextMenu = nullptr;
    result = handler->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&contextMenu));
    Result("query-interface-context-menu", result);
    int exitCode = 0;
    if (SUCCEEDED(result)) {
        HMENU menu = MakeDropMenu();
        result = contextMenu->QueryContextMenu(menu, kHandlerPosition, kFirstCommand, kLastCommand,
                                               CMF_NORMAL);
        Result("query-context-menu", result);
        UINT handlerCommands = SUCCEEDED(result) ? HRESULT_CODE(result) : 0;
        ReportMenu(menu);

        int pick = options.pick;
        if (pick < 0 && options.verb == nullptr)
            pick = PickByPerson(menu, handlerCommands);
        if (pick >= 0 || options.verb != nullptr) {
            char verb[256] = {};
            CMINVOKECOMMANDINFO invoke = {};
            invoke.cbSize = sizeof invoke;
            invoke.nShow = SW_SHOWNORMAL;
            if (options.verb != nullptr) {
                ToAnsi(options.verb, verb, sizeof verb);
                invoke.lpVerb = verb;
                Line("pick verb ").Text(verb).Print();
            } else {
                invoke.lpVerb = MAKEINTRESOURCEA(pick);
                Line("pick ").Signed(pick).Print();
            }
            int baseline = CountOwnThreads();
            result = contextMenu->InvokeCommand(&invoke);
            Result("invoke-command", result);
            WaitForTransfers(baseline, options.waitMs);
        } else {
            Line("pick none").Print();
        }
        DestroyMenu(menu);
        contextMenu->Release();
    } else {
        exitCode = 3;
    }

    if (dataObject != nullptr)
        dataObject->Release();
    CoTaskMemFree(folderId);
    Line("release-handler ").Number(handler->Release()).Print();
    if (factory != nullptr) {
        Line("release-class-object ").Number(factory->Release()).Print();
    }
    if (module != nullptr) {
        typedef HRESULT(WINAPI * CanUnloadNow)();
        CanUnloadNow canUnloadNow = reinterpret_cast<CanUnloadNow>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        if (canUnloadNow != nullptr) {
            Result("can-unload-now", canUnloadNow());
        }
    }
    Line("end").Print();
    return exitCode;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    Options options;
    if (arguments == nullptr || !ParseOptions(count, arguments, &options)) {
        ReportLine()
            .Text(
                "usage: drophost (--dll PATH | --registry [--key *|Folder|Drive])\n"
                "                [--pick copy|move|N] [--verb TEXT] [--wait-ms N] FOLDER ITEM...\n"
                "Without --pick or --verb the drop menu is shown at the pointer.")
            .Print(STD_ERROR_HANDLE);
        return 2;
    }
    CoInitialize(nullptr);
    int exitCode = Run(options);
    CoUninitialize();
    LocalFree(arguments);
    return exitCode;
}
