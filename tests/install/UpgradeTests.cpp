// Installing over an earlier installation: from 101 (no question, the stored folder, the
// earlier DLL retired, the log-off question), over 103 (the question, then 103 retired), and
// on the older platform family (the restart question, deletions through wininit.ini by
// short names).
#include <gtest/gtest.h>

#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;
using UiRobot::MessageBoxInfo;

namespace {

const char kOldFolder[] = "S:\\old pelim\\";
const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\setup.exe";

// An earlier installation as version N left it: its class key values and its DLL.
void PrepareEarlierInstallation(const char* version)
{
    CreateDirectoryA("S:\\old pelim", nullptr);
    ASSERT_TRUE(WriteFile(std::string(kOldFolder) + "readme.txt", "old read-me"));
    ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey, "Version", version));
    ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", kOldFolder));
    CreateDirectoryA(ExtensionFolder().c_str(), nullptr);
    ASSERT_TRUE(WriteFile(ExtensionFolder() + "pelim" + version + ".dll", "earlier DLL"));
}

// Runs setup.exe, accepts the proposal and answers the log-off or restart question with no.
// Returns the question's text; expectVersionQuestion answers that one with yes first. The
// distribution is copied to distFolder and started from there.
std::string UpgradeAnsweringNo(bool expectVersionQuestion, std::string* proposal,
                               const std::string& distFolder = kDistFolder)
{
    EXPECT_TRUE(CopyDist(distFolder));
    Process setup;
    std::string program = distFolder + "setup.exe";
    EXPECT_TRUE(setup.Start(program, "\"" + program + "\""));
    if (expectVersionQuestion) {
        MessageBoxInfo question = ExpectBox(setup.id, kInstallerCaption);
        EXPECT_EQ(kVersionQuestion, question.text);
        EXPECT_TRUE(Answer(question, IDYES));
    }
    HWND dialog = WaitForFolderDialog(setup.id);
    EXPECT_NE(nullptr, dialog);
    if (dialog == nullptr)
        return "";
    *proposal = UiRobot::ControlText(dialog, 1000);
    EXPECT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo offer = ExpectBox(setup.id, kCompletionCaption);
    EXPECT_EQ(kQuestionStyle, offer.style);
    EXPECT_TRUE(Answer(offer, IDNO));
    EXPECT_NE("", TakeReadmeWindow());
    EXPECT_TRUE(setup.Finish(kEndMs));
    return offer.text.c_str();
}

TEST(Upgrade, From101ItAsksNothingProposesTheStoredFolderAndOffersToLogOff)
{
    PrepareEarlierInstallation("101");
    std::string proposal;
    EXPECT_EQ(kLogoffQuestion, UpgradeAnsweringNo(false, &proposal));
    EXPECT_EQ(kOldFolder, proposal);
    EXPECT_FALSE(Exists(ExtensionFolder() + "pelim101.dll"));
    EXPECT_TRUE(Exists(ExtensionFolder() + PELIM_DLL_NAME));
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
    EXPECT_EQ(kOldFolder, Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder"));
    EXPECT_EQ("\"S:\\old pelim\\setup.exe\" -U",
              Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kOldFolder));
}

TEST(Upgrade, Over103ItAsksFirstThenRetires103)
{
    PrepareEarlierInstallation("103");
    std::string proposal;
    EXPECT_EQ(kLogoffQuestion, UpgradeAnsweringNo(true, &proposal));
    EXPECT_EQ(kOldFolder, proposal);
    EXPECT_FALSE(Exists(ExtensionFolder() + "pelim103.dll"));
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
}

TEST(Upgrade, OnTheOlderFamilyItOffersToRestartAndSchedulesThroughWininitByShortNames)
{
    ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, kAppDefaults, "Version", "win98"));
    PrepareEarlierInstallation("101");
    // The earlier DLL is in use: it can only go at the next start.
    std::string earlier = ExtensionFolder() + "pelim101.dll";
    HANDLE inUse = CreateFileA(earlier.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    std::string pendingBefore = PendingDeletions();

    // Started from a download folder with blanks and long names: the start-up that carries
    // out wininit.ini knows only short names.
    const std::string downloads = "S:\\My Downloads\\pelim setup\\";
    RemoveTree("S:\\My Downloads");
    ASSERT_TRUE(CreateDirectoryA("S:\\My Downloads", nullptr));
    char shortSetup[MAX_PATH] = {};
    std::string proposal;
    EXPECT_EQ(kRestartQuestion, UpgradeAnsweringNo(false, &proposal, downloads));
    ASSERT_NE(0u, GetShortPathNameA((downloads + "setup.exe").c_str(), shortSetup, MAX_PATH));
    CloseHandle(inUse);
    DeleteKeyTree(HKEY_CURRENT_USER, kAppDefaults);

    char section[2048] = {};
    DWORD length =
        GetPrivateProfileSectionA("rename", section, sizeof section, "C:\\windows\\wininit.ini");
    std::string lines;
    for (const char* p = section; p < section + length && *p != '\0'; p += lstrlenA(p) + 1)
        lines += std::string(p) + "\n";
    EXPECT_EQ("NUL=C:\\windows\\system32\\ShellExt\\pelim101.dll\nNUL=" + std::string(shortSetup) +
                  "\n",
              lines);
    EXPECT_EQ(std::string::npos, lines.find(' ')) << lines;
    EXPECT_EQ(std::string::npos, lines.find("setup\\")) << lines;
    EXPECT_EQ(pendingBefore, PendingDeletions());
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version"));
}

} // namespace
