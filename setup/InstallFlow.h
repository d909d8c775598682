// InstallFlow: installs or upgrades the extension in one linear pass, from the rights test
// to the completion message and the read-me.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/DllSide.h"
#include "setup/InstallScope.h"
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
    // For whom the installation is (app.scope, once chosen): where the DLLs go, how they are
    // registered, where the records go, how a file in use is deleted.
    const InstallScope* scope;
    StringBuffer installFolder;
    StringBuffer recordedFolder; // "InstFolder" of the earlier installation, as read
    int installedVersion; // 0: no earlier installation
    RegKey key;
    StringBuffer sourceFolder;
    // On a 64-bit Windows the native DLL (x64, or ARM64 on Windows on Arm) is installed beside
    // the 32-bit one, each registered by its own regsvr32.exe.
    NativeSystem native;
    int sideCount; // 1, or 2 with the native side
    DllSide sides[2]; // this installation's DLLs: this program's side, the native
    DllSide earlier[2]; // the same sides of the earlier installation

    // The message of the failure that stops the run; null for none (a no, a closed dialog).
    const char* failure;
    // What this run created in the install folder: a roll-back removes that and nothing else.
    bool createdInstallFolder;
    bool createdReadme;
    bool createdSetup;
    bool createdDll[2]; // the DLL of each side was copied by this run
    bool registrationTried;

    int PutInPlace();
    int Fail(const char* message);
    int Finish();

    int ChooseScope();
    bool TestRights();
    void ReadEarlierInstallation();
    int ConfirmFolder();
    bool MayReplaceFiles();
    bool MakeInstallFolder();
    bool CopyIntoInstallFolder();
    void PlaceSides();
    bool PrepareExtensionFolder();
    bool CopyExtension();
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
