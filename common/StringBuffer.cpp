// StringBuffer: reserving always clears, the bytes after the terminator stay zero, and
// the storage is wiped before it goes back to the deliverable's allocator.
#include "common/StringBuffer.h"

#include <windows.h>
#include <string.h>

StringBuffer::StringBuffer(StringBuffer&& other) : data(other.data), capacity(other.capacity)
{
    other.data = nullptr;
    other.capacity = 0;
}

int StringBuffer::Length() const
{
    return data ? lstrlenA(data) : 0;
}

void StringBuffer::Free()
{
    if (data) {
        SecureZeroMemory(data, capacity);
        BufferRelease(data);
        data = nullptr;
    }
    capacity = 0;
}

bool StringBuffer::Reserve(int n)
{
    if (n >= capacity) {
        Free();
        int size = 16;
        while (n >= size && size < 0x40000000)
            size *= 2;
        if (n >= size)
            return false;
        data = static_cast<char*>(BufferAllocate(size));
        if (!data)
            return false;
        capacity = size;
    }
    if (data)
        memset(data, 0, capacity);
    return true;
}

// A text that lies inside this buffer's own storage (but is not the buffer itself) would
// be cleared or freed before it is copied; such calls copy it out first.
bool StringBuffer::PointsInside(const char* text) const
{
    return data && text > data && text < data + capacity;
}

bool StringBuffer::Assign(const char* text)
{
    if (text == data)
        return true;
    if (PointsInside(text)) {
        StringBuffer copy;
        if (!copy.Assign(text))
            return false;
        return Assign(copy.data);
    }
    if (!text) {
        if (data)
            memset(data, 0, capacity);
        return true;
    }
    if (!Reserve(lstrlenA(text)))
        return false;
    lstrcpyA(data, text);
    return true;
}

bool StringBuffer::Assign(const StringBuffer& other)
{
    if (&other == this)
        return true;
    return Assign(other.data ? other.data : nullptr);
}

void StringBuffer::Append(const char* text)
{
    if (PointsInside(text) || (text && text == data && !IsEmpty())) {
        StringBuffer copy;
        copy.Assign(text);
        Append(copy.data);
        return;
    }
    if (IsEmpty()) {
        Assign(text);
        return;
    }
    StringBuffer temporary;
    temporary.Assign(data);
    int textLength = text ? lstrlenA(text) : 0;
    if (!Reserve(temporary.Length() + textLength + 2)) {
        temporary.Free();
        return;
    }
    lstrcpyA(data, temporary.data ? temporary.data : "");
    if (textLength)
        lstrcatA(data, text);
    temporary.Free();
}

void StringBuffer::Append(const StringBuffer& other)
{
    if (other.IsEmpty())
        return;
    if (IsEmpty()) {
        Assign(other);
        return;
    }
    if (&other == this) {
        // Appending a buffer to itself: the text is read before the storage is rebuilt.
        StringBuffer copy;
        copy.Assign(data);
        Append(copy.data);
        return;
    }
    Append(other.data);
}

void StringBuffer::AppendChar(char c)
{
    if (!data) {
        if (Reserve(2))
            data[0] = c;
        return;
    }
    int length = lstrlenA(data);
    if (capacity < length + 2) {
        StringBuffer temporary;
        temporary.Assign(data);
        if (!Reserve(length + 2))
            return;
        lstrcpyA(data, temporary.data ? temporary.data : "");
        temporary.Free();
    }
    data[length] = c;
}

int StringBuffer::Erase(int position, int count)
{
    int length = Length();
    if (!data || position < 0 || count < 0)
        return length;
    int i = position;
    for (; i < length - count; ++i)
        data[i] = data[i + count];
    for (; i < length; ++i)
        data[i] = '\0';
    return length;
}
