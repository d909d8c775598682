// The rename dialog: splits the item's name into name and extension, names the operation
// in the caption and on the OK button, opens at the mouse pointer (inside the screen's
// work area), and on OK checks the entry and hands back the joined new name.
#include "ext/ChangeNameDialog.h"
#include "ext/resource.h"
#include "common/PathHelpers.h"
#include "common/TextRoad.h"
#include "UiTexts.h"


static const char forbiddenCharacters[] = "\\/:*?\"<>|";

// A refusal: the exclamation icon, and system-modal, so that it stays in front of every
// window until it is answered.
const UINT WarningStyle = MB_ICONEXCLAMATION | MB_SYSTEMMODAL;
const int MinimumExtensionLimit = 8;
const int NameLimit = 256;

namespace {

inline unsigned CharCode(char c)
{
    return static_cast<unsigned char>(c);
}

inline unsigned CharCode(wchar_t c)
{
    return c;
}

// Whether the first length characters of text are word, without regard to the case of
// ASCII letters.
template <class Char>
bool SameWord(const Char* text, const char* word, int length)
{
    for (int i = 0; i < length; ++i) {
        unsigned c = CharCode(text[i]);
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        if (c != static_cast<unsigned>(word[i]))
            return false;
    }
    return true;
}

// A device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9) is in every folder, with or without
// an extension after it. A dot is never the second byte of a double-byte character.
template <class Char>
bool IsDeviceName(const Char* name)
{
    int length = 0;
    while (name[length] != 0 && name[length] != '.')
        ++length;
    if (length == 3) {
        return SameWord(name, "CON", 3) || SameWord(name, "PRN", 3) || SameWord(name, "AUX", 3) ||
            SameWord(name, "NUL", 3);
    }
    return length == 4 && (SameWord(name, "COM", 3) || SameWord(name, "LPT", 3)) &&
        name[3] >= '1' && name[3] <= '9';
}

// The message for a new name no file can carry, or null when it can be used. The walk
// steps over double-byte characters: the second byte of 表 is 0x5C, of many others 0x7C.
template <class Char>
const char* NameFault(const Char* name)
{
    unsigned last = 0;
    for (const Char* p = name; *p != 0; p = NextChar(p)) {
        last = CharCode(*p);
        if (last < 0x20)
            return forbiddenCharacterText;
        for (const char* f = forbiddenCharacters; *f; ++f) {
            if (last == static_cast<unsigned>(*f))
                return forbiddenCharacterText;
        }
    }
    // Windows would drop a trailing dot or blank and store another name ("." and ".." too).
    if (last == '.' || last == ' ')
        return trailingDotText;
    if (IsDeviceName(name))
        return deviceNameText;
    return nullptr;
}

typedef HMONITOR(WINAPI* MonitorFromPointFunction)(POINT, DWORD);
typedef BOOL(WINAPI* GetMonitorInfoFunction)(HMONITOR, MONITORINFO*);

// The work area of the monitor under point (Windows 98 and 2000 on), else of the screen.
void WorkAreaAt(POINT point, RECT* area)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    MonitorFromPointFunction monitorFromPoint = reinterpret_cast<MonitorFromPointFunction>(
        reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
    GetMonitorInfoFunction getMonitorInfo = reinterpret_cast<GetMonitorInfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    if (monitorFromPoint && getMonitorInfo) {
        MONITORINFO info;
        info.cbSize = sizeof(info);
        HMONITOR monitor = monitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
        if (monitor && getMonitorInfo(monitor, &info)) {
            *area = info.rcWork;
            return;
        }
    }
    SystemParametersInfoA(SPI_GETWORKAREA, 0, area, 0);
}

// Puts the window's top-left corner at the pointer when the whole window fits there;
// otherwise moves it just far enough to lie inside the work area.
void PlaceAtPointer(HWND window)
{
    POINT cursor;
    GetCursorPos(&cursor);
    RECT area, frame;
    WorkAreaAt(cursor, &area);
    GetWindowRect(window, &frame);
    int x = cursor.x;
    int y = cursor.y;
    if (x + (frame.right - frame.left) > area.right)
        x = area.right - (frame.right - frame.left);
    if (y + (frame.bottom - frame.top) > area.bottom)
        y = area.bottom - (frame.bottom - frame.top);
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

} // namespace

template <class Char>
ChangeNameDialog<Char>::ChangeNameDialog()
    : instance(nullptr), parentWindow(nullptr), dialogWindow(nullptr), running(0), isMove(0),
      isFile(0)
{
}

template <class Char>
bool ChangeNameDialog<Char>::Run(HINSTANCE moduleInstance, HWND parent)
{
    if (running)
        return false;
    instance = moduleInstance;
    parentWindow = parent;
    running = 1;
    INT_PTR result = DialogBoxParamT<Char>(instance, IDD_CHANGENAME, parentWindow, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    running = 0;
    instance = nullptr;
    parentWindow = nullptr;
    dialogWindow = nullptr;
    return result == IDOK;
}

template <class Char>
void ChangeNameDialog<Char>::Reset()
{
    if (dialogWindow) {
        EndDialog(dialogWindow, IDCANCEL);
        dialogWindow = nullptr;
    }
    running = 0;
    instance = nullptr;
    parentWindow = nullptr;
    destinationFolder.Free();
    name.Free();
}

template <class Char>
INT_PTR CALLBACK ChangeNameDialog<Char>::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam)
{
    ChangeNameDialog* dialog =
        reinterpret_cast<ChangeNameDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        dialog = reinterpret_cast<ChangeNameDialog*>(lParam);
        return dialog ? dialog->OnInitDialog(window) : 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            return dialog ? dialog->OnOk() : 0;
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, IDCANCEL);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

template <class Char>
INT_PTR ChangeNameDialog<Char>::OnInitDialog(HWND window)
{
    dialogWindow = window;
    if (!isFile) {
        // A folder: one name box spanning both boxes; no dot, no extension box.
        RECT extensionRect, nameRect;
        GetWindowRect(GetDlgItem(window, IDC_EXTENSION), &extensionRect);
        GetWindowRect(GetDlgItem(window, IDC_NAME), &nameRect);
        SetWindowPos(GetDlgItem(window, IDC_NAME), nullptr, 0, 0,
                     extensionRect.right - nameRect.left, nameRect.bottom - nameRect.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        ShowWindow(GetDlgItem(window, IDC_DOT), SW_HIDE);
        ShowWindow(GetDlgItem(window, IDC_EXTENSION), SW_HIDE);
    } else {
        // A file: the text after the last dot goes to the extension box. A dot byte is
        // never the second byte of a double-byte character, so a backward search is safe.
        TextBuffer<Char> extension;
        int length = name.Length();
        int dot = length - 1;
        while (dot >= 0 && name.data[dot] != '.')
            --dot;
        if (dot >= 0) {
            if (dot < length - 1) {
                extension.Assign(name);
                extension.Erase(0, dot + 1);
            }
            name.Erase(dot, length - dot);
        }
        int extensionLength = extension.Length();
        int limit =
            extensionLength > MinimumExtensionLimit ? extensionLength : MinimumExtensionLimit;
        SendDlgItemMessageA(window, IDC_EXTENSION, EM_LIMITTEXT, limit, 0);
        if (!extension.IsEmpty())
            SetDlgItemTextT(window, IDC_EXTENSION, extension.data);
    }
    static const Char empty[1] = { 0 };
    SetDlgItemTextT(window, IDC_NAME, name.data ? name.data : empty);
    SetWindowTextT(window, SystemText<Char>(isMove ? moveCaption : copyCaption).text);
    SetDlgItemTextT(window, IDOK, SystemText<Char>(isMove ? moveButton : copyButton).text);
    PlaceAtPointer(window);
    return 1;
}

// A message owned by the dialog; the dialog stays open with the focus in the name box.
template <class Char>
void ChangeNameDialog<Char>::Refuse(const char* text, const char* caption)
{
    MessageBoxT(dialogWindow, SystemText<Char>(text).text, SystemText<Char>(caption).text,
                WarningStyle);
    SetFocus(GetDlgItem(dialogWindow, IDC_NAME));
}

template <class Char>
INT_PTR ChangeNameDialog<Char>::OnOk()
{
    TextBuffer<Char> entered;
    TextBuffer<Char> fullPath;
    if (!entered.Reserve(NameLimit))
        return 1;
    GetDlgItemTextT(dialogWindow, IDC_NAME, entered.data, NameLimit);
    if (entered.IsEmpty()) {
        Refuse(emptyNameText, errorCaption);
        return 1;
    }
    if (isFile) {
        TextBuffer<Char> extension;
        int length = GetWindowTextLengthT<Char>(GetDlgItem(dialogWindow, IDC_EXTENSION));
        if (length > 0 && extension.Reserve(length + 1)) {
            GetDlgItemTextT(dialogWindow, IDC_EXTENSION, extension.data, length + 1);
            if (!extension.IsEmpty()) {
                entered.AppendChar('.');
                entered.Append(extension);
            }
        }
    }
    const char* fault = entered.data ? NameFault(entered.data) : nullptr;
    if (fault) {
        Refuse(fault, errorCaption);
        return 1;
    }
    fullPath.Assign(destinationFolder);
    fullPath.Append(entered);
    if (!isFile && PathExists(fullPath.data)) {
        Refuse(folderExistsText, folderExistsCaption);
    } else {
        name.Assign(entered);
        EndDialog(dialogWindow, IDOK);
    }
    return 1;
}

template class ChangeNameDialog<char>;
template class ChangeNameDialog<wchar_t>;
