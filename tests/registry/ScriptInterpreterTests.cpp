// The registry script interpreter on real keys of the private prefix, each case below
// HKCU\Software\PelimTest\<case>: tokens, variables, value types, both walks, limits.
#include "registry/ScriptTestSupport.h"
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

#include <gtest/gtest.h>

ServerModule serverModule;

namespace {

class HeapEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitHeaps(); }
    void TearDown() override { TermHeaps(); }
};
::testing::Environment* const heapEnvironment =
    ::testing::AddGlobalTestEnvironment(new HeapEnvironment);

class ScriptTest : public ::testing::Test {
protected:
    std::string name;

    void SetUp() override
    {
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteTree(HKEY_CURRENT_USER, CasePath(name));
        MakeKey(HKEY_CURRENT_USER, CasePath(name));
    }
    void TearDown() override { DeleteTree(HKEY_CURRENT_USER, CasePath(name)); }

    HRESULT Register(const std::string& body, ReplacementMap* map = nullptr)
    {
        return RunText(UnderCase(name, body), TRUE, map);
    }
    HRESULT Unregister(const std::string& body, ReplacementMap* map = nullptr)
    {
        return RunText(UnderCase(name, body), FALSE, map);
    }
    RegValue Value(const std::string& sub, const char* valueName)
    {
        return ReadValue(HKEY_CURRENT_USER, CasePath(name, sub), valueName);
    }
    bool Exists(const std::string& sub)
    {
        return KeyExists(HKEY_CURRENT_USER, CasePath(name, sub));
    }
    // Opened from the case key, for names too long to be part of a full ANSI path.
    bool Below(const std::string& sub)
    {
        HKEY caseKey;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, CasePath(name).c_str(), 0, KEY_READ, &caseKey) !=
            ERROR_SUCCESS)
            return false;
        bool found = KeyExists(caseKey, sub);
        RegCloseKey(caseKey);
        return found;
    }
};

std::string Sz(const std::string& text)
{
    return std::string(text.c_str(), text.size() + 1);
}

TEST_F(ScriptTest, QuotedStringsAndGluedBraces)
{
    ASSERT_EQ(S_OK,
              Register("Q = s 'it''s  ''quoted'''\r\n"
                       "E = s ''\r\n"
                       "Glued{ = s 'v'\r\n"
                       "'Spaced Name' { val '' = s 'default by val' }\r\n"));
    EXPECT_EQ(Sz("it's  'quoted'"), Value("Q", nullptr).data);
    EXPECT_EQ(REG_SZ, Value("Q", nullptr).type);
    EXPECT_EQ(Sz(""), Value("E", nullptr).data);
    // "Glued{" is one key name; no block is opened after it.
    EXPECT_EQ(Sz("v"), Value("Glued{", nullptr).data);
    EXPECT_FALSE(Exists("Glued"));
    EXPECT_EQ(Sz("default by val"), Value("Spaced Name", nullptr).data);
}

TEST_F(ScriptTest, DoubleByteNamesKeepTheirSecondByte)
{
    // "ソ" is 0x83 0x5C in code page 932: its second byte is not a backslash.
    ASSERT_EQ(S_OK, Register("ソフト = s '表示'"));
    EXPECT_EQ(Sz("表示"), Value("ソフト", nullptr).data);
    EXPECT_EQ(DISP_E_EXCEPTION, Register("Two\\Levels"));
    EXPECT_FALSE(Exists("Two"));
    // A name ending in a lone lead byte would become a name with a NUL character, which
    // opens as its own parent: such names are refused before anything is written.
    const std::string open = UnderCase(name, "");
    const std::string head = open.substr(0, open.find("\r\n\t\t\t}"));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText(head + "Lead\x83", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText(head + "val Lead\x83", TRUE));
    EXPECT_EQ(1u, CountSubKeys(HKEY_CURRENT_USER, CasePath(name))); // "ソフト" alone
}

TEST_F(ScriptTest, VariablesAreReplacedBeforeParsing)
{
    ReplacementMap map;
    ASSERT_EQ(S_OK, map.AddReplacement(L"Module", L"C:\\a''b\\pelim.dll"));
    ASSERT_EQ(S_OK, map.AddReplacement(L"Other", L"%Module%"));
    ASSERT_EQ(S_OK, map.AddReplacement(L"MODULE", L"second pair"));
    ASSERT_EQ(S_OK, map.AddReplacement(L"A234567890123456789012345678901", L"thirty-one"));
    ASSERT_EQ(S_OK,
              Register("M = s '%MODULE%'\r\n"
                       "P = s '100%% %other%'\r\n"
                       "L = s '%a234567890123456789012345678901%'",
                       &map));
    // The first pair named alike wins; a value is not scanned again.
    EXPECT_EQ(Sz("C:\\a'b\\pelim.dll"), Value("M", nullptr).data);
    EXPECT_EQ(Sz("100% %Module%"), Value("P", nullptr).data);
    EXPECT_EQ(Sz("thirty-one"), Value("L", nullptr).data);

    EXPECT_EQ(DISP_E_EXCEPTION, Register("U = s '%Module", &map));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("U = s '%Unknown%'", &map));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("U = s '%Module%'")); // no map at all
    EXPECT_EQ(E_FAIL, Register("U = s '%A2345678901234567890123456789012%'", &map));
    EXPECT_FALSE(Exists("U")); // a failed preprocessing writes nothing
}

TEST_F(ScriptTest, ValueTypes)
{
    ASSERT_EQ(S_OK,
              Register("T\r\n{\r\n"
                       "\tval Str = s 'text'\r\n"
                       "\tval Num = d '305419896'\r\n"
                       "\tval Bin = b '1A2b'\r\n"
                       "\tval NotHex = B 'zz'\r\n"
                       "\tval Empty = b ''\r\n"
                       "}"));
    RegValue str = Value("T", "Str");
    EXPECT_EQ(REG_SZ, str.type);
    EXPECT_EQ(Sz("text"), str.data);
    RegValue num = Value("T", "Num");
    EXPECT_EQ(REG_DWORD, num.type);
    EXPECT_EQ(std::string("\x78\x56\x34\x12", 4), num.data);
    RegValue bin = Value("T", "Bin");
    EXPECT_EQ(REG_BINARY, bin.type);
    EXPECT_EQ(std::string("\x1A\x2B", 2), bin.data);
    EXPECT_EQ(std::string("\x00", 1), Value("T", "NotHex").data);
    EXPECT_EQ(REG_BINARY, Value("T", "Empty").type);
    EXPECT_EQ(std::string(), Value("T", "Empty").data);

    EXPECT_EQ(E_FAIL, Register("T { val Odd = b 'ABC' }"));
    EXPECT_FALSE(Value("T", "Odd").found);
    EXPECT_EQ(DISP_E_EXCEPTION, Register("T { val NoEquals s 'x' }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("T { val Letter = x 'x' }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("T { val Word = sz 'x' }"));
    EXPECT_FALSE(Value("T", "Letter").found);
}

TEST_F(ScriptTest, StructuralErrors)
{
    EXPECT_EQ(S_OK, RunText("", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText(" \r\n\t ", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText("HKXX { }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText("HKCU Software", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunText("HKCU { NoRemove Software { ", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("K = s 'unterminated"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("''")); // an empty key name is the parent itself
    EXPECT_EQ(DISP_E_EXCEPTION, Register("ForceRemove ''"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, CasePath(name)));
    // A block belongs right after a key entry, in both walks.
    EXPECT_EQ(DISP_E_EXCEPTION, Register("{ K }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("val V = s 'x' { K }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("Delete D { K }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Unregister("Delete D { K }"));
    EXPECT_FALSE(Exists("K"));
    // Root names of both lengths, without regard to case.
    EXPECT_EQ(S_OK,
              RunText("hkey_current_user { NoRemove Software { NoRemove PelimTest { NoRemove " +
                          name + " { Long } } } }",
                      TRUE));
    EXPECT_TRUE(Exists("Long"));
}

TEST_F(ScriptTest, ForceRemoveAndDelete)
{
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "F\\Old"));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "D\\Old"));
    SetString(HKEY_CURRENT_USER, CasePath(name, "Kept"), "Old", "old");
    ASSERT_EQ(S_OK,
              Register("ForceRemove F = s 'new' { New }\r\n"
                       "Delete D = s 'ignored'\r\n"
                       "Kept = s 'default'\r\n"));
    EXPECT_FALSE(Exists("F\\Old"));
    EXPECT_TRUE(Exists("F\\New"));
    EXPECT_EQ(Sz("new"), Value("F", nullptr).data);
    EXPECT_FALSE(Exists("D"));
    // A plain key entry keeps what the key held.
    EXPECT_EQ(Sz("old"), Value("Kept", "Old").data);
    EXPECT_EQ(Sz("default"), Value("Kept", nullptr).data);
}

TEST_F(ScriptTest, ProtectedKeysAreNeverDeletedWhole)
{
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "CLSID\\Other"));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "TypeLib\\Other"));
    ASSERT_EQ(S_OK, Register("ForceRemove clsid { Mine }\r\nDelete TYPELIB"));
    EXPECT_TRUE(Exists("CLSID\\Other"));
    EXPECT_TRUE(Exists("CLSID\\Mine"));
    EXPECT_TRUE(Exists("TypeLib\\Other"));
}

TEST_F(ScriptTest, UnregisterRemovesWhatTheScriptNames)
{
    const std::string script = "Plain = s 'only default'\r\n"
                               "Named = s 'd' { val A = s 'a' }\r\n"
                               "Parent { Child = s 'c' }\r\n";
    ASSERT_EQ(S_OK, Register(script));
    SetString(HKEY_CURRENT_USER, CasePath(name, "Named"), "Foreign", "not in the script");
    ASSERT_EQ(S_OK, Unregister(script));
    // The block is walked first; then the key goes with the values the script did not name.
    EXPECT_FALSE(Exists("Plain"));
    EXPECT_FALSE(Exists("Named"));
    EXPECT_FALSE(Exists("Parent"));
    EXPECT_EQ(0u, CountSubKeys(HKEY_CURRENT_USER, CasePath(name)));
    // Unregistering again, with everything gone, changes nothing and succeeds.
    EXPECT_EQ(S_OK, Unregister(script));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, CasePath(name)));
}

TEST_F(ScriptTest, UnregisterKeepsKeysWithForeignSubkeys)
{
    const std::string script = "Shared { val A = s 'a'\r\n Mine }";
    ASSERT_EQ(S_OK, Register(script));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "Shared\\Foreign"));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "Shared\\Shared\\Deep"));
    ASSERT_EQ(S_OK, Unregister(script));
    EXPECT_FALSE(Value("Shared", "A").found);
    EXPECT_FALSE(Exists("Shared\\Mine"));
    // Subkeys the script did not write stay, including one that bears the key's own name.
    EXPECT_TRUE(Exists("Shared\\Foreign"));
    EXPECT_TRUE(Exists("Shared\\Shared\\Deep"));
}

TEST_F(ScriptTest, NoRemoveClearsTheDeleteFlagForTheRestOfTheBlock)
{
    const std::string script = "NoRemove Kept { Inner }\r\nAfter\r\n";
    ASSERT_EQ(S_OK, Register(script));
    ASSERT_TRUE(Exists("Kept\\Inner"));
    ASSERT_EQ(S_OK, Unregister(script));
    EXPECT_TRUE(Exists("Kept"));
    EXPECT_FALSE(Exists("Kept\\Inner")); // nested blocks start with the flag set again
    EXPECT_TRUE(Exists("After"));
    // Without "NoRemove" the same keys go.
    ASSERT_EQ(S_OK, Unregister("Kept { Inner }\r\nAfter\r\n"));
    EXPECT_FALSE(Exists("Kept"));
    EXPECT_FALSE(Exists("After"));
}

TEST_F(ScriptTest, KeyNameBeginningWithBraceReadsAlikeInBothWalks)
{
    // After a key entry, "{Id}" is the next key, not a block: unregister removes exactly
    // what register wrote and leaves the key that follows in the text to its own entry.
    const std::string script = "First = s 'f'\r\n{Id} = s 'i'\r\nLast\r\n";
    ASSERT_EQ(S_OK, Register(script));
    EXPECT_EQ(Sz("f"), Value("First", nullptr).data);
    EXPECT_EQ(Sz("i"), Value("{Id}", nullptr).data);
    EXPECT_TRUE(Exists("Last"));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "="));
    ASSERT_EQ(S_OK, Unregister(script));
    EXPECT_FALSE(Exists("First"));
    EXPECT_FALSE(Exists("{Id}"));
    EXPECT_FALSE(Exists("Last"));
    EXPECT_TRUE(Exists("="));
}

TEST_F(ScriptTest, FailureInSecondRootBlockRollsBackThatBlockOnly)
{
    const std::string first = UnderCase(name, "First = s '1'");
    const std::string second = UnderCase(name, "Second = s '2' { Inner }\r\nBad = q 'x'");
    EXPECT_EQ(DISP_E_EXCEPTION, RunText(first + second, TRUE));
    EXPECT_EQ(Sz("1"), Value("First", nullptr).data);
    EXPECT_FALSE(Exists("Second"));
    EXPECT_FALSE(Exists("Bad"));
    // Unregister stops at the first error; what it removed stays removed.
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "Later"));
    const std::string broken = UnderCase(name, "Later = s 'unterminated");
    EXPECT_EQ(DISP_E_EXCEPTION, RunText(first + broken, FALSE));
    EXPECT_FALSE(Exists("First"));
    EXPECT_FALSE(Exists("Later"));
}

TEST_F(ScriptTest, UsersClassesStandForHkcrAndRefuseEveryOtherRoot)
{
    // One user's registration: HKCR is the key given (here the case key); any other root
    // is refused before it writes anything.
    HKEY caseKey;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegOpenKeyExA(HKEY_CURRENT_USER, CasePath(name).c_str(), 0, KEY_ALL_ACCESS, &caseKey));
    ScriptInterpreter interpreter(nullptr, caseKey);
    EXPECT_EQ(S_OK, interpreter.RunScript("HKCR { Mine = s 'user' }", TRUE));
    EXPECT_EQ(Sz("user"), Value("Mine", nullptr).data);
    EXPECT_EQ(DISP_E_EXCEPTION, interpreter.RunScript(UnderCase(name, "Other").c_str(), TRUE));
    EXPECT_FALSE(Exists("Other"));
    EXPECT_EQ(DISP_E_EXCEPTION,
              interpreter.RunScript("HKLM { NoRemove Software { PelimTest } }", TRUE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PelimTest"));
    EXPECT_EQ(S_OK, interpreter.RunScript("HKEY_CLASSES_ROOT { Mine }", FALSE));
    EXPECT_FALSE(Exists("Mine"));
    RegCloseKey(caseKey);
}

std::string Nested(int depth, const std::string& name)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += name + " { ";
    for (int i = 0; i < depth; ++i)
        text += "} ";
    return text;
}

TEST_F(ScriptTest, NestingDepthIsBounded)
{
    // The case block is at depth 4; 60 more levels reach the bound of 64.
    ASSERT_EQ(S_OK, Register(Nested(60, "N")));
    std::string deepest = "N";
    for (int i = 1; i < 60; ++i)
        deepest += "\\N";
    EXPECT_TRUE(Exists(deepest));
    ASSERT_EQ(S_OK, Unregister(Nested(60, "N")));
    EXPECT_FALSE(Exists("N"));

    EXPECT_EQ(ScriptNestingTooDeep, Register(Nested(61, "M")));
    EXPECT_FALSE(Exists("M")); // rolled back whole
    EXPECT_EQ(S_OK, Unregister(Nested(61, "M"))); // nothing there: read, never entered
    // Far deeper text than any stack would bear ends with the same error.
    EXPECT_EQ(ScriptNestingTooDeep, Register(Nested(100000, "X")));
    EXPECT_FALSE(Exists("X"));
    // Existing keys deeper than the bound are not walked.
    std::string chain = "Y";
    for (int i = 1; i < 61; ++i)
        chain += "\\Y";
    MakeKey(HKEY_CURRENT_USER, CasePath(name, chain + "\\Z"));
    EXPECT_EQ(ScriptNestingTooDeep, Unregister(Nested(61, "Y")));
}

TEST_F(ScriptTest, TokenAndNameLimits)
{
    // Quoted: 4094 bytes are kept; one more fails. A double-byte character may end at 4095.
    EXPECT_EQ(S_OK, Register("Q = s '" + std::string(4094, 'q') + "'"));
    EXPECT_EQ(Sz(std::string(4094, 'q')), Value("Q", nullptr).data);
    EXPECT_EQ(DISP_E_EXCEPTION, Register("R = s '" + std::string(4095, 'q') + "'"));
    EXPECT_FALSE(Exists("R"));
    EXPECT_EQ(S_OK, Register("W = s '" + std::string(4093, 'q') + "表'"));
    EXPECT_EQ(Sz(std::string(4093, 'q') + "表"), Value("W", nullptr).data);
    // Unquoted: a token fits with its NUL in 4096 bytes.
    EXPECT_EQ(S_OK, Register("U = s " + std::string(4095, 'u')));
    EXPECT_EQ(Sz(std::string(4095, 'u')), Value("U", nullptr).data);
    EXPECT_EQ(DISP_E_EXCEPTION, Register("V = s " + std::string(4096, 'u')));
    EXPECT_FALSE(Exists("V"));
    // Value names: 259 bytes fit the 260-byte buffer.
    EXPECT_EQ(S_OK, Register("N { val " + std::string(259, 'n') + " = s 'x' }"));
    EXPECT_EQ(DISP_E_EXCEPTION, Register("O { val " + std::string(260, 'n') + " = s 'x' }"));
    EXPECT_FALSE(Exists("O"));
    // Key names: the registry holds at most 255 characters; longer names in an unregister
    // script, up to and past the 260-byte buffer kept for deletion, name nothing.
    std::string k255(255, 'k');
    EXPECT_EQ(S_OK, Register(k255));
    EXPECT_TRUE(Below(k255));
    EXPECT_EQ(S_OK,
              Unregister(std::string(259, 'k') + "\r\n" + std::string(260, 'k') + " { " +
                         std::string(4000, 'k') + " }"));
    EXPECT_TRUE(Below(k255));
    EXPECT_EQ(S_OK, Unregister(k255));
    EXPECT_FALSE(Below(k255));
}

TEST_F(ScriptTest, RecurseDeleteKeyAndKeyTests)
{
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "T\\A\\B\\C"));
    MakeKey(HKEY_CURRENT_USER, CasePath(name, "T\\D"));
    HKEY caseKey;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegOpenKeyExA(HKEY_CURRENT_USER, CasePath(name).c_str(), 0, KEY_ALL_ACCESS, &caseKey));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RecurseDeleteKey(caseKey, "Missing"));
    EXPECT_EQ(ERROR_SUCCESS, RecurseDeleteKey(caseKey, "T"));
    EXPECT_FALSE(Exists("T"));
    EXPECT_FALSE(HasSubKeys(caseKey));
    SetString(HKEY_CURRENT_USER, CasePath(name), nullptr, "default only");
    EXPECT_FALSE(HasValues(caseKey));
    SetString(HKEY_CURRENT_USER, CasePath(name), "Named", "n");
    EXPECT_TRUE(HasValues(caseKey));
    RegCloseKey(caseKey);
}

} // namespace
