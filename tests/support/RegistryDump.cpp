// The registry dump through the platform's calls alone.
#include "RegistryDump.h"

namespace {

// Text appended to a buffer that keeps its place when it runs out of room.
struct Output {
    char* out;
    int size, length;
    bool full;

    Output& Add(const char* text, int count = -1)
    {
        for (int i = 0; count < 0 ? text[i] != 0 : i < count; ++i) {
            if (length + 1 >= size) {
                full = true;
                break;
            }
            out[length++] = text[i];
        }
        out[length] = 0;
        return *this;
    }
    Output& Number(DWORD value)
    {
        char digits[12];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (count)
            Add(&digits[--count], 1);
        return *this;
    }
};

// Byte by byte, as unsigned characters.
int Compare(const char* a, const char* b)
{
    for (; *a && *a == *b; ++a, ++b) {
    }
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

bool StartsWith(const char* text, const char* prefix)
{
    for (; *prefix && *text == *prefix; ++text, ++prefix) {
    }
    return !*prefix;
}

// The values in name order: each round looks for the least name after the last one written
// (a key holds few of them).
void DumpValues(HKEY key, Output& output)
{
    char last[512] = "", name[512];
    for (bool first = true;; first = false) {
        char next[512];
        bool found = false;
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            LONG status = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status == ERROR_SUCCESS && (first || Compare(name, last) > 0) &&
                (!found || Compare(name, next) < 0)) {
                lstrcpyA(next, name);
                found = true;
            }
        }
        if (!found)
            return;
        BYTE data[4096];
        DWORD type = REG_NONE, size = sizeof data;
        LONG status = RegQueryValueExA(key, next, nullptr, &type, data, &size);
        output.Add(next[0] ? next : "@").Add("=");
        if (type == REG_SZ && status == ERROR_SUCCESS)
            output.Add("REG_SZ(").Number(size).Add("):").Add(reinterpret_cast<char*>(data),
                                                             size ? size - 1 : 0);
        else
            output.Add("TYPE").Number(type).Add("(").Number(size).Add(")");
        output.Add("\n");
        lstrcpyA(last, next);
    }
}

// path (room for 1024 characters) is given back as it came.
void DumpTree(HKEY root, char* path, Output& output)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    output.Add("[").Add(path).Add("]\n");
    DumpValues(key, output);
    int length = lstrlenA(path);
    for (DWORD i = 0; !output.full; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (length + 1 + lstrlenA(name) >= 1024) {
            output.full = true; // a path this long is no registration's
            break;
        }
        lstrcatA(lstrcatA(path, "\\"), name);
        DumpTree(root, path, output);
        path[length] = 0;
    }
    RegCloseKey(key);
}

} // namespace

bool DumpKey(HKEY root, const char* path, char* out, int size)
{
    Output output = { out, size, 0, false };
    char key[1024];
    output.full = lstrlenA(path) >= 1024;
    if (!output.full)
        DumpTree(root, lstrcpyA(key, path), output.Add(""));
    return !output.full;
}

bool ExpectedDump(char* out, int size, const char* pattern, const char* key, const char* dll)
{
    Output output = { out, size, 0, false };
    output.Add("");
    while (pattern && *pattern) {
        if (StartsWith(pattern, "<key>")) {
            output.Add(key);
            pattern += 5;
        } else if (StartsWith(pattern, "<dll>")) {
            output.Add("REG_SZ(").Number(lstrlenA(dll) + 1).Add("):").Add(dll);
            pattern += 5;
        } else {
            output.Add(pattern++, 1);
        }
    }
    return !output.full;
}
