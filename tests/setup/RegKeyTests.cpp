// RegKey on real keys of the test prefix's registry, below HKCU\Software\pelim_setup_tests.
#include "setup/RegKey.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string>

namespace {

const char* Base = "Software\\pelim_setup_tests";
const char* Path = "Software\\pelim_setup_tests\\RegKey";

class RegKeyTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, Path);
        RegDeleteKeyA(HKEY_CURRENT_USER, Base);
    }
    static bool Exists(const char* path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static void SetValue(const char* name, const std::string& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, Path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr));
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
};

TEST_F(RegKeyTest, OpenWithoutCreateFailsOnAMissingKeyAndCreateMakesIt)
{
    RegKey key;
    StringBuffer value;
    value.Assign("x");
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, Path, RegKey::WriteAccess));
    EXPECT_FALSE(key.WriteString("Created", value));
    EXPECT_FALSE(Exists(Path));

    EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, Path, RegKey::CreateAccess));
    EXPECT_TRUE(Exists(Path));
    // Created keys have full access, whatever the writable flag said.
    EXPECT_TRUE(key.WriteString("Created", value));

    // Create on the existing key opens it, again with full access.
    EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, Path, RegKey::CreateAccess));
    EXPECT_TRUE(key.WriteString("Again", value));

    // A failed Open closes what was open: nothing reaches the earlier key any more.
    EXPECT_FALSE(
        key.Open(HKEY_CURRENT_USER, "Software\\pelim_setup_tests\\Missing", RegKey::ReadAccess));
    EXPECT_FALSE(key.WriteString("AfterFailure", value));
    EXPECT_FALSE(key.ReadString("Created", value));
    EXPECT_STREQ("x", value.data);
}

TEST_F(RegKeyTest, ReadOnlyKeyRefusesWritesWritableKeyStoresTheTerminator)
{
    SetValue("Version", "101");
    RegKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path, RegKey::ReadAccess));
    StringBuffer text;
    text.Assign("102");
    EXPECT_FALSE(key.WriteString("Version", text));

    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path, RegKey::WriteAccess));
    EXPECT_TRUE(key.WriteString("Version", text));
    key.Close();
    EXPECT_FALSE(key.WriteString("Version", text));

    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Path, 0, KEY_READ, &raw));
    BYTE data[16] = {};
    DWORD type = 0, size = sizeof(data);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(raw, "Version", nullptr, &type, data, &size));
    RegCloseKey(raw);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0, memcmp("102\0", data, 4));
}

TEST_F(RegKeyTest, ReadStringTakesUpTo500BytesAndClearsOnFailure)
{
    std::string fits(499, 'a'); // 500 bytes with its terminator
    std::string tooLong(500, 'b'); // 501 bytes
    SetValue("Fits", fits);
    SetValue("TooLong", tooLong);
    SetValue("Japanese", "C:\\プログラム 表\\");

    RegKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path, RegKey::ReadAccess));
    StringBuffer out;
    EXPECT_TRUE(key.ReadString("Fits", out));
    EXPECT_EQ(fits, out.data);
    EXPECT_EQ(512, out.capacity);

    out.Assign("previous text");
    EXPECT_FALSE(key.ReadString("TooLong", out));
    ASSERT_NE(nullptr, out.data);
    EXPECT_STREQ("", out.data);
    for (int i = 0; i < out.capacity; ++i)
        ASSERT_EQ(0, out.data[i]) << i; // nothing of the value is left behind

    out.Assign("previous text");
    EXPECT_FALSE(key.ReadString("Missing", out));
    EXPECT_TRUE(out.IsEmpty());

    EXPECT_TRUE(key.ReadString("Japanese", out));
    EXPECT_STREQ("C:\\プログラム 表\\", out.data);
}

TEST_F(RegKeyTest, ClosedKeyLeavesTheBufferExactlyAsItWas)
{
    SetValue("Version", "102");
    RegKey never;
    StringBuffer out;
    out.Assign("keep me");
    char* before = out.data;
    int capacity = out.capacity;
    EXPECT_FALSE(never.ReadString("Version", out));
    EXPECT_EQ(before, out.data);
    EXPECT_EQ(capacity, out.capacity);
    EXPECT_STREQ("keep me", out.data);
    EXPECT_FALSE(never.WriteString("Version", out));

    RegKey closed;
    ASSERT_TRUE(closed.Open(HKEY_CURRENT_USER, Path, RegKey::ReadAccess));
    closed.Close();
    EXPECT_FALSE(closed.ReadString("Version", out));
    EXPECT_STREQ("keep me", out.data);
}

} // namespace
