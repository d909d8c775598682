// Path helpers on real files and folders of the test prefix (drive S: is scratch).
#include "common/PathHelpers.h"
#include "common/StringBuffer.h"
#include "support/TestStorage.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>

namespace {

const char* Root = "S:\\common_tests";

class PathHelperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(Root, nullptr);
        CreateDirectoryA(Path("folder").c_str(), nullptr);
        CreateDirectoryA(Path("表示").c_str(), nullptr);
        MakeFile(Path("file.txt"));
        MakeFile(Path("report1.doc"));
        MakeFile(Path("表示\\ソ能.txt"));
    }
    static std::string Path(const char* name) { return std::string(Root) + "\\" + name; }
    static void MakeFile(const std::string& path)
    {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
        CloseHandle(file);
    }
};

TEST_F(PathHelperTest, PathExistsAsksTheDirectorySearch)
{
    EXPECT_EQ(1, PathExists(Path("file.txt").c_str()));
    EXPECT_EQ(1, PathExists(Path("folder").c_str()));
    EXPECT_EQ(0, PathExists(Path("folder\\").c_str())); // a trailing backslash finds nothing
    EXPECT_EQ(0, PathExists(Path("missing.txt").c_str()));
    EXPECT_EQ(1, PathExists(Path("report?.doc").c_str())); // the path is a pattern
    EXPECT_EQ(1, PathExists(Path("*.txt").c_str()));
    EXPECT_EQ(0, PathExists(Path("*.xls").c_str()));
    EXPECT_EQ(1, PathExists(Path("表示\\ソ能.txt").c_str()));
}

TEST_F(PathHelperTest, IsFolderWithAndWithoutTrailingBackslashRestoresText)
{
    char withSlash[MAX_PATH], without[MAX_PATH], file[MAX_PATH], japanese[MAX_PATH];
    lstrcpyA(withSlash, Path("folder\\").c_str());
    lstrcpyA(without, Path("folder").c_str());
    lstrcpyA(file, Path("file.txt").c_str());
    lstrcpyA(japanese, Path("表示\\").c_str());

    EXPECT_EQ(1, IsFolder(withSlash));
    EXPECT_STREQ(Path("folder\\").c_str(), withSlash);
    EXPECT_EQ(1, IsFolder(without));
    EXPECT_STREQ(Path("folder").c_str(), without);
    EXPECT_EQ(0, IsFolder(file));
    EXPECT_EQ(1, IsFolder(japanese));
    EXPECT_STREQ(Path("表示\\").c_str(), japanese);

    char missing[MAX_PATH];
    lstrcpyA(missing, Path("nothing\\").c_str());
    EXPECT_EQ(0, IsFolder(missing));
    EXPECT_STREQ(Path("nothing\\").c_str(), missing);
}

TEST_F(PathHelperTest, FolderNamesEndingInA5CTrailByteAreNotTakenForBackslashes)
{
    // 表 is 0x95 0x5C: "…\表示表" ends in a character, not in a separator.
    CreateDirectoryA(Path("表示表").c_str(), nullptr);
    char folder[MAX_PATH];
    lstrcpyA(folder, Path("表示表").c_str());
    EXPECT_FALSE(EndsWithBackslash(folder));
    EXPECT_EQ(1, IsFolder(folder));
    EXPECT_STREQ(Path("表示表").c_str(), folder);
    lstrcatA(folder, "\\");
    EXPECT_TRUE(EndsWithBackslash(folder));
    EXPECT_EQ(1, IsFolder(folder));

    StringBuffer b;
    b.Assign(Path("表示表").c_str());
    EnsureTrailingBackslash(b);
    EXPECT_STREQ((Path("表示表") + "\\").c_str(), b.data);
    EXPECT_FALSE(EndsWithBackslash("表"));
    EXPECT_TRUE(EndsWithBackslash("表\\"));
    EXPECT_FALSE(EndsWithBackslash(""));
    EXPECT_FALSE(EndsWithBackslash(nullptr));
}

TEST_F(PathHelperTest, DriveRootIsAFolder)
{
    char root[] = "R:\\", bare[] = "R:", missing[] = "Q:\\";
    EXPECT_EQ(1, IsFolder(root));
    EXPECT_STREQ("R:\\", root);
    EXPECT_EQ(1, IsFolder(bare));
    EXPECT_EQ(0, IsFolder(missing));
}

TEST_F(PathHelperTest, EnsureTrailingBackslashAddsExactlyOne)
{
    StringBuffer b;
    b.Assign("C:\\folder");
    EnsureTrailingBackslash(b);
    EXPECT_STREQ("C:\\folder\\", b.data);
    EnsureTrailingBackslash(b);
    EXPECT_STREQ("C:\\folder\\", b.data);

    StringBuffer empty;
    EnsureTrailingBackslash(empty);
    EXPECT_STREQ("\\", empty.data);
}

// The rename action transfers only to a path inside the drop folder. Out of memory the
// join of folder and name can leave nothing, the folder alone, or the name alone: a path
// the shell would take in the host's current folder.
TEST_F(PathHelperTest, IsInsideFolderOnlyForANameBelowTheFolder)
{
    EXPECT_TRUE(IsInsideFolder("S:\\dst\\a.txt", "S:\\dst\\"));
    EXPECT_TRUE(IsInsideFolder("R:\\a", "R:\\"));
    EXPECT_FALSE(IsInsideFolder("S:\\dst\\", "S:\\dst\\"));
    EXPECT_FALSE(IsInsideFolder("S:\\dsta.txt", "S:\\dst"));
    EXPECT_FALSE(IsInsideFolder("S:\\表a.txt", "S:\\表")); // 0x5C of 表 is no separator
    EXPECT_FALSE(IsInsideFolder("", "S:\\dst\\"));
    EXPECT_FALSE(IsInsideFolder(nullptr, "S:\\dst\\"));
    EXPECT_FALSE(IsInsideFolder("a.txt", nullptr));

    StringBuffer folder, destination;
    folder.Assign("S:\\dst\\");
    ResetStorageRecord();
    storageRecord.failNext = true; // the join's first block cannot be had
    destination.Assign(folder);
    destination.Append("a.txt");
    EXPECT_STREQ("a.txt", destination.data);
    EXPECT_FALSE(IsInsideFolder(destination.data, folder.data));
}

TEST_F(PathHelperTest, TruncateAfterLastBackslashStepsOverDoubleByteCharacters)
{
    // 表, ソ and 能 have 0x5C as their second byte in code page 932.
    ASSERT_EQ('\x5C', "表"[1]);
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        { "C:\\Program Files\\pelim\\setup.exe", "C:\\Program Files\\pelim\\" },
        { "C:\\表示\\ソ能.exe", "C:\\表示\\" },
        { "C:\\folder\\表", "C:\\folder\\" },
        { "C:\\folder\\", "C:\\folder\\" },
        { "setup.exe", "setup.exe" },
        { "表ソ", "表ソ" },
        { "C:\\folder\\name\x83", "C:\\folder\\" }, // a lead byte alone at the end
    };
    for (const auto& c : cases) {
        char path[64];
        memset(path, 0x7F, sizeof(path));
        lstrcpyA(path, c.in);
        size_t inLength = strlen(c.in);
        TruncateAfterLastBackslash(path);
        EXPECT_STREQ(c.out, path) << c.in;
        for (size_t i = strlen(c.out); i <= inLength; ++i)
            ASSERT_EQ(0, path[i]) << "cut-off byte " << i << " of " << c.in;
    }
    TruncateAfterLastBackslash(nullptr);
}

TEST(CodePage, TestPrefixRunsWithCodePage932)
{
    EXPECT_EQ(932u, GetACP());
    EXPECT_EQ(932u, GetOEMCP());
}

} // namespace
