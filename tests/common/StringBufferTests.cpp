// StringBuffer: capacities, clearing, the zero tail, the appends and the wiped release.
#include "common/StringBuffer.h"
#include "support/TestStorage.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

// Every byte from the terminator to the end of the storage is zero.
::testing::AssertionResult ZeroTail(const StringBuffer& b)
{
    if (!b.data)
        return ::testing::AssertionSuccess();
    for (int i = (int)strlen(b.data); i < b.capacity; ++i)
        if (b.data[i] != 0)
            return ::testing::AssertionFailure()
                << "byte " << i << " of " << b.capacity << " is not zero";
    return ::testing::AssertionSuccess();
}

class StringBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ResetStorageRecord(); }
};

TEST_F(StringBufferTest, ReserveGivesSmallestPowerOfTwoAboveRequestAndClears)
{
    const struct {
        int n;
        int capacity;
    } cases[] = {
        { 0, 16 },    { 15, 16 },   { 16, 32 },   { 31, 32 },
        { 200, 256 }, { 256, 512 }, { 500, 512 }, { 1000, 1024 },
    };
    for (const auto& c : cases) {
        StringBuffer b;
        ASSERT_TRUE(b.Reserve(c.n));
        EXPECT_EQ(c.capacity, b.capacity) << "Reserve(" << c.n << ")";
        for (int i = 0; i < b.capacity; ++i)
            ASSERT_EQ(0, b.data[i]);
    }
}

TEST_F(StringBufferTest, ReserveSmallerKeepsStorageButDiscardsContent)
{
    StringBuffer b;
    ASSERT_TRUE(b.Reserve(1000));
    char* storage = b.data;
    memset(b.data, 'x', 500);
    ASSERT_TRUE(b.Reserve(10));
    EXPECT_EQ(storage, b.data);
    EXPECT_EQ(1024, b.capacity);
    EXPECT_STREQ("", b.data);
    EXPECT_TRUE(ZeroTail(b));
    EXPECT_EQ(1, storageRecord.allocations);
}

TEST_F(StringBufferTest, FailedReserveLeavesBufferUnallocated)
{
    StringBuffer b;
    b.Assign("abc");
    storageRecord.failNext = true;
    EXPECT_FALSE(b.Reserve(100));
    EXPECT_EQ(nullptr, b.data);
    EXPECT_EQ(0, b.capacity);
    EXPECT_EQ(0, b.Length());
    EXPECT_EQ(0, storageRecord.releasedDirty);
}

TEST_F(StringBufferTest, AssignSizesAndSelfAssignment)
{
    StringBuffer b;
    ASSERT_TRUE(b.Assign("0123456789abcdef")); // 16 characters need 17 bytes
    EXPECT_EQ(32, b.capacity);
    EXPECT_STREQ("0123456789abcdef", b.data);
    EXPECT_TRUE(ZeroTail(b));

    char* storage = b.data;
    EXPECT_TRUE(b.Assign(b));
    EXPECT_TRUE(b.Assign(b.data));
    EXPECT_EQ(storage, b.data);
    EXPECT_STREQ("0123456789abcdef", b.data);

    EXPECT_TRUE(b.Assign(static_cast<const char*>(nullptr)));
    EXPECT_EQ(storage, b.data);
    EXPECT_EQ(32, b.capacity);
    EXPECT_STREQ("", b.data);
    EXPECT_TRUE(ZeroTail(b));
}

TEST_F(StringBufferTest, AssignOfOtherBuffer)
{
    StringBuffer unallocated, empty, text, target;
    empty.Reserve(0);
    text.Assign("path");

    target.Assign(empty); // allocated but empty → 16 bytes
    EXPECT_EQ(16, target.capacity);
    EXPECT_STREQ("", target.data);

    target.Assign(text);
    EXPECT_STREQ("path", target.data);
    target.Assign(unallocated); // null data: cleared, storage kept
    EXPECT_EQ(16, target.capacity);
    EXPECT_STREQ("", target.data);
}

TEST_F(StringBufferTest, AssignOfTextInsideOwnStorageCopiesItFirst)
{
    StringBuffer b;
    b.Assign("C:\\folder\\name.txt");
    b.Assign(b.data + 10);
    EXPECT_STREQ("name.txt", b.data);
    EXPECT_TRUE(ZeroTail(b));
}

TEST_F(StringBufferTest, AppendRebuildsWithRoomForJoinPlusOne)
{
    StringBuffer b;
    b.Assign("abcdef");
    b.Append("ghi"); // room asked: 6 + 3 + 2 = 11 → 16
    EXPECT_STREQ("abcdefghi", b.data);
    EXPECT_EQ(16, b.capacity);
    EXPECT_TRUE(ZeroTail(b));

    b.Append("0123456"); // 9 + 7 + 2 = 18 → 32
    EXPECT_STREQ("abcdefghi0123456", b.data);
    EXPECT_EQ(32, b.capacity);
    EXPECT_EQ(0, storageRecord.releasedDirty);
}

TEST_F(StringBufferTest, AppendOfEmptyAndToEmpty)
{
    StringBuffer empty, b;
    b.Assign("x");
    int allocations = storageRecord.allocations;
    b.Append(empty); // does nothing at all
    EXPECT_EQ(allocations, storageRecord.allocations);
    EXPECT_STREQ("x", b.data);

    StringBuffer target;
    target.Append("abc"); // an Assign
    EXPECT_STREQ("abc", target.data);
    EXPECT_EQ(16, target.capacity);
    StringBuffer other;
    other.Append(target);
    EXPECT_STREQ("abc", other.data);

    target.Append(target); // its own text, read before the rebuild
    EXPECT_STREQ("abcabc", target.data);
    target.Append(target.data + 3);
    EXPECT_STREQ("abcabcabc", target.data);
}

TEST_F(StringBufferTest, AppendCharUsesZeroTailAndGrows)
{
    StringBuffer b;
    b.AppendChar('a');
    EXPECT_EQ(16, b.capacity);
    EXPECT_STREQ("a", b.data);
    for (int i = 0; i < 14; ++i)
        b.AppendChar('b');
    EXPECT_EQ(16, b.capacity); // 15 characters + terminator fit
    b.AppendChar('c'); // 15 + 2 > 16 → rebuilt with 32
    EXPECT_EQ(32, b.capacity);
    EXPECT_STREQ("abbbbbbbbbbbbbbc", b.data);
    EXPECT_TRUE(ZeroTail(b));
}

TEST_F(StringBufferTest, EraseMovesAndZeroes)
{
    StringBuffer b;
    b.Assign("abcdefg");
    EXPECT_EQ(7, b.Erase(0, 4));
    EXPECT_STREQ("efg", b.data);
    EXPECT_TRUE(ZeroTail(b));

    b.Assign("abcdefg");
    b.Erase(3, 100);
    EXPECT_STREQ("abc", b.data);
    EXPECT_TRUE(ZeroTail(b));

    b.Assign("abcdefg");
    b.Erase(2, 2);
    EXPECT_STREQ("abefg", b.data);
    EXPECT_TRUE(ZeroTail(b));

    StringBuffer unallocated;
    EXPECT_EQ(0, unallocated.Erase(0, 3));
}

TEST_F(StringBufferTest, FormatIsLimitedTo1023Characters)
{
    StringBuffer b;
    b.Format("%s\\%d", "folder", 132);
    EXPECT_STREQ("folder\\132", b.data);
    EXPECT_EQ(1024, b.capacity);

    char longText[2000];
    memset(longText, 'y', sizeof(longText) - 1);
    longText[sizeof(longText) - 1] = 0;
    b.Format("%s", longText);
    EXPECT_EQ(1023, b.Length());
    EXPECT_EQ(1024, b.capacity);
}

TEST_F(StringBufferTest, ConcatGivesFittedBuffer)
{
    StringBuffer a, b;
    a.Assign("C:\\Program Files\\");
    b.Assign("pelim\\");
    StringBuffer joined = StringBuffer::Concat(a, b);
    EXPECT_STREQ("C:\\Program Files\\pelim\\", joined.data);
    EXPECT_EQ(32, joined.capacity); // Reserve(23) → 32, not the 64 of the append
    EXPECT_STREQ("C:\\Program Files\\", a.data);
    EXPECT_STREQ("pelim\\", b.data);
}

TEST_F(StringBufferTest, SizedConstructorReserves)
{
    StringBuffer b(500);
    EXPECT_EQ(512, b.capacity);
    EXPECT_STREQ("", b.data);
}

TEST_F(StringBufferTest, StorageIsWipedBeforeRelease)
{
    {
        StringBuffer b;
        b.Assign("secret");
        b.Append(" path");
        b.AppendChar('!');
        b.Reserve(100);
        b.Assign("C:\\x");
        StringBuffer joined = StringBuffer::Concat(b, b);
        b.Free();
        b.Free(); // a second Free is harmless
        EXPECT_EQ(0, b.capacity);
    }
    EXPECT_GT(storageRecord.releases, 3);
    EXPECT_EQ(storageRecord.allocations, storageRecord.releases);
    EXPECT_EQ(0, storageRecord.releasedDirty);
}

} // namespace
