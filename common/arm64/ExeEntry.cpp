// The entry point of the ARM64 test programs, which link no C or C++ runtime (there is none
// for this target here): the static constructors run, then ProgramMain, whose result is
// the exit code. Operator new and delete take the process heap, for the shared test tools
// (tests/tools/ShellDrop.cpp) that allocate with them.
#include <windows.h>

#include "common/arm64/StaticConstructors.h"

int ProgramMain();

extern "C" void mainCRTStartup()
{
    RunStaticConstructors();
    ExitProcess(static_cast<UINT>(ProgramMain()));
}

void* operator new(decltype(sizeof 0) size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* operator new[](decltype(sizeof 0) size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void operator delete(void* block) noexcept
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block) noexcept
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, decltype(sizeof 0)) noexcept
{
    operator delete(block);
}

void operator delete[](void* block, decltype(sizeof 0)) noexcept
{
    operator delete[](block);
}
