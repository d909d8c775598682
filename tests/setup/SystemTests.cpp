// Deferred deletion on both OS-family routes and the Program Files fallback, on the real
// platform. Runs in a prefix of its own (system_tests.sh): it changes HKLM, wininit.ini and
// the pending renames, and the script restarts that prefix afterwards.
#include "setup/DeferredDelete.h"
#include "setup/OsVersion.h"
#include "setup/FolderQueries.h"

#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace {

const std::string Folder = "S:\\setup_system";
const char* AppDefaults = "Software\\Wine\\AppDefaults\\setup_delete_probe.exe";
const char* SessionManager = "System\\CurrentControlSet\\Control\\Session Manager";

// Section text from lines: each line ended by its zero.
std::string Section(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + '\0';
    return text;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The delete probe run as setup.exe runs the product's code; what it printed.
std::string RunDeleteProbe(const std::string& arguments)
{
    char output[8192];
    DWORD exitCode = 0;
    EXPECT_TRUE(RunCollecting(("setup_delete_probe.exe " + arguments).c_str(), 30000, &exitCode,
                              output, sizeof output, "P:\\setup_delete_probe.exe"))
        << arguments;
    return output;
}

void MakeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    CloseHandle(file);
}

std::string InitFilePath()
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\wininit.ini";
}

// The whole file as bytes; "(none)" when there is no file.
std::string FileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "(none)";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The section "rename" as the profile functions return it, lines ended by zeros.
std::string RenameSection()
{
    std::vector<char> buffer(8192, '\0');
    DWORD length = GetPrivateProfileSectionA("rename", buffer.data(), 8192, InitFilePath().c_str());
    return std::string(buffer.data(), length);
}

std::vector<std::string> PendingRenames()
{
    std::vector<std::string> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    std::vector<char> data(65536, '\0');
    DWORD size = static_cast<DWORD>(data.size() - 2), type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
        for (const char* p = data.data(); p < data.data() + size; p += lstrlenA(p) + 1)
            entries.push_back(p);
    }
    RegCloseKey(key);
    return entries;
}

// The short form of an existing file's path, as the wininit.ini route writes it.
std::string Short(const std::string& path)
{
    char shortPath[MAX_PATH] = "";
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    EXPECT_NE(0u, length) << path;
    return shortPath;
}

// True when the pending renames hold the deletion of path: its NT name, then an empty name.
bool PendingDeletion(const std::string& path)
{
    std::vector<std::string> entries = PendingRenames();
    for (size_t i = 0; i + 1 < entries.size(); ++i)
        if (entries[i] == "\\??\\" + path && entries[i + 1].empty())
            return true;
    return false;
}

class DeferredDeleteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CreateDirectoryA(Folder.c_str(), nullptr); }
};

TEST_F(DeferredDeleteTest, ThisProcessRunsTheNtRoute)
{
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), osVersion.dwPlatformId);
    EXPECT_EQ(148u, osVersion.dwOSVersionInfoSize);
}

TEST_F(DeferredDeleteTest, ADeletableFileGoesAtOnceAndNothingIsScheduled)
{
    std::string path = Folder + "\\deletable.txt";
    MakeFile(path);
    std::vector<std::string> pendingBefore = PendingRenames();
    std::string initBefore = FileBytes(InitFilePath());
    DeleteNowOrAtRestart(path.c_str());
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(pendingBefore, PendingRenames());
    EXPECT_EQ(initBefore, FileBytes(InitFilePath()));
}

TEST_F(DeferredDeleteTest, AFileInUseIsHandedToMoveFileExOnTheNtFamily)
{
    std::string path = Folder + "\\nt_held.txt";
    MakeFile(path);
    std::string initBefore = FileBytes(InitFilePath());
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DeleteNowOrAtRestart(path.c_str());
    CloseHandle(held);
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(PendingDeletion("S:\\setup_system\\nt_held.txt"));
    EXPECT_EQ(initBefore, FileBytes(InitFilePath())); // wininit.ini is never touched here
}

TEST_F(DeferredDeleteTest, ACancelTakesOnlyThatFileOutOfThePendingRenames)
{
    std::string kept = Folder + "\\nt_kept.txt";
    std::string other = Folder + "\\nt_other.txt";
    MakeFile(kept);
    MakeFile(other);
    std::string scheduled = RunDeleteProbe("--hold " + kept + " " + other);
    ASSERT_TRUE(PendingDeletion(kept)) << scheduled;
    ASSERT_TRUE(PendingDeletion(other));
    EXPECT_EQ("platform=2\n" + kept + " cancelled=1\n", RunDeleteProbe("--cancel " + kept));
    EXPECT_FALSE(PendingDeletion(kept));
    EXPECT_TRUE(PendingDeletion(other));
}

// The per-application Wine version win98 makes the probe take the wininit.ini route.
class InitFileRouteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(Folder.c_str(), nullptr);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaults, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr));
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
        RegCloseKey(key);
        DeleteFileA(InitFilePath().c_str());
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaults);
        DeleteFileA(InitFilePath().c_str());
    }
    static std::string Probe(const std::string& arguments) { return RunDeleteProbe(arguments); }
};

// Files that this route has to schedule are in use, and named by their short paths: the
// start-up that carries out wininit.ini knows no other.
TEST_F(InitFileRouteTest, NoFileGetsTheSectionWithOneLine)
{
    MakeFile(Folder + "\\held one.txt");
    EXPECT_EQ("platform=1\nS:\\setup_system\\held one.txt exists=1\n",
              Probe("--hold \"S:\\setup_system\\held one.txt\""));
    EXPECT_EQ(Section({ "NUL=" + Short(Folder + "\\held one.txt") }), RenameSection());
    EXPECT_EQ(std::string::npos, RenameSection().find("setup_system")) << RenameSection();
}

TEST_F(InitFileRouteTest, AFileWithoutTheSectionKeepsItsOtherSections)
{
    WriteFileBytes(InitFilePath(), "[other]\r\nx=y\r\n");
    MakeFile(Folder + "\\gone1.txt");
    Probe("--hold S:\\setup_system\\gone1.txt");
    EXPECT_EQ(Section({ "NUL=" + Short(Folder + "\\gone1.txt") }), RenameSection());
    char value[32] = "";
    GetPrivateProfileStringA("other", "x", "", value, sizeof(value), InitFilePath().c_str());
    EXPECT_STREQ("y", value);
}

TEST_F(InitFileRouteTest, TheNewLineComesAfterTheExistingOnesInCallOrder)
{
    WriteFileBytes(InitFilePath(), "[rename]\r\nA=B\r\n");
    for (const char* name : { "one.txt", "二.txt", "three.txt" })
        MakeFile(Folder + "\\" + name);
    std::string one = Short(Folder + "\\one.txt");
    std::string two = Short(Folder + "\\二.txt");
    std::string three = Short(Folder + "\\three.txt");
    EXPECT_EQ("platform=1\nS:\\setup_system\\one.txt exists=1\nS:\\setup_system\\二.txt exists=1\n",
              Probe("--hold S:\\setup_system\\one.txt S:\\setup_system\\二.txt"));
    EXPECT_EQ(Section({ "A=B", "NUL=" + one, "NUL=" + two }), RenameSection());
    // A second run reads the file afresh and adds behind.
    Probe("--hold S:\\setup_system\\three.txt");
    EXPECT_EQ(Section({ "A=B", "NUL=" + one, "NUL=" + two, "NUL=" + three }), RenameSection());

    // Taking one deletion back drops its line, named long or short, and keeps the others.
    EXPECT_EQ("platform=1\nS:\\setup_system\\二.txt cancelled=1\n",
              Probe("--cancel S:\\setup_system\\二.txt"));
    EXPECT_EQ(Section({ "A=B", "NUL=" + one, "NUL=" + three }), RenameSection());
    Probe("--cancel " + one);
    EXPECT_EQ(Section({ "A=B", "NUL=" + three }), RenameSection());
}

TEST_F(InitFileRouteTest, AFileInUseIsScheduledThere)
{
    std::string path = Folder + "\\w98_held.txt";
    MakeFile(path);
    EXPECT_EQ("platform=1\nS:\\setup_system\\w98_held.txt exists=1\n",
              Probe("--hold S:\\setup_system\\w98_held.txt"));
    EXPECT_EQ(Section({ "NUL=" + Short(path) }), RenameSection());
    EXPECT_FALSE(PendingDeletion("S:\\setup_system\\w98_held.txt"));
    DeleteFileA(path.c_str());
}

// Lines that fill the section up to a given number of bytes (each line with its zero).
std::string Lines(int count, int bytesPerLine, std::string* section)
{
    std::string file = "[rename]\r\n";
    for (int i = 0; i < count; ++i) {
        char key[8];
        wsprintfA(key, "K%03d=", i);
        std::string line = key + std::string(bytesPerLine - 1 - 5, 'v');
        file += line + "\r\n";
        section->append(line);
        section->push_back('\0');
    }
    return file;
}

TEST_F(InitFileRouteTest, ALineThatJustFitsIsAddedOneByteMoreIsNot)
{
    // 990 bytes of lines: the new line starts at 990 and may use up to byte 1023.
    std::string section;
    std::string file = Lines(9, 100, &section);
    std::string lastKey = "K009=";
    std::string last = lastKey + std::string(89 - 5, 'w');
    file += last + "\r\n";
    section += last + '\0';
    ASSERT_EQ(990u, section.size());

    // Paths whose short form is the path itself.
    std::string fits = "S:\\sysdel\\abcde\\f2345678.txt"; // 990 + 4 + 28 + 2 = 1024
    std::string tooLong = "S:\\sysdel\\abcdef\\f2345678.txt"; // one byte more
    ASSERT_EQ(28u, fits.size());
    CreateDirectoryA("S:\\sysdel", nullptr);
    CreateDirectoryA("S:\\sysdel\\abcde", nullptr);
    CreateDirectoryA("S:\\sysdel\\abcdef", nullptr);
    MakeFile(fits);
    MakeFile(tooLong);
    ASSERT_EQ(fits, Short(fits));

    WriteFileBytes(InitFilePath(), file);
    Probe("--hold " + tooLong);
    EXPECT_EQ(file, FileBytes(InitFilePath())); // not written at all

    Probe("--hold " + fits);
    EXPECT_EQ(section + "NUL=" + fits + '\0', RenameSection());
}

TEST_F(InitFileRouteTest, ASectionLargerThanTheReadLimitIsLeftAlone)
{
    // The profile read cuts it at 1000 bytes; writing that back would lose the rest.
    std::string section;
    std::string file = Lines(12, 100, &section);
    WriteFileBytes(InitFilePath(), file);
    MakeFile(Folder + "\\x.txt");
    Probe("--hold S:\\setup_system\\x.txt");
    EXPECT_EQ(file, FileBytes(InitFilePath()));
}

TEST_F(InitFileRouteTest, APathWithoutAShortFormIsNotScheduled)
{
    // A file that is not there has no short form, and neither has a path beyond the limit.
    Probe("S:\\setup_system\\not there.txt S:\\" + std::string(1016, 'p'));
    EXPECT_EQ("(none)", FileBytes(InitFilePath()));
}

std::string CurrentDirectory()
{
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

class ProgramFilesFallbackTest : public ::testing::Test {
protected:
    std::string saved;
    bool hadValue = false;
    void SetUp() override
    {
        CreateDirectoryA(Folder.c_str(), nullptr);
        CreateDirectoryA((Folder + "\\pf").c_str(), nullptr);
        CreateDirectoryA((Folder + "\\pf 表").c_str(), nullptr);
        CreateDirectoryA((Folder + "\\cwd").c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryA((Folder + "\\cwd").c_str()));
        char value[MAX_PATH] = "";
        DWORD size = sizeof(value);
        hadValue = RegGetValueA(HKEY_LOCAL_MACHINE, CurrentVersion, "ProgramFilesDir",
                                RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
        saved = value;
    }
    void TearDown() override
    {
        if (hadValue)
            SetValue(saved.c_str());
    }
    static constexpr const char* CurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    static void SetValue(const char* text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersion, 0, KEY_ALL_ACCESS, &key));
        if (text == nullptr)
            RegDeleteValueA(key, "ProgramFilesDir");
        else
            RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           lstrlenA(text) + 1);
        RegCloseKey(key);
    }
    static bool ShellResolvesProgramFiles()
    {
        LPITEMIDLIST list = nullptr;
        HRESULT result = SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &list);
        if (list != nullptr)
            CoTaskMemFree(list);
        return SUCCEEDED(result) && list != nullptr;
    }
};

TEST_F(ProgramFilesFallbackTest, ShellFailsAndTheRegistryFolderExists)
{
    // The shell cannot make an item list of a path with forward slashes; the folder test
    // of the fallback accepts it.
    SetValue("S:/setup_system/pf");
    ASSERT_FALSE(ShellResolvesProgramFiles());
    StringBuffer out;
    EXPECT_TRUE(GetSpecialFolder(out, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("S:/setup_system/pf\\", out.data);
    EXPECT_EQ("S:\\setup_system\\cwd", CurrentDirectory());

    SetValue("S:/setup_system/pf 表");
    ASSERT_FALSE(ShellResolvesProgramFiles());
    EXPECT_TRUE(GetSpecialFolder(out, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("S:/setup_system/pf 表\\", out.data); // 表 ends in 0x5C, still gets one
    EXPECT_EQ("S:\\setup_system\\cwd", CurrentDirectory());

    SetValue("S:/setup_system/pf/");
    EXPECT_TRUE(GetSpecialFolder(out, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("S:/setup_system/pf/\\", out.data);
}

TEST_F(ProgramFilesFallbackTest, ShellFailsAndTheRegistryFolderIsMissing)
{
    SetValue("S:\\setup_system\\missing");
    ASSERT_FALSE(ShellResolvesProgramFiles());
    StringBuffer out;
    EXPECT_FALSE(GetSpecialFolder(out, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("S:\\setup_system\\missing\\", out.data);
    EXPECT_EQ("S:\\setup_system\\cwd", CurrentDirectory());
}

TEST_F(ProgramFilesFallbackTest, TheFallbackStepWithoutAUsableValue)
{
    StringBuffer out;
    SetValue(nullptr);
    out.Assign("old");
    EXPECT_FALSE(ReadProgramFilesDir(out));
    EXPECT_TRUE(out.IsEmpty());
    // An empty value would become a lone backslash, the root of the current drive.
    SetValue("");
    out.Assign("old");
    EXPECT_FALSE(ReadProgramFilesDir(out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ("S:\\setup_system\\cwd", CurrentDirectory());

    SetValue("S:\\setup_system\\pf");
    EXPECT_TRUE(ReadProgramFilesDir(out));
    EXPECT_STREQ("S:\\setup_system\\pf\\", out.data);
    EXPECT_EQ("S:\\setup_system\\cwd", CurrentDirectory());
}

} // namespace
