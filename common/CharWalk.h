// Stepping through text by whole characters: every walk of the system that looks for a
// separator, a quote or a delimiter (the extension's two roads of text, the registry
// script, the setup program's paths) steps with this one function.
#pragma once

#include <windows.h>

// The character after the one at p. A double-byte character of the ANSI code page is one
// character, so its second byte (0x5C for 表, 0x7C for many) is never taken for a
// separator; a lead byte just before the terminating NUL counts alone, so no walk steps
// past the end. A UTF-16 surrogate is never a separator, dot or blank either, so the
// wide road steps by unit.
template <class Char>
inline Char* NextChar(Char* p)
{
    if (sizeof(Char) == 1 && IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != 0)
        return p + 2;
    return p + 1;
}
