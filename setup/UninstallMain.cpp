// Uninstall main: the temporary copy of setup.exe that the launcher started. It waits for
// the launcher to end, removes the install folder, has regsvr32.exe unregister the DLL,
// deletes the DLL (or has it deleted at the next start), schedules its own deletion and
// reports the end.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "common/StringBuffer.h"
#include "setup/DeferredDelete.h"
#include "setup/FolderGuard.h"
#include "setup/FolderRemoval.h"
#include "setup/InstallFlow.h"
#include "setup/RegKey.h"
#include "setup/RegistrationTool.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

static const char uninstallerCaption[] = "PELIM アンインストーラー";
static const char finishedMessage[] = "PELIMのアンインストールは正常に終了しました.";

static const DWORD pauseTime = 500;
// The launcher ends right after it has started this copy; no wait for it lasts longer.
static const DWORD launcherWaitLimit = 30000;

// NtQueryInformationProcess of the NT family's ntdll, looked up at run time (the older
// family has none). Answers the process's id and its parent's.
static bool QueryProcessBasics(HANDLE process, PROCESS_BASIC_INFORMATION* basics)
{
    typedef LONG (WINAPI *QueryProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    QueryProc query = ntdll != nullptr
        ? reinterpret_cast<QueryProc>(GetProcAddress(ntdll, "NtQueryInformationProcess")) : nullptr;
    ZeroMemory(basics, sizeof(*basics));
    return query != nullptr &&
           query(process, ProcessBasicInformation, basics, sizeof(*basics), nullptr) >= 0;
}

// The tool help functions are missing on NT 4.0; there ntdll answers instead.
static DWORD ParentProcessId()
{
    typedef HANDLE (WINAPI *SnapshotProc)(DWORD, DWORD);
    typedef BOOL (WINAPI *WalkProc)(HANDLE, PROCESSENTRY32*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SnapshotProc createSnapshot =
        reinterpret_cast<SnapshotProc>(GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
    WalkProc first = reinterpret_cast<WalkProc>(GetProcAddress(kernel, "Process32First"));
    WalkProc next = reinterpret_cast<WalkProc>(GetProcAddress(kernel, "Process32Next"));
    if (createSnapshot == nullptr || first == nullptr || next == nullptr) {
        PROCESS_BASIC_INFORMATION basics;
        return QueryProcessBasics(GetCurrentProcess(), &basics)
            ? static_cast<DWORD>(basics.InheritedFromUniqueProcessId) : 0;
    }

    DWORD parent = 0;
    DWORD self = GetCurrentProcessId();
    HANDLE snapshot = createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

// The id of the process a handle names, 0 when it names none. GetProcessId came with
// XP SP1; before it the NT family answers through ntdll; the older family cannot tell.
static DWORD ProcessIdOf(HANDLE process)
{
    typedef DWORD (WINAPI *ProcessIdProc)(HANDLE);
    ProcessIdProc getProcessId = reinterpret_cast<ProcessIdProc>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetProcessId"));
    if (getProcessId != nullptr)
        return getProcessId(process);
    PROCESS_BASIC_INFORMATION basics;
    return QueryProcessBasics(process, &basics) ? static_cast<DWORD>(basics.UniqueProcessId) : 0;
}

// Waits until the launcher has ended. The handle value from the command line is trusted
// only when it names the process that started this one; a value that names something else
// here (a start that did not pass the handle on) is neither waited on nor closed, and the
// parent is waited for by its id instead. When neither can be told, the handle is waited
// on but not closed. Every wait is bounded.
static void WaitForLauncher(HANDLE launcher)
{
    DWORD parent = ParentProcessId();
    DWORD named = launcher != nullptr ? ProcessIdOf(launcher) : 0;
    if (named != 0 && (parent == 0 || named == parent)) {
        WaitForSingleObject(launcher, launcherWaitLimit);
        CloseHandle(launcher);
        return;
    }
    if (parent == 0) {
        if (launcher != nullptr)
            WaitForSingleObject(launcher, launcherWaitLimit);
        return;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, parent);
    if (process != nullptr) {
        WaitForSingleObject(process, launcherWaitLimit);
        CloseHandle(process);
    }
}

// True when the folder holds nothing but the two files an installation puts there.
static bool HoldsOnlyInstalledFiles(const StringBuffer& folder)
{
    StringBuffer pattern;
    pattern.Assign(folder);
    pattern.Append("*");
    WIN32_FIND_DATAA entry;
    ZeroMemory(&entry, sizeof(entry));
    HANDLE search = FindFirstFileA(pattern.data, &entry);
    pattern.Free();
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool only = true;
    do {
        if (lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0)
            continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            (lstrcmpiA(entry.cFileName, "readme.txt") != 0 && lstrcmpiA(entry.cFileName, "setup.exe") != 0)) {
            only = false;
            break;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return only;
}

// Removes the install folder, but only the one the installation recorded, and never a
// drive root, the Windows or the system folder. A folder that holds more than the
// installed files loses only those files; the user's own stay.
static void RemoveInstallFolder(SetupApp& app, const char* commandFolder, const StringBuffer& recorded)
{
    StringBuffer folder;
    folder.Assign(commandFolder);
    if (folder.IsEmpty() || recorded.IsEmpty())
        return;
    EnsureTrailingBackslash(folder);
    if (!SameFileOrFolder(folder.data, recorded.data) || IsProtectedFolder(folder.data)) {
        folder.Free();
        return;
    }

    if (HoldsOnlyInstalledFiles(folder)) {
        if (!RemoveFolderTree(folder)) {
            SetCurrentDirectoryA(app.moduleFolder.data);
            Sleep(pauseTime);
            RemoveFolderTree(folder);
        }
    } else {
        StringBuffer file;
        file.Assign(folder);
        file.Append("readme.txt");
        DeleteFileA(file.data);
        file.Assign(folder);
        file.Append("setup.exe");
        DeleteFileA(file.data);
        file.Free();
        RemoveDirectoryA(folder.data);
    }
    folder.Free();
}

void RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder)
{
    // The install folder as the installation recorded it, read before anything is removed
    // (the unregistration below deletes the class key).
    StringBuffer recorded;
    RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, classKeyPath, false, false))
        key.ReadString("InstFolder", recorded);
    key.Close();

    Sleep(pauseTime);
    WaitForLauncher(launcher);
    Sleep(pauseTime);

    RemoveInstallFolder(app, installFolder, recorded);

    StringBuffer extensionFolder(200);
    GetSystemDirectoryA(extensionFolder.data, 200);
    EnsureTrailingBackslash(extensionFolder);
    extensionFolder.Append("ShellExt\\");
    StringBuffer dllPath;
    dllPath.Assign(extensionFolder);
    dllPath.Append("pelim102.dll");

    RunRegistrationTool("/s /u", dllPath.data, extensionFolder.data);

    Sleep(pauseTime);
    DeleteNowOrAtRestart(dllPath.data);
    DeleteNowOrAtRestart(app.modulePath.data);

    MessageBoxA(app.desktopWindow, finishedMessage, uninstallerCaption, MB_OK | MB_SYSTEMMODAL);

    extensionFolder.Free();
    dllPath.Free();
    recorded.Free();
}
