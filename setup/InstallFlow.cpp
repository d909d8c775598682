// InstallFlow: what setup.exe does when started without arguments. It tests the rights on
// the system folder, finds an earlier installation in the class key, lets the user confirm
// the install folder, copies the read-me, the program and the DLL, registers the new DLL
// with regsvr32.exe, retires an earlier DLL, records the installation and opens the read-me.
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
#include "setup/RegistrationTool.h"

const char classKeyPath[] = "CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}\\";
const char uninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PELIM\\";

static const char setupVersion[] = "102";
static const char extensionFileName[] = "pelim102.dll";
static const char readmeFileName[] = "readme.txt";
static const char setupFileName[] = "setup.exe";
static const char sourceFolderName[] = "pelim\\";
// The download's native DLLs, below sourceFolderName: the x64 and the ARM64 one. The install
// takes the one NativeSystem names; the clean-up of the download removes both.
static const char* const nativeSourceFolderNames[] = {"x64\\", "arm64\\"};
static const char extensionFolderName[] = "ShellExt\\";

static const char publisherName[] = "PELIM";

static const char installerCaption[] = "PELIM インストーラー";
static const char completionCaption[] = "PELIM";

static const char rightsMessage[] = "管理者権限のあるユーザーでインストールしてください！";
static const char versionQuestionText[] =
    "既にインストールされているバージョンよりも\n同じか,古いバージョンをインストールしようとしています.\n"
    "インストールを続けますか？";
static const char installFolderMessage[] =
    "指定されたフォルダへのインストールに失敗しました.\nインストールを中止します.";
static const char extensionFolderMessage[] =
    "シェルエクステンションフォルダの作成に失敗しました.\nインストールを中止します.";
static const char dllMessage[] = "DLLのインストールに失敗しました.\nインストールを中止します.";
static const char registrationMessage[] = "DLLの登録に失敗しました.\nインストールを中止します.";
static const char replaceQuestionText[] =
    "指定されたフォルダには既に readme.txt または setup.exe があります.\n"
    "上書きしてインストールを続けますか？";
static const char dialogMessage[] =
    "インストールフォルダを指定する画面を表示できませんでした.\nインストールを中止します.";
// Followed by what is not in place, one a line; the installed extension stays.
static const char unfinishedMessage[] =
    "PELIMのインストールは終了しましたが,次のものが正しく設定されていません.";
static const char completedMessage[] = "インストールが完了しました！";
static const char logoffQuestionText[] =
    "インストールが完了しました！\r\n最新の状態にアップデートするにはログオフが必要です.\r\n今すぐログオフしますか？";
static const char restartQuestionText[] =
    "インストールが完了しました！\r\n最新の状態にアップデートするには再起動が必要です.\r\n今すぐ再起動しますか？";

static const UINT noticeFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_OK;       // 0x1030
static const UINT questionFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_YESNO;  // 0x1034

// A silent run reinstalls over the same or a newer version, never replaces files that are
// not ours, and neither logs off nor restarts: it owes the restart instead.
static const Question versionQuestion = {versionQuestionText, installerCaption, questionFlags, IDYES, false};
static const Question replaceQuestion = {replaceQuestionText, installerCaption, questionFlags, IDNO, false};
static const Question logoffQuestion = {logoffQuestionText, completionCaption, questionFlags, IDNO, true};
static const Question restartQuestion = {restartQuestionText, completionCaption, questionFlags, IDNO, true};

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
    : app(application), systemFolder(200), scratch(200), installedVersion(0),
      createdInstallFolder(false), createdReadme(false), createdSetup(false),
      createdExtension(false), createdNativeExtension(false)
{
}

InstallFlow::~InstallFlow()
{
    key.Close();
    systemFolder.Free();
    scratch.Free();
    installFolder.Free();
    recordedFolder.Free();
    sourceFolder.Free();
    nativeExtensionFolder.Free();
}

int InstallFlow::Run()
{
    if (!TestRights()) {
        app.dialogue.Tell(rightsMessage, installerCaption, noticeFlags);
        return SetupFailed;
    }
    native.Find();
    ReadEarlierInstallation();
    if (installedVersion >= atoi(setupVersion) &&
        app.dialogue.Ask(versionQuestion) == IDNO)
        return SetupCancelled;
    int chosen = ConfirmFolder();
    if (chosen == SetupFailed) {
        app.dialogue.Tell(dialogMessage, installerCaption, noticeFlags);
        return SetupFailed;
    }
    if (chosen != SetupSucceeded)
        return SetupCancelled;
    if (!MayReplaceFiles())
        return SetupCancelled;

    if (!IsFolder(installFolder.data)) {
        if (!CreateDirectoryA(installFolder.data, nullptr)) {
            app.dialogue.Tell(installFolderMessage, installerCaption, noticeFlags);
            return SetupFailed;
        }
        createdInstallFolder = true;
    }

    sourceFolder.Format("%s%s", TextOf(app.moduleFolder), sourceFolderName);
    if (!CopyIntoInstallFolder()) {
        app.dialogue.Tell(installFolderMessage, installerCaption, noticeFlags);
        RollBack();
        return SetupFailed;
    }
    if (!PrepareExtensionFolder()) {
        app.dialogue.Tell(extensionFolderMessage, installerCaption, noticeFlags);
        RollBack();
        return SetupFailed;
    }
    if (!CopyExtension()) {
        app.dialogue.Tell(dllMessage, installerCaption, noticeFlags);
        RollBack();
        return SetupFailed;
    }
    // The earlier DLL is retired only once the new one is registered: until then the
    // earlier installation goes on working.
    if (!RegisterExtension()) {
        app.dialogue.Tell(registrationMessage, installerCaption, noticeFlags);
        UndoRegistration();
        RollBack();
        return SetupFailed;
    }

    // From here on the flow runs to its end, and the extension stays installed; what could
    // not be put in place is named at the end instead of the completion message.
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
        message.Free();
        unfinished.Free();
        return SetupFailed;
    }
    if (Complete())
        OpenReadme();
    return SetupSucceeded;
}

// Creating a file in the system folder is the test for the rights the installation needs.
bool InstallFlow::TestRights()
{
    GetSystemDirectoryA(systemFolder.data, 200);
    EnsureTrailingBackslash(systemFolder);

    scratch.Reserve(MAX_PATH);
    if (GetTempFileNameA(systemFolder.data, "_tmp", 0, scratch.data) == 0 ||
        !PathExists(scratch.data))
        return false;
    DeleteFileA(scratch.data);
    return true;
}

void InstallFlow::ReadEarlierInstallation()
{
    // An earlier installation by the 64-bit setup program recorded itself in the 64-bit
    // view only.
    if (!key.Open(HKEY_CLASSES_ROOT, classKeyPath, false, false) &&
        !(native.present && key.Open(HKEY_CLASSES_ROOT, classKeyPath, false, false, KEY_WOW64_64KEY)))
        return;
    key.ReadString("InstFolder", installFolder);
    recordedFolder.Assign(installFolder);
    scratch.Reserve(200);
    if (key.ReadString("Version", scratch))
        installedVersion = atoi(scratch.data);
    key.Close();
}

// Proposes the stored folder or Program Files + "pelim\" and lets the user confirm it:
// SetupSucceeded, SetupCancelled, or SetupFailed when the dialog could not be shown.
int InstallFlow::ConfirmFolder()
{
    if (installFolder.IsEmpty()) {
        GetSpecialFolder(installFolder, CSIDL_PROGRAM_FILES);
        installFolder.Append(sourceFolderName);
    }
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
    target.Assign(installFolder);
    target.Append(readmeFileName);
    bool occupied = PathExists(target.data) != 0;
    target.Assign(installFolder);
    target.Append(setupFileName);
    // (the running program itself, started from the chosen folder, is not in the way)
    occupied = occupied || (PathExists(target.data) && !SameFileOrFolder(TextOf(app.modulePath), target.data));
    target.Free();
    return !occupied || app.dialogue.Ask(replaceQuestion) != IDNO;
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
    StringBuffer source, target;
    source.Assign(sourceFolder);
    source.Append(readmeFileName);
    target.Assign(installFolder);
    target.Append(readmeFileName);
    bool copied = CopyOverwriting(source.data, target.data, createdReadme);
    if (copied) {
        target.Assign(installFolder);
        target.Append(setupFileName);
        copied = CopyOverwriting(TextOf(app.modulePath), target.data, createdSetup);
    }
    source.Free();
    target.Free();
    return copied;
}

bool InstallFlow::PrepareExtensionFolder()
{
    systemFolder.Append(extensionFolderName);
    if (!IsFolder(systemFolder.data) && !CreateDirectoryA(systemFolder.data, nullptr))
        return false;
    if (!native.present)
        return true;
    nativeExtensionFolder.Assign(native.folder);
    nativeExtensionFolder.Append(extensionFolderName);
    if (!native.Enter())
        return false;
    bool ready = IsFolder(nativeExtensionFolder.data) ||
                 CreateDirectoryA(nativeExtensionFolder.data, nullptr);
    native.Leave();
    return ready;
}

// A DLL of the same name already in place is kept, never overwritten.
bool InstallFlow::CopyExtension()
{
    StringBuffer source, target;
    source.Assign(sourceFolder);
    source.Append(extensionFileName);
    target.Assign(systemFolder);
    target.Append(extensionFileName);
    createdExtension = CopyFileA(source.data, target.data, TRUE) != 0;
    bool present = createdExtension || PathExists(target.data);
    // On a 64-bit Windows the 32-bit DLL alone would leave the native file manager without
    // the extension: without its partner it goes again.
    if (present && native.present && !CopyNativeExtension()) {
        if (createdExtension)
            DeleteFileA(target.data);
        createdExtension = false;
        present = false;
    }
    source.Free();
    target.Free();
    return present;
}

// The native DLL, from "x64\" or "arm64\" of the source folder as the native machine asks,
// into the native extension folder; like the 32-bit one, a file of its name already there
// is kept.
bool InstallFlow::CopyNativeExtension()
{
    StringBuffer source, target;
    source.Assign(sourceFolder);
    source.Append(native.dllFolder);
    source.Append(extensionFileName);
    target.Assign(nativeExtensionFolder);
    target.Append(extensionFileName);
    bool present = false;
    if (native.Enter()) {
        createdNativeExtension = CopyFileA(source.data, target.data, TRUE) != 0;
        present = createdNativeExtension || PathExists(target.data);
        native.Leave();
    }
    source.Free();
    target.Free();
    return present;
}

// Under WoW64 the 32-bit DLL is named by the folder the system gives it at its start, when
// a delayed deletion is carried out (this program's name for it leads to the native one then).
void InstallFlow::RetireEarlierExtension()
{
    if (installedVersion <= 0 || installedVersion == atoi(setupVersion))
        return;
    if (!native.present) {
        scratch.Format("%spelim%d.dll", systemFolder.data, installedVersion);
        DeleteNowOrAtRestart(scratch.data);
        return;
    }
    scratch.Format("%s%spelim%d.dll", native.wow64Folder.data, extensionFolderName, installedVersion);
    DeleteNowOrAtRestart(scratch.data);
    scratch.Format("%spelim%d.dll", extensionFolderName, installedVersion);
    native.DeleteNowOrAtRestart(scratch.data);
}

// regsvr32.exe /s <extension folder>pelim102.dll; true when the tool ran and succeeded. On a
// 64-bit Windows the native tool registers the same name, which in its view is the native DLL.
bool InstallFlow::RegisterExtension()
{
    scratch.Assign(systemFolder);
    scratch.Append(extensionFileName);
    return RunRegistrationTool("/s", scratch.data, systemFolder.data) &&
           (!native.present || native.RunRegistrationTool("/s", scratch.data));
}

// A failed registration may have gone part of the way (the class key is re-created first,
// and all versions share it). What this run registered goes first, with the DLLs it copied;
// then the earlier installation is registered again in each view where its DLL is (the DLL
// of the earlier version, or the one of this version that was kept), and its values are
// written back. In that order the handler keys that later Windows share between both views,
// which every unregistration takes away, end as the earlier installation had them.
void InstallFlow::UndoRegistration()
{
    StringBuffer dll;
    dll.Assign(systemFolder);
    dll.Append(extensionFileName);
    StringBuffer nativeDll;
    nativeDll.Format("%s%s", extensionFolderName, extensionFileName);
    if (native.present && createdNativeExtension) {
        native.RunRegistrationTool("/s /u", dll.data);
        native.DeleteNowOrAtRestart(nativeDll.data);
    }
    if (createdExtension) {
        RunRegistrationTool("/s /u", dll.data, systemFolder.data);
        DeleteFileA(dll.data);
    }
    if (installedVersion <= 0) {
        dll.Free();
        nativeDll.Free();
        return;
    }

    bool sameVersion = installedVersion == atoi(setupVersion);
    StringBuffer earlier;
    earlier.Format("%spelim%d.dll", systemFolder.data, installedVersion);
    if (native.present) {
        nativeDll.Format("%spelim%d.dll", extensionFolderName, installedVersion);
        if ((!sameVersion || !createdNativeExtension) && native.Exists(nativeDll.data))
            native.RunRegistrationTool("/s", earlier.data);
    }
    if ((!sameVersion || !createdExtension) && PathExists(earlier.data))
        RunRegistrationTool("/s", earlier.data, systemFolder.data);
    scratch.Format("%d", installedVersion);
    if (native.present)
        WriteClassValues(KEY_WOW64_64KEY, scratch, recordedFolder);
    WriteClassValues(0, scratch, recordedFolder);
    earlier.Free();
    dll.Free();
    nativeDll.Free();
}

// "Version" and "InstFolder" in the class key of one registry view, when the key is there;
// true when both are written.
bool InstallFlow::WriteClassValues(REGSAM view, const StringBuffer& version, const StringBuffer& folder)
{
    bool written = key.Open(HKEY_CLASSES_ROOT, classKeyPath, true, false, view) &&
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
// and the uninstall entry. A program path with a blank is quoted in "UninstallString", so
// that the system cannot take a part of it for the program to run. What cannot be written
// is added to unfinished.
void InstallFlow::RecordInstallation(StringBuffer& unfinished)
{
    scratch.Assign(setupVersion);
    bool recorded = WriteClassValues(0, scratch, installFolder);
    if (native.present)
        recorded = WriteClassValues(KEY_WOW64_64KEY, scratch, installFolder) && recorded;
    if (!recorded)
        AddUnfinished(unfinished, "HKEY_CLASSES_ROOT\\", classKeyPath);

    bool listed = key.Open(HKEY_LOCAL_MACHINE, uninstallKeyPath, true, true);
    if (listed) {
        scratch.Assign("PELIM");
        listed = key.WriteString("DisplayName", scratch);
        bool quoted = strchr(installFolder.data, ' ') != nullptr;
        scratch.Assign(quoted ? "\"" : "");
        scratch.Append(installFolder);
        scratch.Append(setupFileName);
        scratch.Append(quoted ? "\" -U" : " -U");
        listed = key.WriteString("UninstallString", scratch) && listed;
        // What the programs list and software-distribution tools show and run besides.
        scratch.Assign(setupVersion);
        listed = key.WriteString("DisplayVersion", scratch) && listed;
        scratch.Assign(publisherName);
        listed = key.WriteString("Publisher", scratch) && listed;
        scratch.Assign(installFolder);
        scratch.Append(setupFileName);
        listed = key.WriteString("DisplayIcon", scratch) && listed;
        listed = key.WriteString("InstallLocation", installFolder) && listed;
        listed = key.WriteNumber("EstimatedSize", InstalledKilobytes()) && listed;
        listed = key.WriteNumber("NoModify", 1) && listed;
        listed = key.WriteNumber("NoRepair", 1) && listed;
        scratch.Format("\"%s%s\" -U /S", installFolder.data, setupFileName);
        listed = key.WriteString("QuietUninstallString", scratch) && listed;
    }
    key.Close();
    if (!listed)
        AddUnfinished(unfinished, "HKEY_LOCAL_MACHINE\\", uninstallKeyPath);
}

// Every file the installation put in place must outlive the next start of the system: an
// uninstallation while a DLL was in use, a roll-back or a retirement may have scheduled its
// deletion, which a reinstallation before the restart would otherwise lose the extension
// to. Each one is named by the name the system gives it at its start. A deletion that cannot
// be taken back is added to unfinished.
void InstallFlow::KeepInstalledFiles(StringBuffer& unfinished)
{
    StringBuffer file;
    const char* installed[] = {readmeFileName, setupFileName};
    for (const char* name : installed) {
        file.Assign(installFolder);
        file.Append(name);
        if (!CancelDeleteAtRestart(file.data))
            AddUnfinished(unfinished, "", file.data);
    }
    if (native.present)
        file.Format("%s%s%s", native.wow64Folder.data, extensionFolderName, extensionFileName);
    else
        file.Format("%s%s", systemFolder.data, extensionFileName);
    if (!CancelDeleteAtRestart(file.data))
        AddUnfinished(unfinished, "", file.data);
    if (native.present) {
        file.Format("%s%s", extensionFolderName, extensionFileName);
        if (!native.CancelDeleteAtRestart(file.data)) {
            file.Format("%s%s%s", native.systemFolder.data, extensionFolderName, extensionFileName);
            AddUnfinished(unfinished, "", file.data);
        }
    }
    file.Free();
}

static DWORD FileBytes(const char* path)
{
    WIN32_FIND_DATAA entry;
    ZeroMemory(&entry, sizeof(entry));
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return entry.nFileSizeLow;
}

// The installed files' size in KB, rounded up: the read-me and setup.exe in the install
// folder and the DLL of each bitness.
DWORD InstallFlow::InstalledKilobytes()
{
    StringBuffer path;
    DWORD bytes = 0;
    path.Format("%s%s", installFolder.data, readmeFileName);
    bytes += FileBytes(path.data);
    path.Format("%s%s", installFolder.data, setupFileName);
    bytes += FileBytes(path.data);
    path.Format("%s%s", systemFolder.data, extensionFileName);
    bytes += FileBytes(path.data);
    if (native.present && native.Enter()) {
        path.Format("%s%s", nativeExtensionFolder.data, extensionFileName);
        bytes += FileBytes(path.data);
        native.Leave();
    }
    path.Free();
    return (bytes + 1023) / 1024;
}

// The completion message; after an upgrade or a downgrade the offer to log off (NT
// family) or to restart. False when the log-off or restart has been requested.
bool InstallFlow::Complete()
{
    if (installedVersion > 0 && installedVersion != atoi(setupVersion)) {
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
    readme.Assign(installFolder);
    readme.Append(readmeFileName);
    app.dialogue.Open(readme.data, installFolder.data);
    readme.Free();
}

// Takes back what this run put into the install folder: the whole folder when this run
// created it, otherwise only the files that were not there before.
void InstallFlow::RollBack()
{
    if (createdInstallFolder) {
        RemoveFolderTree(installFolder);
        return;
    }
    StringBuffer target;
    if (createdReadme) {
        target.Assign(installFolder);
        target.Append(readmeFileName);
        DeleteFileA(target.data);
    }
    if (createdSetup) {
        target.Assign(installFolder);
        target.Append(setupFileName);
        DeleteFileA(target.data);
    }
    target.Free();
}

void RemoveSetupSource(SetupApp& app, const StringBuffer& installFolder)
{
    if (app.moduleFolder.IsEmpty())
        return;    // no folder of our own is known: nothing to remove

    // Only what the distribution brought goes: the read-me, the DLLs (the native ones in
    // "x64\" and "arm64\"), and the folders when that leaves them empty. Anything else in it
    // stays, and so does the folder.
    StringBuffer source;
    source.Format("%s%s", app.moduleFolder.data, sourceFolderName);
    if (!FolderContains(source.data, TextOf(installFolder))) {
        StringBuffer file;
        file.Assign(source);
        file.Append(readmeFileName);
        DeleteFileA(file.data);
        file.Assign(source);
        file.Append(extensionFileName);
        DeleteFileA(file.data);
        for (const char* nativeFolder : nativeSourceFolderNames) {
            file.Assign(source);
            file.Append(nativeFolder);
            file.Append(extensionFileName);
            DeleteFileA(file.data);
            file.Assign(source);
            file.Append(nativeFolder);
            RemoveDirectoryA(file.data);
        }
        file.Free();
        RemoveDirectoryA(source.data);
    }
    source.Free();

    StringBuffer installedSetup;
    installedSetup.Assign(installFolder);
    installedSetup.Append(setupFileName);
    if (!SameFileOrFolder(app.modulePath.data, installedSetup.data))
        DeleteNowOrAtRestart(app.modulePath.data);
    installedSetup.Free();
}
