// A registry key and everything below it as text, for comparing with an expected text:
// "[path]" for each key, then its values "name=REG_SZ(size):data" (the default value named
// "@", strings without their NUL, other types as "TYPEn(size)"), names sorted byte by byte;
// the subkeys follow in the registry's own order. Plain character buffers and no C++
// library, so that the ARM64 test program, which has none, can take it too.
#pragma once

#include <windows.h>

// root\path as text in out (size bytes, always zero-terminated; empty when the key is
// missing). False when the text did not fit.
bool DumpKey(HKEY root, const char* path, char* out, int size);

// An expected dump from pattern into out (size bytes): "<key>" stands for key (such as a
// handler key's parent), "<dll>" for the DLL's path as a string value, "REG_SZ(size):path".
// A null pattern: a missing key's, empty. False when the text did not fit.
bool ExpectedDump(char* out, int size, const char* pattern, const char* key, const char* dll);
