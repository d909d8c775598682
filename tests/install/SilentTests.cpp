// Silent runs as software-distribution tools start them: "/S" and "/S /D=<folder>" install,
// the entry's "QuietUninstallString" uninstalls; nothing may appear on the screen, and the
// exit code and the programs-list entry are what the tool reads. In the x86_64 tree this is
// the download in the 64-bit Windows (run-install.sh stages it), in the i686 tree the 32-bit
// distribution in the 32-bit one. The cases continue from one another.
#include <gtest/gtest.h>

#include "InstallSupport.h"

using namespace install;

namespace {

const char kDeployed[] = "S:\\Deploy Tools\\pelim\\";
const char kSilentSetup[] = "\"S:\\dist\\setup.exe\" /S";

#ifdef _WIN64
// Each bitness's DLL in its view of the system folder; the 32-bit program's entry in the
// 32-bit view.
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
const REGSAM kEntryView = KEY_WOW64_32KEY;
std::vector<std::string> ExtensionFolders() {
    char wow64[MAX_PATH] = {};
    GetSystemWow64DirectoryA(wow64, MAX_PATH);
    return {ExtensionFolder(), std::string(wow64) + "\\ShellExt\\"};
}
#else
const REGSAM kViews[] = {0};
const REGSAM kEntryView = 0;
std::vector<std::string> ExtensionFolders() { return {ExtensionFolder()}; }
#endif

DWORD FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

std::vector<std::string> SourceFiles() {
    std::vector<std::string> files = List(kDistFolder);
    for (const std::string& name : List("S:\\dist\\pelim\\")) files.push_back("pelim\\" + name);
    return files;
}

void ExpectNothingInstalled() {
    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey, view)) << view;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, kEntryView));
    for (const std::string& folder : ExtensionFolders()) EXPECT_FALSE(Exists(folder + "pelim102.dll")) << folder;
}

TEST(Silent, RunsThatInstallNothingEndWithTheirCodeAndShowNothing) {
    RemoveTree("S:\\Downloads");
    ASSERT_TRUE(CreateDirectoryA("S:\\Downloads", nullptr));
    ASSERT_TRUE(WriteFile("S:\\Downloads\\readme.txt", "my own notes"));
    struct Case {
        const char* arguments;
        bool brokenDll;      // a DLL that regsvr32.exe cannot register
        DWORD exitCode;
    } const cases[] = {
        {" /D=S:\\new", true, 1},                // registration fails: rolled back
        {" /D=S:\\Downloads", false, 2},         // someone else's read-me is not replaced
        {" /D=pelim\\", false, 3},               // a relative folder is not understood
        {" /D=", false, 3},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(CopyDist());
        if (c.brokenDll) {
            ASSERT_TRUE(WriteFile("S:\\dist\\pelim\\pelim102.dll", "not a DLL"));
        }
        std::vector<std::string> source = SourceFiles();
        DWORD exitCode = 0;
        EXPECT_EQ("", RunUnseen(kSilentSetup + std::string(c.arguments), &exitCode)) << c.arguments;
        EXPECT_EQ(c.exitCode, exitCode) << c.arguments;
        ExpectNothingInstalled();
        EXPECT_FALSE(Exists("S:\\new"));
        EXPECT_EQ(std::vector<std::string>({"readme.txt"}), List("S:\\Downloads\\"));
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

TEST(Silent, InstallsIntoTheFolderGivenWithACompleteProgramsListEntry) {
    RemoveTree("S:\\Deploy Tools");
    ASSERT_TRUE(CreateDirectoryA("S:\\Deploy Tools", nullptr));
    ASSERT_TRUE(CopyDist());
    std::vector<std::string> source = SourceFiles();
    std::string pendingBefore = PendingDeletions();
    DWORD exitCode = 99;
    // Everything after "/D=" is the folder, blanks included; it gets its backslash.
    EXPECT_EQ("", RunUnseen(std::string(kSilentSetup) + " /D=S:\\Deploy Tools\\pelim", &exitCode, 1500));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(std::vector<std::string>({"readme.txt", "setup.exe"}), List(kDeployed));
    for (REGSAM view : kViews) {
        EXPECT_EQ("102", Value(HKEY_CLASSES_ROOT, kClassKey, "Version", nullptr, view)) << view;
        EXPECT_EQ(kDeployed, Value(HKEY_CLASSES_ROOT, kClassKey, "InstFolder", nullptr, view)) << view;
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));

    // The entry, as the programs list and the tool read it.
    DWORD bytes = FileBytes(std::string(kDeployed) + "readme.txt") + FileBytes(std::string(kDeployed) + "setup.exe");
    for (const std::string& folder : ExtensionFolders()) bytes += FileBytes(folder + "pelim102.dll");
    struct Text { const char* name; std::string data; } texts[] = {
        {"DisplayName", "PELIM"},
        {"UninstallString", "\"S:\\Deploy Tools\\pelim\\setup.exe\" -U"},
        {"QuietUninstallString", "\"S:\\Deploy Tools\\pelim\\setup.exe\" -U /S"},
        {"DisplayVersion", "102"},
        {"Publisher", "PELIM"},
        {"DisplayIcon", "S:\\Deploy Tools\\pelim\\setup.exe"},
        {"InstallLocation", kDeployed},
    };
    for (const Text& text : texts) {
        DWORD type = 0;
        EXPECT_EQ(text.data, Value(HKEY_LOCAL_MACHINE, kUninstallKey, text.name, &type, kEntryView)) << text.name;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << text.name;
    }
    EXPECT_EQ((bytes + 1023) / 1024, Number(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", kEntryView));
    EXPECT_LT(100u, Number(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", kEntryView));
    EXPECT_EQ(1u, Number(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify", kEntryView));
    EXPECT_EQ(1u, Number(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", kEntryView));

    // The source is the tool's: it stays as it is, and nothing of it is scheduled.
    EXPECT_EQ(source, SourceFiles());
    EXPECT_EQ(pendingBefore, PendingDeletions());
}

TEST(Silent, AnUpgradeEndsWithTheRestartCodeAndShowsNothing) {
    // Continues from the installation above, made to look like version 101's.
    for (REGSAM view : kViews) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_SET_VALUE | view, &key));
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("101"), 4);
        RegCloseKey(key);
    }
    for (const std::string& folder : ExtensionFolders()) ASSERT_TRUE(WriteFile(folder + "pelim101.dll", "earlier DLL"));
    ASSERT_TRUE(CopyDist());
    DWORD exitCode = 0;
    // Without "/D=" the recorded folder is the one.
    EXPECT_EQ("", RunUnseen(kSilentSetup, &exitCode, 1500));
    EXPECT_EQ(3010u, exitCode);
    for (REGSAM view : kViews) EXPECT_EQ("102", Value(HKEY_CLASSES_ROOT, kClassKey, "Version", nullptr, view)) << view;
    for (const std::string& folder : ExtensionFolders()) {
        EXPECT_FALSE(Exists(folder + "pelim101.dll")) << folder;
        EXPECT_TRUE(Exists(folder + "pelim102.dll")) << folder;
    }
    EXPECT_EQ(std::vector<std::string>({"readme.txt", "setup.exe"}), List(kDeployed));
    EXPECT_EQ(kDeployed, Value(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", nullptr, kEntryView));
}

TEST(Silent, TheQuietUninstallCommandEndsOnceEverythingIsGone) {
    std::string command = Value(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString", nullptr, kEntryView);
    ASSERT_NE("<none>", command);
    DWORD exitCode = 99;
    EXPECT_EQ("", RunUnseen(command, &exitCode, 0));
    EXPECT_EQ(0u, exitCode);
    // The first process has ended: the tool finds the extension gone.
    ExpectNothingInstalled();
    // Only the install folder, around the program that has just ended, goes after it.
    DWORD start = GetTickCount();
    while (Exists(kDeployed) && GetTickCount() - start < 10000) Sleep(100);
    EXPECT_FALSE(Exists(kDeployed));
    EXPECT_EQ(std::vector<HWND>(), UiRobot::FindWindows(UiRobot::DialogOfProcess(0, kUninstallerCaption)));
}

}  // namespace
