// The 64-bit side of a 64-bit Windows as the 32-bit setup program reaches it: its system
// folder, where the native file manager finds the native DLL (x64, or ARM64 on Windows on
// Arm), and its regsvr32.exe.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

typedef BOOL(WINAPI* IsWow64ProcessProc)(HANDLE, PBOOL);
typedef BOOL(WINAPI* IsWow64Process2Proc)(HANDLE, USHORT*, USHORT*);

// The folder of the download's "pelim\" that holds the DLL for the native side of process:
// "arm64\" on an ARM64 Windows, "x64\" on every other 64-bit one, null where the process
// does not run under WoW64 (a 32-bit Windows, or a 64-bit program). IsWow64Process2 (Windows
// 10 1511 on) names the native machine; where it is missing or fails, IsWow64Process alone
// decides, and its "WoW64" means x64, as on every Windows before it. Either query may be null.
const char* NativeDllFolder(HANDLE process, IsWow64Process2Proc isWow64Process2,
                            IsWow64ProcessProc isWow64Process);

class NativeSystem {
public:
    // A 32-bit program on a 64-bit Windows: there is a native side. False on a 32-bit Windows
    // and in the 64-bit program, whose system folder is the native one already.
    bool present;
    // Where the native DLL comes from, below the download's "pelim\" (NativeDllFolder); null
    // without a native side.
    const char* dllFolder;
    // The native system folder as this program reaches it, with a backslash: the alias
    // "<Windows>\Sysnative\", or, where the alias is missing, the system folder itself with
    // the redirection of this thread turned off between Enter and Leave.
    StringBuffer folder;
    // GetSystemDirectoryA: the name of the native system folder for the system at its start
    // and for 64-bit programs; to this program it leads to the 32-bit one.
    StringBuffer systemFolder;
    // GetSystemWow64DirectoryA: the 32-bit system folder under the name that means it
    // for every program and for the system at its start.
    StringBuffer wow64Folder;

    NativeSystem();

    // Asks the platform whether this process runs under WoW64, on which machine, and, if
    // so, how to reach the native side. Returns present.
    bool Find();

    // Every use of folder lies between Enter and Leave. False when the native folder cannot
    // be reached (then Leave is not called).
    bool Enter();
    void Leave();

    // The 64-bit regsvr32.exe on dllPath (the name the DLL has in the system folder, which
    // in the native view is the 64-bit DLL), run and waited for; true when it succeeded.
    bool RunRegistrationTool(const char* switches, const char* dllPath);

    // Runs action on path with the redirection of this thread off, so that a name in the
    // system folder means the native file, as it does for the system at its start (a delayed
    // deletion, and its taking back, must name the file so). Call it outside Enter and Leave.
    bool WithRedirectionOff(const char* path, bool (*action)(const char* path));

private:
    bool aliasMissing; // XP x64 and 2003 without the update that brought the alias
    PVOID redirection; // what Wow64DisableWow64FsRedirection handed back
    BOOL(WINAPI* disableRedirection)(PVOID*);
    BOOL(WINAPI* revertRedirection)(PVOID);

    bool RedirectionOff();
    void RedirectionOn();

    NativeSystem(const NativeSystem&) = delete;
    NativeSystem& operator=(const NativeSystem&) = delete;
};
