// One line of a test tool's report, built in a buffer and written at once with WriteFile, so
// that the lines of two threads never mix. No printf family: the ARM64 Wine is Linux code,
// and a function that takes a va_list crashes there when ARM64 code calls it. Texts are code
// page 932 bytes.
#pragma once

#include <windows.h>

class ReportLine {
public:
    ReportLine& Text(const char* text)
    {
        while (*text && length < kRoom)
            buffer[length++] = *text++;
        return *this;
    }
    ReportLine& Text(const wchar_t* text) { return Wide(text); }
    // Characters code page 932 lacks are written as \uXXXX, so that a name outside it
    // reads exactly.
    ReportLine& Wide(const wchar_t* text)
    {
        for (; *text; ++text) {
            int units = IS_HIGH_SURROGATE(*text) && IS_LOW_SURROGATE(text[1]) ? 2 : 1;
            char bytes[8];
            BOOL lacking = FALSE;
            int count = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text, units, bytes,
                                            sizeof bytes, nullptr, &lacking);
            for (int i = 0; i < units && (count <= 0 || lacking); ++i)
                Text("\\u").Hex(text[i], 4, false);
            for (int i = 0; count > 0 && !lacking && i < count && length < kRoom; ++i)
                buffer[length++] = bytes[i];
            text += units - 1;
        }
        return *this;
    }
    ReportLine& Number(unsigned long long value)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (count && length < kRoom)
            buffer[length++] = digits[--count];
        return *this;
    }
    ReportLine& Signed(long long value)
    {
        if (value < 0)
            Text("-");
        return Number(value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                : static_cast<unsigned long long>(value));
    }
    // Upper-case hexadecimal, at least digits of them, after "0x" when prefixed.
    ReportLine& Hex(unsigned long value, int digits = 8, bool prefixed = true)
    {
        if (prefixed)
            Text("0x");
        int shift = 28;
        while (shift > 0 && shift >= 4 * digits && !(value >> shift & 0xF))
            shift -= 4;
        for (; shift >= 0; shift -= 4)
            Text(&"0\0"
                  "1\0"
                  "2\0"
                  "3\0"
                  "4\0"
                  "5\0"
                  "6\0"
                  "7\0"
                  "8\0"
                  "9\0"
                  "A\0"
                  "B\0"
                  "C\0"
                  "D\0"
                  "E\0"
                  "F"[2 * (value >> shift & 0xF)]);
        return *this;
    }
    // A value with the given number of decimals, e.g. Fixed(1.2345, 3) "1.235".
    ReportLine& Fixed(double value, int decimals)
    {
        unsigned long long scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        unsigned long long scaled = static_cast<unsigned long long>(value * scale + 0.5);
        Number(scaled / scale);
        if (decimals)
            Text(".");
        for (unsigned long long digit = scale / 10; digit; digit /= 10)
            Number(scaled % scale / digit % 10);
        return *this;
    }
    // Ends the line on standard output (or another handle).
    void Print(DWORD handle = STD_OUTPUT_HANDLE)
    {
        buffer[length++] = '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(handle), buffer, length, &written, nullptr);
    }

private:
    static const int kRoom = 1022;
    char buffer[1024];
    int length = 0;
};
