// The OS version record, filled during static initialisation so that it is ready before
// the entry point runs. A failed query leaves it zero apart from its size field.
#include "setup/OsVersion.h"

static OSVERSIONINFOA QueryOsVersion()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version); // 148
    GetVersionExA(&version);
    return version;
}

OSVERSIONINFOA osVersion = QueryOsVersion();
