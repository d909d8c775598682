// Cutting a path back to its folder, used by the setup program for its own module path.
#include "common/PathHelpers.h"
#include "common/CharWalk.h"

#include <string.h>

void TruncateAfterLastBackslash(char* path)
{
    if (!path)
        return;
    char* afterLast = nullptr;
    for (char* p = path; *p; p = NextChar(p)) {
        if (*p == '\\')
            afterLast = p + 1;
    }
    if (afterLast && *afterLast)
        memset(afterLast, 0, strlen(afterLast));
}
