// Inside the extension DLL, string buffers live on the module allocator's heaps.
#include "common/StringBuffer.h"
#include "comserver/ModuleAllocator.h"

void* BufferAllocate(size_t size)
{
    return ModuleAlloc(size);
}

void BufferRelease(void* block)
{
    ModuleFree(block);
}
