// The native side of a 64-bit Windows for the 32-bit setup program. Every call that only
// a 64-bit Windows has (IsWow64Process, the redirection switches, GetSystemWow64DirectoryA)
// is looked up at run time: the program must start on Windows 95 and NT 4.0 as well.
#include "setup/NativeSystem.h"

#include "common/PathHelpers.h"
#include "setup/ProductNames.h"
#include "setup/RegistrationTool.h"

typedef BOOL(WINAPI* DisableRedirectionProc)(PVOID*);
typedef BOOL(WINAPI* RevertRedirectionProc)(PVOID);
typedef UINT(WINAPI* Wow64DirectoryProc)(LPSTR, UINT);

const char* NativeDllFolder(HANDLE process, IsWow64Process2Proc isWow64Process2,
                            IsWow64ProcessProc isWow64Process)
{
    USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    if (isWow64Process2 != nullptr && isWow64Process2(process, &processMachine, &nativeMachine)) {
        // UNKNOWN: the process runs on its own machine, not under WoW64.
        if (processMachine == IMAGE_FILE_MACHINE_UNKNOWN)
            return nullptr;
        return nativeMachine == IMAGE_FILE_MACHINE_ARM64 ? arm64SourceFolderName
                                                         : x64SourceFolderName;
    }
    BOOL wow64 = FALSE;
    // Without either call (Windows before XP SP2) there is no 64-bit side.
    if (isWow64Process == nullptr || !isWow64Process(process, &wow64) || !wow64)
        return nullptr;
    return x64SourceFolderName;
}

NativeSystem::NativeSystem()
    : present(false), dllFolder(nullptr), aliasMissing(false), redirection(nullptr),
      disableRedirection(nullptr), revertRedirection(nullptr)
{
}

bool NativeSystem::Find()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    dllFolder = NativeDllFolder(
        GetCurrentProcess(),
        reinterpret_cast<IsWow64Process2Proc>(GetProcAddress(kernel, "IsWow64Process2")),
        reinterpret_cast<IsWow64ProcessProc>(GetProcAddress(kernel, "IsWow64Process")));
    if (dllFolder == nullptr)
        return false;
    present = true;
    disableRedirection = reinterpret_cast<DisableRedirectionProc>(
        GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
    revertRedirection = reinterpret_cast<RevertRedirectionProc>(
        GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));

    systemFolder.Reserve(MAX_PATH);
    GetSystemDirectoryA(systemFolder.data, MAX_PATH);
    EnsureTrailingBackslash(systemFolder);

    StringBuffer windows(MAX_PATH);
    GetWindowsDirectoryA(windows.data, MAX_PATH);
    EnsureTrailingBackslash(windows);

    // Every 64-bit Windows calls its 32-bit system folder SysWOW64.
    Wow64DirectoryProc getWow64Directory =
        reinterpret_cast<Wow64DirectoryProc>(GetProcAddress(kernel, "GetSystemWow64DirectoryA"));
    wow64Folder.Reserve(MAX_PATH);
    if (getWow64Directory == nullptr || getWow64Directory(wow64Folder.data, MAX_PATH) == 0) {
        JoinPath(wow64Folder, windows.data, "SysWOW64");
    }
    EnsureTrailingBackslash(wow64Folder);

    // The alias leads a 32-bit program to the native folder without touching the state of
    // its thread (Vista on; XP x64 and 2003 with an update). Without it the redirection is
    // turned off around each use of the system folder's own name.
    JoinPath(folder, windows.data, "Sysnative\\");
    StringBuffer tool;
    JoinPath(tool, folder.data, "regsvr32.exe");
    if (!PathExists(tool.data)) {
        aliasMissing = true;
        folder.Assign(systemFolder);
    }
    return true;
}

bool NativeSystem::RedirectionOff()
{
    return disableRedirection != nullptr && revertRedirection != nullptr &&
        disableRedirection(&redirection);
}

void NativeSystem::RedirectionOn()
{
    revertRedirection(redirection);
}

bool NativeSystem::Enter()
{
    return !aliasMissing || RedirectionOff();
}

void NativeSystem::Leave()
{
    if (aliasMissing)
        RedirectionOn();
}

bool NativeSystem::RunRegistrationTool(const char* switches, const char* dllPath)
{
    if (!Enter())
        return false;
    // The working folder is named as both views have it.
    bool done = ::RunRegistrationTool(switches, dllPath, systemFolder.data, folder.data);
    Leave();
    return done;
}

bool NativeSystem::WithRedirectionOff(const char* path, bool (*action)(const char* path))
{
    if (!RedirectionOff())
        return false;
    bool done = action(path);
    RedirectionOn();
    return done;
}
