// StringBuffer: reserving always clears, the characters after the terminator stay zero,
// and the storage is wiped before it goes back to the deliverable's allocator. One code
// for both character types: code page 932 bytes and the wide road's UTF-16.
#include "common/StringBuffer.h"

#include <windows.h>
#include <string.h>

// The platform's own length and copy for code page text; a plain walk for wide text,
// which the older family's kernel does not fully carry.
static int TextLength(const char* text)
{
    return lstrlenA(text);
}

static int TextLength(const wchar_t* text)
{
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

static void CopyText(char* to, const char* from)
{
    lstrcpyA(to, from);
}

static void CopyText(wchar_t* to, const wchar_t* from)
{
    memcpy(to, from, (TextLength(from) + 1) * sizeof(wchar_t));
}

static void AppendText(char* to, const char* from)
{
    lstrcatA(to, from);
}

static void AppendText(wchar_t* to, const wchar_t* from)
{
    CopyText(to + TextLength(to), from);
}

template <class Char>
TextBuffer<Char>::TextBuffer(TextBuffer&& other) : data(other.data), capacity(other.capacity)
{
    other.data = nullptr;
    other.capacity = 0;
}

template <class Char>
int TextBuffer<Char>::Length() const
{
    return data ? TextLength(data) : 0;
}

template <class Char>
void TextBuffer<Char>::Free()
{
    if (data) {
        SecureZeroMemory(data, capacity * sizeof(Char));
        BufferRelease(data);
        data = nullptr;
    }
    capacity = 0;
}

template <class Char>
bool TextBuffer<Char>::Reserve(int n)
{
    if (n >= capacity) {
        Free();
        int size = 16;
        while (n >= size && size < static_cast<int>(0x40000000 / sizeof(Char)))
            size *= 2;
        if (n >= size)
            return false;
        data = static_cast<Char*>(BufferAllocate(size * sizeof(Char)));
        if (!data)
            return false;
        capacity = size;
    }
    if (data)
        memset(data, 0, capacity * sizeof(Char));
    return true;
}

// A text that lies inside this buffer's own storage (but is not the buffer itself) would
// be cleared or freed before it is copied; such calls copy it out first.
template <class Char>
bool TextBuffer<Char>::PointsInside(const Char* text) const
{
    return data && text > data && text < data + capacity;
}

template <class Char>
bool TextBuffer<Char>::Assign(const Char* text)
{
    if (text == data)
        return true;
    if (PointsInside(text)) {
        TextBuffer copy;
        if (!copy.Assign(text))
            return false;
        return Assign(copy.data);
    }
    if (!text) {
        if (data)
            memset(data, 0, capacity * sizeof(Char));
        return true;
    }
    if (!Reserve(TextLength(text)))
        return false;
    CopyText(data, text);
    return true;
}

template <class Char>
bool TextBuffer<Char>::Assign(const TextBuffer& other)
{
    if (&other == this)
        return true;
    return Assign(other.data ? other.data : nullptr);
}

template <class Char>
void TextBuffer<Char>::Append(const Char* text)
{
    if (PointsInside(text) || (text && text == data && !IsEmpty())) {
        TextBuffer copy;
        copy.Assign(text);
        Append(copy.data);
        return;
    }
    if (IsEmpty()) {
        Assign(text);
        return;
    }
    TextBuffer temporary;
    temporary.Assign(data);
    int length = temporary.Length();
    int textLength = text ? TextLength(text) : 0;
    if (!Reserve(length + textLength + 2)) {
        temporary.Free();
        return;
    }
    if (temporary.data)
        CopyText(data, temporary.data);
    if (textLength)
        AppendText(data, text);
    temporary.Free();
}

template <class Char>
void TextBuffer<Char>::Append(const TextBuffer& other)
{
    if (other.IsEmpty())
        return;
    if (IsEmpty()) {
        Assign(other);
        return;
    }
    if (&other == this) {
        // Appending a buffer to itself: the text is read before the storage is rebuilt.
        TextBuffer copy;
        copy.Assign(data);
        Append(copy.data);
        return;
    }
    Append(other.data);
}

template <class Char>
void TextBuffer<Char>::AppendChar(Char c)
{
    if (!data) {
        if (Reserve(2))
            data[0] = c;
        return;
    }
    int length = TextLength(data);
    if (capacity < length + 2) {
        TextBuffer temporary;
        temporary.Assign(data);
        if (!Reserve(length + 2))
            return;
        if (temporary.data)
            CopyText(data, temporary.data);
        temporary.Free();
    }
    data[length] = c;
}

template <class Char>
int TextBuffer<Char>::Erase(int position, int count)
{
    int length = Length();
    if (!data || position < 0 || count < 0)
        return length;
    int i = position;
    for (; i < length - count; ++i)
        data[i] = data[i + count];
    for (; i < length; ++i)
        data[i] = 0;
    return length;
}

template class TextBuffer<char>;
template class TextBuffer<wchar_t>;
