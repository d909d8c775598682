// UI robot for the end-to-end tests and tools: finds the windows another thread or
// process shows, reads and fills their controls, clicks and presses keys. Texts are code
// page 932 bytes. Every wait has a time limit and ends in failure, never in a hang.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace UiRobot {

// Time a cross-thread message may take before the robot gives up on it.
const UINT kSendTimeoutMs = 10000;

// Which windows a search looks at. Zero or null members match anything.
struct WindowQuery {
    const char* className;   // exact class name, e.g. "#32770"
    const char* caption;     // exact caption bytes
    DWORD processId;         // the window belongs to this process
    DWORD threadId;          // the window belongs to this thread
    HWND owner;              // the window is owned by this one
    bool visibleOnly;        // only windows with WS_VISIBLE
};

WindowQuery AnyWindow();
WindowQuery DialogOfProcess(DWORD processId, const char* caption);
WindowQuery PopupMenuOfProcess(DWORD processId);

// Top-level windows matching the query, in z-order.
std::vector<HWND> FindWindows(const WindowQuery& query);
// Waits until a top-level window matches; null after timeoutMs.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Waits until the window no longer exists (or is hidden); false after timeoutMs.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::string WindowCaption(HWND window);
std::string WindowClass(HWND window);
RECT WindowRect(HWND window);                   // screen coordinates
bool IsShown(HWND window);                      // exists and has WS_VISIBLE

// Control texts, read and written through messages that work across processes.
bool GetControlText(HWND control, std::string* text);
std::string ControlText(HWND dialog, int id);   // empty when it cannot be read
bool SetControlText(HWND dialog, int id, const char* text);
// The same in UTF-16, for names no code page carries; and a window's own text.
std::wstring ControlTextW(HWND dialog, int id);
bool SetControlTextW(HWND dialog, int id, const wchar_t* text);
std::wstring WindowTextW(HWND window);
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Clicks and keys are posted, so the robot never waits on a modal loop the click opens.
bool ClickButton(HWND dialog, int id);          // BM_CLICK to the button
bool PostCommand(HWND dialog, int id);          // WM_COMMAND as a button would send it
bool PressKey(HWND window, UINT virtualKey);    // key down and up to the window
bool PressChar(HWND window, char letter);       // a letter key with its character, e.g. a
                                                // menu's or a button's accelerator
bool CloseBox(HWND window);                     // the caption's close box (SC_CLOSE)

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
    std::string caption;
    std::string text;
    std::vector<int> buttons;                   // ids of the shown buttons, left to right
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

}  // namespace UiRobot
