// Helpers for the registry script tests: run a script through the interpreter and read
// back what it wrote below HKCU\Software\PelimTest.
#pragma once

#include "comserver/ReplacementMap.h"
#include "comserver/ScriptInterpreter.h"

#include <windows.h>
#include <string>

inline HRESULT RunText(const std::string& text, BOOL doRegister, ReplacementMap* map = nullptr)
{
    ScriptInterpreter interpreter(map);
    return interpreter.RunScript(text.c_str(), doRegister);
}

// A script whose body runs in the block of HKCU\Software\PelimTest\<caseName>.
inline std::string UnderCase(const std::string& caseName, const std::string& body)
{
    return "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove PelimTest\r\n\t\t{\r\n"
           "\t\t\tNoRemove " +
        caseName + "\r\n\t\t\t{\r\n" + body + "\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";
}

inline std::string CasePath(const std::string& caseName, const std::string& sub = "")
{
    std::string path = "Software\\PelimTest\\" + caseName;
    if (!sub.empty())
        path += "\\" + sub;
    return path;
}

inline bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline void MakeKey(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

inline void SetString(HKEY root, const std::string& path, const char* name, const std::string& data)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   DWORD(data.size() + 1));
    RegCloseKey(key);
}

struct RegValue {
    bool found = false;
    DWORD type = 0;
    std::string data; // raw bytes as stored (strings with their NUL)
};

inline RegValue ReadValue(HKEY root, const std::string& path, const char* name)
{
    RegValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    char buffer[16384];
    DWORD size = sizeof(buffer);
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS) {
        value.found = true;
        value.data.assign(buffer, size);
    }
    RegCloseKey(key);
    return value;
}

inline DWORD CountSubKeys(HKEY root, const std::string& path)
{
    HKEY key;
    DWORD count = 0;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

inline void DeleteTree(HKEY root, const std::string& path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}
