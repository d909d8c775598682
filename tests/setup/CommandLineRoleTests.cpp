// The command tail and the choice of role, first on literal command lines, then on real
// command lines of started programs (the dispatch probe reads its own as setup.exe does).
#include "setup/SetupApp.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string>

#include "support/ChildProcess.h"

namespace {

struct Choice {
    SetupRole role;
    INT_PTR handle;
    std::string folder;
    bool silent;
    ScopeRequest scope;
};

Choice Choose(const char* tail, std::initializer_list<const char*> words)
{
    char* argv[8] = {};
    int argc = 0;
    for (const char* word : words)
        argv[argc++] = const_cast<char*>(word);
    HANDLE launcher = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-99));
    StringBuffer folder;
    folder.Assign("untouched");
    bool silent = true;
    ScopeRequest scope = AnyScope;
    SetupRole role = ChooseRole(tail, argc, argv, &launcher, folder, &silent, &scope);
    return { role, reinterpret_cast<INT_PTR>(launcher), folder.data, silent, scope };
}

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt)
{
    EXPECT_STREQ("", CommandTail("setup.exe"));
    EXPECT_STREQ("", CommandTail("setup.exe    "));
    EXPECT_STREQ("-U", CommandTail("setup.exe -U"));
    EXPECT_STREQ("-U x", CommandTail("setup.exe \t -U x"));
    EXPECT_STREQ("-U ", CommandTail("setup.exe -U "));
    EXPECT_STREQ("", CommandTail(""));
    EXPECT_EQ(nullptr, CommandTail(nullptr));
}

TEST(CommandTail, QuotedProgramNameRunsToTheNextQuote)
{
    EXPECT_STREQ("-U", CommandTail("\"C:\\Program Files\\pelim\\setup.exe\" -U"));
    EXPECT_STREQ("-U", CommandTail("\"C:\\Program Files\\pelim\\setup.exe\"-U"));
    EXPECT_STREQ("", CommandTail("\"C:\\Program Files\\pelim\\setup.exe\""));
    EXPECT_STREQ("", CommandTail("\"C:\\unterminated -U"));
}

TEST(CommandTail, DoubleByteCharactersAreNotBlanks)
{
    // Bytes of 0x80 and above belong to the name; only codes 1 to 32 end it.
    EXPECT_STREQ("-U", CommandTail("C:\\テスト表\\setup.exe -U"));
    EXPECT_STREQ("表 -U", CommandTail("setup.exe 表 -U"));
}

TEST(ChooseRole, EmptyTailInstalls)
{
    Choice choice = Choose("", { "setup.exe" });
    EXPECT_EQ(InstallRole, choice.role);
    EXPECT_EQ(-99, choice.handle);
    EXPECT_EQ("untouched", choice.folder);
    EXPECT_EQ(InstallRole, Choose(nullptr, { "setup.exe" }).role);
    EXPECT_EQ(InstallRole, Choose(CommandTail("setup.exe   "), { "setup.exe" }).role);
}

TEST(ChooseRole, OnlyTheExactTailMinusUStartsTheLauncher)
{
    EXPECT_EQ(UninstallLauncherRole, Choose("-U", { "setup.exe", "-U" }).role);
    EXPECT_EQ(NoRole, Choose("-U x", { "setup.exe", "-U", "x" }).role);
    EXPECT_EQ(NoRole, Choose("-U ", { "setup.exe", "-U" }).role);
    EXPECT_EQ(NoRole, Choose("-u", { "setup.exe", "-u" }).role);
    EXPECT_EQ(NoRole, Choose("/U", { "setup.exe", "/U" }).role);
}

TEST(ChooseRole, MainUninstTakesTheNumberAndTheRestWithItsBlanks)
{
    Choice choice = Choose("/MainUninst 132 C:\\Program Files\\pelim\\",
                           { "setup.exe", "/MainUninst", "132", "C:\\Program", "Files\\pelim\\" });
    EXPECT_EQ(UninstallMainRole, choice.role);
    EXPECT_EQ(132, choice.handle);
    EXPECT_EQ("C:\\Program Files\\pelim\\", choice.folder);

    // The folder is taken raw: quotes stay, as do double-byte names.
    choice = Choose("/MainUninst 8 \"S:\\表 ソ\\\"",
                    { "setup.exe", "/MainUninst", "8", "S:\\表 ソ\\\"" });
    EXPECT_EQ(UninstallMainRole, choice.role);
    EXPECT_EQ(8, choice.handle);
    EXPECT_EQ("\"S:\\表 ソ\\\"", choice.folder);
}

TEST(ChooseRole, TwoBlanksAfterMainUninstKeepTheBlankAfterTheNumber)
{
    Choice choice =
        Choose("/MainUninst  132 C:\\x\\", { "setup.exe", "/MainUninst", "132", "C:\\x\\" });
    EXPECT_EQ(UninstallMainRole, choice.role);
    EXPECT_EQ(132, choice.handle);
    EXPECT_EQ(" C:\\x\\", choice.folder);
}

TEST(ChooseRole, MainUninstWithoutANumberRunsNoRole)
{
    Choice choice = Choose("/MainUninst", { "setup.exe", "/MainUninst" });
    EXPECT_EQ(NoRole, choice.role);
    EXPECT_EQ(-99, choice.handle);
    EXPECT_EQ("untouched", choice.folder);
    EXPECT_EQ(NoRole, Choose("/MainUninst ", { "setup.exe", "/MainUninst" }).role);

    // A number without a folder leaves the rest empty.
    choice = Choose("/MainUninst 132", { "setup.exe", "/MainUninst", "132" });
    EXPECT_EQ(UninstallMainRole, choice.role);
    EXPECT_EQ(132, choice.handle);
    EXPECT_EQ("", choice.folder);
}

TEST(ChooseRole, MainUninstIsCaseSensitiveAndWholeWord)
{
    EXPECT_EQ(
        NoRole,
        Choose("/mainuninst 132 C:\\x\\", { "setup.exe", "/mainuninst", "132", "C:\\x\\" }).role);
    EXPECT_EQ(
        NoRole,
        Choose("/MainUninstX 132 C:\\x\\", { "setup.exe", "/MainUninstX", "132", "C:\\x\\" }).role);
}

TEST(ChooseRole, TheSilentForms)
{
    struct Case {
        const char* tail;
        SetupRole role;
        bool silent;
        const char* folder;
        ScopeRequest scope;
    };
    const ScopeRequest machine = MachineScopeRequested, user = UserScopeRequested;
    const Case cases[] = {
        { "", InstallRole, false, "untouched" },
        // The scope switches: after "/S", before "/D=", once.
        { "/CURRENTUSER", InstallRole, false, "untouched", user },
        { "/ALLUSERS", InstallRole, false, "untouched", machine },
        { "/S /CURRENTUSER", InstallRole, true, "", user },
        { "/S /ALLUSERS /D=C:\\x y\\", InstallRole, true, "C:\\x y\\", machine },
        { "/CURRENTUSER /S", NoRole, false, "untouched" },
        { "/ALLUSERS /CURRENTUSER", NoRole, false, "untouched" },
        { "/S /CURRENTUSER /CURRENTUSER", NoRole, false, "untouched" },
        { "/CURRENTUSER /D=C:\\x\\", NoRole, false, "untouched" },
        { "/currentuser", NoRole, false, "untouched" },
        { "/S /CURRENTUSER ", NoRole, false, "untouched" },
        { "/S", InstallRole, true, "" },
        { "/S /D=C:\\Program Files\\My Tools\\", InstallRole, true,
          "C:\\Program Files\\My Tools\\" },
        { "/S /D=S:\\表 ソ", InstallRole, true, "S:\\表 ソ" },
        { "/S /D=\\\\server\\share\\pelim", InstallRole, true, "\\\\server\\share\\pelim" },
        { "-U", UninstallLauncherRole, false, "untouched" },
        { "-U /S", UninstallLauncherRole, true, "untouched" },
        // Not understood: nothing runs.
        { "/D=C:\\x\\", NoRole, false, "untouched" },
        { "/S /D=pelim\\", NoRole, false, "untouched" },
        { "/S /D=", NoRole, false, "untouched" },
        { "/S x", NoRole, false, "untouched" },
        { "/s", NoRole, false, "untouched" },
        { "/SD=C:\\x\\", NoRole, false, "untouched" },
        { "-U /s", NoRole, false, "untouched" },
        { "-U /S x", NoRole, false, "untouched" },
    };
    for (const Case& c : cases) {
        Choice choice = Choose(c.tail, { "setup.exe" });
        EXPECT_EQ(c.role, choice.role) << c.tail;
        EXPECT_EQ(c.silent, choice.silent) << c.tail;
        EXPECT_EQ(c.folder, choice.folder) << c.tail;
        if (c.role == InstallRole) {
            EXPECT_EQ(c.scope, choice.scope) << c.tail;
        }
    }

    // The silent launcher's copy: "/S" before the number.
    Choice copy =
        Choose("/MainUninst /S 132 C:\\Program Files\\pelim\\",
               { "setup.exe", "/MainUninst", "/S", "132", "C:\\Program", "Files\\pelim\\" });
    EXPECT_EQ(UninstallMainRole, copy.role);
    EXPECT_TRUE(copy.silent);
    EXPECT_EQ(132, copy.handle);
    EXPECT_EQ("C:\\Program Files\\pelim\\", copy.folder);
    EXPECT_EQ(NoRole, Choose("/MainUninst /S", { "setup.exe", "/MainUninst", "/S" }).role);
    EXPECT_FALSE(
        Choose("/MainUninst 132 C:\\x\\", { "setup.exe", "/MainUninst", "132", "C:\\x\\" }).silent);
}

TEST(ChooseRole, NegativeHandleValuesAreSignExtended)
{
    Choice choice =
        Choose("/MainUninst -5 C:\\x\\", { "setup.exe", "/MainUninst", "-5", "C:\\x\\" });
    EXPECT_EQ(UninstallMainRole, choice.role);
    EXPECT_EQ(static_cast<INT_PTR>(-5), choice.handle);
}

// The probe is copied into a folder whose name has a blank and a 0x5C second byte.
class DispatchProbeTest : public ::testing::Test {
protected:
    static std::string folder;
    static std::string probe;

    static void SetUpTestSuite()
    {
        CreateDirectoryA("S:\\setup_dispatch", nullptr);
        folder = "S:\\setup_dispatch\\テスト 表";
        CreateDirectoryA(folder.c_str(), nullptr);
        probe = folder + "\\setup_dispatch_probe.exe";
        CopyFileA("P:\\setup_dispatch_probe.exe", probe.c_str(), FALSE);
    }

    static std::string Run(const std::string& commandLine)
    {
        char output[4096];
        DWORD exitCode = ~0u;
        EXPECT_TRUE(RunCollecting(commandLine.c_str(), 20000, &exitCode, output, sizeof output,
                                  probe.c_str()));
        EXPECT_EQ(0u, exitCode);
        return output;
    }
};
std::string DispatchProbeTest::folder;
std::string DispatchProbeTest::probe;

TEST_F(DispatchProbeTest, QuotedProgramPathWithBlanks)
{
    const struct {
        const char* arguments;
        const char* report; // before the moduleFolder line, the same for every case
    } cases[] = {
        { "", "tail=[]\nrole=1\nhandle=0\nfolder=[(null)]\n" },
        { "    ", "tail=[]\nrole=1\nhandle=0\nfolder=[(null)]\n" },
        { " -U", "tail=[-U]\nrole=2\nhandle=0\nfolder=[(null)]\n" },
        { " -U x", "tail=[-U x]\nrole=0\nhandle=0\nfolder=[(null)]\n" },
        // The launcher's command line as the runtime parses it.
        { " /MainUninst 132 C:\\Program Files\\pelim\\",
          "tail=[/MainUninst 132 C:\\Program Files\\pelim\\]\nrole=3\nhandle=132\n"
          "folder=[C:\\Program Files\\pelim\\]\n" },
        { " /MainUninst", "tail=[/MainUninst]\nrole=0\nhandle=0\nfolder=[(null)]\n" },
    };
    std::string quoted = "\"" + probe + "\"";
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(c.report) + "moduleFolder=[S:\\setup_dispatch\\テスト 表\\]\n",
                  Run(quoted + c.arguments))
            << c.arguments;
    }
}

TEST_F(DispatchProbeTest, UnquotedProgramPathWithDoubleByteCharacters)
{
    // The runtime's own tail for WinMain ends such a name at the first byte above 0x7F.
    CreateDirectoryA("S:\\setup_dispatch\\テスト", nullptr);
    const char* unquoted = "S:\\setup_dispatch\\テスト\\setup_dispatch_probe.exe";
    CopyFileA("P:\\setup_dispatch_probe.exe", unquoted, FALSE);
    char output[4096];
    DWORD exitCode = ~0u;
    EXPECT_TRUE(RunCollecting((std::string(unquoted) + " -U").c_str(), 20000, &exitCode, output,
                              sizeof output, unquoted));
    EXPECT_STREQ("tail=[-U]\nrole=2\nhandle=0\nfolder=[(null)]\n"
                 "moduleFolder=[S:\\setup_dispatch\\テスト\\]\n",
                 output);
}

TEST(SetupProgram, ATailOfNoRoleEndsAtOnceWithExitCodeThree)
{
    for (const char* tail :
         { " -U x", " -u", " /MainUninst", " /mainuninst 1 C:\\x\\", " -U -U", " /D=S:\\x\\",
           " /S /D=pelim", " -U /s", " /MainUninst x1 C:\\x\\", " /MainUninst /S x1 C:\\x\\" }) {
        char output[4096];
        DWORD exitCode = ~0u;
        EXPECT_TRUE(RunCollecting((std::string("P:\\setup.exe") + tail).c_str(), 20000, &exitCode,
                                  output, sizeof output, "P:\\setup.exe"))
            << tail;
        EXPECT_EQ(3u, exitCode) << tail; // command line not understood
        EXPECT_STREQ("", output) << tail;
    }
}

} // namespace
