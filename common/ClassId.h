// The class id of ChangeName, written once for the C++ of both deliverables: setup names the
// class key by its text, the COM server answers to the GUID made from that text when it is
// compiled. The registry script and the IDL carry their own copies, as their formats require.
#pragma once

#include <windows.h>

#define CHANGENAME_CLASS_ID "{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}"

namespace classid {

constexpr unsigned HexDigit(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// count hexadecimal digits of text from first on, as a number.
constexpr unsigned long Hex(const char* text, int first, int count)
{
    unsigned long value = 0;
    for (int i = first; i < first + count; ++i)
        value = value * 16 + HexDigit(text[i]);
    return value;
}

} // namespace classid

// The GUID of a registry-form text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", made at compile
// time: Data4 is the last two groups, byte by byte.
constexpr GUID GuidFromText(const char* text)
{
    using classid::Hex;
    return GUID { Hex(text, 1, 8),
                  static_cast<unsigned short>(Hex(text, 10, 4)),
                  static_cast<unsigned short>(Hex(text, 15, 4)),
                  { static_cast<unsigned char>(Hex(text, 20, 2)),
                    static_cast<unsigned char>(Hex(text, 22, 2)),
                    static_cast<unsigned char>(Hex(text, 25, 2)),
                    static_cast<unsigned char>(Hex(text, 27, 2)),
                    static_cast<unsigned char>(Hex(text, 29, 2)),
                    static_cast<unsigned char>(Hex(text, 31, 2)),
                    static_cast<unsigned char>(Hex(text, 33, 2)),
                    static_cast<unsigned char>(Hex(text, 35, 2)) } };
}
