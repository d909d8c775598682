// The setup program's string buffers take their storage from the runtime's operator new.
#include "common/StringBuffer.h"

#include <new>

void* BufferAllocate(size_t size)
{
    return new (std::nothrow) char[size];
}

void BufferRelease(void* block)
{
    delete[] static_cast<char*>(block);
}
