// The entry point of pelim102.dll on ARM64, which links no C runtime (the other builds get
// theirs from MinGW-w64's start-up code): the static constructors run before DllMain sees
// the process attach, as the runtime would run them.
#include <windows.h>

#include "common/arm64/StaticConstructors.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        RunStaticConstructors();
    return DllMain(instance, reason, reserved);
}
