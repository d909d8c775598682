// The whole life of an installation in one fresh prefix, step by step in this order: the
// first installation, a right-drop through the registry, the same version again (no, then
// yes), and the uninstallation (no, a yes whose copy cannot start, then yes) until no trace
// of the class is left.
#include <gtest/gtest.h>

#include "E2eSupport.h"
#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kFirstReadmeLine[] =
    "========================================================================\r\n"
    "  PELIM  名前を変えてコピー・移動するドロップメニュー拡張\r\n";

TEST(Lifecycle, FirstInstallationWithTheProposalAccepted)
{
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, "S:\\dist\\setup.exe"));

    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("C:\\Program Files\\pelim\\", UiRobot::ControlText(dialog, 1000));
    EXPECT_EQ(ProgramFilesPelim(), UiRobot::ControlText(dialog, 1000));
    EXPECT_EQ("参照(&B)", UiRobot::ControlText(dialog, 1001));
    EXPECT_EQ("インストール(&I)", UiRobot::ControlText(dialog, IDOK));
    EXPECT_EQ("キャンセル(&C)", UiRobot::ControlText(dialog, IDCANCEL));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));

    MessageBoxInfo done = ExpectBox(setup.id, kCompletionCaption);
    EXPECT_EQ(kCompletedText, done.text);
    EXPECT_EQ(kNoticeStyle, done.style);
    // The files are in place and registered before the message shows.
    const std::string installed = "C:\\Program Files\\pelim\\";
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(installed));
    EXPECT_TRUE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
    EXPECT_EQ("C:\\windows\\system32\\ShellExt\\" PELIM_DLL_NAME,
              Value(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(), ""));
    DWORD type = 0;
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, ValueSize(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_EQ(installed, Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    EXPECT_EQ("PELIM", Value(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    // The path has a blank, so the program is quoted; the command tail is still "-U".
    EXPECT_EQ("\"C:\\Program Files\\pelim\\setup.exe\" -U",
              Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_EQ(std::vector<std::string>({ "setup.exe" }), List(kDistFolder));
    EXPECT_NE(std::string::npos, PendingDeletions().find("\\??\\S:\\dist\\setup.exe|"))
        << PendingDeletions();
    EXPECT_TRUE(Answer(done, IDOK));

    std::string readme = TakeReadmeWindow();
    EXPECT_EQ(0u, readme.find(kFirstReadmeLine)) << readme.substr(0, 200);
    EXPECT_NE(std::string::npos, readme.find("バージョン " PELIM_VERSION_TEXT));
    ASSERT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(0u, setup.exitCode);
}

TEST(Lifecycle, ARightDropThroughTheRegistryRenamesTheCopy)
{
    RemoveTree("S:\\drop");
    ASSERT_TRUE(CreateDirectoryA("S:\\drop", nullptr));
    ASSERT_TRUE(CreateDirectoryA("S:\\drop\\target", nullptr));
    ASSERT_TRUE(WriteFile("S:\\drop\\memo.txt", "memo body"));
    bool renamed = false;
    std::string report =
        RegistryDrop("S:\\drop\\target", "S:\\drop\\memo.txt", "renamed", &renamed);
    EXPECT_TRUE(renamed) << report;
    EXPECT_NE(std::string::npos,
              report.find("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim "
                          "{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}"))
        << report;
    EXPECT_NE(std::string::npos, report.find("co-create-instance 0x00000000")) << report;
    EXPECT_EQ(std::vector<std::string>({ "renamed.txt" }), List("S:\\drop\\target\\"));
}

TEST(Lifecycle, SameVersionAgainAnsweredNoChangesNothing)
{
    ASSERT_TRUE(CopyDist());
    std::string pendingBefore = PendingDeletions();
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, "S:\\dist\\setup.exe"));
    MessageBoxInfo question = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kVersionQuestion, question.text);
    EXPECT_EQ(kQuestionStyle, question.style);
    EXPECT_EQ(UiRobot::Buttons(IDYES, IDNO), question.buttons);
    ASSERT_TRUE(Answer(question, IDNO));
    ASSERT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(2u, setup.exitCode);
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
    EXPECT_EQ(pendingBefore, PendingDeletions());
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_TRUE(NoReadmeWindow(1000));
}

TEST(Lifecycle, SameVersionAgainAnsweredYesKeepsTheDllInPlace)
{
    // A marker in the installed DLL's place shows whether the copy replaced it.
    std::string dll = ExtensionFolder() + PELIM_DLL_NAME;
    FILETIME before = {}, after = {};
    HANDLE file =
        CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    GetFileTime(file, nullptr, nullptr, &before);
    CloseHandle(file);
    Sleep(1100);

    ASSERT_TRUE(CopyDist());
    Process setup;
    ASSERT_TRUE(setup.Start(kDistSetup, "S:\\dist\\setup.exe"));
    MessageBoxInfo question = ExpectBox(setup.id, kInstallerCaption);
    EXPECT_EQ(kVersionQuestion, question.text);
    ASSERT_TRUE(Answer(question, IDYES));
    HWND dialog = WaitForFolderDialog(setup.id);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("C:\\Program Files\\pelim\\", UiRobot::ControlText(dialog, 1000));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo done = ExpectBox(setup.id, kCompletionCaption);
    EXPECT_EQ(kCompletedText, done.text);
    ASSERT_TRUE(Answer(done, IDOK));
    EXPECT_NE("", TakeReadmeWindow());
    ASSERT_TRUE(setup.Finish(kEndMs));

    file =
        CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    GetFileTime(file, nullptr, nullptr, &after);
    CloseHandle(file);
    EXPECT_EQ(0, CompareFileTime(&before, &after));
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_EQ(std::vector<std::string>({ "setup.exe" }), List(kDistFolder));
}

TEST(Lifecycle, UninstallAnsweredNoChangesNothing)
{
    Process launcher;
    ASSERT_TRUE(launcher.Start("C:\\Program Files\\pelim\\setup.exe",
                               Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString")));
    MessageBoxInfo question = ExpectBox(launcher.id, kUninstallerCaption);
    EXPECT_EQ(kUninstallQuestion, question.text);
    EXPECT_EQ(kQuestionStyle, question.style);
    ASSERT_TRUE(Answer(question, IDNO));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    EXPECT_EQ(2u, launcher.exitCode);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }),
              List("C:\\Program Files\\pelim\\"));
    EXPECT_TRUE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
}

TEST(Lifecycle, UninstallWhoseCopyCannotStartKeepsTheEntry)
{
    // A temporary folder that does not exist: the copy cannot be made.
    SetEnvironmentVariableA("TMP", "S:\\no such temp\\");
    SetEnvironmentVariableA("TEMP", "S:\\no such temp\\");
    Process launcher;
    bool started = launcher.Start("", Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    SetEnvironmentVariableA("TMP", nullptr);
    SetEnvironmentVariableA("TEMP", nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(Answer(ExpectBox(launcher.id, kUninstallerCaption), IDYES));
    MessageBoxInfo failed = ExpectBox(launcher.id, kUninstallerCaption);
    EXPECT_EQ("アンインストールの準備に失敗しました.\nアンインストールを中止します.", failed.text);
    EXPECT_EQ(kNoticeStyle, failed.style);
    ASSERT_TRUE(Answer(failed, IDOK));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    EXPECT_EQ(1u, launcher.exitCode);
    EXPECT_EQ("\"C:\\Program Files\\pelim\\setup.exe\" -U",
              Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }),
              List("C:\\Program Files\\pelim\\"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
}

TEST(Lifecycle, UninstallAnsweredYesLeavesNoTrace)
{
    // The uninstall entry's command line, run as the system's program list runs it.
    Process launcher;
    ASSERT_TRUE(launcher.Start("", Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString")));
    MessageBoxInfo question = ExpectBox(launcher.id, kUninstallerCaption);
    ASSERT_TRUE(Answer(question, IDYES));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    EXPECT_EQ(0u, launcher.exitCode);

    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_SYSTEMMODAL), finished.style);
    // By the time the closing message shows, everything is gone.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(Exists("C:\\Program Files\\pelim"));
    EXPECT_FALSE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
    EXPECT_TRUE(Exists(ExtensionFolder()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shellex\\DragDropHandlers\\pelim"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Drive\\shellex\\DragDropHandlers\\pelim"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Interface\\{8D835F8D-429F-427E-8E0A-6BCD208BE5EE}"));
    // The copy ran from a folder of its own in the temporary folder, holding nothing else;
    // the copy and then that folder are scheduled for deletion.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string pending = PendingDeletions();
    // GetTempFileNameA keeps the first three characters of the prefix "_tmp".
    std::string copyEntry = std::string("\\??\\") + temp + "_tm";
    size_t at = pending.find(copyEntry);
    EXPECT_NE(std::string::npos, at) << pending;
    if (at != std::string::npos) {
        std::string copy = pending.substr(4 + at, pending.find('|', at) - at - 4);
        std::string folder = copy.substr(0, copy.rfind('\\') + 1);
        EXPECT_EQ(".tmp\\setup.exe", copy.substr(copy.size() - 14)) << copy;
        EXPECT_EQ(std::vector<std::string>({ "setup.exe" }), List(folder)) << copy;
        EXPECT_NE(std::string::npos,
                  pending.find("|\\??\\" + folder.substr(0, folder.size() - 1) + "|", at))
            << pending;
    }
    ASSERT_TRUE(Answer(finished, IDOK));

    // The drop host finds no handler any more.
    e2e::DropHost host;
    ASSERT_TRUE(host.Start(L"--registry --pick copy S:\\drop\\target S:\\drop\\memo.txt",
                           "S:\\drop-report.txt"));
    ASSERT_TRUE(host.Finish(kEndMs));
    EXPECT_TRUE(host.HasLine("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim missing"))
        << host.report;
    EXPECT_TRUE(host.HasLine("end no-handler")) << host.report;
}

} // namespace
