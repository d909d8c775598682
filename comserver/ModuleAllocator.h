// The module allocator: every block the extension's own code allocates, from any thread.
// Private heaps of the module; on a serialising heap with several processors the blocks
// are spread round-robin over extra heaps, each block recording its heap in a header.
#pragma once

#include <stddef.h>

void InitHeaps();
void TermHeaps();
void* ModuleAlloc(size_t size);
void* ModuleRealloc(void* block, size_t size);
void ModuleFree(void* block);
