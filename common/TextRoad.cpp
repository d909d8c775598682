// The choice of the extension's road, the wide calls looked up for it, and the system
// texts converted from code page 932 for it.
#include "common/TextRoad.h"

#include <string.h>

WideCalls wideCalls;

namespace {

// Every wide call of the road, in the order of WideCalls.
const struct {
    const char* module;
    const char* name;
} wideCallNames[] = {
    { "shell32.dll", "SHGetPathFromIDListW" }, { "shell32.dll", "SHFileOperationW" },
    { "user32.dll", "InsertMenuW" },           { "user32.dll", "DialogBoxParamW" },
    { "user32.dll", "GetDlgItemTextW" },       { "user32.dll", "SetDlgItemTextW" },
    { "user32.dll", "SetWindowTextW" },        { "user32.dll", "GetWindowTextLengthW" },
    { "user32.dll", "MessageBoxW" },           { "kernel32.dll", "FindFirstFileW" },
    { "kernel32.dll", "GetFileAttributesW" },
};

const int CallCount = sizeof(wideCallNames) / sizeof(wideCallNames[0]);
static_assert(sizeof(WideCalls) == CallCount * sizeof(FARPROC), "one name per wide call");

// Chosen by the first call that asks, then kept for the process.
enum { RoadUndecided, AnsiRoad, WideRoad };
volatile LONG road = RoadUndecided;

LONG ChooseRoad()
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return AnsiRoad;
    // The DLL imports from all three modules, so they are loaded already.
    FARPROC found[CallCount];
    for (int i = 0; i < CallCount; ++i) {
        HMODULE module = GetModuleHandleA(wideCallNames[i].module);
        found[i] = module ? GetProcAddress(module, wideCallNames[i].name) : nullptr;
        if (!found[i])
            return AnsiRoad;
    }
    memcpy(&wideCalls, found, sizeof(wideCalls));
    return WideRoad;
}

} // namespace

bool UseWideRoad()
{
    if (road == RoadUndecided)
        InterlockedExchange(&road, ChooseRoad());
    return road == WideRoad;
}

SystemText<wchar_t>::SystemText(const char* cp932) : text(buffer)
{
    int size = sizeof(buffer) / sizeof(buffer[0]);
    // Without the code page 932 tables the ANSI code page is the one left to try.
    if (!MultiByteToWideChar(932, 0, cp932, -1, buffer, size) &&
        !MultiByteToWideChar(CP_ACP, 0, cp932, -1, buffer, size))
        buffer[0] = 0;
}
