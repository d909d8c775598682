// The download on a 64-bit Windows, in this order: without its 64-bit DLL it installs
// nothing; whole, its 32-bit setup.exe installs each DLL for its own bitness, registered by
// the regsvr32.exe of that bitness; the drop host of each bitness finds the handler through
// the registry; the uninstallation from the programs list's command line leaves neither
// registry view with the class; a reinstallation before the restart keeps both DLLs through
// it (wineboot -r). run-install.sh stages the download and the 32-bit tools
// (S:\drophost32.exe, S:\install_holder32.exe) from the i686 build, and skips the group
// where the prefix cannot start 32-bit programs.
#include <gtest/gtest.h>

#include "E2eSupport.h"
#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kDropHost32[] = "S:\\drophost32.exe";
const char kHolder32[] = "S:\\install_holder32.exe";
const char kInstalled[] = "C:\\Program Files (x86)\\pelim\\";
// The one name both regsvr32.exe register; each view of the system folder holds its own DLL.
const char kRegistered[] = "C:\\windows\\system32\\ShellExt\\" PELIM_DLL_NAME;
const REGSAM kViews[] = { KEY_WOW64_64KEY, KEY_WOW64_32KEY };

// The 32-bit system folder (C:\windows\syswow64) with a backslash.
std::string Wow64Folder()
{
    char folder[MAX_PATH] = {};
    GetSystemWow64DirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\";
}

// The machine field of a DLL's PE header; 0 when it cannot be read.
WORD MachineOf(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    unsigned char head[1024] = {};
    DWORD read = 0;
    ReadFile(file, head, sizeof head, &read, nullptr);
    CloseHandle(file);
    DWORD pe = *reinterpret_cast<DWORD*>(head + 0x3C);
    return pe + 6 <= read ? *reinterpret_cast<WORD*>(head + pe + 4) : 0;
}

// Drops S:\drop\memo.txt through the drop host of each bitness, into a folder of its own:
// each finds the handler through the registry and copies it under the new name.
void ExpectEachDropHostRenames()
{
    RemoveTree("S:\\drop");
    ASSERT_TRUE(CreateDirectoryA("S:\\drop", nullptr));
    ASSERT_TRUE(WriteFile("S:\\drop\\memo.txt", "memo body"));
    for (const char* host : { e2e::kDropHostPath, kDropHost32 }) {
        std::string target =
            std::string("S:\\drop\\") + (host == kDropHost32 ? "from32" : "from64");
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
        bool renamed = false;
        std::string report = RegistryDrop(target, "S:\\drop\\memo.txt", "renamed", &renamed, host);
        EXPECT_TRUE(renamed) << host << "\n" << report;
        EXPECT_NE(std::string::npos, report.find("co-create-instance 0x00000000")) << report;
        EXPECT_EQ(std::vector<std::string>({ "renamed.txt" }), List(target + "\\")) << host;
    }
}

TEST(Wow64, WithoutThe64BitDllTheDownloadInstallsNothing)
{
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(DeleteFileA("S:\\dist\\pelim\\x64\\" PELIM_DLL_NAME));
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, kDistSetup));
    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kDllFailed, box.text);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(1u, setup.exitCode);
    EXPECT_FALSE(Exists(Wow64Folder() + "ShellExt\\" PELIM_DLL_NAME));
    EXPECT_FALSE(Exists(SystemFolder() + "ShellExt\\" PELIM_DLL_NAME));
    EXPECT_FALSE(Exists(kInstalled));
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << view;
    }
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
}

// This version's class, with its DLL and records, in the 64-bit and the 32-bit view.
void ExpectRecordedInBothViews()
{
    for (REGSAM view : kViews) {
        EXPECT_EQ(kRegistered,
                  Value(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(),
                        "", nullptr, view))
            << view;
        EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version", nullptr, view))
            << view;
        EXPECT_EQ(kInstalled, Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", nullptr, view))
            << view;
    }
}

TEST(Wow64, TheDownloadInstallsEachDllForItsOwnBitness)
{
    EXPECT_EQ(kInstalled, InstallAccepting());
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, MachineOf(SystemFolder() + "ShellExt\\" PELIM_DLL_NAME));
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, MachineOf(Wow64Folder() + "ShellExt\\" PELIM_DLL_NAME));
    ExpectRecordedInBothViews();
    EXPECT_EQ(
        "\"C:\\Program Files (x86)\\pelim\\setup.exe\" -U",
        Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", nullptr, KEY_WOW64_32KEY));
    EXPECT_EQ(std::vector<std::string>({ "setup.exe" }), List(kDistFolder));
}

TEST(Wow64, TheDropHostOfEachBitnessRenamesThroughTheRegistry)
{
    ExpectEachDropHostRenames();
}

TEST(Wow64, UninstallFromTheProgramsListLeavesNeitherViewWithTheClass)
{
    // A 32-bit program keeps the 32-bit DLL loaded: its deletion waits for the next start,
    // under the name the system gives it then (not the native system folder's).
    std::string dll32 = Wow64Folder() + "ShellExt\\" PELIM_DLL_NAME;
    Process holder;
    ASSERT_TRUE(HoldDll(holder, kHolder32, dll32));
    Process launcher;
    ASSERT_TRUE(launcher.Start(
        "", Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", nullptr, KEY_WOW64_32KEY)));
    ASSERT_TRUE(Answer(ExpectBox(launcher.id, kUninstallerCaption), IDYES));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    EXPECT_EQ(0u, launcher.exitCode);
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << view;
    }
    EXPECT_FALSE(Exists(kInstalled));
    EXPECT_FALSE(Exists(SystemFolder() + "ShellExt\\" PELIM_DLL_NAME));
    std::string pending = PendingDeletions();
    EXPECT_NE(std::string::npos, pending.find("\\??\\" + dll32 + "|")) << pending;
    EXPECT_EQ(std::string::npos,
              pending.find("\\??\\" + SystemFolder() + "ShellExt\\" PELIM_DLL_NAME "|"))
        << pending;
    ASSERT_TRUE(Answer(finished, IDOK));
    holder.Finish(0);
}

TEST(Wow64, AReinstallBeforeTheRestartKeepsBothDllsThroughIt)
{
    // Continues from the uninstallation above, whose 32-bit DLL waits for its deletion at the
    // next start. The 64-bit file manager keeps its DLL open in turn: reads, no deletion.
    InstallAccepting();
    std::string dll64 = SystemFolder() + "ShellExt\\" PELIM_DLL_NAME;
    HANDLE inUse = CreateFileA(dll64.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    Process launcher;
    ASSERT_TRUE(launcher.Start(
        "", Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", nullptr, KEY_WOW64_32KEY)));
    ASSERT_TRUE(Answer(ExpectBox(launcher.id, kUninstallerCaption), IDYES));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    ASSERT_TRUE(Answer(finished, IDOK));
    EXPECT_NE(std::string::npos, PendingDeletions().find("\\??\\" + dll64 + "|"))
        << PendingDeletions();

    // Installed again before the restart, the DLL in use is kept in place.
    InstallAccepting();
    std::string pending = PendingDeletions();
    EXPECT_EQ(std::string::npos, pending.find("ShellExt\\" PELIM_DLL_NAME "|")) << pending;
    CloseHandle(inUse);

    Process restart;
    ASSERT_TRUE(restart.Start("C:\\windows\\system32\\wineboot.exe", "wineboot.exe -r"));
    ASSERT_TRUE(restart.Finish(60000));
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, MachineOf(dll64));
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, MachineOf(Wow64Folder() + "ShellExt\\" PELIM_DLL_NAME));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));
    ExpectEachDropHostRenames();
}

TEST(Wow64, AReinstallWhoseSecondRegistrationFailsLeavesBothViewsWorking)
{
    // Continues from the installation above. The 64-bit DLL is held without any sharing, so
    // that the 64-bit regsvr32.exe cannot load it, after the 32-bit one has registered.
    std::string dll64 = SystemFolder() + "ShellExt\\" PELIM_DLL_NAME;
    HANDLE locked = CreateFileA(dll64.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, kDistSetup));
    ASSERT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ("DLLの登録に失敗しました.\nインストールを中止します.", box.text);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(1u, setup.exitCode);
    CloseHandle(locked);

    ExpectRecordedInBothViews();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));
    ExpectEachDropHostRenames();
}

} // namespace
