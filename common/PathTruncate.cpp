// Cutting a path back to its folder, used by the setup program for its own module path.
// The walk follows the runtime's multibyte code page, so a second byte 0x5C of a
// double-byte character is never taken for a separator.
#include "common/PathHelpers.h"

#include <mbstring.h>
#include <string.h>

void TruncateAfterLastBackslash(char* path)
{
    if (!path)
        return;
    unsigned char* cursor = reinterpret_cast<unsigned char*>(path);
    unsigned char* afterLast = nullptr;
    while (*cursor) {
        unsigned char* next = _mbsinc(cursor);
        if (next == cursor + 1 && *cursor == '\\')
            afterLast = next;
        if (next == cursor)
            break;
        // A lead byte at the very end has no second byte: stop at the terminator.
        if (next > cursor + 1 && cursor[1] == '\0')
            break;
        cursor = next;
    }
    if (afterLast && *afterLast)
        memset(afterLast, 0, strlen(reinterpret_cast<char*>(afterLast)));
}
