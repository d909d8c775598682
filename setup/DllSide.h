// DllSide: one DLL of an installation, as this program reaches it: the DLL of its own side,
// or on a 64-bit Windows the native one (x64, or ARM64 on Windows on Arm). Where it lies
// follows the scope: "ShellExt\" of the system folder of its side for the machine, the
// install folder for one user (the native DLL in "x64\" or "arm64\" below it, as in the
// download). Each is registered by the regsvr32.exe of its own bitness.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

struct InstallScope;
class NativeSystem;

class DllSide {
public:
    DllSide();

    // Places the side: the native one (nativeSide, only where system.present) or this
    // program's own. installFolder: the installation's folder (where a user's DLLs lie),
    // with its backslash.
    void Place(const InstallScope& scope, NativeSystem& system, bool nativeSide,
               const char* installFolder);

    // Makes the folder the DLL goes into, when missing (only its last level).
    bool MakeFolder();
    // Copies this side's DLL of the download's "pelim\" folder into place; a file of its name
    // already there is kept, never overwritten. created tells whether this run made it.
    bool CopyIn(const char* sourceFolder, bool& created);
    bool Exists(int version);
    // Has the regsvr32.exe of this side register or unregister the DLL of the version; true
    // when the tool ran and succeeded.
    bool Register(int version);
    bool Unregister(int version);
    // Deletes the DLL of the version now, or at the next start or logon as the scope has it;
    // true also when it is not there.
    bool Delete(int version);
    // Takes back a deletion of the DLL at the next start or logon; true when none is left.
    bool Keep(int version);
    // The DLL's path as the system names it at its start (for messages).
    void BootName(int version, StringBuffer& path);
    DWORD Bytes(int version);
    // The folder, when it is the installation's own (a user's "x64\") and empty, goes.
    void RemoveOwnFolder();

private:
    const InstallScope* scope;
    NativeSystem* native;
    StringBuffer reached; // where this program reaches it (between Enter and Leave if native)
    StringBuffer named; // the name its regsvr32.exe is given
    StringBuffer boot; // the name the system gives it at its start
    const char* sourceName; // below the download's "pelim\": "" or "x64\" / "arm64\"
    bool ownFolder;

    static void DllPath(StringBuffer& path, const StringBuffer& folder, int version);
    bool RunTool(const char* switches, int version);
    bool OnBootName(int version, bool (*action)(const char* path));

    DllSide(const DllSide&) = delete;
    DllSide& operator=(const DllSide&) = delete;
};

// A file's size in bytes (the low part: ours are small), 0 when it is missing.
DWORD FileBytes(const char* path);
