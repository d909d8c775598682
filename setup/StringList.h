// A small growable array of string buffers: the flat list of paths that the folder
// removal collects, sorts and deletes.
#pragma once

#include <stdint.h>

#include "common/StringBuffer.h"

class StringList {
public:
    int32_t count; // items in use
    int32_t capacity; // slots allocated
    uint32_t byteSize; // size of the slot array in bytes
    StringBuffer* items; // the slots; null when nothing is allocated

    StringList() : count(0), capacity(0), byteSize(0), items(nullptr) {}
    virtual ~StringList();

    bool Add(const StringBuffer& text); // false when growing failed (the list is then empty)
    void TakeLast(StringBuffer& out); // the list must not be empty
    bool SetCount(int n); // the first items stay
    bool Allocate(int n); // room for n, count n, contents discarded
    void ClearItems(); // every slot emptied, the array kept
    void Free(); // everything released, all fields zero

private:
    StringList(const StringList&) = delete;
    StringList& operator=(const StringList&) = delete;
};
