// InstallFlow: installs or upgrades the extension in one linear pass, from the rights test
// to the completion message and the read-me.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/NativeSystem.h"
#include "setup/RegKey.h"

class SetupApp;

class InstallFlow {
public:
    explicit InstallFlow(SetupApp& app);

    // SetupSucceeded, SetupFailed after a failure message, SetupCancelled after a no or a
    // closed dialog (SetupRoles.h).
    int Run();

private:
    SetupApp& app;
    StringBuffer systemFolder;      // with its backslash
    StringBuffer extensionFolder;   // systemFolder + "ShellExt\"
    StringBuffer installFolder;
    StringBuffer recordedFolder;    // "InstFolder" of the earlier installation, as read
    int installedVersion;           // 0: no earlier installation
    RegKey key;
    StringBuffer sourceFolder;
    // On a 64-bit Windows the native DLL (x64, or ARM64 on Windows on Arm) goes to the native
    // system folder's "ShellExt\" beside the 32-bit one in this program's, each registered by
    // its own regsvr32.exe.
    NativeSystem native;
    StringBuffer nativeExtensionFolder;   // native.folder + "ShellExt\"

    // The message of the failure that stops the run; null for none (a no, a closed dialog).
    const char* failure;
    // What this run created in the install folder: a roll-back removes that and nothing else.
    bool createdInstallFolder;
    bool createdReadme;
    bool createdSetup;
    bool createdExtension;          // the DLL was copied by this run
    bool createdNativeExtension;    // the same for the native DLL
    bool registrationTried;

    int PutInPlace();
    int Fail(const char* message);
    int Finish();

    bool TestRights();
    void ReadEarlierInstallation();
    int ConfirmFolder();
    bool MayReplaceFiles();
    bool MakeInstallFolder();
    bool CopyIntoInstallFolder();
    bool PrepareExtensionFolder();
    bool CopyExtension();
    bool CopyNativeExtension();
    void RetireEarlierExtension();
    bool RegisterExtension();
    void UndoRegistration();
    void RegisterEarlierInstallation();
    void RecordInstallation(StringBuffer& unfinished);
    bool WriteUninstallEntry();
    DWORD InstalledKilobytes();
    bool WriteClassValues(REGSAM view, const StringBuffer& version, const StringBuffer& folder);
    void KeepInstalledFiles(StringBuffer& unfinished);
    bool Complete();
    void OpenReadme();

    void RollBack();

    InstallFlow(const InstallFlow&) = delete;
    InstallFlow& operator=(const InstallFlow&) = delete;
};

// Removes from the setup's "pelim\" source folder what the distribution brought (the
// read-me and the DLL, then the folder if that leaves it empty) and schedules the running
// program for deletion, sparing an install folder that lies inside the source folder and a
// running program that is the installed one.
void RemoveSetupSource(SetupApp& app, const StringBuffer& installFolder);
