// The module allocator on both of its routes, for real: this program runs once as itself
// (the platform reports NT 6 or later) and once under a name that Wine reports Windows 98.
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>

ServerModule serverModule;

namespace {

bool RunsAsWindows98()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return strstr(path, "win98") != nullptr;
}

// The extra heaps the Windows 98 route makes: the largest power of two not above twice the
// processors, none on one processor.
DWORD ExpectedHeapCount()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    if (system.dwNumberOfProcessors <= 1)
        return 0;
    DWORD count = 1;
    while (count * 2 <= 2 * system.dwNumberOfProcessors)
        count *= 2;
    return count;
}

// The Windows 98 route on more than one processor spreads blocks over extra heaps; on one
// processor it keeps to the base heap as the NT route does.
bool UsesExtraHeaps()
{
    return RunsAsWindows98() && ExpectedHeapCount() > 0;
}

HANDLE HeaderOf(void* block)
{
    HANDLE heap;
    memcpy(&heap, static_cast<char*>(block) - 8, sizeof(heap));
    return heap;
}

class AllocatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&serverModule, 0, sizeof(serverModule));
        InitHeaps();
    }
    void TearDown() override { TermHeaps(); }
};

TEST_F(AllocatorTest, PlatformReportsTheVersionThisProgramWasStartedFor)
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(&version));
    if (RunsAsWindows98()) {
        EXPECT_EQ(1u, version.dwPlatformId);
        EXPECT_EQ(4u, version.dwMajorVersion);
    } else {
        EXPECT_EQ(2u, version.dwPlatformId);
        EXPECT_GE(version.dwMajorVersion, 5u);
    }
}

TEST_F(AllocatorTest, HeapLayoutFollowsTheSystem)
{
    ASSERT_NE(nullptr, serverModule.baseHeap);
    if (UsesExtraHeaps()) {
        ASSERT_NE(nullptr, serverModule.heaps);
        EXPECT_EQ(ExpectedHeapCount() - 1, serverModule.heapMask);
        for (DWORD i = 0; i <= serverModule.heapMask; ++i) {
            EXPECT_NE(nullptr, serverModule.heaps[i]);
            EXPECT_NE(serverModule.baseHeap, serverModule.heaps[i]);
        }
    } else {
        EXPECT_EQ(nullptr, serverModule.heaps);
        EXPECT_EQ(0u, serverModule.heapMask);
    }
}

TEST_F(AllocatorTest, BlocksComeFromTheRightHeapAndGoBackToIt)
{
    void* blocks[8];
    for (int i = 0; i < 8; ++i) {
        blocks[i] = ModuleAlloc(24 + i);
        ASSERT_NE(nullptr, blocks[i]);
        memset(blocks[i], 0xAB, 24 + i);
    }
    if (UsesExtraHeaps()) {
        // Round robin over the extra heaps: 0, 1, ..., count - 1, 0, 1, ...
        const DWORD count = ExpectedHeapCount();
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(serverModule.heaps[i % count], HeaderOf(blocks[i])) << "block " << i;
            EXPECT_TRUE(
                HeapValidate(serverModule.heaps[i % count], 0, static_cast<char*>(blocks[i]) - 8));
        }
        EXPECT_EQ(8u, serverModule.nextHeap);
        // Freed into the heap the header names, whatever the counter says now.
        serverModule.nextHeap = 3;
        for (int i = 0; i < 8; ++i)
            ModuleFree(blocks[i]);
        for (DWORD i = 0; i <= serverModule.heapMask; ++i)
            EXPECT_TRUE(HeapValidate(serverModule.heaps[i], 0, nullptr));
    } else {
        for (int i = 0; i < 8; ++i) {
            EXPECT_TRUE(HeapValidate(serverModule.baseHeap, 0, blocks[i]))
                << "no header on the base heap";
            ModuleFree(blocks[i]);
        }
        EXPECT_TRUE(HeapValidate(serverModule.baseHeap, 0, nullptr));
    }
}

TEST_F(AllocatorTest, ReallocKeepsTheBlockInItsHeapAndItsContent)
{
    char* block = static_cast<char*>(ModuleAlloc(16));
    ASSERT_NE(nullptr, block);
    memcpy(block, "0123456789abcde", 16);
    HANDLE heap = UsesExtraHeaps() ? HeaderOf(block) : serverModule.baseHeap;
    ModuleAlloc(8); // moves the round-robin counter on
    char* grown = static_cast<char*>(ModuleRealloc(block, 100000));
    ASSERT_NE(nullptr, grown);
    EXPECT_STREQ("0123456789abcde", grown);
    if (UsesExtraHeaps()) {
        EXPECT_EQ(heap, HeaderOf(grown));
        EXPECT_TRUE(HeapValidate(heap, 0, grown - 8));
    } else {
        EXPECT_TRUE(HeapValidate(heap, 0, grown));
    }
    ModuleFree(grown);
}

TEST_F(AllocatorTest, NullBlocks)
{
    ModuleFree(nullptr);
    DWORD before = serverModule.nextHeap;
    void* block = ModuleRealloc(nullptr, 40); // the same as ModuleAlloc(40)
    ASSERT_NE(nullptr, block);
    if (UsesExtraHeaps()) {
        EXPECT_EQ(before + 1, serverModule.nextHeap);
    }
    ModuleFree(block);
}

DWORD WINAPI FreeBlocks(LPVOID p)
{
    void** list = static_cast<void**>(p);
    for (int i = 0; i < 64; ++i)
        ModuleFree(list[i]);
    return 0;
}

TEST_F(AllocatorTest, FreeingFromOtherThreads)
{
    void* blocks[64];
    for (int i = 0; i < 64; ++i)
        blocks[i] = ModuleAlloc(100);
    HANDLE thread = CreateThread(nullptr, 0, FreeBlocks, blocks, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_TRUE(HeapValidate(serverModule.baseHeap, 0, nullptr));
}

} // namespace
