// GetSpecialFolder through the shell, as the prefix's shell resolves it. The registry
// fallback changes "ProgramFilesDir" and runs in a prefix of its own (SystemTests.cpp).
#include "setup/FolderQueries.h"

#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string CurrentDirectory()
{
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

TEST(GetSpecialFolder, ProgramFilesThroughTheShellEndsInABackslash)
{
    std::string before = CurrentDirectory();
    StringBuffer out;
    out.Assign("old");
    EXPECT_TRUE(GetSpecialFolder(out, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("C:\\Program Files\\", out.data);
    EXPECT_EQ(512, out.capacity);
    EXPECT_EQ(before, CurrentDirectory());

    EXPECT_TRUE(GetSpecialFolder(out, CSIDL_WINDOWS));
    EXPECT_STREQ("C:\\windows\\", out.data);
}

TEST(GetSpecialFolder, AFolderWithoutAFileSystemPathGivesNothing)
{
    // My Computer resolves, but has no path: no lone backslash (a drive root) comes back.
    StringBuffer out;
    out.Assign("old");
    EXPECT_FALSE(GetSpecialFolder(out, CSIDL_DRIVES));
    ASSERT_NE(nullptr, out.data);
    EXPECT_STREQ("", out.data);
}

TEST(GetSpecialFolder, AnUnknownNumberFailsWithoutTheFallback)
{
    std::string before = CurrentDirectory();
    StringBuffer out;
    EXPECT_FALSE(GetSpecialFolder(out, 0x7F));
    ASSERT_NE(nullptr, out.data);
    EXPECT_STREQ("", out.data);
    EXPECT_EQ(before, CurrentDirectory());
}

} // namespace
