// A growable array of string buffers. Slots at and above count hold no storage; the slot
// array is wiped before it is released, as the buffers wipe their own storage.
#include "setup/StringList.h"

#include <windows.h>
#include <new>

StringList::~StringList()
{
    Free();
}

bool StringList::Add(const StringBuffer& text)
{
    if (count + 1 < capacity) {
        items[count].Assign(text);
        ++count;
        return true;
    }
    if (!SetCount(count + 1))
        return false;
    items[count - 1].Assign(text);
    return true;
}

void StringList::TakeLast(StringBuffer& out)
{
    StringBuffer last;
    last.Assign(items[count - 1]);
    items[count - 1].Free();
    --count;
    out.Assign(last);
}

bool StringList::SetCount(int n)
{
    if (n < capacity) {
        int from = n < count ? n : count;
        int to = n < count ? count : n;
        for (int i = from; i < to; ++i)
            items[i].Free();
        count = n;
        return true;
    }

    StringBuffer* oldItems = items;
    int oldCount = count;
    int oldCapacity = capacity;
    uint32_t oldByteSize = byteSize;
    items = nullptr;
    count = 0;
    capacity = 0;
    byteSize = 0;
    if (!Allocate(n)) {
        Free();
        // The old items are not kept.
        if (oldItems != nullptr) {
            for (int i = 0; i < oldCapacity; ++i)
                oldItems[i].~StringBuffer();
            SecureZeroMemory(oldItems, oldByteSize);
            BufferRelease(oldItems);
        }
        return false;
    }
    // Hand the texts over; the old slots are left empty and then released.
    for (int i = 0; i < oldCount; ++i) {
        items[i].data = oldItems[i].data;
        items[i].capacity = oldItems[i].capacity;
        oldItems[i].data = nullptr;
        oldItems[i].capacity = 0;
    }
    if (oldItems != nullptr) {
        for (int i = 0; i < oldCapacity; ++i)
            oldItems[i].~StringBuffer();
        SecureZeroMemory(oldItems, oldByteSize);
        BufferRelease(oldItems);
    }
    return true;
}

bool StringList::Allocate(int n)
{
    if (n < capacity) {
        ClearItems();
        count = n;
        return true;
    }
    Free();
    // The smallest power of two of at least two slots that is greater than n.
    uint32_t slot = sizeof(StringBuffer);
    uint32_t size = 2 * slot;
    while (size <= static_cast<uint32_t>(n) * slot)
        size *= 2;
    void* block = BufferAllocate(size);
    if (block == nullptr)
        return false;
    ZeroMemory(block, size);
    items = static_cast<StringBuffer*>(block);
    byteSize = size;
    capacity = static_cast<int32_t>(size / slot);
    count = n;
    for (int i = 0; i < capacity; ++i)
        new (&items[i]) StringBuffer();
    return true;
}

void StringList::ClearItems()
{
    if (items == nullptr)
        return;
    for (int i = 0; i < capacity; ++i)
        items[i].~StringBuffer();
    SecureZeroMemory(items, byteSize);
    for (int i = 0; i < capacity; ++i)
        new (&items[i]) StringBuffer();
}

void StringList::Free()
{
    if (items != nullptr) {
        for (int i = 0; i < capacity; ++i)
            items[i].~StringBuffer();
        SecureZeroMemory(items, byteSize);
        BufferRelease(items);
        items = nullptr;
    }
    count = 0;
    capacity = 0;
    byteSize = 0;
}
