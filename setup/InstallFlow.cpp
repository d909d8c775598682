// InstallFlow: what setup.exe does when started to install. It chooses for whom (the machine
// where the rights test passes, or the one user), finds an earlier installation in the class
// key, lets the user confirm the install folder, copies the read-me, the program and the DLL,
// registers the new DLL with regsvr32.exe, retires an earlier DLL, records the installation
// and opens the read-me.
// On a 64-bit Windows the 32-bit program installs and registers the native DLL as well: the
// x64 one, or the ARM64 one on Windows on Arm.
#include "setup/InstallFlow.h"

#include <stdlib.h>
#include <string.h>
#include <shlobj.h>

#include "common/PathHelpers.h"
#include "setup/DeferredDelete.h"
#include "setup/FolderGuard.h"
#include "setup/FolderRemoval.h"
#include "setup/OsVersion.h"
#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"
#include "setup/FolderQueries.h"
#include "setup/ProductNames.h"
#include "setup/RegistrationTool.h"
#include "UiTexts.h"


// A silent run reinstalls over the same or a newer version, never replaces files that are
// not ours, and neither logs off nor restarts: it owes the restart instead.
static const Question userQuestion = { userQuestionText, installerCaption, questionFlags, IDNO,
                                       false };
static const Question versionQuestion = { versionQuestionText, installerCaption, questionFlags,
                                          IDYES, false };
static const Question replaceQuestion = { replaceQuestionText, installerCaption, questionFlags,
                                          IDNO, false };
static const Question logoffQuestion = { logoffQuestionText, completionCaption, questionFlags, IDNO,
                                         true };
static const Question restartQuestion = { restartQuestionText, completionCaption, questionFlags,
                                          IDNO, true };

static const char* TextOf(const StringBuffer& buffer)
{
    return buffer.data != nullptr ? buffer.data : "";
}

int RunInstall(SetupApp& app)
{
    InstallFlow flow(app);
    return flow.Run();
}

InstallFlow::InstallFlow(SetupApp& application)
    : app(application), scope(application.scope), installedVersion(0), sideCount(0),
      failure(nullptr), createdInstallFolder(false), createdReadme(false), createdSetup(false),
      createdDll(), registrationTried(false)
{
}

// Every failure goes the one way: its message, then the roll-back of what this run did.
int InstallFlow::Run()
{
    int outcome = PutInPlace();
    if (outcome == SetupFailed) {
        if (failure != nullptr)
            app.dialogue.Tell(failure, installerCaption, noticeFlags);
        RollBack();
    }
    return outcome == SetupSucceeded ? Finish() : outcome;
}

int InstallFlow::Fail(const char* message)
{
    failure = message;
    return SetupFailed;
}

// Up to the registration of the new DLL: the steps a failure takes back.
int InstallFlow::PutInPlace()
{
    int chosenScope = ChooseScope();
    if (chosenScope != SetupSucceeded)
        return chosenScope;
    native.Find();
    ReadEarlierInstallation();
    if (installedVersion >= setupVersion && app.dialogue.Ask(versionQuestion) == IDNO)
        return SetupCancelled;
    int chosen = ConfirmFolder();
    if (chosen == SetupFailed)
        return Fail(dialogMessage);
    if (chosen != SetupSucceeded || !MayReplaceFiles())
        return SetupCancelled;
    if (!MakeInstallFolder() || !CopyIntoInstallFolder())
        return Fail(installFolderMessage);
    PlaceSides();
    if (!PrepareExtensionFolder())
        return Fail(extensionFolderMessage);
    if (!CopyExtension())
        return Fail(dllMessage);
    // The earlier DLL is retired only once the new one is registered: until then the
    // earlier installation goes on working.
    if (!RegisterExtension())
        return Fail(registrationMessage);
    return SetupSucceeded;
}

// From here on the flow runs to its end, and the extension stays installed; what could not
// be put in place is named at the end instead of the completion message.
int InstallFlow::Finish()
{
    RetireEarlierExtension();
    StringBuffer unfinished;
    RecordInstallation(unfinished);
    // A silent run's source is the tool's that ran it (a cache, a share): it stays as it is.
    if (!app.dialogue.silent)
        RemoveSetupSource(app, installFolder);
    KeepInstalledFiles(unfinished);
    if (!unfinished.IsEmpty()) {
        StringBuffer message;
        message.Assign(unfinishedMessage);
        message.Append(unfinished);
        app.dialogue.Tell(message.data, installerCaption, noticeFlags);
        return SetupFailed;
    }
    if (Complete())
        OpenReadme();
    return SetupSucceeded;
}

// For whom: what the command line asked for; without a switch the machine where the rights
// test passes, otherwise, in an interactive run on a system with user classes, this user
// when the user says so. A silent run never chooses for the tool that started it.
int InstallFlow::ChooseScope()
{
    if (app.scopeRequest == UserScopeRequested) {
        if (!HasUserClasses())
            return Fail(noUserClassesMessage);
        scope = app.scope = &userScope;
        return SetupSucceeded;
    }
    scope = app.scope = &machineScope;
    if (TestRights())
        return SetupSucceeded;
    if (app.scopeRequest == MachineScopeRequested || app.dialogue.silent || !HasUserClasses())
        return Fail(rightsMessage);
    if (app.dialogue.Ask(userQuestion) == IDNO)
        return SetupCancelled;
    scope = app.scope = &userScope;
    return SetupSucceeded;
}

// Creating a file in the system folder is the test for the rights a machine-wide
// installation needs.
bool InstallFlow::TestRights()
{
    StringBuffer systemFolder(200);
    GetSystemDirectoryA(systemFolder.data, 200);
    EnsureTrailingBackslash(systemFolder);

    StringBuffer testFile(MAX_PATH);
    if (GetTempFileNameA(systemFolder.data, "_tmp", 0, testFile.data) == 0 ||
        !PathExists(testFile.data))
        return false;
    DeleteFileA(testFile.data);
    return true;
}

void InstallFlow::ReadEarlierInstallation()
{
    // An earlier installation by the 64-bit setup program recorded itself in the 64-bit
    // view only.
    if (!key.Open(scope->root, scope->classKey, RegKey::ReadAccess) &&
        !(native.present &&
          key.Open(scope->root, scope->classKey, RegKey::ReadAccess, KEY_WOW64_64KEY)))
        return;
    key.ReadString("InstFolder", installFolder);
    recordedFolder.Assign(installFolder);
    StringBuffer versionText;
    if (key.ReadString("Version", versionText))
        installedVersion = atoi(versionText.data);
    key.Close();
}

// Proposes the stored folder or the scope's own (Program Files + "pelim\" for the machine)
// and lets the user confirm it: SetupSucceeded, SetupCancelled, or SetupFailed when the
// dialog could not be shown.
int InstallFlow::ConfirmFolder()
{
    if (installFolder.IsEmpty())
        ProposeInstallFolder(*scope, installFolder);
    int chosen = app.dialogue.ChooseFolder(app.instance, installFolder, installFolder);
    if (chosen == SetupSucceeded)
        EnsureTrailingBackslash(installFolder);
    return chosen;
}

// A read-me or a setup.exe already in the chosen folder is someone else's unless the folder
// is the earlier installation's own; the user says whether it may be replaced.
bool InstallFlow::MayReplaceFiles()
{
    if (!recordedFolder.IsEmpty() && SameFileOrFolder(recordedFolder.data, installFolder.data))
        return true;
    StringBuffer target;
    JoinPath(target, installFolder.data, readmeFileName);
    bool occupied = PathExists(target.data) != 0;
    JoinPath(target, installFolder.data, setupFileName);
    // (the running program itself, started from the chosen folder, is not in the way)
    occupied = occupied ||
        (PathExists(target.data) && !SameFileOrFolder(TextOf(app.modulePath), target.data));
    return !occupied || app.dialogue.Ask(replaceQuestion) != IDNO;
}

// Only the last level is created, and for one user the level above it where that is missing
// (a fresh profile has no "Programs\" folder yet); a roll-back removes the install folder
// only when this run made it.
bool InstallFlow::MakeInstallFolder()
{
    if (IsFolder(installFolder.data))
        return true;
    createdInstallFolder = CreateDirectoryA(installFolder.data, nullptr) != 0;
    if (!createdInstallFolder && scope->forUser) {
        StringBuffer parent;
        parent.Assign(installFolder);
        parent.Erase(parent.Length() - 1, 1);
        TruncateAfterLastBackslash(parent.data);
        createdInstallFolder = !parent.IsEmpty() && CreateDirectoryA(parent.data, nullptr) &&
            CreateDirectoryA(installFolder.data, nullptr);
    }
    return createdInstallFolder;
}

// Copies source onto target (overwriting) unless both name the same file already: the
// setup program started from its own install folder, or a source folder chosen as the
// install folder, must not copy a file onto itself. created tells whether the target is new.
static bool CopyOverwriting(const char* source, const char* target, bool& created)
{
    created = false;
    if (SameFileOrFolder(source, target))
        return true;
    bool existed = PathExists(target) != 0;
    if (!CopyFileA(source, target, FALSE))
        return false;
    created = !existed;
    return true;
}

bool InstallFlow::CopyIntoInstallFolder()
{
    JoinPath(sourceFolder, app.moduleFolder.data, sourceFolderName);
    StringBuffer source, target;
    JoinPath(source, sourceFolder.data, readmeFileName);
    JoinPath(target, installFolder.data, readmeFileName);
    if (!CopyOverwriting(source.data, target.data, createdReadme))
        return false;
    JoinPath(target, installFolder.data, setupFileName);
    return CopyOverwriting(TextOf(app.modulePath), target.data, createdSetup);
}

// This installation's DLLs and the earlier one's: a user's lie in the install folder, which
// may have been another one before.
void InstallFlow::PlaceSides()
{
    sideCount = native.present ? 2 : 1;
    const char* earlierFolder = recordedFolder.IsEmpty() ? installFolder.data : recordedFolder.data;
    for (int i = 0; i < sideCount; ++i) {
        sides[i].Place(*scope, native, i == 1, installFolder.data);
        earlier[i].Place(*scope, native, i == 1, earlierFolder);
    }
}

bool InstallFlow::PrepareExtensionFolder()
{
    bool ready = true;
    for (int i = 0; i < sideCount && ready; ++i)
        ready = sides[i].MakeFolder();
    return ready;
}

// The DLL of this program's side, then the native one (x64 or ARM64 as the native machine
// asks); a DLL of the same name already in place is kept, never overwritten. On a 64-bit
// Windows the 32-bit DLL alone would leave the native file manager without the extension:
// without its partner it goes again.
bool InstallFlow::CopyExtension()
{
    bool present = sides[0].CopyIn(sourceFolder.data, createdDll[0]);
    if (present && sideCount == 2 && !sides[1].CopyIn(sourceFolder.data, createdDll[1])) {
        if (createdDll[0])
            sides[0].Delete(setupVersion);
        createdDll[0] = false;
        present = false;
    }
    return present;
}

void InstallFlow::RetireEarlierExtension()
{
    if (installedVersion <= 0 || installedVersion == setupVersion)
        return;
    for (int i = 0; i < sideCount; ++i)
        earlier[i].Delete(installedVersion);
}

// Each DLL by the regsvr32.exe of its side; true when every one ran and succeeded.
bool InstallFlow::RegisterExtension()
{
    registrationTried = true;
    bool registered = true;
    for (int i = 0; i < sideCount && registered; ++i)
        registered = sides[i].Register(setupVersion);
    return registered;
}

// A failed registration may have gone part of the way (the class key is re-created first,
// and all versions share it). What this run registered goes first, with the DLLs it copied,
// the native side's first; then the earlier installation is registered again. In that order
// the handler keys that later Windows share between both views, which every unregistration
// takes away, end as the earlier installation had them.
void InstallFlow::UndoRegistration()
{
    for (int i = sideCount - 1; i >= 0; --i) {
        if (createdDll[i]) {
            sides[i].Unregister(setupVersion);
            sides[i].Delete(setupVersion);
        }
    }
    if (installedVersion > 0)
        RegisterEarlierInstallation();
}

// The earlier installation registered again in each view where its DLL is (the DLL of the
// earlier version, or the one of this version that was kept), and its values written back.
void InstallFlow::RegisterEarlierInstallation()
{
    bool sameVersion = installedVersion == setupVersion;
    for (int i = sideCount - 1; i >= 0; --i) {
        if ((!sameVersion || !createdDll[i]) && earlier[i].Exists(installedVersion))
            earlier[i].Register(installedVersion);
    }
    StringBuffer earlierVersion;
    earlierVersion.Format("%d", installedVersion);
    if (native.present)
        WriteClassValues(KEY_WOW64_64KEY, earlierVersion, recordedFolder);
    WriteClassValues(0, earlierVersion, recordedFolder);
}

// "Version" and "InstFolder" in the class key of one registry view, when the key is there;
// true when both are written.
bool InstallFlow::WriteClassValues(REGSAM view, const StringBuffer& version,
                                   const StringBuffer& folder)
{
    bool written = key.Open(scope->root, scope->classKey, RegKey::WriteAccess, view) &&
        key.WriteString("Version", version) && key.WriteString("InstFolder", folder);
    key.Close();
    return written;
}

// Adds a line to the list of what is not in place.
static void AddUnfinished(StringBuffer& unfinished, const char* root, const char* path)
{
    unfinished.Append("\n");
    unfinished.Append(root);
    unfinished.Append(path);
}

// "Version" and "InstFolder" in the class key that the registration has just re-created,
// and the uninstall entry. What cannot be written is added to unfinished.
void InstallFlow::RecordInstallation(StringBuffer& unfinished)
{
    StringBuffer version;
    version.Format("%d", setupVersion);
    bool recorded = WriteClassValues(0, version, installFolder);
    if (native.present)
        recorded = WriteClassValues(KEY_WOW64_64KEY, version, installFolder) && recorded;
    if (!recorded)
        AddUnfinished(unfinished, scope->rootName, scope->classKey);
    if (!WriteUninstallEntry())
        AddUnfinished(unfinished, scope->rootName, uninstallKeyPath);
}

// The entry of the programs list; true when every value is written. A program path with a
// blank is quoted in "UninstallString", so that the system cannot take a part of it for the
// program to run.
bool InstallFlow::WriteUninstallEntry()
{
    bool listed = key.Open(scope->root, uninstallKeyPath, RegKey::CreateAccess);
    if (listed) {
        StringBuffer value;
        value.Assign(displayName);
        listed = key.WriteString("DisplayName", value);
        bool quoted = strchr(installFolder.data, ' ') != nullptr;
        value.Assign(quoted ? "\"" : "");
        value.Append(installFolder);
        value.Append(setupFileName);
        value.Append(quoted ? "\" -U" : " -U");
        listed = key.WriteString("UninstallString", value) && listed;
        // What the programs list and software-distribution tools show and run besides.
        value.Format("%d", setupVersion);
        listed = key.WriteString("DisplayVersion", value) && listed;
        value.Assign(publisherName);
        listed = key.WriteString("Publisher", value) && listed;
        JoinPath(value, installFolder.data, setupFileName);
        listed = key.WriteString("DisplayIcon", value) && listed;
        listed = key.WriteString("InstallLocation", installFolder) && listed;
        listed = key.WriteNumber("EstimatedSize", InstalledKilobytes()) && listed;
        listed = key.WriteNumber("NoModify", 1) && listed;
        listed = key.WriteNumber("NoRepair", 1) && listed;
        value.Format("\"%s%s\" -U /S", installFolder.data, setupFileName);
        listed = key.WriteString("QuietUninstallString", value) && listed;
    }
    key.Close();
    return listed;
}

// Every file the installation put in place must outlive the next start of the system (or the
// user's next logon): an uninstallation while a DLL was in use, a roll-back or a retirement
// may have scheduled its deletion, which a reinstallation before the restart would otherwise
// lose the extension to. Each one is named by the name the system gives it at its start. A
// deletion that cannot be taken back is added to unfinished.
void InstallFlow::KeepInstalledFiles(StringBuffer& unfinished)
{
    StringBuffer file;
    const char* installed[] = { readmeFileName, setupFileName };
    for (const char* name : installed) {
        JoinPath(file, installFolder.data, name);
        if (!scope->cancelDeletion(file.data))
            AddUnfinished(unfinished, "", file.data);
    }
    for (int i = 0; i < sideCount; ++i) {
        if (!sides[i].Keep(setupVersion)) {
            sides[i].BootName(setupVersion, file);
            AddUnfinished(unfinished, "", file.data);
        }
    }
}

// The installed files' size in KB, rounded up: the read-me and setup.exe in the install
// folder and the DLL of each side.
DWORD InstallFlow::InstalledKilobytes()
{
    StringBuffer path;
    DWORD bytes = 0;
    JoinPath(path, installFolder.data, readmeFileName);
    bytes += FileBytes(path.data);
    JoinPath(path, installFolder.data, setupFileName);
    bytes += FileBytes(path.data);
    for (int i = 0; i < sideCount; ++i)
        bytes += sides[i].Bytes(setupVersion);
    return (bytes + 1023) / 1024;
}

// The completion message; after an upgrade or a downgrade the offer to log off (NT
// family) or to restart. False when the log-off or restart has been requested.
bool InstallFlow::Complete()
{
    if (installedVersion > 0 && installedVersion != setupVersion) {
        bool nt = IsNtPlatform();
        if (app.dialogue.Ask(nt ? logoffQuestion : restartQuestion) != IDNO &&
            ExitWindowsEx(nt ? EWX_LOGOFF : EWX_REBOOT, 0))
            return false;
        return true;
    }
    app.dialogue.Tell(completedMessage, completionCaption, noticeFlags);
    return true;
}

void InstallFlow::OpenReadme()
{
    StringBuffer readme;
    JoinPath(readme, installFolder.data, readmeFileName);
    app.dialogue.Open(readme.data, installFolder.data);
}

// Takes back what this run did: a registration it tried, then what it put into the install
// folder: the whole folder when this run created it, otherwise only the files that were not
// there before.
void InstallFlow::RollBack()
{
    if (registrationTried)
        UndoRegistration();
    for (int i = 0; i < sideCount; ++i)
        sides[i].RemoveOwnFolder();
    if (createdInstallFolder) {
        RemoveFolderTree(installFolder);
        return;
    }
    StringBuffer target;
    if (createdReadme) {
        JoinPath(target, installFolder.data, readmeFileName);
        DeleteFileA(target.data);
    }
    if (createdSetup) {
        JoinPath(target, installFolder.data, setupFileName);
        DeleteFileA(target.data);
    }
}

void RemoveSetupSource(SetupApp& app, const StringBuffer& installFolder)
{
    if (app.moduleFolder.IsEmpty())
        return; // no folder of our own is known: nothing to remove

    // Only what the distribution brought goes: the read-me, the DLLs (the native ones in
    // "x64\" and "arm64\"), and the folders when that leaves them empty. Anything else in it
    // stays, and so does the folder.
    StringBuffer source;
    JoinPath(source, app.moduleFolder.data, sourceFolderName);
    if (!FolderContains(source.data, TextOf(installFolder))) {
        StringBuffer file;
        JoinPath(file, source.data, readmeFileName);
        DeleteFileA(file.data);
        JoinPath(file, source.data, extensionFileName);
        DeleteFileA(file.data);
        for (const char* nativeFolder : nativeSourceFolderNames) {
            JoinPath(file, source.data, nativeFolder);
            file.Append(extensionFileName);
            DeleteFileA(file.data);
            JoinPath(file, source.data, nativeFolder);
            RemoveDirectoryA(file.data);
        }
        RemoveDirectoryA(source.data);
    }

    StringBuffer installedSetup;
    JoinPath(installedSetup, installFolder.data, setupFileName);
    if (!SameFileOrFolder(app.modulePath.data, installedSetup.data))
        app.scope->deleteInUse(app.modulePath.data);
}
