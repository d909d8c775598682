// One DLL of an installation: where it lies for its scope and side, its copy, registration,
// deletion and the taking back of a deletion.
#include "setup/DllSide.h"

#include "common/PathHelpers.h"
#include "setup/InstallScope.h"
#include "setup/NativeSystem.h"
#include "setup/ProductNames.h"
#include "setup/RegistrationTool.h"

DllSide::DllSide() : scope(nullptr), native(nullptr), sourceName(""), ownFolder(false) {}

void DllSide::Place(const InstallScope& installScope, NativeSystem& system, bool nativeSide,
                    const char* installFolder)
{
    scope = &installScope;
    native = nativeSide ? &system : nullptr;
    sourceName = native != nullptr ? native->dllFolder : "";
    if (scope->forUser) {
        // The user's own folder: the same name in every view and at every start.
        JoinPath(reached, installFolder, sourceName);
        named.Assign(reached);
        boot.Assign(reached);
        ownFolder = native != nullptr;
        return;
    }
    ownFolder = false;
    StringBuffer systemFolder(MAX_PATH);
    GetSystemDirectoryA(systemFolder.data, MAX_PATH);
    EnsureTrailingBackslash(systemFolder);
    // The one name both regsvr32.exe are given; each view of the system folder holds its
    // own DLL under it.
    JoinPath(named, systemFolder.data, extensionFolderName);
    if (native != nullptr) {
        JoinPath(reached, native->folder.data, extensionFolderName);
        boot.Assign(named); // the native file, named with the redirection off
    } else if (system.present) {
        reached.Assign(named);
        // Under WoW64 the 32-bit DLL is named by the folder the system gives it at its start,
        // when a delayed deletion is carried out (this program's name leads to the native one).
        JoinPath(boot, system.wow64Folder.data, extensionFolderName);
    } else {
        reached.Assign(named);
        boot.Assign(named);
    }
}

// "pelim<version>.dll" in the folder: the name of each version's DLL.
void DllSide::DllPath(StringBuffer& path, const StringBuffer& folder, int version)
{
    path.Format("%spelim%d.dll", folder.data, version);
}

bool DllSide::MakeFolder()
{
    if (native != nullptr && !native->Enter())
        return false;
    bool ready = IsFolder(reached.data) || CreateDirectoryA(reached.data, nullptr);
    if (native != nullptr)
        native->Leave();
    return ready;
}

bool DllSide::CopyIn(const char* sourceFolder, bool& created)
{
    StringBuffer source, target;
    JoinPath(source, sourceFolder, sourceName);
    source.Append(extensionFileName);
    JoinPath(target, reached.data, extensionFileName);
    created = false;
    if (native != nullptr && !native->Enter())
        return false;
    created = CopyFileA(source.data, target.data, TRUE) != 0;
    bool present = created || PathExists(target.data);
    if (native != nullptr)
        native->Leave();
    return present;
}

bool DllSide::Exists(int version)
{
    if (native != nullptr && !native->Enter())
        return false;
    StringBuffer path;
    DllPath(path, reached, version);
    bool exists = PathExists(path.data) != 0;
    if (native != nullptr)
        native->Leave();
    return exists;
}

bool DllSide::RunTool(const char* switches, int version)
{
    StringBuffer dll;
    DllPath(dll, named, version);
    if (native != nullptr)
        return native->RunRegistrationTool(switches, dll.data);
    return RunRegistrationTool(switches, dll.data, named.data);
}

bool DllSide::Register(int version)
{
    return RunTool(scope->registerSwitches, version);
}

bool DllSide::Unregister(int version)
{
    return RunTool(scope->unregisterSwitches, version);
}

// The action on the boot name; for the native side with the redirection off, so that the
// name means the native file, as it will at the next start.
bool DllSide::OnBootName(int version, bool (*action)(const char* path))
{
    StringBuffer path;
    DllPath(path, boot, version);
    return native != nullptr ? native->WithRedirectionOff(path.data, action) : action(path.data);
}

bool DllSide::Delete(int version)
{
    return !Exists(version) || OnBootName(version, scope->deleteInUse);
}

bool DllSide::Keep(int version)
{
    return OnBootName(version, scope->cancelDeletion);
}

void DllSide::BootName(int version, StringBuffer& path)
{
    DllPath(path, boot, version);
}

DWORD FileBytes(const char* path)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return entry.nFileSizeLow;
}

DWORD DllSide::Bytes(int version)
{
    if (native != nullptr && !native->Enter())
        return 0;
    StringBuffer path;
    DllPath(path, reached, version);
    DWORD bytes = FileBytes(path.data);
    if (native != nullptr)
        native->Leave();
    return bytes;
}

void DllSide::RemoveOwnFolder()
{
    if (ownFolder)
        RemoveDirectoryA(reached.data);
}
