// setup.exe run by a user without the rights an installation for all users needs: a Linux
// user of its own in a prefix whose system folders it may not write (run-standard-user.sh).
// Asked whether to install for this user alone, a no changes nothing; "/ALLUSERS" and the
// silent runs end with the missing rights; a yes installs into the user's own programs
// folder, registered for the user alone. In this order; the last one installs.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "InstallSupport.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kUserQuestion[] =
    "管理者権限がないため,すべてのユーザーにはインストールできません.\nこのユーザーだけにインストールしますか？";
const char kRightsMessage[] = "管理者権限のあるユーザーでインストールしてください！";
const char kUserClassKey[] = "Software\\Classes\\CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// <local application data>\Programs\, where a user's own programs go.
std::string UserPrograms() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_LOCAL_APPDATA, FALSE);
    return std::string(folder) + "\\Programs\\";
}

void ExpectNothingInstalled() {
    EXPECT_FALSE(Exists(UserPrograms() + "pelim"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << view;
    }
    EXPECT_EQ(std::vector<std::string>({"pelim", "setup.exe"}), List(kDistFolder));
}

TEST(StandardUser, TheQuestionAnsweredNoChangesNothing) {
    // The harness's part: this user cannot create a file in the system folder.
    char probe[MAX_PATH] = {};
    GetTempFileNameA(SystemFolder().c_str(), "_tmp", 0, probe);
    ASSERT_FALSE(Exists(probe)) << "the system folder is writable here: " << probe;

    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, kDistSetup));
    MessageBoxInfo question = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kUserQuestion, question.text);
    EXPECT_EQ(kQuestionStyle, question.style);
    EXPECT_EQ(std::vector<int>({IDYES, IDNO}), question.buttons);
    ASSERT_TRUE(Answer(question, IDNO));
    ASSERT_TRUE(setup.Wait(kEndMs));
    EXPECT_EQ(2u, setup.exitCode);
    ExpectNothingInstalled();
}

TEST(StandardUser, ForAllUsersTheRightsMessageEndsIt) {
    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, std::string(kDistSetup) + " /ALLUSERS"));
    MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kRightsMessage, box.text);
    EXPECT_EQ(kNoticeStyle, box.style);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(setup.Wait(kEndMs));
    EXPECT_EQ(1u, setup.exitCode);
    ExpectNothingInstalled();
}

TEST(StandardUser, SilentRunsFailAndShowNothing) {
    for (const char* arguments : {" /S", " /S /ALLUSERS"}) {
        ASSERT_TRUE(CopyDist());
        DWORD exitCode = 0;
        EXPECT_EQ("", RunUnseen(std::string(kDistSetup) + arguments, &exitCode)) << arguments;
        EXPECT_EQ(1u, exitCode) << arguments;
        ExpectNothingInstalled();
    }
}

TEST(StandardUser, TheQuestionAnsweredYesInstallsForThisUserAlone) {
    RemoveDirectoryA(UserPrograms().c_str());   // the setup program makes it when missing
    ASSERT_FALSE(Exists(UserPrograms()));
    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, kDistSetup));
    ASSERT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    const std::string installed = UserPrograms() + "pelim\\";
    EXPECT_EQ(installed, UiRobot::ControlText(dialog, 1000));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo done = ExpectBox(setup.id, kCompletionCaption);
    EXPECT_EQ(kCompletedText, done.text);
    EXPECT_EQ(kNoticeStyle, done.style);
    ASSERT_TRUE(Answer(done, IDOK));
    EXPECT_NE("", TakeReadmeWindow());
    ASSERT_TRUE(setup.Wait(kEndMs));
    EXPECT_EQ(0u, setup.exitCode);

    // The download's 64-bit DLL goes into x64\ of the install folder.
    const bool download = Exists(std::string(kMasterFolder) + "pelim\\x64");
    std::vector<std::string> files = {"pelim102.dll", "readme.txt", "setup.exe"};
    if (download) files.push_back("x64");
    EXPECT_EQ(files, List(installed));
    if (download) {
        EXPECT_EQ(std::vector<std::string>({"pelim102.dll"}), List(installed + "x64\\"));
    }
    EXPECT_EQ(installed + (download ? "x64\\" : "") + "pelim102.dll",
              Value(HKEY_CURRENT_USER, (std::string(kUserClassKey) + "\\InprocServer32").c_str(), ""));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, (std::string("Software\\Classes\\") + kHandlerKey).c_str()));
    EXPECT_EQ("102", Value(HKEY_CURRENT_USER, kUserClassKey, "Version"));
    EXPECT_EQ(installed, Value(HKEY_CURRENT_USER, kUserClassKey, "InstFolder"));
    EXPECT_EQ("PELIM", Value(HKEY_CURRENT_USER, kUninstallKey, "DisplayName"));
    EXPECT_EQ(installed, Value(HKEY_CURRENT_USER, kUninstallKey, "InstallLocation"));
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + kClassKey).c_str(), view))
            << view;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << view;
    }
}

}  // namespace
