// StringBuffer: the one text type of pelim and setup. A zero-terminated code page 932
// buffer whose capacity is a power of two from 16; every byte after the terminator is
// zero and the storage is wiped before it is released.
#pragma once

#include <stddef.h>

// Each deliverable supplies its own storage for string buffers: the extension DLL takes
// it from its module allocator, the setup program from operator new and delete.
void* BufferAllocate(size_t size);
void BufferRelease(void* block);

class StringBuffer {
public:
    char* data;
    int capacity;

    StringBuffer() : data(nullptr), capacity(0) {}
    explicit StringBuffer(int n);               // setup: an empty buffer with room for n
    StringBuffer(StringBuffer&& other);         // takes over the other buffer's storage
    ~StringBuffer() { Free(); }

    void Free();
    bool Reserve(int n);
    bool Assign(const char* text);
    bool Assign(const StringBuffer& other);
    void Append(const char* text);
    void Append(const StringBuffer& other);
    void AppendChar(char c);
    int Erase(int position, int count);

    // setup only (kept in a file of their own, so the DLL does not carry them)
    void Format(const char* format, ...);
    static StringBuffer Concat(const StringBuffer& a, const StringBuffer& b);

    int Length() const;
    bool IsEmpty() const { return data == nullptr || data[0] == '\0'; }

private:
    bool PointsInside(const char* text) const;
    StringBuffer(const StringBuffer&) = delete;
    StringBuffer& operator=(const StringBuffer&) = delete;
    StringBuffer& operator=(StringBuffer&&) = delete;
};
