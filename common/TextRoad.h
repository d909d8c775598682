// The two roads of the extension's text. The ANSI road (code page bytes, double-byte
// characters stepped over) is the one the older family (95/98/Me) keeps; on the NT family
// the extension takes the wide road (UTF-16), so that every name the file system holds
// passes unchanged. The shared logic is written once for both character types; each
// platform call it makes has one thin overload per road here. The wide calls are looked
// up at run time: the older family lacks them or carries stubs that only fail.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include "common/CharWalk.h"

struct WideCalls {
    BOOL(WINAPI* SHGetPathFromIDListW)(PCIDLIST_ABSOLUTE, LPWSTR);
    int(WINAPI* SHFileOperationW)(LPSHFILEOPSTRUCTW);
    BOOL(WINAPI* InsertMenuW)(HMENU, UINT, UINT, UINT_PTR, LPCWSTR);
    INT_PTR(WINAPI* DialogBoxParamW)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
    UINT(WINAPI* GetDlgItemTextW)(HWND, int, LPWSTR, int);
    BOOL(WINAPI* SetDlgItemTextW)(HWND, int, LPCWSTR);
    BOOL(WINAPI* SetWindowTextW)(HWND, LPCWSTR);
    int(WINAPI* GetWindowTextLengthW)(HWND);
    int(WINAPI* MessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
    HANDLE(WINAPI* FindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
    DWORD(WINAPI* GetFileAttributesW)(LPCWSTR);
};

extern WideCalls wideCalls;

// True on the NT family (platform id VER_PLATFORM_WIN32_NT) once every wide call has been
// found: the extension then takes the wide road. Decided once per process.
bool UseWideRoad();

// A text of the system's own, held as code page 932 bytes, in the road's characters. The
// wide road converts it from code page 932 itself, not from the ANSI code page, so that
// it reads right on a Windows whose ANSI code page is another.
template <class Char>
class SystemText;

template <>
class SystemText<char> {
public:
    explicit SystemText(const char* cp932) : text(cp932) {}
    const char* text;
};

template <>
class SystemText<wchar_t> {
public:
    explicit SystemText(const char* cp932);
    const wchar_t* text;

private:
    wchar_t buffer[256];
    SystemText(const SystemText&) = delete;
    SystemText& operator=(const SystemText&) = delete;
};

// ---- the platform calls, one overload per road ----

inline HANDLE FindFirstFileT(const char* path, WIN32_FIND_DATAA* found)
{
    return FindFirstFileA(path, found);
}

inline HANDLE FindFirstFileT(const wchar_t* path, WIN32_FIND_DATAW* found)
{
    return wideCalls.FindFirstFileW(path, found);
}

inline DWORD GetFileAttributesT(const char* path)
{
    return GetFileAttributesA(path);
}

inline DWORD GetFileAttributesT(const wchar_t* path)
{
    return wideCalls.GetFileAttributesW(path);
}

inline UINT DragQueryFileT(HDROP drop, UINT index, char* path, UINT size)
{
    return DragQueryFileA(drop, index, path, size);
}

inline UINT DragQueryFileT(HDROP drop, UINT index, wchar_t* path, UINT size)
{
    return DragQueryFileW(drop, index, path, size);
}

inline BOOL SHGetPathFromIDListT(PCIDLIST_ABSOLUTE folder, char* path)
{
    return SHGetPathFromIDListA(folder, path);
}

inline BOOL SHGetPathFromIDListT(PCIDLIST_ABSOLUTE folder, wchar_t* path)
{
    return wideCalls.SHGetPathFromIDListW(folder, path);
}

inline int SHFileOperationT(SHFILEOPSTRUCTA* operation)
{
    return SHFileOperationA(operation);
}

inline int SHFileOperationT(SHFILEOPSTRUCTW* operation)
{
    return wideCalls.SHFileOperationW(operation);
}

inline BOOL InsertMenuT(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text)
{
    return InsertMenuA(menu, position, flags, id, text);
}

inline BOOL InsertMenuT(HMENU menu, UINT position, UINT flags, UINT_PTR id, const wchar_t* text)
{
    return wideCalls.InsertMenuW(menu, position, flags, id, text);
}

inline UINT GetDlgItemTextT(HWND dialog, int id, char* text, int size)
{
    return GetDlgItemTextA(dialog, id, text, size);
}

inline UINT GetDlgItemTextT(HWND dialog, int id, wchar_t* text, int size)
{
    return wideCalls.GetDlgItemTextW(dialog, id, text, size);
}

inline BOOL SetDlgItemTextT(HWND dialog, int id, const char* text)
{
    return SetDlgItemTextA(dialog, id, text);
}

inline BOOL SetDlgItemTextT(HWND dialog, int id, const wchar_t* text)
{
    return wideCalls.SetDlgItemTextW(dialog, id, text);
}

inline BOOL SetWindowTextT(HWND window, const char* text)
{
    return SetWindowTextA(window, text);
}

inline BOOL SetWindowTextT(HWND window, const wchar_t* text)
{
    return wideCalls.SetWindowTextW(window, text);
}

inline int MessageBoxT(HWND owner, const char* text, const char* caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

inline int MessageBoxT(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style)
{
    return wideCalls.MessageBoxW(owner, text, caption, style);
}

// Calls that take no text: the road is named by the character type.
template <class Char>
INT_PTR DialogBoxParamT(HINSTANCE, int, HWND, DLGPROC, LPARAM);
template <class Char>
int GetWindowTextLengthT(HWND window);

template <>
inline INT_PTR DialogBoxParamT<char>(HINSTANCE instance, int id, HWND owner, DLGPROC procedure,
                                     LPARAM parameter)
{
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(id), owner, procedure, parameter);
}

template <>
inline INT_PTR DialogBoxParamT<wchar_t>(HINSTANCE instance, int id, HWND owner, DLGPROC procedure,
                                        LPARAM parameter)
{
    return wideCalls.DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner, procedure, parameter);
}

template <>
inline int GetWindowTextLengthT<char>(HWND window)
{
    return GetWindowTextLengthA(window);
}

template <>
inline int GetWindowTextLengthT<wchar_t>(HWND window)
{
    return wideCalls.GetWindowTextLengthW(window);
}
