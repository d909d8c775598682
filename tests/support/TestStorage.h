// Storage for string buffers in the tests: counts blocks and records whether each block
// was wiped (all zero) when it was given back.
#pragma once
#include <stddef.h>

struct StorageRecord {
    int allocations;
    int releases;
    int releasedDirty; // blocks given back with a non-zero byte in them
    size_t lastSize;
    bool failNext; // the next allocation fails
};

extern StorageRecord storageRecord;
void ResetStorageRecord();
