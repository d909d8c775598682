// The entry point of the ARM64 programs (the test program and the shared test tools), which
// link no C or C++ runtime (there is none for this target here): the static constructors
// run, then main, whose result is the exit code. Operator new and delete take the process
// heap, for the shared test tools that allocate with them (tests/tools/ShellDrop.cpp).
//
// The platform's interface identifiers are defined here (INITGUID): the uuid library that
// holds them on x86 is x86 code.
#define INITGUID
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include "common/arm64/StaticConstructors.h"

// IID_IUnknown comes with a header read before INITGUID takes effect: defined here.
extern "C" const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 }
};

int main();

extern "C" void mainCRTStartup()
{
    RunStaticConstructors();
    ExitProcess(static_cast<UINT>(main()));
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
