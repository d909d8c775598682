// StringList growth and ownership, and the comparison and sort used to order removals.
#include "setup/StringList.h"
#include "setup/FolderRemoval.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

StringBuffer Text(const char* text)
{
    StringBuffer buffer;
    buffer.Assign(text);
    return buffer;
}

std::vector<std::string> Items(const StringList& list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list.count; ++i)
        items.push_back(list.items[i].data != nullptr ? list.items[i].data : "(null)");
    return items;
}

void Fill(StringList& list, std::initializer_list<const char*> texts)
{
    for (const char* text : texts) {
        StringBuffer buffer;
        if (text != nullptr)
            buffer.Assign(text);
        list.Add(buffer);
    }
}

const uint32_t slot = sizeof(StringBuffer);

TEST(StringList, GrowsAsItemsAreAdded)
{
    StringList list;
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.items);
    for (int i = 0; i < 8; ++i) {
        std::string text = "item" + std::to_string(i);
        EXPECT_TRUE(list.Add(Text(text.c_str())));
    }
    EXPECT_EQ(8, list.count);
    EXPECT_LE(list.count, list.capacity);
    EXPECT_EQ(static_cast<uint32_t>(list.capacity) * slot, list.byteSize);
    EXPECT_EQ((std::vector<std::string> { "item0", "item1", "item2", "item3", "item4", "item5",
                                          "item6", "item7" }),
              Items(list));
    for (int i = list.count; i < list.capacity; ++i)
        EXPECT_EQ(nullptr, list.items[i].data); // unused slots hold no storage
}

TEST(StringList, ItemsAreCopiesAndTakeLastGoesBackwards)
{
    StringList list;
    StringBuffer caller;
    caller.Assign("S:\\a");
    list.Add(caller);
    caller.Assign("S:\\b");
    list.Add(caller);
    caller.Assign("changed");
    EXPECT_EQ((std::vector<std::string> { "S:\\a", "S:\\b" }), Items(list));

    StringBuffer out;
    list.TakeLast(out);
    EXPECT_STREQ("S:\\b", out.data);
    EXPECT_EQ(1, list.count);
    EXPECT_EQ(nullptr, list.items[1].data);
    list.TakeLast(out);
    EXPECT_STREQ("S:\\a", out.data);
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(4, list.capacity); // the array stays
}

TEST(StringList, SetCountAllocateClearItemsAndFree)
{
    StringList list;
    Fill(list, { "a", "b", "c", "d", "e" });
    ASSERT_EQ(8, list.capacity);

    EXPECT_TRUE(list.SetCount(2)); // shrinking frees the dropped slots
    EXPECT_EQ((std::vector<std::string> { "a", "b" }), Items(list));
    EXPECT_EQ(nullptr, list.items[2].data);
    EXPECT_TRUE(list.SetCount(3)); // growing within the array adds an empty slot
    EXPECT_EQ(nullptr, list.items[2].data);
    EXPECT_TRUE(list.SetCount(9)); // growing beyond it keeps the first items
    EXPECT_EQ(16, list.capacity);
    EXPECT_EQ(9, list.count);
    EXPECT_STREQ("a", list.items[0].data);
    EXPECT_STREQ("b", list.items[1].data);

    EXPECT_TRUE(list.Allocate(3)); // within the array: contents discarded
    EXPECT_EQ(16, list.capacity);
    EXPECT_EQ(3, list.count);
    EXPECT_EQ(nullptr, list.items[0].data);
    EXPECT_TRUE(list.Allocate(20));
    EXPECT_EQ(32, list.capacity);
    EXPECT_EQ(32 * slot, list.byteSize);

    Fill(list, { "x" });
    list.ClearItems();
    EXPECT_EQ(32, list.capacity);
    for (int i = 0; i < list.capacity; ++i)
        EXPECT_EQ(nullptr, list.items[i].data);

    list.Free();
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(0, list.capacity);
    EXPECT_EQ(0u, list.byteSize);
    EXPECT_EQ(nullptr, list.items);
}

TEST(Compare, EmptyIsSmallestAndEqualToEmpty)
{
    StringBuffer unallocated, empty, a, b;
    empty.Reserve(10);
    a.Assign("a");
    b.Assign("b");
    EXPECT_TRUE(IsGreater(a, empty));
    EXPECT_TRUE(IsGreater(a, unallocated));
    EXPECT_FALSE(IsGreater(empty, a));
    EXPECT_TRUE(IsLess(empty, a));
    EXPECT_TRUE(IsLess(unallocated, a));
    EXPECT_FALSE(IsGreater(empty, unallocated));
    EXPECT_FALSE(IsLess(empty, unallocated));
    EXPECT_TRUE(IsGreater(b, a));
    EXPECT_TRUE(IsLess(a, b));
    EXPECT_FALSE(IsLess(a, a));
    EXPECT_FALSE(IsGreater(a, a));
}

TEST(SortList, EmptyItemsGoLastDescendingAndFirstAscending)
{
    StringList list;
    Fill(list, { "b", nullptr, "a", "c", "" });
    SortList(list, 0, list.count - 1, false);
    std::vector<std::string> items = Items(list);
    EXPECT_EQ("c", items[0]);
    EXPECT_EQ("b", items[1]);
    EXPECT_EQ("a", items[2]);
    EXPECT_TRUE(list.items[3].IsEmpty());
    EXPECT_TRUE(list.items[4].IsEmpty());

    SortList(list, 0, list.count - 1, true);
    EXPECT_TRUE(list.items[0].IsEmpty());
    EXPECT_TRUE(list.items[1].IsEmpty());
    EXPECT_STREQ("a", list.items[2].data);
    EXPECT_STREQ("b", list.items[3].data);
    EXPECT_STREQ("c", list.items[4].data);
}

TEST(SortList, AFolderComesAfterEverythingInsideIt)
{
    StringList list;
    Fill(list,
         { "S:\\root\\a", "S:\\root\\a\\b\\file", "S:\\root\\a-b", "S:\\root\\a\\b",
           "S:\\root\\a b", "S:\\root\\表", "S:\\root\\表\\ソ", "S:\\root\\a.txt",
           "S:\\root\\表\\ソ\\能.txt", "S:\\root\\A\\z" });
    SortList(list, 0, list.count - 1, false);
    std::vector<std::string> items = Items(list);
    for (size_t inner = 0; inner < items.size(); ++inner) {
        for (size_t outer = 0; outer < items.size(); ++outer) {
            const std::string& folder = items[outer];
            if (items[inner].compare(0, folder.size() + 1, folder + "\\") == 0) {
                EXPECT_LT(inner, outer) << items[inner] << " must come before " << folder;
            }
        }
    }
    // Three levels down: the deepest first.
    StringList chain;
    Fill(chain, { "S:\\r\\a", "S:\\r\\a\\b", "S:\\r\\a\\b\\file" });
    SortList(chain, 0, chain.count - 1, false);
    EXPECT_EQ((std::vector<std::string> { "S:\\r\\a\\b\\file", "S:\\r\\a\\b", "S:\\r\\a" }),
              Items(chain));
}

TEST(SortList, ManyItemsEndInOrder)
{
    // Orders that are hard on a quicksort: sorted, reversed, all equal, zigzag.
    for (int shape = 0; shape < 4; ++shape) {
        StringList list;
        for (int i = 0; i < 300; ++i) {
            int key = shape == 0 ? i
                : shape == 1     ? 300 - i
                : shape == 2     ? 7
                                 : (i % 2 ? i : 300 - i);
            char text[32];
            wsprintfA(text, "S:\\f%05d", key);
            list.Add(Text(text));
        }
        SortList(list, 0, list.count - 1, false);
        for (int i = 0; i + 1 < list.count; ++i)
            ASSERT_FALSE(IsLess(list.items[i], list.items[i + 1]))
                << "shape " << shape << " at " << i;
        SortList(list, 0, list.count - 1, true);
        for (int i = 0; i + 1 < list.count; ++i)
            ASSERT_FALSE(IsGreater(list.items[i], list.items[i + 1]))
                << "shape " << shape << " at " << i;
    }
}

} // namespace
