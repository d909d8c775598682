// Tests on the end of a code page 932 path that step over double-byte characters, so that
// the second byte of 表 or ソ (0x5C) is never taken for a backslash.
#pragma once

// True when the last character of the text is a single-byte backslash.
bool EndsWithBackslash(const char* text);
