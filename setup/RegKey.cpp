// One open registry key with string reads and writes through the ANSI registry calls.
#include "setup/RegKey.h"

bool RegKey::Open(HKEY rootKey, const char* path, Access access, REGSAM view)
{
    Close();
    HKEY opened = nullptr;
    LONG result;
    if (access == CreateAccess) {
        DWORD disposition = 0;
        result = RegCreateKeyExA(rootKey, path, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS | view, nullptr, &opened, &disposition);
    } else {
        result = RegOpenKeyExA(rootKey, path, 0,
                               (access == WriteAccess ? KEY_ALL_ACCESS : KEY_READ) | view, &opened);
    }
    if (result != ERROR_SUCCESS)
        return false;
    key = opened;
    return true;
}

void RegKey::Close()
{
    if (key != nullptr) {
        RegCloseKey(key);
        key = nullptr;
    }
}

bool RegKey::ReadString(const char* name, StringBuffer& out)
{
    if (key == nullptr)
        return false;
    if (!out.Reserve(500))
        return false;
    DWORD type = REG_SZ;
    DWORD size = 500;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out.data), &size);
    if (result == ERROR_SUCCESS)
        return true;
    // A value that did not fit may have left part of itself behind.
    out.Reserve(500);
    return false;
}

bool RegKey::WriteString(const char* name, const StringBuffer& value)
{
    if (key == nullptr)
        return false;
    const char* text = value.data != nullptr ? value.data : "";
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          lstrlenA(text) + 1) == ERROR_SUCCESS;
}

bool RegKey::WriteNumber(const char* name, DWORD value)
{
    return key != nullptr &&
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value)) == ERROR_SUCCESS;
}
