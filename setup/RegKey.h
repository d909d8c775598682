// One open registry key with string reads and writes (and numbers written); the install flow reuses one object
// for the class key and the uninstall entry in turn.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

class RegKey {
public:
    HKEY key; // the open key; null when closed

    RegKey() : key(nullptr) {}
    ~RegKey() { Close(); }

    // How a key is opened: for reading, with full access, or created where missing (with
    // full access).
    enum Access { ReadAccess, WriteAccess, CreateAccess };

    // Closes what was open, then opens (or creates) the key. view adds KEY_WOW64_64KEY for the
    // 64-bit view, only ever under WoW64: older Windows refuse access bits they do not know.
    bool Open(HKEY rootKey, const char* path, Access access, REGSAM view = 0);
    void Close();

    // Reads a value of at most 500 bytes into out (cleared first). On failure out is empty,
    // except when no key is open: then out is not touched.
    bool ReadString(const char* name, StringBuffer& out);

    // Writes the text with its terminating zero as a REG_SZ value.
    bool WriteString(const char* name, const StringBuffer& value);
    // Writes a REG_DWORD value.
    bool WriteNumber(const char* name, DWORD value);

private:
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
};
