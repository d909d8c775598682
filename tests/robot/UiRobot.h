// UI robot for the end-to-end tests and tools: finds the windows another thread or
// process shows, reads and fills their controls, clicks and presses keys. Texts are code
// page 932 bytes. Every wait has a time limit and ends in failure, never in a hang.
// It needs no C or C++ library (the ARM64 test programs have none): what it reads it hands
// back in buffers of its own, and it formats nothing with the printf family.
#pragma once

#include <windows.h>

namespace UiRobot {

// A text the robot read, held in place: code page 932 bytes (Text) or UTF-16 (WideText).
// It compares with a string literal or a C++ library string by its characters, and passes
// for a pointer to them.
template <typename Char>
class TextOf {
public:
    static const int kSize = 1024;
    TextOf() { chars[0] = 0; }
    TextOf(const Char* text) { Assign(text); }
    void Assign(const Char* text)
    {
        int i = 0;
        for (; text && text[i] && i < kSize - 1; ++i)
            chars[i] = text[i];
        chars[i] = 0;
    }
    const Char* c_str() const { return chars; }
    operator const Char*() const { return chars; }
    bool empty() const { return chars[0] == 0; }
    size_t size() const
    {
        size_t length = 0;
        while (chars[length])
            ++length;
        return length;
    }
    bool operator==(const Char* other) const
    {
        int i = 0;
        while (other && chars[i] && chars[i] == other[i])
            ++i;
        return other && chars[i] == other[i];
    }
    bool operator==(const TextOf& other) const { return *this == other.chars; }
    bool operator!=(const Char* other) const { return !(*this == other); }
    Char chars[kSize];
};

typedef TextOf<char> Text;
typedef TextOf<wchar_t> WideText;

template <typename Char>
bool operator==(const Char* a, const TextOf<Char>& b)
{
    return b == a;
}
template <typename Char>
bool operator!=(const Char* a, const TextOf<Char>& b)
{
    return !(b == a);
}
// A C++ library string (anything with c_str()) against a text the robot read.
template <typename String, typename Char>
auto operator==(const String& a, const TextOf<Char>& b) -> decltype(a.c_str(), bool())
{
    return b == a.c_str();
}
template <typename String, typename Char>
auto operator!=(const String& a, const TextOf<Char>& b) -> decltype(a.c_str(), bool())
{
    return !(b == a.c_str());
}

// A short list held in place: the windows a search found, the buttons a box shows.
template <typename Item, int Room>
struct ListOf {
    Item items[Room];
    int count;
    size_t size() const { return static_cast<size_t>(count); }
    bool empty() const { return count == 0; }
    const Item* begin() const { return items; }
    const Item* end() const { return items + count; }
    Item operator[](int i) const { return items[i]; }
    void Add(Item item)
    {
        if (count < Room)
            items[count++] = item;
    }
    bool operator==(const ListOf& other) const
    {
        bool same = count == other.count;
        for (int i = 0; same && i < count; ++i)
            same = items[i] == other.items[i];
        return same;
    }
};

typedef ListOf<HWND, 1024> WindowList;
typedef ListOf<int, 4> ButtonList;
// The buttons a box should show, left to right: Buttons(IDYES, IDNO).
ButtonList Buttons(int first, int second = 0, int third = 0);

// Time a cross-thread message may take before the robot gives up on it.
const UINT kSendTimeoutMs = 10000;

// Which windows a search looks at. Zero or null members match anything.
struct WindowQuery {
    const char* className; // exact class name, e.g. "#32770"
    const char* caption; // exact caption bytes
    DWORD processId; // the window belongs to this process
    DWORD threadId; // the window belongs to this thread
    HWND owner; // the window is owned by this one
    bool visibleOnly; // only windows with WS_VISIBLE
};

WindowQuery AnyWindow();
WindowQuery DialogOfProcess(DWORD processId, const char* caption);
WindowQuery PopupMenuOfProcess(DWORD processId);

// Top-level windows matching the query, in z-order.
WindowList FindWindows(const WindowQuery& query);
// Waits until a top-level window matches; null after timeoutMs.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Waits until the window no longer exists (or is hidden); false after timeoutMs.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

Text WindowCaption(HWND window);
Text WindowClass(HWND window);
RECT WindowRect(HWND window); // screen coordinates
bool IsShown(HWND window); // exists and has WS_VISIBLE

// Control texts, read and written through messages that work across processes.
bool GetControlText(HWND control, Text* text);
bool GetControlText(HWND control, char* text, int size); // for longer texts
Text ControlText(HWND dialog, int id); // empty when it cannot be read
bool SetControlText(HWND dialog, int id, const char* text);
// The same in UTF-16, for names no code page carries; and a window's own text.
WideText ControlTextW(HWND dialog, int id);
bool SetControlTextW(HWND dialog, int id, const wchar_t* text);
WideText WindowTextW(HWND window);
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Clicks and keys are posted, so the robot never waits on a modal loop the click opens.
bool ClickButton(HWND dialog, int id); // BM_CLICK to the button
bool PostCommand(HWND dialog, int id); // WM_COMMAND as a button would send it
bool PressKey(HWND window, UINT virtualKey); // key down and up to the window
bool PressChar(HWND window, char letter); // a letter key with its character, e.g. a
    // menu's or a button's accelerator
bool CloseBox(HWND window); // the caption's close box (SC_CLOSE)

// Types characters into a control one WM_CHAR at a time, as the keyboard would; the
// control's own limits apply. Single-byte characters only.
bool TypeChars(HWND control, const char* text);

// The window that has the keyboard focus in the thread that owns the given window.
HWND FocusOf(HWND window);
// Waits until the focus in the window's thread is on control; false after timeoutMs.
bool WaitForFocus(HWND window, HWND control, DWORD timeoutMs);

// A message box as the user sees it. style is put together from what is shown: the
// button set (MB_OK ...), the icon (MB_ICONEXCLAMATION ...) and MB_SYSTEMMODAL when the
// box stays on top.
struct MessageBoxInfo {
    HWND window;
    HWND owner;
    Text caption;
    Text text;
    ButtonList buttons; // ids of the shown buttons, left to right
    UINT style;
};

bool ReadMessageBox(HWND box, MessageBoxInfo* info);
// Waits for a message box of the process with the given caption (any when null).
HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs);
// Answers a box with the button of that id and waits until it is gone.
bool AnswerMessageBox(HWND box, int buttonId, DWORD timeoutMs);

// Asks the host side for a screenshot of the whole screen (the test script watches a
// request folder given by PELIM_SHOT_DIR). False when nobody is watching or it took too long.
bool RequestScreenshot(const char* name, DWORD timeoutMs);

} // namespace UiRobot
