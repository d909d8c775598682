// ListFolder and RemoveFolderTree on real trees under S:\setup_removal (scratch drive).
#include "setup/FolderRemoval.h"
#include "setup/StringList.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string Base = "S:\\setup_removal";

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::string& path)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        << path;
}

void MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, "pelim", 5, &written, nullptr);
    CloseHandle(file);
}

StringBuffer Text(const std::string& text)
{
    StringBuffer buffer;
    buffer.Assign(text.c_str());
    return buffer;
}

std::vector<std::string> Listed(const std::string& root, bool descend = true,
                                bool listFolders = true)
{
    StringList list;
    ListFolder(Text(root), list, "*", descend, listFolders);
    std::vector<std::string> items;
    for (int i = 0; i < list.count; ++i)
        items.push_back(list.items[i].data);
    std::sort(items.begin(), items.end());
    return items;
}

// Clears read-only marks and removes what a test left, with the platform's own calls.
void Wipe(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA found;
        HANDLE finder = FindFirstFileA((path + "\\*").c_str(), &found);
        if (finder != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..")
                    Wipe(path + "\\" + name);
            } while (FindNextFileA(finder, &found));
            FindClose(finder);
        }
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

class FolderRemovalTest : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override
    {
        MakeFolder(Base);
        root = Base + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Wipe(root);
        MakeFolder(root);
    }
    void TearDown() override { Wipe(root); }
};

TEST_F(FolderRemovalTest, ListsTheSamePathsWithAndWithoutTrailingBackslash)
{
    MakeFolder(root + "\\a");
    MakeFile(root + "\\a\\one.txt");
    MakeFile(root + "\\two.txt");
    std::vector<std::string> expected = { root + "\\a", root + "\\a\\one.txt", root + "\\two.txt" };
    EXPECT_EQ(expected, Listed(root));
    EXPECT_EQ(expected, Listed(root + "\\"));
    // Without descending, files of the root only; "." and ".." never appear.
    EXPECT_EQ(std::vector<std::string> { root + "\\two.txt" }, Listed(root, false, true));
    EXPECT_EQ((std::vector<std::string> { root + "\\a\\one.txt", root + "\\two.txt" }),
              Listed(root, true, false));
    for (const std::string& item : Listed(root)) {
        EXPECT_EQ(std::string::npos, item.find("\\.")) << item;
        EXPECT_EQ(std::string::npos, item.find("\\\\")) << item;
    }
}

TEST_F(FolderRemovalTest, EmptyFolderIsRemoved)
{
    EXPECT_EQ(std::vector<std::string> {}, Listed(root));
    EXPECT_EQ(1, RemoveFolderTree(Text(root)));
    EXPECT_FALSE(Exists(root));
}

TEST_F(FolderRemovalTest, MissingRootGivesFalse)
{
    std::string missing = root + "\\missing";
    EXPECT_EQ(std::vector<std::string> {}, Listed(missing));
    EXPECT_EQ(0, RemoveFolderTree(Text(missing)));
    EXPECT_TRUE(Exists(root));
}

TEST_F(FolderRemovalTest, ThreeLevelsDeepGoCompletely)
{
    MakeFolder(root + "\\a");
    MakeFolder(root + "\\a\\b");
    MakeFile(root + "\\a\\b\\file");
    MakeFile(root + "\\a\\side.txt");
    MakeFolder(root + "\\c");
    EXPECT_EQ(1, RemoveFolderTree(Text(root + "\\")));
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(Base)); // the parent stays
}

TEST_F(FolderRemovalTest, ReadOnlyFileStaysWithItsFoldersAndTheRestGoes)
{
    MakeFolder(root + "\\a");
    MakeFolder(root + "\\a\\b");
    MakeFile(root + "\\a\\b\\file", FILE_ATTRIBUTE_READONLY);
    MakeFile(root + "\\a\\b\\other.txt");
    MakeFile(root + "\\a\\side.txt");
    MakeFolder(root + "\\c");
    MakeFile(root + "\\c\\z.txt");
    MakeFile(root + "\\top.txt");

    EXPECT_EQ(0, RemoveFolderTree(Text(root)));
    EXPECT_TRUE(Exists(root + "\\a\\b\\file"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
              GetFileAttributesA((root + "\\a\\b\\file").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((std::vector<std::string> { root + "\\a", root + "\\a\\b", root + "\\a\\b\\file" }),
              Listed(root));
}

TEST_F(FolderRemovalTest, DoubleByteNamesWithBackslashSecondBytes)
{
    // 表, ソ and 能 end in 0x5C; the root itself ends in one.
    std::string tree = root + "\\表";
    MakeFolder(tree);
    MakeFolder(tree + "\\ソ");
    MakeFolder(tree + "\\ソ\\能");
    MakeFile(tree + "\\ソ\\能\\表.txt");
    MakeFile(tree + "\\能");
    // A neighbour that a search for "表*" in the parent would also find.
    MakeFolder(root + "\\表示");
    MakeFile(root + "\\表示\\keep.txt");

    EXPECT_EQ((std::vector<std::string> { tree + "\\ソ", tree + "\\ソ\\能",
                                          tree + "\\ソ\\能\\表.txt", tree + "\\能" }),
              Listed(tree));
    EXPECT_EQ(1, RemoveFolderTree(Text(tree)));
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(Exists(root + "\\表示\\keep.txt"));
}

TEST_F(FolderRemovalTest, EmptyRootRemovesNothing)
{
    // An empty root would otherwise become "\*": the root of the current drive.
    MakeFile(root + "\\keep.txt");
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    StringBuffer empty;
    EXPECT_EQ(0, RemoveFolderTree(empty));
    empty.Reserve(10);
    EXPECT_EQ(0, RemoveFolderTree(empty));
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(Exists(root + "\\keep.txt"));
}

} // namespace
