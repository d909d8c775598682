// The process-wide OS version record, filled before the entry point runs. Its platform id
// chooses between the routes of the NT family and those of Windows 95, 98 and Me.
#pragma once

#include <windows.h>

extern OSVERSIONINFOA osVersion;

// True on the NT family; a failed version query (platform id 0) counts as the other family.
inline bool IsNtPlatform()
{
    return osVersion.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
