// End-of-path tests that walk code page 932 text character by character.
#include "setup/PathText.h"

#include <windows.h>

bool EndsWithBackslash(const char* text)
{
    if (text == nullptr)
        return false;
    bool last = false;
    for (const char* p = text; *p != '\0'; ) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            last = false;
            p += 2;
        } else {
            last = (*p == '\\');
            ++p;
        }
    }
    return last;
}
