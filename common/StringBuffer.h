// StringBuffer: the one text type of pelim and setup. A zero-terminated code page 932
// buffer whose capacity is a power of two from 16; every byte after the terminator is
// zero and the storage is wiped before it is released. The extension's wide road keeps
// its UTF-16 text in the same buffer of wide characters (WideBuffer).
#pragma once

#include <stddef.h>

// Each deliverable supplies its own storage for string buffers: the extension DLL takes
// it from its module allocator, the setup program from operator new and delete.
void* BufferAllocate(size_t size);
void BufferRelease(void* block);

// The buffer for one character type; capacity counts characters (bytes for char).
template <class Char>
class TextBuffer {
public:
    Char* data;
    int capacity;

    TextBuffer() : data(nullptr), capacity(0) {}
    TextBuffer(TextBuffer&& other); // takes over the other buffer's storage
    ~TextBuffer() { Free(); }

    void Free();
    bool Reserve(int n);
    bool Assign(const Char* text);
    bool Assign(const TextBuffer& other);
    void Append(const Char* text);
    void Append(const TextBuffer& other);
    void AppendChar(Char c);
    int Erase(int position, int count);

    int Length() const;
    bool IsEmpty() const { return data == nullptr || data[0] == 0; }

private:
    bool PointsInside(const Char* text) const;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    TextBuffer& operator=(TextBuffer&&) = delete;
};

class StringBuffer : public TextBuffer<char> {
public:
    StringBuffer() {}
    explicit StringBuffer(int n); // setup: an empty buffer with room for n
    StringBuffer(StringBuffer&& other) : TextBuffer<char>(static_cast<TextBuffer<char>&&>(other)) {}

    // setup only (kept in a file of their own, so the DLL does not carry them)
    void Format(const char* format, ...);
    static StringBuffer Concat(const StringBuffer& a, const StringBuffer& b);
};

// UTF-16 text of the extension's wide road; lengths and capacities in wide characters.
typedef TextBuffer<wchar_t> WideBuffer;
