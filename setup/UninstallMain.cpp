// Uninstall main: the temporary copy of setup.exe that the launcher started. It waits for
// the launcher to end, has regsvr32.exe unregister the DLL, deletes the DLL (or has it
// deleted at the next start), then removes the uninstall entry and the install folder,
// schedules its own deletion and reports the end, naming what stays. A DLL that stays
// keeps the entry and the install folder with it, so that the uninstallation can be
// finished. Silent, it reports the outcome to the waiting launcher instead, and removes the
// install folder after the launcher's end. On a 64-bit Windows the native DLL (x64 or ARM64)
// goes the same way, unregistered by the native regsvr32.exe.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "common/StringBuffer.h"
#include "setup/DeferredDelete.h"
#include "setup/DllSide.h"
#include "setup/InstallScope.h"
#include "setup/FolderGuard.h"
#include "setup/FolderRemoval.h"
#include "setup/NativeSystem.h"
#include "setup/OsVersion.h"
#include "setup/ProductNames.h"
#include "setup/RegKey.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"
#include "UiTexts.h"


static const DWORD pauseTime = 500;
// The launcher ends right after it has started this copy; no wait for it lasts longer.
static const DWORD launcherWaitLimit = 30000;

// NtQueryInformationProcess of the NT family's ntdll, looked up at run time (the older
// family has none). Answers the process's id and its parent's.
static bool QueryProcessBasics(HANDLE process, PROCESS_BASIC_INFORMATION* basics)
{
    typedef LONG(WINAPI * QueryProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    QueryProc query = ntdll != nullptr
        ? reinterpret_cast<QueryProc>(GetProcAddress(ntdll, "NtQueryInformationProcess"))
        : nullptr;
    ZeroMemory(basics, sizeof(*basics));
    return query != nullptr &&
        query(process, ProcessBasicInformation, basics, sizeof(*basics), nullptr) >= 0;
}

// The tool help functions are missing on NT 4.0; there ntdll answers instead.
static DWORD ParentProcessId()
{
    typedef HANDLE(WINAPI * SnapshotProc)(DWORD, DWORD);
    typedef BOOL(WINAPI * WalkProc)(HANDLE, PROCESSENTRY32*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SnapshotProc createSnapshot =
        reinterpret_cast<SnapshotProc>(GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
    WalkProc first = reinterpret_cast<WalkProc>(GetProcAddress(kernel, "Process32First"));
    WalkProc next = reinterpret_cast<WalkProc>(GetProcAddress(kernel, "Process32Next"));
    if (createSnapshot == nullptr || first == nullptr || next == nullptr) {
        PROCESS_BASIC_INFORMATION basics;
        return QueryProcessBasics(GetCurrentProcess(), &basics)
            ? static_cast<DWORD>(basics.InheritedFromUniqueProcessId)
            : 0;
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
    typedef DWORD(WINAPI * ProcessIdProc)(HANDLE);
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
    JoinPath(pattern, folder.data, "*");
    WIN32_FIND_DATAA entry;
    ZeroMemory(&entry, sizeof(entry));
    HANDLE search = FindFirstFileA(pattern.data, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool only = true;
    do {
        if (lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0)
            continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            (lstrcmpiA(entry.cFileName, readmeFileName) != 0 &&
             lstrcmpiA(entry.cFileName, setupFileName) != 0)) {
            only = false;
            break;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return only;
}

// True when folder + name exists.
static bool HoldsFile(const StringBuffer& folder, const char* name)
{
    StringBuffer path;
    JoinPath(path, folder.data, name);
    return PathExists(path.data) != 0;
}

// True when both files can be read and hold the same bytes.
static bool SameContent(const char* a, const char* b)
{
    HANDLE fileA = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE fileB = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    bool same = fileA != INVALID_HANDLE_VALUE && fileB != INVALID_HANDLE_VALUE &&
        GetFileSize(fileA, nullptr) == GetFileSize(fileB, nullptr);
    char blockA[4096];
    char blockB[4096];
    while (same) {
        DWORD readA = 0;
        DWORD readB = 0;
        same = ReadFile(fileA, blockA, sizeof(blockA), &readA, nullptr) &&
            ReadFile(fileB, blockB, sizeof(blockB), &readB, nullptr) && readA == readB &&
            memcmp(blockA, blockB, readA) == 0;
        if (readA == 0)
            break;
    }
    if (fileA != INVALID_HANDLE_VALUE)
        CloseHandle(fileA);
    if (fileB != INVALID_HANDLE_VALUE)
        CloseHandle(fileB);
    return same;
}

// The install folder the installation recorded: "InstFolder" of the scope's class key or,
// when that is missing (every registration re-creates the key empty), the folder its
// programs-list entry names. Empty when neither is there. An installation by the 64-bit
// setup program recorded the folder in the 64-bit view only.
static void ReadRecordedFolder(const InstallScope& scope, const NativeSystem& native,
                               StringBuffer& recorded)
{
    RegKey key;
    if (key.Open(scope.root, scope.classKey, RegKey::ReadAccess))
        key.ReadString("InstFolder", recorded);
    if (recorded.IsEmpty() && native.present &&
        key.Open(scope.root, scope.classKey, RegKey::ReadAccess, KEY_WOW64_64KEY))
        key.ReadString("InstFolder", recorded);
    if (recorded.IsEmpty())
        ReadEntryFolder(scope, recorded);
}

// An install folder of which no record is left (an earlier uninstallation started from
// elsewhere removed both): the folder the launcher ran from, when it holds nothing but a
// read-me and the very program this copy was made from.
static bool IsUnrecordedInstallFolder(SetupApp& app, const StringBuffer& folder)
{
    if (!HoldsFile(folder, readmeFileName) || !HoldsOnlyInstalledFiles(folder))
        return false;
    StringBuffer program;
    JoinPath(program, folder.data, setupFileName);
    return SameContent(program.data, app.modulePath.data);
}

// Adds a line to the list of what stays.
static void AddRemaining(StringBuffer& remaining, const char* path)
{
    remaining.Append("\n");
    remaining.Append(path);
}

// True for the folder the installation recorded (or, without a record, one that holds just
// the installed files), unless it is a drive root, the Windows or the system folder.
static bool IsFolderToRemove(SetupApp& app, const StringBuffer& folder,
                             const StringBuffer& recorded)
{
    bool known = !folder.IsEmpty() &&
        (recorded.IsEmpty() ? IsUnrecordedInstallFolder(app, folder)
                            : SameFileOrFolder(folder.data, recorded.data));
    return known && !IsProtectedFolder(folder.data);
}

// The command's folder with its trailing backslash.
static void CommandFolder(const char* commandFolder, StringBuffer& folder)
{
    folder.Assign(commandFolder);
    if (!folder.IsEmpty())
        EnsureTrailingBackslash(folder);
}

// A folder that is not the installation's to remove (IsFolderToRemove) is left alone on a
// stranger's word: what of the installation stays in it is added to remaining. False when
// the folder is the installation's own.
static bool KeepStrangersFolder(SetupApp& app, const char* commandFolder,
                                const StringBuffer& recorded, StringBuffer& remaining)
{
    StringBuffer folder;
    CommandFolder(commandFolder, folder);
    if (IsFolderToRemove(app, folder, recorded))
        return false;
    const StringBuffer& left = recorded.IsEmpty() ? folder : recorded;
    if (!left.IsEmpty() && (HoldsFile(left, readmeFileName) || HoldsFile(left, setupFileName)))
        AddRemaining(remaining, left.data);
    return true;
}

// Removes the install folder, which must be the installation's own (KeepStrangersFolder
// false). A folder that holds more than the installed files loses only those files; the
// user's own stay. What of the installation stays is added to remaining.
static void RemoveInstallFolder(SetupApp& app, const char* commandFolder, StringBuffer& remaining)
{
    StringBuffer folder;
    CommandFolder(commandFolder, folder);
    if (HoldsOnlyInstalledFiles(folder)) {
        if (!RemoveFolderTree(folder)) {
            SetCurrentDirectoryA(app.moduleFolder.data);
            Sleep(pauseTime);
            RemoveFolderTree(folder);
        }
        if (IsFolder(folder.data))
            AddRemaining(remaining, folder.data);
    } else {
        StringBuffer file;
        JoinPath(file, folder.data, readmeFileName);
        DeleteFileA(file.data);
        JoinPath(file, folder.data, setupFileName);
        DeleteFileA(file.data);
        RemoveDirectoryA(folder.data);
        if (HoldsFile(folder, readmeFileName) || HoldsFile(folder, setupFileName))
            AddRemaining(remaining, folder.data);
    }
}

// The copy's own folder, made by the launcher under the temporary folder, goes after the
// copy: now if it can, else at the next start (the NT family; the older one's wininit.ini
// deletes files only).
static void RemoveOwnFolder(SetupApp& app)
{
    char tempFolder[MAX_PATH];
    ZeroMemory(tempFolder, sizeof(tempFolder));
    if (GetTempPathA(MAX_PATH, tempFolder) == 0 ||
        !FolderContains(tempFolder, app.moduleFolder.data) ||
        SameFileOrFolder(tempFolder, app.moduleFolder.data))
        return;
    StringBuffer folder;
    folder.Assign(app.moduleFolder);
    int length = folder.Length();
    if (length > 3 && EndsWithBackslash(folder.data))
        folder.Erase(length - 1, 1);
    if (!RemoveDirectoryA(folder.data) && IsNtPlatform())
        MoveFileExA(folder.data, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Waits for the launcher's end, with the pauses around the wait.
static void AwaitLauncher(HANDLE launcher)
{
    Sleep(pauseTime);
    WaitForLauncher(launcher);
    Sleep(pauseTime);
}

// The silent launcher's answer: this run's exit code on the standard output it gave us.
static void ReportOutcome(int outcome)
{
    DWORD code = static_cast<DWORD>(outcome);
    DWORD written = 0;
    HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    if (report != nullptr && report != INVALID_HANDLE_VALUE) {
        WriteFile(report, &code, sizeof(code), &written, nullptr);
        CloseHandle(report);
    }
}

// Unregisters one DLL and deletes it, now or at the next start (or logon); what stays is
// named in remaining by the name the system gives it at its start. A DLL whose
// unregistration failed (or whose tool did not start) stays registered, so it stays in place
// too; without the DLL there is nothing the tool could call.
static void RemoveDll(DllSide& side, StringBuffer& remaining)
{
    if (!side.Exists(setupVersion))
        return;
    bool removed = side.Unregister(setupVersion);
    if (removed) {
        Sleep(pauseTime);
        removed = side.Delete(setupVersion);
    }
    if (!removed) {
        StringBuffer bootName;
        side.BootName(setupVersion, bootName);
        AddRemaining(remaining, bootName.data);
    }
    side.RemoveOwnFolder();
}

// The DLLs go first: this side's, then on a 64-bit Windows the native one (x64 or ARM64),
// from where the scope put them (a user's in the install folder).
static void RemoveDlls(const InstallScope& scope, NativeSystem& native, const char* installFolder,
                       StringBuffer& remaining)
{
    DllSide sides[2];
    int count = native.present ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        sides[i].Place(scope, native, i == 1, installFolder);
        RemoveDll(sides[i], remaining);
    }
}

// The entry goes only once the DLLs are gone and this copy runs: a launcher that could not
// start it leaves the extension listed as installed.
static void RemoveUninstallEntry(const InstallScope& scope, StringBuffer& remaining)
{
    LONG removed = RegDeleteKeyA(scope.root, uninstallKeyPath);
    if (removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND)
        return;
    StringBuffer entry;
    entry.Format("%s%s", scope.rootName, uninstallKeyPath);
    AddRemaining(remaining, entry.data);
}

// A DLL that stays needs a way to finish: the entry, and the installed setup.exe that it
// runs, stay with it.
static void KeepWayToFinish(const char* installFolder, const StringBuffer& recorded,
                            StringBuffer& remaining)
{
    StringBuffer left;
    left.Assign(recorded.IsEmpty() ? installFolder : recorded.data);
    if (!left.IsEmpty() && HoldsFile(left, setupFileName))
        AddRemaining(remaining, left.data);
}

// A silent launcher waits for the outcome and runs from the install folder: the outcome is
// reported first, and the folder goes once the launcher has ended. A folder left alone on a
// stranger's word is known before, and is part of the outcome.
static void ReportThenRemoveInstallFolder(SetupApp& app, HANDLE launcher, const char* installFolder,
                                          const StringBuffer& recorded, bool dllsGone,
                                          StringBuffer& remaining)
{
    bool ours = dllsGone && !KeepStrangersFolder(app, installFolder, recorded, remaining);
    ReportOutcome(app.dialogue.Outcome(remaining.IsEmpty() ? SetupSucceeded : SetupFailed));
    AwaitLauncher(launcher);
    if (ours)
        RemoveInstallFolder(app, installFolder, remaining);
}

// The closing message, naming what stays; its outcome is the exit code.
static int TellOutcome(SetupApp& app, const StringBuffer& remaining)
{
    StringBuffer message;
    message.Assign(remaining.IsEmpty() ? finishedMessage : remainingMessage);
    message.Append(remaining);
    app.dialogue.Tell(message.data, uninstallerCaption, closingFlags);
    return remaining.IsEmpty() ? SetupSucceeded : SetupFailed;
}

int RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder)
{
    NativeSystem native;
    native.Find();
    // The installation this folder belongs to, and the install folder as it recorded it, read
    // before anything is removed (the unregistration deletes the class key).
    StringBuffer folder;
    CommandFolder(installFolder, folder);
    app.scope = &ScopeOfInstallFolder(folder.data);
    StringBuffer recorded;
    ReadRecordedFolder(*app.scope, native, recorded);

    // A silent launcher waits for this run's outcome; otherwise it has ended before anything
    // is removed.
    bool launcherWaits = app.dialogue.silent;
    if (!launcherWaits)
        AwaitLauncher(launcher);

    StringBuffer remaining;
    RemoveDlls(*app.scope, native, recorded.IsEmpty() ? folder.data : recorded.data, remaining);
    // A DLL in use that goes at the next logon: a tool learns that a log-off finishes it.
    if (LogonDeletionPending())
        app.dialogue.OweRestart();
    bool dllsGone = remaining.IsEmpty();
    if (dllsGone) {
        RemoveUninstallEntry(*app.scope, remaining);
        if (!launcherWaits && !KeepStrangersFolder(app, installFolder, recorded, remaining))
            RemoveInstallFolder(app, installFolder, remaining);
    } else {
        KeepWayToFinish(installFolder, recorded, remaining);
    }
    app.scope->deleteInUse(app.modulePath.data);
    if (launcherWaits)
        ReportThenRemoveInstallFolder(app, launcher, installFolder, recorded, dllsGone, remaining);
    RemoveOwnFolder(app);
    return TellOutcome(app, remaining);
}
