// Installations that stop: the failure messages that can be provoked for real, and what each
// stop leaves behind (exit code 1). A roll-back removes what the run created and nothing
// else; someone else's files are replaced only after a yes. An installation whose uninstall
// entry cannot be written ends with 1 too, naming it.
#include <gtest/gtest.h>

#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kRegistrationFailed[] = "DLLの登録に失敗しました.\nインストールを中止します.";
const char kReplaceQuestion[] =
    "指定されたフォルダには既に readme.txt または setup.exe があります.\n"
    "上書きしてインストールを続けますか？";

// Starts setup.exe from S:\dist\, types folder into the dialog, confirms and returns the
// message box that follows (answered with OK, or no to a question, once read).
MessageBoxInfo InstallInto(const std::string& folder)
{
    Process setup;
    EXPECT_TRUE(setup.Start(kDistSetup, kDistSetup));
    HWND dialog = WaitForFolderDialog(setup.id);
    EXPECT_NE(nullptr, dialog);
    if (dialog == nullptr)
        return MessageBoxInfo();
    EXPECT_TRUE(UiRobot::SetControlText(dialog, 1000, folder.c_str()));
    EXPECT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo box = ExpectBox(setup.id, nullptr);
    EXPECT_TRUE(Answer(box, box.buttons.size() == 2 ? IDNO : IDOK));
    EXPECT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(1u, setup.exitCode);
    EXPECT_TRUE(NoReadmeWindow(500));
    return box;
}

void ExpectNothingRegistered()
{
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST(Failures, AnExtensionFolderThatCannotBeCreatedStopsAndRemovesTheNewFolder)
{
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
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
    ExpectNothingRegistered();
}

TEST(Failures, AMissingReadMeStopsAndRemovesTheNewFolder)
{
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(DeleteFileA("S:\\dist\\pelim\\readme.txt"));
    MessageBoxInfo box = InstallInto("S:\\new2");
    EXPECT_EQ(kInstallFolderFailed, box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    EXPECT_FALSE(Exists("S:\\new2"));
    EXPECT_EQ(std::vector<std::string>({ PELIM_DLL_NAME }), List("S:\\dist\\pelim\\"));
    ExpectNothingRegistered();
}

TEST(Failures, AMissingDllStopsAndKeepsAFolderThatExistedBefore)
{
    RemoveTree("S:\\existing");
    ASSERT_TRUE(CreateDirectoryA("S:\\existing", nullptr));
    ASSERT_TRUE(WriteFile("S:\\existing\\thesis.doc", "three years of work"));
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(DeleteFileA("S:\\dist\\pelim\\" PELIM_DLL_NAME));
    MessageBoxInfo box = InstallInto("S:\\existing\\");
    EXPECT_EQ(kDllFailed, box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    // Only what this run put there is gone; the extension folder it created stays, empty.
    EXPECT_EQ(std::vector<std::string>({ "thesis.doc" }), List("S:\\existing\\"));
    EXPECT_EQ(std::vector<std::string>(), List(ExtensionFolder()));
    ExpectNothingRegistered();
}

TEST(Failures, AFolderWhoseParentIsMissingStopsWithNothingRemoved)
{
    ASSERT_TRUE(CopyDist());
    MessageBoxInfo box = InstallInto("S:\\no\\such\\pelim");
    EXPECT_EQ(kInstallFolderFailed, box.text);
    EXPECT_EQ(kInstallerCaption, box.caption);
    EXPECT_FALSE(Exists("S:\\no"));
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
    ExpectNothingRegistered();
}

TEST(Failures, AFailedRegistrationStopsAndLeavesTheEarlierVersionWorking)
{
    // Version 101 is installed; the new DLL is one that regsvr32.exe cannot load.
    ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey, "Version", "101"));
    ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", "S:\\old\\"));
    std::string earlier = ExtensionFolder() + "pelim101.dll";
    ASSERT_TRUE(WriteFile(earlier, "earlier DLL"));
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(WriteFile("S:\\dist\\pelim\\" PELIM_DLL_NAME, "not a DLL"));
    MessageBoxInfo box = InstallInto("S:\\new3");
    EXPECT_EQ(kRegistrationFailed, box.text);
    EXPECT_EQ(kInstallerCaption, box.caption);
    EXPECT_EQ(kNoticeStyle, box.style);
    EXPECT_TRUE(Exists(earlier));
    EXPECT_EQ(std::string::npos, PendingDeletions().find(earlier)) << PendingDeletions();
    EXPECT_EQ("101", Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_EQ("S:\\old\\", Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
    EXPECT_FALSE(Exists("S:\\new3"));
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
    DeleteFileA(earlier.c_str());
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClassKey);
}

TEST(Failures, ARegsvr32BesideSetupIsNotTheOneRun)
{
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(CopyFileA("P:\\install_holder.exe", "S:\\dist\\regsvr32.exe", FALSE));
    DeleteFileA("S:\\planted-regsvr32.txt");
    InstallAccepting();
    EXPECT_FALSE(Exists("S:\\planted-regsvr32.txt"));
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
}

TEST(Failures, TheInstalledSetupRunFromItsFolderLeavesTheInstallationWhole)
{
    // Continues from the installation above: C:\Program Files\pelim\ holds the installation.
    const std::string installed = "C:\\Program Files\\pelim\\";
    ASSERT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(installed));
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
    ASSERT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(installed));
    EXPECT_EQ(pendingBefore, PendingDeletions());

    // With a source folder beside it, it installs again without copying itself onto itself
    // and without scheduling its own deletion.
    ASSERT_TRUE(CreateDirectoryA((installed + "pelim").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\pelim\\readme.txt",
                          (installed + "pelim\\readme.txt").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\pelim\\" PELIM_DLL_NAME,
                          (installed + "pelim\\" PELIM_DLL_NAME).c_str(), FALSE));
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
    ASSERT_TRUE(again.Finish(kEndMs));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(installed));
    EXPECT_EQ(pendingBefore, PendingDeletions());
}

TEST(Failures, SomeoneElsesReadMeIsReplacedOnlyAfterAYes)
{
    // Continues from the installation above (the version question comes first). The chosen
    // folder holds a read-me of the user's, the source folder a file setup did not bring.
    RemoveTree("S:\\Downloads");
    ASSERT_TRUE(CreateDirectoryA("S:\\Downloads", nullptr));
    ASSERT_TRUE(WriteFile("S:\\Downloads\\readme.txt", "my own notes"));
    ASSERT_TRUE(CopyDist());
    ASSERT_TRUE(WriteFile("S:\\dist\\pelim\\notes.txt", "the user's"));
    for (int answer : { IDNO, IDYES }) {
        Process setup;
        ASSERT_TRUE(setup.Start(kDistSetup, kDistSetup));
        ASSERT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
        HWND dialog = WaitForFolderDialog(setup.id);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(UiRobot::SetControlText(dialog, 1000, "S:\\Downloads"));
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
        MessageBoxInfo question = ExpectBox(setup.id, kInstallerCaption);
        EXPECT_EQ(kReplaceQuestion, question.text);
        EXPECT_EQ(kQuestionStyle, question.style);
        ASSERT_TRUE(Answer(question, answer));
        if (answer == IDYES) {
            ASSERT_TRUE(Answer(ExpectBox(setup.id, kCompletionCaption), IDOK));
            EXPECT_NE("", TakeReadmeWindow());
        }
        ASSERT_TRUE(setup.Finish(kEndMs));
        WIN32_FILE_ATTRIBUTE_DATA readme = {};
        ASSERT_TRUE(
            GetFileAttributesExA("S:\\Downloads\\readme.txt", GetFileExInfoStandard, &readme));
        if (answer == IDNO) {
            EXPECT_EQ(2u, setup.exitCode);
            EXPECT_EQ(12u, readme.nFileSizeLow);
            EXPECT_EQ(std::vector<std::string>({ "readme.txt" }), List("S:\\Downloads\\"));
        } else {
            EXPECT_EQ(0u, setup.exitCode);
            EXPECT_LT(12u, readme.nFileSizeLow);
            // Of the source folder only what setup brought is gone.
            EXPECT_EQ(std::vector<std::string>({ "notes.txt" }), List("S:\\dist\\pelim\\"));
        }
    }
}

// Continues from the installation above: setup.exe asks the version question first.
MessageBoxInfo ReinstallAnsweringYes(const std::string& folder)
{
    Process setup;
    EXPECT_TRUE(setup.Start(kDistSetup, kDistSetup));
    EXPECT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
    if (!folder.empty()) {
        HWND dialog = WaitForFolderDialog(setup.id);
        EXPECT_NE(nullptr, dialog);
        if (dialog == nullptr)
            return MessageBoxInfo();
        EXPECT_TRUE(UiRobot::SetControlText(dialog, 1000, folder.c_str()));
        EXPECT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    }
    MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(1u, setup.exitCode);
    EXPECT_TRUE(NoReadmeWindow(500));
    return box;
}

TEST(Failures, AFolderDialogThatCannotBeCreatedIsAFailureNotACancel)
{
    // A setup.exe whose dialog template names a control class that does not exist.
    const WORD brokenTemplate[] = {
        0x0000, 0x80C0, 0,   0,   1,   0,   0,   100,
        50, // style, extended style, one control, place
        0,      0,      'x', 0,   0, // no menu, the dialog class, "x", alignment
        0x0000, 0x5000, 0,   0,   0,   0,   10,  10, // the control: style, extended style, place
        1000,   'N',    'o', 'S', 'u', 'c', 'h', 0, // id, class "NoSuch"
        0,      0
    }; // no text, no creation data
    ASSERT_TRUE(CopyDist());
    HANDLE update = BeginUpdateResourceA(kDistSetup, FALSE);
    ASSERT_NE(nullptr, update);
    ASSERT_TRUE(UpdateResourceA(update, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(101),
                                MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT),
                                const_cast<WORD*>(brokenTemplate), sizeof brokenTemplate));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    MessageBoxInfo box = ReinstallAnsweringYes("");
    EXPECT_EQ(
        "インストールフォルダを指定する画面を表示できませんでした.\nインストールを中止します.",
        box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    // Nothing was installed, so the source is still whole.
    EXPECT_TRUE(Exists("S:\\dist\\pelim\\" PELIM_DLL_NAME));
    EXPECT_TRUE(Exists("S:\\dist\\pelim\\readme.txt"));
}

TEST(Failures, AnUninstallEntryThatCannotBeWrittenIsNamed)
{
    // Below a volatile key no lasting key can be created.
    const char uninstallList[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    ASSERT_TRUE(DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallList));
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstallList, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    ASSERT_TRUE(CopyDist());
    MessageBoxInfo box = ReinstallAnsweringYes("S:\\new5");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallList);
    EXPECT_EQ(
        "PELIMのインストールは終了しましたが,次のものが正しく設定されていません.\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PELIM\\",
        box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    // The extension itself is installed and recorded.
    EXPECT_EQ("S:\\new5\\", Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List("S:\\new5\\"));
}

} // namespace
