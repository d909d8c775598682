// Deletes a file at once, or has the system delete it at its next start: through
// MoveFileExA on the NT family, through a "NUL=" line in the "rename" section of
// wininit.ini on Windows 95, 98 and Me.
#include "setup/DeferredDelete.h"

#include <windows.h>

#include "common/StringBuffer.h"
#include "setup/OsVersion.h"

// The path of wininit.ini, found on first use of the file route.
static StringBuffer initFilePath;

static const int sectionLimit = 1000;

// Adds "NUL=" + path as the last line of the section "rename". A section that leaves too
// little room for the line, or that was cut at the read limit, is not written at all: the
// buffer is never overrun and no line already in the file is lost. True when the line
// was written.
static bool ScheduleInInitFile(const char* path)
{
    if (initFilePath.IsEmpty()) {
        if (!initFilePath.Reserve(500))
            return false;
        // Without the Windows folder the name would lead to the root of the current drive.
        UINT length = GetWindowsDirectoryA(initFilePath.data, 500);
        if (length == 0 || length >= 500) {
            initFilePath.Free();
            return false;
        }
        initFilePath.Append("\\wininit.ini");
    }

    StringBuffer section(sectionLimit);   // 1024 bytes, all zero
    if (section.data == nullptr)
        return false;
    DWORD read = GetPrivateProfileSectionA("rename", section.data, sectionLimit,
                                           initFilePath.data);
    // The platform reports a section larger than the limit as limit - 2 and cuts it.
    if (read >= static_cast<DWORD>(sectionLimit - 2)) {
        section.Free();
        return false;
    }

    int end = -1;
    for (int i = 0; i < sectionLimit; ++i) {
        if (section.data[i] == '\0' && section.data[i + 1] == '\0') {
            end = i;
            break;
        }
    }
    if (end < 0) {
        section.Free();
        return false;
    }
    int start = end == 0 ? 0 : end + 1;

    // The line, its terminating zero and the zero that ends the section must all fit.
    static const char key[] = "NUL=";
    int keyLength = sizeof(key) - 1;
    int pathLength = lstrlenA(path);
    if (start + keyLength + pathLength + 2 > section.capacity) {
        section.Free();
        return false;
    }
    CopyMemory(section.data + start, key, keyLength);
    CopyMemory(section.data + start + keyLength, path, pathLength);

    bool written = WritePrivateProfileSectionA("rename", section.data, initFilePath.data) != 0;
    section.Free();
    return written;
}

bool DeleteNowOrAtRestart(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    if (DeleteFileA(path))
        return true;
    if (IsNtPlatform())
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    return ScheduleInInitFile(path);
}
