// GetSpecialFolder through the shell, as the prefix's shell resolves it, and the native
// machine's DLL as the WoW64 queries answer. The registry fallback changes
// "ProgramFilesDir" and runs in a prefix of its own (SystemTests.cpp).
#include "setup/FolderQueries.h"
#include "setup/NativeSystem.h"

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

// The answers the fake queries give; a result of FALSE is a failing call.
struct Wow64Answers {
    BOOL result2;
    USHORT processMachine;
    USHORT nativeMachine;
    BOOL result;
    BOOL wow64;
};
Wow64Answers answers;

BOOL WINAPI FakeIsWow64Process2(HANDLE, USHORT* processMachine, USHORT* nativeMachine)
{
    *processMachine = answers.processMachine;
    *nativeMachine = answers.nativeMachine;
    return answers.result2;
}

BOOL WINAPI FakeIsWow64Process(HANDLE, PBOOL wow64)
{
    *wow64 = answers.wow64;
    return answers.result;
}

TEST(NativeDllFolder, TheNativeMachineChoosesTheDownloadsDll)
{
    const USHORT x86 = IMAGE_FILE_MACHINE_I386, none = IMAGE_FILE_MACHINE_UNKNOWN;
    const USHORT arm64 = IMAGE_FILE_MACHINE_ARM64, amd64 = IMAGE_FILE_MACHINE_AMD64;
    struct Case {
        const char* machine;
        bool hasQuery2;
        bool hasQuery;
        Wow64Answers answers;
        const char* folder; // null: no native side
    };
    const Case cases[] = {
        { "Windows on Arm", true, true, { TRUE, x86, arm64, TRUE, TRUE }, "arm64\\" },
        { "x64 Windows 10", true, true, { TRUE, x86, amd64, TRUE, TRUE }, "x64\\" },
        { "not under WoW64", true, true, { TRUE, none, amd64, TRUE, TRUE }, nullptr },
        // Without the newer query the older one decides, as before Windows on Arm.
        { "x64 before 1511", false, true, { FALSE, none, none, TRUE, TRUE }, "x64\\" },
        { "query fails", true, true, { FALSE, x86, arm64, TRUE, TRUE }, "x64\\" },
        { "32-bit Windows 7", false, true, { FALSE, none, none, TRUE, FALSE }, nullptr },
        { "both fail", true, true, { FALSE, none, none, FALSE, TRUE }, nullptr },
        { "Windows 98", false, false, { FALSE, none, none, FALSE, FALSE }, nullptr },
    };
    for (const Case& c : cases) {
        answers = c.answers;
        const char* folder =
            NativeDllFolder(GetCurrentProcess(), c.hasQuery2 ? FakeIsWow64Process2 : nullptr,
                            c.hasQuery ? FakeIsWow64Process : nullptr);
        EXPECT_STREQ(c.folder, folder) << c.machine;
    }
}

} // namespace
