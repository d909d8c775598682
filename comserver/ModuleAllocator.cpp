// The module allocator. One private heap where the platform's heap scales by itself; on
// older systems with several processors, a power-of-two number of extra heaps used in
// turn, each block carrying the handle of its heap in an 8-byte header.
#include "comserver/ModuleAllocator.h"
#include "comserver/ServerModule.h"

#include <windows.h>
#include <string.h>

namespace {

const size_t HeaderSize = 8;
static_assert(sizeof(HANDLE) <= HeaderSize, "the header holds a heap handle");

HANDLE HeaderHeap(void* block)
{
    HANDLE heap;
    memcpy(&heap, static_cast<char*>(block) - HeaderSize, sizeof(heap));
    return heap;
}

void* WithHeader(void* raw, HANDLE heap)
{
    memset(raw, 0, HeaderSize);
    memcpy(raw, &heap, sizeof(heap));
    return static_cast<char*>(raw) + HeaderSize;
}

} // namespace

void InitHeaps()
{
    ServerModule& m = serverModule;
    m.heaps = nullptr;
    m.heapMask = 0;
    m.nextHeap = 0;
    m.baseHeap = HeapCreate(0, 0, 0);

    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    SYSTEM_INFO system;
    memset(&system, 0, sizeof(system));
    GetSystemInfo(&system);

    if ((version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) ||
        system.dwNumberOfProcessors <= 1 || !m.baseHeap)
        return;

    DWORD mask = 0xFFFFFFFF;
    DWORD n = 2 * system.dwNumberOfProcessors;
    for (int round = 0; round < 32 && !(n & 0x80000000); ++round) {
        mask >>= 1;
        n <<= 1;
    }
    mask >>= 1;

    HANDLE* heaps = static_cast<HANDLE*>(HeapAlloc(m.baseHeap, 0, sizeof(HANDLE) * (mask + 1)));
    if (!heaps)
        return;
    for (DWORD i = 0; i <= mask; ++i) {
        heaps[i] = HeapCreate(0, 0, 0);
        if (!heaps[i]) {
            // Without every extra heap the spread is not worth having: stay on the base heap.
            for (DWORD j = 0; j < i; ++j)
                HeapDestroy(heaps[j]);
            HeapFree(m.baseHeap, 0, heaps);
            return;
        }
    }
    m.heapMask = mask;
    m.heaps = heaps;
}

void TermHeaps()
{
    ServerModule& m = serverModule;
    if (!m.baseHeap)
        return;
    if (m.heaps) {
        for (DWORD i = 0; i <= m.heapMask; ++i)
            HeapDestroy(m.heaps[i]);
    }
    HeapDestroy(m.baseHeap);
    m.baseHeap = nullptr;
    m.heaps = nullptr;
    m.heapMask = 0;
}

void* ModuleAlloc(size_t size)
{
    ServerModule& m = serverModule;
    if (!m.heaps)
        return m.baseHeap ? HeapAlloc(m.baseHeap, 0, size) : nullptr;
    if (size > static_cast<size_t>(-1) - HeaderSize)
        return nullptr;
    HANDLE heap = m.heaps[m.nextHeap & m.heapMask];
    m.nextHeap++;
    void* raw = HeapAlloc(heap, 0, size + HeaderSize);
    return raw ? WithHeader(raw, heap) : nullptr;
}

void* ModuleRealloc(void* block, size_t size)
{
    ServerModule& m = serverModule;
    if (!block)
        return ModuleAlloc(size);
    if (!m.heaps)
        return HeapReAlloc(m.baseHeap, 0, block, size);
    if (size > static_cast<size_t>(-1) - HeaderSize)
        return nullptr;
    HANDLE heap = HeaderHeap(block);
    void* raw = HeapReAlloc(heap, 0, static_cast<char*>(block) - HeaderSize, size + HeaderSize);
    return raw ? static_cast<char*>(raw) + HeaderSize : nullptr;
}

void ModuleFree(void* block)
{
    ServerModule& m = serverModule;
    if (!block)
        return;
    if (!m.heaps) {
        HeapFree(m.baseHeap, 0, block);
        return;
    }
    HeapFree(HeaderHeap(block), 0, static_cast<char*>(block) - HeaderSize);
}
