// The uninstallation's two processes and its guards, each case on a fresh installation in
// this group's prefix: the copy waits for the launcher it was given (and for its parent when
// the number names something else), removes only the recorded install folder (or, without
// a record, the entry's or a plainly installed one) and never a drive root or the user's own
// files, schedules a DLL that is still loaded, keeps the entry and its setup.exe while a DLL
// stays registered, and names in its closing message what stays (exit code 1 then).
#include <gtest/gtest.h>

#include "E2eSupport.h"
#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kInstalled[] = "C:\\Program Files\\pelim\\";
const char kRemaining[] = "PELIMのアンインストールは終了しましたが,次のものが残っています.\n";
const char kHolder[] = "P:\\install_holder.exe";

// Runs the uninstall entry's command line, answers yes and returns the closing message.
MessageBoxInfo UninstallThroughTheEntry()
{
    Process launcher;
    std::string command = Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    EXPECT_TRUE(launcher.Start("", command)) << command << ": error " << GetLastError();
    MessageBoxInfo question = ExpectBox(launcher.id, kUninstallerCaption);
    EXPECT_TRUE(Answer(question, IDYES));
    EXPECT_TRUE(launcher.Finish(kEndMs));
    return ExpectBox(0, kUninstallerCaption);
}

void ExpectUnregistered()
{
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_FALSE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
}

// Starts the holder as a launcher of a copy of the installed setup.exe, naming folder.
bool Launch(Process& holder, const char* handleKind, const char* copy, int lifeMs,
            const std::string& folder)
{
    if (!CopyFileA("C:\\Program Files\\pelim\\setup.exe", copy, FALSE))
        return false;
    SetEnvironmentVariableA("PELIM_HOLDER_FOLDER", folder.c_str());
    return holder.Start(kHolder,
                        std::string("\"") + kHolder + "\" launch " + handleKind + " " + copy + " " +
                            std::to_string(lifeMs));
}

TEST(Uninstall, TheCopyWaitsUntilTheLauncherThatPassedItsHandleHasEnded)
{
    InstallAccepting();
    Process holder;
    DWORD start = GetTickCount();
    ASSERT_TRUE(Launch(holder, "self", "S:\\copy1.exe", 5000, kInstalled));
    Sleep(3500);
    // The launcher still lives: nothing is removed yet.
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    ASSERT_TRUE(holder.Finish(kEndMs));
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_GE(GetTickCount() - start, 5000u);
    EXPECT_FALSE(Exists(kInstalled));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));
}

TEST(Uninstall, ANumberThatNamesSomethingElseDoesNotHangTheCopy)
{
    InstallAccepting();
    Process holder;
    DWORD start = GetTickCount();
    ASSERT_TRUE(Launch(holder, "event", "S:\\copy2.exe", 4000, kInstalled));
    Sleep(2500);
    // The event is never signalled; the copy waits for its parent by id instead.
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));
    ASSERT_TRUE(holder.Finish(kEndMs));
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 4000u);
    EXPECT_LT(took, 20000u);
    EXPECT_FALSE(Exists(kInstalled));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));
}

TEST(Uninstall, StartedFromAnotherFolderItRemovesNeitherThatFolderNorAnyOther)
{
    InstallAccepting();
    RemoveTree("S:\\Downloads");
    ASSERT_TRUE(CreateDirectoryA("S:\\Downloads", nullptr));
    ASSERT_TRUE(WriteFile("S:\\Downloads\\holiday.jpg", "picture"));
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\setup.exe", "S:\\Downloads\\setup.exe", FALSE));
    Process launcher;
    ASSERT_TRUE(launcher.Start("S:\\Downloads\\setup.exe", "S:\\Downloads\\setup.exe -U"));
    ASSERT_TRUE(Answer(ExpectBox(launcher.id, kUninstallerCaption), IDYES));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kRemaining + std::string(kInstalled), finished.text);
    EXPECT_EQ(std::vector<std::string>({ "holiday.jpg", "setup.exe" }), List("S:\\Downloads\\"));
    // The folder named on the command line was not the recorded one: it is not removed, and
    // the recorded one is not removed on a stranger's word either. The DLL is unregistered.
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));

    // No record is left, but the installed setup.exe, run from its own folder, removes it.
    Process again;
    ASSERT_TRUE(again.Start(std::string(kInstalled) + "setup.exe",
                            "\"" + std::string(kInstalled) + "setup.exe\" -U"));
    ASSERT_TRUE(Answer(ExpectBox(again.id, kUninstallerCaption), IDYES));
    ASSERT_TRUE(again.Finish(kEndMs));
    finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_FALSE(Exists(kInstalled));
    ASSERT_TRUE(Answer(finished, IDOK));
}

TEST(Uninstall, AReRegistrationThatEmptiedTheRecordStillLeavesNothing)
{
    InstallAccepting();
    // Registering the DLL again re-creates the class key with an empty "InstFolder".
    Process registration;
    ASSERT_TRUE(registration.Start(SystemFolder() + "regsvr32.exe",
                                   "regsvr32.exe /s " + ExtensionFolder() + PELIM_DLL_NAME));
    ASSERT_TRUE(registration.Finish(kEndMs));
    ASSERT_EQ("", Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    MessageBoxInfo finished = UninstallThroughTheEntry();
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_FALSE(Exists(kInstalled));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));
}

TEST(Uninstall, TheUsersOwnFilesInTheInstallFolderStay)
{
    RemoveTree("S:\\mine");
    ASSERT_TRUE(CreateDirectoryA("S:\\mine", nullptr));
    ASSERT_TRUE(WriteFile("S:\\mine\\diary.txt", "dear diary"));
    InstallAccepting("S:\\mine");
    EXPECT_EQ("S:\\mine\\", Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    MessageBoxInfo finished = UninstallThroughTheEntry();
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_EQ(std::vector<std::string>({ "diary.txt" }), List("S:\\mine\\"));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));
}

TEST(Uninstall, ADriveRootIsNeverRemoved)
{
    // An installation recorded as living in a drive root, uninstalled from there.
    InstallAccepting();
    ASSERT_TRUE(WriteFile("R:\\keep.txt", "keep"));
    ASSERT_TRUE(CopyFileA("C:\\Program Files\\pelim\\setup.exe", "R:\\setup.exe", FALSE));
    ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", "R:\\"));
    Process launcher;
    ASSERT_TRUE(launcher.Start("R:\\setup.exe", "R:\\setup.exe -U"));
    ASSERT_TRUE(Answer(ExpectBox(launcher.id, kUninstallerCaption), IDYES));
    ASSERT_TRUE(launcher.Finish(kEndMs));
    MessageBoxInfo finished = ExpectBox(0, kUninstallerCaption);
    EXPECT_EQ(kRemaining + std::string("R:\\"), finished.text);
    EXPECT_EQ(std::vector<std::string>({ "keep.txt", "setup.exe" }), List("R:\\"));
    ExpectUnregistered();
    ASSERT_TRUE(Answer(finished, IDOK));
    RemoveTree(kInstalled);
}

TEST(Uninstall, AFailedUnregistrationKeepsTheEntryThatFinishesIt)
{
    InstallAccepting();
    // A DLL that regsvr32.exe cannot unregister stays registered.
    std::string dll = ExtensionFolder() + PELIM_DLL_NAME;
    ASSERT_TRUE(WriteFile(dll, "not a DLL"));
    MessageBoxInfo finished = UninstallThroughTheEntry();
    EXPECT_EQ(kRemaining + dll + "\n" + kInstalled, finished.text);
    EXPECT_EQ(1u, AnswerAndWaitForItsProcess(finished, IDOK));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kInstalled));

    // With the DLL put right, the entry's command finishes the uninstallation.
    ASSERT_TRUE(CopyFileA("S:\\dist-master\\pelim\\" PELIM_DLL_NAME, dll.c_str(), FALSE));
    finished = UninstallThroughTheEntry();
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_EQ(0u, AnswerAndWaitForItsProcess(finished, IDOK));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(Exists(kInstalled));
    ExpectUnregistered();
}

TEST(Uninstall, AnEntryThatCannotBeRemovedIsNamed)
{
    InstallAccepting();
    // A key below the entry, written by someone else, keeps the entry from being deleted.
    ASSERT_TRUE(
        SetValue(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey) + "\\Extra").c_str(), "x", "y"));
    MessageBoxInfo finished = UninstallThroughTheEntry();
    EXPECT_EQ(
        kRemaining +
            std::string(
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PELIM\\"),
        finished.text);
    EXPECT_EQ(1u, AnswerAndWaitForItsProcess(finished, IDOK));
    EXPECT_FALSE(Exists(kInstalled));
    ExpectUnregistered();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey);
}

TEST(Uninstall, ADllStillLoadedIsScheduledAndTheMessageStillAppears)
{
    InstallAccepting();
    std::string dll = ExtensionFolder() + PELIM_DLL_NAME;
    Process holder;
    ASSERT_TRUE(HoldDll(holder, kHolder, dll));
    MessageBoxInfo finished = UninstallThroughTheEntry();
    EXPECT_EQ(kUninstallFinished, finished.text);
    EXPECT_FALSE(Exists(kInstalled));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(Exists(dll));
    EXPECT_NE(std::string::npos, PendingDeletions().find("\\??\\" + dll + "|"))
        << PendingDeletions();
    ASSERT_TRUE(Answer(finished, IDOK));
    holder.Finish(0);
}

} // namespace
