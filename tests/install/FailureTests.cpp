// Installations that stop: the failure messages that can be provoked for real, and what each
// stop leaves behind. A roll-back removes what the run created and nothing else.
#include <gtest/gtest.h>

#include "InstallSupport.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

// Starts setup.exe from S:\dist\, types folder into the dialog, confirms and returns the
// message box that follows (answered with OK once read).
MessageBoxInfo InstallInto(const std::string& folder) {
    Process setup;
    EXPECT_TRUE(setup.Start(kDistSetup, kDistSetup));
    HWND dialog = WaitForFolderDialog(setup.id);
    EXPECT_NE(nullptr, dialog);
    if (dialog == nullptr) return MessageBoxInfo();
    EXPECT_TRUE(UiRobot::SetControlText(dialog, 1000, folder.c_str()));
    EXPECT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo box = ExpectBox(setup.id, nullptr);
    EXPECT_TRUE(Answer(box, box.buttons.empty() ? IDOK : box.buttons[0]));
    EXPECT_TRUE(setup.Wait(kEndMs));
    EXPECT_TRUE(NoReadmeWindow(500));
    return box;
}

void ExpectNothingRegistered() {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST(Failures, AnExtensionFolderThatCannotBeCreatedStopsAndRemovesTheNewFolder) {
    // A file of that name stands where the folder would go.
    std::string blocker = SystemFolder() + "ShellExt";
    ASSERT_TRUE(WriteFile(blocker, "not a folder"));
    ASSERT_TRUE(CopyDist());
    MessageBoxInfo box = InstallInto("S:\\new1");
    DeleteFileA(blocker.c_str());
    EXPECT_EQ(kExtensionFolderFailed, box.text);
    EXPECT_EQ(kInstallerCaption, box.caption);
    EXPECT_EQ(kNoticeStyle, box.style);
    EXPECT_FALSE(Exists("S:\\new1"));
    EXPECT_EQ(std::vector<std::string>({"pelim", "setup.exe"}), List(kDistFolder));
    ExpectNothingRegistered();
}

TEST(Failures, AMissingReadMeStopsAndRemovesTheNewFolder) {
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(DeleteFileA("S:\\dist\\pelim\\readme.txt"));
    MessageBoxInfo box = InstallInto("S:\\new2");
    EXPECT_EQ(kInstallFolderFailed, box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    EXPECT_FALSE(Exists("S:\\new2"));
    EXPECT_EQ(std::vector<std::string>({"pelim102.dll"}), List("S:\\dist\\pelim\\"));
    ExpectNothingRegistered();
}

TEST(Failures, AMissingDllStopsAndKeepsAFolderThatExistedBefore) {
    RemoveTree("S:\\existing");
    ASSERT_TRUE(CreateDirectoryA("S:\\existing", nullptr));
    ASSERT_TRUE(WriteFile("S:\\existing\\thesis.doc", "three years of work"));
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(DeleteFileA("S:\\dist\\pelim\\pelim102.dll"));
    MessageBoxInfo box = InstallInto("S:\\existing\\");
    EXPECT_EQ(kDllFailed, box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    // Only what this run put there is gone; the extension folder it created stays, empty.
    EXPECT_EQ(std::vector<std::string>({"thesis.doc"}), List("S:\\existing\\"));
    EXPECT_EQ(std::vector<std::string>(), List(ExtensionFolder()));
    ExpectNothingRegistered();
}

TEST(Failures, AFolderWhoseParentIsMissingStopsWithNothingRemoved) {
    ASSERT_TRUE(CopyDist());
    MessageBoxInfo box = InstallInto("S:\\no\\such\\pelim");
    EXPECT_EQ(kInstallFolderFailed, box.text);
    EXPECT_EQ(kInstallerCaption, box.caption);
    EXPECT_FALSE(Exists("S:\\no"));
    EXPECT_EQ(std::vector<std::string>({"pelim", "setup.exe"}), List(kDistFolder));
    ExpectNothingRegistered();
}

TEST(Failures, ARegsvr32BesideSetupIsNotTheOneRun) {
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(CopyFileA("P:\\install_holder.exe", "S:\\dist\\regsvr32.exe", FALSE));
    DeleteFileA("S:\\planted-regsvr32.txt");
    InstallAccepting();
    EXPECT_FALSE(Exists("S:\\planted-regsvr32.txt"));
    EXPECT_EQ("102", Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
}

TEST(Failures, TheInstalledSetupRunFromItsFolderLeavesTheInstallationWhole) {
    // Continues from the installation above: C:\Program Files\pelim\ holds the installation.
    const std::string installed = "C:\\Program Files\\pelim\\";
    ASSERT_EQ(std::vector<std::string>({"readme.txt", "setup.exe"}), List(installed));
    std::string pendingBefore = PendingDeletions();
    Process setup;
    ASSERT_TRUE(setup.Start(installed + "setup.exe", "\"" + installed + "setup.exe\""));
    ASSERT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(installed, UiRobot::ControlText(dialog, 1000));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    // There is no "pelim\" source beside it: the installation stops, and takes nothing away.
    MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kInstallFolderFailed, box.text);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(setup.Wait(kEndMs));
    EXPECT_EQ(std::vector<std::string>({"readme.txt", "setup.exe"}), List(installed));
    EXPECT_EQ(pendingBefore, PendingDeletions());

    // With a source folder beside it, it installs again without copying itself onto itself
    // and without scheduling its own deletion.
    ASSERT_TRUE(CreateDirectoryA((installed + "pelim").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\pelim\\readme.txt", (installed + "pelim\\readme.txt").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\pelim\\pelim102.dll", (installed + "pelim\\pelim102.dll").c_str(), FALSE));
    Process again;
    ASSERT_TRUE(again.Start(installed + "setup.exe", "\"" + installed + "setup.exe\""));
    ASSERT_TRUE(Answer(ExpectBox(again.id, kInstallerCaption), IDYES));
    dialog = WaitForFolderDialog(again.id);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo done = ExpectBox(again.id, kCompletionCaption);
    EXPECT_EQ(kCompletedText, done.text);
    ASSERT_TRUE(Answer(done, IDOK));
    EXPECT_NE("", TakeReadmeWindow());
    ASSERT_TRUE(again.Wait(kEndMs));
    EXPECT_EQ(std::vector<std::string>({"readme.txt", "setup.exe"}), List(installed));
    EXPECT_EQ(pendingBefore, PendingDeletions());
}

}  // namespace
