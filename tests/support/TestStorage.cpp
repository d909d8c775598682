#include "support/TestStorage.h"
#include "common/StringBuffer.h"

#include <stdlib.h>
#include <string.h>

StorageRecord storageRecord;

void ResetStorageRecord()
{
    memset(&storageRecord, 0, sizeof(storageRecord));
}

void* BufferAllocate(size_t size)
{
    if (storageRecord.failNext) {
        storageRecord.failNext = false;
        return nullptr;
    }
    storageRecord.allocations++;
    storageRecord.lastSize = size;
    // A size prefix lets the release check the whole block; the bytes start out dirty.
    size_t* raw = static_cast<size_t*>(malloc(size + sizeof(size_t)));
    raw[0] = size;
    memset(raw + 1, 0xCD, size);
    return raw + 1;
}

void BufferRelease(void* block)
{
    size_t* raw = static_cast<size_t*>(block) - 1;
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < raw[0]; ++i) {
        if (bytes[i]) {
            storageRecord.releasedDirty++;
            break;
        }
    }
    storageRecord.releases++;
    free(raw);
}
