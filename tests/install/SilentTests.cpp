// Silent runs as software-distribution tools start them: "/S" and "/S /D=<folder>" install,
// the entry's "QuietUninstallString" uninstalls; nothing may appear on the screen, and the
// exit code and the programs-list entry are what the tool reads. In the x86_64 tree this is
// the download in the 64-bit Windows (run-install.sh stages it), in the i686 tree the 32-bit
// distribution in the 32-bit one. The cases continue from one another. Below them the
// installations for one user (the groups PerUser and StandardUser), sharing their checks.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "InstallSupport.h"
#include "ProductVersion.h"

using namespace install;

namespace {

const char kDeployed[] = "S:\\Deploy Tools\\pelim\\";
const char kSilentSetup[] = "\"S:\\dist\\setup.exe\" /S";

#ifdef _WIN64
// Each bitness's DLL in its view of the system folder; the 32-bit program's entry in the
// 32-bit view.
const REGSAM kViews[] = { KEY_WOW64_64KEY, KEY_WOW64_32KEY };
const REGSAM kEntryView = KEY_WOW64_32KEY;
std::vector<std::string> ExtensionFolders()
{
    char wow64[MAX_PATH] = {};
    GetSystemWow64DirectoryA(wow64, MAX_PATH);
    return { ExtensionFolder(), std::string(wow64) + "\\ShellExt\\" };
}
#else
const REGSAM kViews[] = { 0 };
const REGSAM kEntryView = 0;
std::vector<std::string> ExtensionFolders()
{
    return { ExtensionFolder() };
}
#endif

DWORD FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

std::vector<std::string> SourceFiles()
{
    std::vector<std::string> files = List(kDistFolder);
    for (const std::string& name : List("S:\\dist\\pelim\\"))
        files.push_back("pelim\\" + name);
    return files;
}

// The programs-list entry of an installation into folder, as the programs list and a tool
// read it; dllBytes: the size of its DLLs.
void ExpectEntry(HKEY root, REGSAM view, const std::string& folder, DWORD dllBytes)
{
    std::string quoted = folder.find(' ') != std::string::npos ? "\"" + folder + "setup.exe\""
                                                               : folder + "setup.exe";
    struct Text {
        const char* name;
        std::string data;
    } texts[] = {
        { "DisplayName", "PELIM" },
        { "UninstallString", quoted + " -U" },
        { "QuietUninstallString", "\"" + folder + "setup.exe\" -U /S" },
        { "DisplayVersion", PELIM_VERSION_TEXT },
        { "Publisher", "PELIM" },
        { "DisplayIcon", folder + "setup.exe" },
        { "InstallLocation", folder },
    };
    for (const Text& text : texts) {
        DWORD type = 0;
        EXPECT_EQ(text.data, Value(root, kUninstallKey, text.name, &type, view)) << text.name;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << text.name;
    }
    DWORD bytes = dllBytes + FileBytes(folder + "readme.txt") + FileBytes(folder + "setup.exe");
    EXPECT_EQ((bytes + 1023) / 1024, Number(root, kUninstallKey, "EstimatedSize", view));
    EXPECT_LT(100u, Number(root, kUninstallKey, "EstimatedSize", view));
    EXPECT_EQ(1u, Number(root, kUninstallKey, "NoModify", view));
    EXPECT_EQ(1u, Number(root, kUninstallKey, "NoRepair", view));
}

void ExpectNothingInstalled()
{
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey, view)) << view;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, kEntryView));
    for (const std::string& folder : ExtensionFolders())
        EXPECT_FALSE(Exists(folder + PELIM_DLL_NAME)) << folder;
}

TEST(Silent, RunsThatInstallNothingEndWithTheirCodeAndShowNothing)
{
    RemoveTree("S:\\Downloads");
    ASSERT_TRUE(CreateDirectoryA("S:\\Downloads", nullptr));
    ASSERT_TRUE(WriteFile("S:\\Downloads\\readme.txt", "my own notes"));
    struct Case {
        const char* arguments;
        bool brokenDll; // a DLL that regsvr32.exe cannot register
        DWORD exitCode;
    } const cases[] = {
        { " /D=S:\\new", true, 1 }, // registration fails: rolled back
        { " /D=S:\\Downloads", false, 2 }, // someone else's read-me is not replaced
        { " /D=pelim\\", false, 3 }, // a relative folder is not understood
        { " /D=", false, 3 },
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(CopyDist());
        if (c.brokenDll) {
            ASSERT_TRUE(WriteFile("S:\\dist\\pelim\\" PELIM_DLL_NAME, "not a DLL"));
        }
        std::vector<std::string> source = SourceFiles();
        DWORD exitCode = 0;
        EXPECT_EQ("", RunUnseen(kSilentSetup + std::string(c.arguments), &exitCode)) << c.arguments;
        EXPECT_EQ(c.exitCode, exitCode) << c.arguments;
        ExpectNothingInstalled();
        EXPECT_FALSE(Exists("S:\\new"));
        EXPECT_EQ(std::vector<std::string>({ "readme.txt" }), List("S:\\Downloads\\"));
        EXPECT_EQ(12u, FileBytes("S:\\Downloads\\readme.txt"));
        EXPECT_EQ(source, SourceFiles()) << c.arguments;
    }
    // "/D=" belongs to "/S": alone it is not understood either.
    ASSERT_TRUE(CopyDist());
    DWORD exitCode = 0;
    EXPECT_EQ("", RunUnseen("\"S:\\dist\\setup.exe\" /D=S:\\new", &exitCode));
    EXPECT_EQ(3u, exitCode);
    ExpectNothingInstalled();
}

TEST(Silent, InstallsIntoTheFolderGivenWithACompleteProgramsListEntry)
{
    RemoveTree("S:\\Deploy Tools");
    ASSERT_TRUE(CreateDirectoryA("S:\\Deploy Tools", nullptr));
    ASSERT_TRUE(CopyDist());
    std::vector<std::string> source = SourceFiles();
    std::string pendingBefore = PendingDeletions();
    DWORD exitCode = 99;
    // Everything after "/D=" is the folder, blanks included; it gets its backslash.
    EXPECT_EQ(
        "", RunUnseen(std::string(kSilentSetup) + " /D=S:\\Deploy Tools\\pelim", &exitCode, 1500));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kDeployed));
    for (REGSAM view : kViews) {
        EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version", nullptr, view))
            << view;
        EXPECT_EQ(kDeployed, Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", nullptr, view))
            << view;
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));

    DWORD bytes = 0;
    for (const std::string& folder : ExtensionFolders())
        bytes += FileBytes(folder + PELIM_DLL_NAME);
    ExpectEntry(HKEY_LOCAL_MACHINE, kEntryView, kDeployed, bytes);

    // The source is the tool's: it stays as it is, and nothing of it is scheduled.
    EXPECT_EQ(source, SourceFiles());
    EXPECT_EQ(pendingBefore, PendingDeletions());
}

TEST(Silent, AnUpgradeEndsWithTheRestartCodeAndShowsNothing)
{
    // Continues from the installation above, made to look like version 101's.
    for (REGSAM view : kViews) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_SET_VALUE | view, &key));
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("101"), 4);
        RegCloseKey(key);
    }
    for (const std::string& folder : ExtensionFolders())
        ASSERT_TRUE(WriteFile(folder + "pelim101.dll", "earlier DLL"));
    ASSERT_TRUE(CopyDist());
    DWORD exitCode = 0;
    // Without "/D=" the recorded folder is the one.
    EXPECT_EQ("", RunUnseen(kSilentSetup, &exitCode, 1500));
    EXPECT_EQ(3010u, exitCode);
    for (REGSAM view : kViews)
        EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CLASSES_ROOT, kClassKey, "Version", nullptr, view))
            << view;
    for (const std::string& folder : ExtensionFolders()) {
        EXPECT_FALSE(Exists(folder + "pelim101.dll")) << folder;
        EXPECT_TRUE(Exists(folder + PELIM_DLL_NAME)) << folder;
    }
    EXPECT_EQ(std::vector<std::string>({ "readme.txt", "setup.exe" }), List(kDeployed));
    EXPECT_EQ(kDeployed,
              Value(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", nullptr, kEntryView));
}

TEST(Silent, TheQuietUninstallCommandEndsOnceEverythingIsGone)
{
    std::string command =
        Value(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString", nullptr, kEntryView);
    ASSERT_NE("<none>", command);
    DWORD exitCode = 99;
    EXPECT_EQ("", RunUnseen(command, &exitCode, 0));
    EXPECT_EQ(0u, exitCode);
    // The first process has ended: the tool finds the extension gone.
    ExpectNothingInstalled();
    // Only the install folder, around the program that has just ended, goes after it.
    DWORD start = GetTickCount();
    while (Exists(kDeployed) && GetTickCount() - start < 10000)
        Sleep(100);
    EXPECT_FALSE(Exists(kDeployed));
    EXPECT_TRUE(UiRobot::FindWindows(UiRobot::DialogOfProcess(0, kUninstallerCaption)).empty());
}

// For the current user alone ("/CURRENTUSER", the group PerUser): the DLLs stay in the
// user's own install folder, registered under the user's classes by regsvr32.exe's
// "/n /i:user", and the entry goes into the user's programs list; the machine gets nothing.
// In the x86_64 tree the download where the prefix starts 32-bit programs, else the 64-bit
// distribution. The cases continue from one another.
const char kUserClassKey[] = "Software\\Classes\\CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const char kUserClassServer[] =
    "Software\\Classes\\CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}\\InprocServer32";
const char kUserHandlerKey[] = "Software\\Classes\\Folder\\shellex\\DragDropHandlers\\pelim";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kUserSilentSetup[] = "\"S:\\dist\\setup.exe\" /S /CURRENTUSER";
// The DLL each view's class names, below the install folder: the download's layout, or the
// one DLL of a distribution of one bitness.
struct UserDll {
    const char* path;
    REGSAM view;
};
std::vector<UserDll> UserDlls()
{
    if (Exists("S:\\dist-master\\pelim\\x64\\" PELIM_DLL_NAME))
        return { { "x64\\" PELIM_DLL_NAME, KEY_WOW64_64KEY }, { PELIM_DLL_NAME, KEY_WOW64_32KEY } };
    return { { PELIM_DLL_NAME, 0 } };
}

std::string UserInstallFolder()
{
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    return std::string(folder) + "\\Programs\\pelim\\";
}

void SetUserVersion(const char* version)
{
    for (const UserDll& dll : UserDlls()) {
        HKEY key = nullptr;
        ASSERT_EQ(
            ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_CURRENT_USER, kUserClassKey, 0, KEY_SET_VALUE | dll.view, &key));
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), 4);
        RegCloseKey(key);
    }
}

// Wine shares the user's classes between the views until this key exists; then it splits
// them whole, as XP x64 and Vista do (each view has its own handler keys too).
void SplitUserClassesForTheDownload()
{
    if (UserDlls().size() == 2) {
        HKEY split = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes\\Wow6432Node", 0, nullptr,
                                  0, KEY_ALL_ACCESS, nullptr, &split, nullptr));
        RegCloseKey(split);
    }
}

// Each DLL registered in its view of the user's classes with the records, and the entry.
void ExpectInstalledForTheUser(const std::string& folder)
{
    DWORD bytes = 0;
    for (const UserDll& dll : UserDlls()) {
        bytes += FileBytes(folder + dll.path);
        EXPECT_EQ(folder + dll.path,
                  Value(HKEY_CURRENT_USER, kUserClassServer, "", nullptr, dll.view));
        EXPECT_EQ(PELIM_VERSION_TEXT,
                  Value(HKEY_CURRENT_USER, kUserClassKey, "Version", nullptr, dll.view))
            << dll.path;
        EXPECT_EQ(folder, Value(HKEY_CURRENT_USER, kUserClassKey, "InstFolder", nullptr, dll.view))
            << dll.path;
    }
    ExpectEntry(HKEY_CURRENT_USER, 0, folder, bytes);
}

TEST(PerUser, SilentlyItInstallsIntoTheUsersOwnFolderAndKeysAlone)
{
    ASSERT_TRUE(CopyDist());
    SplitUserClassesForTheDownload();
    std::string folder = UserInstallFolder();
    DWORD exitCode = 99;
    EXPECT_EQ("", RunUnseen(kUserSilentSetup, &exitCode, 1500));
    EXPECT_EQ(0u, exitCode);
    ExpectNothingInstalled();
    ExpectInstalledForTheUser(folder);

    // The file manager's merged view, played by the drop host, finds the user's handler.
    RemoveTree("S:\\drop");
    ASSERT_TRUE(CreateDirectoryA("S:\\drop", nullptr) && CreateDirectoryA("S:\\drop\\to", nullptr));
    ASSERT_TRUE(WriteFile("S:\\drop\\memo.txt", "memo body"));
    bool renamed = false;
    std::string report = RegistryDrop("S:\\drop\\to", "S:\\drop\\memo.txt", "renamed", &renamed);
    EXPECT_TRUE(renamed) << report;
    EXPECT_NE(std::string::npos, report.find("\nuser-class " + folder)) << report;
    EXPECT_EQ(std::string::npos, report.find("co-create-instance")) << report;
    EXPECT_EQ(std::vector<std::string>({ "renamed.txt" }), List("S:\\drop\\to\\"));

    // On Windows 95, 98 and Me (and NT 4.0) there are no user classes: refused, nothing done.
    const char appDefaults[] = "Software\\Wine\\AppDefaults\\setup.exe";
    ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, appDefaults, "Version", "win98"));
    ASSERT_TRUE(CopyDist());
    EXPECT_EQ("", RunUnseen(kUserSilentSetup, &exitCode));
    DeleteKeyTree(HKEY_CURRENT_USER, appDefaults);
    EXPECT_EQ(1u, exitCode);
    EXPECT_EQ(PELIM_VERSION_TEXT, Value(HKEY_CURRENT_USER, kUserClassKey, "Version"));
}

TEST(PerUser, AnUpgradeRetiresTheEarlierDllsOfTheInstallFolder)
{
    std::string folder = UserInstallFolder();
    SetUserVersion("101");
    for (const UserDll& dll : UserDlls()) {
        std::string earlier = folder + dll.path;
        ASSERT_TRUE(WriteFile(earlier.replace(earlier.size() - 7, 3, "101"), "earlier DLL"));
    }
    ASSERT_TRUE(CopyDist());
    DWORD exitCode = 0;
    EXPECT_EQ("", RunUnseen(kUserSilentSetup, &exitCode, 1500));
    EXPECT_EQ(3010u, exitCode);
    for (const UserDll& dll : UserDlls()) {
        std::string earlier = folder + dll.path;
        EXPECT_FALSE(Exists(earlier.replace(earlier.size() - 7, 3, "101"))) << earlier;
        EXPECT_TRUE(Exists(folder + dll.path)) << dll.path;
        EXPECT_EQ(PELIM_VERSION_TEXT,
                  Value(HKEY_CURRENT_USER, kUserClassKey, "Version", nullptr, dll.view))
            << dll.path;
    }
}

TEST(PerUser, AnUninstallationLeavesADllInUseForTheNextLogon)
{
    std::string folder = UserInstallFolder();
    DeleteKeyTree(HKEY_CURRENT_USER, kRunOnceKey);
    Process holder;
    ASSERT_TRUE(HoldDll(holder, "P:\\install_holder.exe", folder + UserDlls()[0].path));
    std::string command = Value(HKEY_CURRENT_USER, kUninstallKey, "QuietUninstallString");
    DWORD exitCode = 99;
    EXPECT_EQ("", RunUnseen(command, &exitCode, 0));
    EXPECT_EQ(3010u, exitCode);
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserHandlerKey, view)) << view;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    DWORD start = GetTickCount();
    while (Exists(folder) && GetTickCount() - start < 10000)
        Sleep(100);
    EXPECT_FALSE(Exists(folder));

    // The DLL waits out of the way for its logon command (the uninstallation's own copy has
    // one too), which removes it.
    HKEY runOnce = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_READ, &runOnce));
    std::string logonCommand, moved;
    char name[256], data[1024];
    for (DWORD i = 0, nameSize = sizeof name, dataSize = sizeof data;
         RegEnumValueA(runOnce, i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                       &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name, dataSize = sizeof data) {
        std::string command = data;
        size_t quote = command.find('"');
        EXPECT_EQ(0u, std::string(name).find("PELIM ")) << name;
        std::string folder = command.substr(quote + 1, command.rfind('"') - quote - 1);
        if (quote != std::string::npos &&
            List(folder + "\\") == std::vector<std::string>({ PELIM_DLL_NAME })) {
            logonCommand = command;
            moved = folder;
        }
    }
    RegCloseKey(runOnce);
    ASSERT_NE("", logonCommand);
    holder.Finish(0);
    Process logon;
    ASSERT_TRUE(logon.Start("", logonCommand));
    EXPECT_TRUE(logon.Finish(kEndMs));
    EXPECT_FALSE(Exists(moved)) << logonCommand;

    // Nothing in use: everything goes at once, and the tool learns so.
    ASSERT_TRUE(CopyDist());
    EXPECT_EQ("", RunUnseen(kUserSilentSetup, &exitCode, 1500));
    ASSERT_EQ(0u, exitCode);
    EXPECT_EQ(
        "",
        RunUnseen(Value(HKEY_CURRENT_USER, kUninstallKey, "QuietUninstallString"), &exitCode, 0));
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

// Without the rights (the group StandardUser, run by run-standard-user.sh as a Linux user of
// its own, whose prefix's system folders it may not write): an interactive run asks whether
// to install for this user alone; "/ALLUSERS" and the silent runs end with the missing
// rights. The cases continue from one another; the last one installs.
const char kUserQuestion[] =
    "管理者権限がないため,すべてのユーザーにはインストールできません.\nこのユーザーだけにインストールしますか？";
const char kRightsMessage[] = "管理者権限のあるユーザーでインストールしてください！";

void ExpectNothingForTheUser()
{
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(UserInstallFolder()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_EQ(std::vector<std::string>({ "pelim", "setup.exe" }), List(kDistFolder));
}

// Without rights: the question answered no, and "/ALLUSERS", which never asks, end with
// nothing done.
TEST(StandardUser, ANoOrAllUsersChangesNothing)
{
    // The harness's part: this user cannot create a file in the system folder.
    char probe[MAX_PATH] = {};
    GetTempFileNameA(SystemFolder().c_str(), "_tmp", 0, probe);
    ASSERT_FALSE(Exists(probe)) << "the system folder is writable here: " << probe;

    const struct {
        const char* arguments;
        const char* text;
        UINT style;
        int answer;
        DWORD exitCode;
    } cases[] = {
        {"", kUserQuestion, kQuestionStyle, IDNO, 2},
        {" /ALLUSERS", kRightsMessage, kNoticeStyle, IDOK, 1},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(CopyDist());
        Process setup;
        ASSERT_TRUE(setup.Start(kDistSetup, std::string(kDistSetup) + c.arguments));
        UiRobot::MessageBoxInfo box = ExpectBox(setup.id, kInstallerCaption);
        EXPECT_EQ(c.text, box.text) << c.arguments;
        EXPECT_EQ(c.style, box.style) << c.arguments;
        ASSERT_TRUE(Answer(box, c.answer));
        ASSERT_TRUE(setup.Finish(kEndMs));
        EXPECT_EQ(c.exitCode, setup.exitCode) << c.arguments;
        ExpectNothingForTheUser();
    }
}

TEST(StandardUser, SilentRunsFailAndShowNothing)
{
    for (const char* arguments : { "", " /ALLUSERS" }) {
        ASSERT_TRUE(CopyDist());
        DWORD exitCode = 0;
        EXPECT_EQ("", RunUnseen(kSilentSetup + std::string(arguments), &exitCode)) << arguments;
        EXPECT_EQ(1u, exitCode) << arguments;
        ExpectNothingForTheUser();
    }
}

TEST(StandardUser, TheQuestionAnsweredYesInstallsForThisUserAlone)
{
    const std::string programs = UserInstallFolder().substr(0, UserInstallFolder().size() - 7);
    RemoveDirectoryA(programs.c_str()); // the setup program makes it when missing
    ASSERT_FALSE(Exists(programs));
    SplitUserClassesForTheDownload();
    EXPECT_EQ(UserInstallFolder(), InstallAccepting("", true));

    std::vector<std::string> files = { PELIM_DLL_NAME, "readme.txt", "setup.exe" };
    if (UserDlls().size() == 2)
        files.push_back("x64");
    EXPECT_EQ(files, List(UserInstallFolder()));
    ExpectInstalledForTheUser(UserInstallFolder());
    ExpectNothingInstalled();
    for (REGSAM view : kViews)
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << view;
}

} // namespace
