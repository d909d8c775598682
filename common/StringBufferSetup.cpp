// The string buffer operations only the setup program uses: the sized constructor,
// Format and Concat. Kept apart so the extension DLL does not carry them.
#include "common/StringBuffer.h"

#include <windows.h>
#include <stdarg.h>

StringBuffer::StringBuffer(int n)
{
    Reserve(n);
}

void StringBuffer::Format(const char* format, ...)
{
    if (!Reserve(1000))
        return;
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(data, format, arguments);
    va_end(arguments);
    // The platform stops at 1024 bytes with its terminator; keep the tail zero whatever it did.
    data[capacity - 1] = '\0';
}

StringBuffer StringBuffer::Concat(const StringBuffer& a, const StringBuffer& b)
{
    StringBuffer temporary;
    temporary.Assign(a);
    temporary.Append(b);
    StringBuffer result;
    result.Assign(temporary);
    temporary.Free();
    return result;
}
