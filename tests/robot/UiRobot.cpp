// UI robot: window searches with time limits, control texts, clicks and keys, message
// boxes read back as the user sees them, and screenshot requests to the host side.
#include "UiRobot.h"

namespace UiRobot {

namespace {

const DWORD kPollMs = 20;

struct SearchState {
    const WindowQuery* query;
    WindowList* found;
};

bool Matches(HWND window, const WindowQuery& query)
{
    if (query.visibleOnly && !IsWindowVisible(window))
        return false;
    if (query.processId != 0 || query.threadId != 0) {
        DWORD processId = 0;
        DWORD threadId = GetWindowThreadProcessId(window, &processId);
        if (query.processId != 0 && processId != query.processId)
            return false;
        if (query.threadId != 0 && threadId != query.threadId)
            return false;
    }
    if (query.owner != nullptr && GetWindow(window, GW_OWNER) != query.owner)
        return false;
    if (query.className != nullptr && !(WindowClass(window) == query.className))
        return false;
    if (query.caption != nullptr && !(WindowCaption(window) == query.caption))
        return false;
    return true;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    SearchState* state = reinterpret_cast<SearchState*>(parameter);
    if (Matches(window, *state->query))
        state->found->Add(window);
    return TRUE;
}

// Icons a message box may show, by the MB_ICON value that selects them.
struct IconKind {
    LPCSTR resource;
    UINT style;
};

const IconKind kIcons[] = {
    { IDI_HAND, MB_ICONHAND },
    { IDI_QUESTION, MB_ICONQUESTION },
    { IDI_EXCLAMATION, MB_ICONEXCLAMATION },
    { IDI_ASTERISK, MB_ICONASTERISK },
};

// Button sets of a message box, by the ids shown left to right.
struct ButtonSet {
    int ids[3];
    UINT style;
};

const ButtonSet kButtonSets[] = {
    { { IDOK, 0, 0 }, MB_OK },
    { { IDOK, IDCANCEL, 0 }, MB_OKCANCEL },
    { { IDABORT, IDRETRY, IDIGNORE }, MB_ABORTRETRYIGNORE },
    { { IDYES, IDNO, IDCANCEL }, MB_YESNOCANCEL },
    { { IDYES, IDNO, 0 }, MB_YESNO },
    { { IDRETRY, IDCANCEL, 0 }, MB_RETRYCANCEL },
};

// Icon handles are not shared between processes, so the icon a box shows is told by its
// picture: the control's pixels on the screen against each candidate drawn on the same
// background. Returns the number of differing pixels, or -1 when nothing could be read.
int IconPictureDistance(HWND iconControl, HICON candidate)
{
    RECT rect = {};
    GetWindowRect(iconControl, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 256 || height > 256)
        return -1;

    HDC screen = GetDC(nullptr);
    HDC shown = CreateCompatibleDC(screen);
    HDC drawn = CreateCompatibleDC(screen);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* shownBits = nullptr;
    void* drawnBits = nullptr;
    HBITMAP shownBitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &shownBits, nullptr, 0);
    HBITMAP drawnBitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &drawnBits, nullptr, 0);
    int distance = -1;
    if (shownBitmap != nullptr && drawnBitmap != nullptr) {
        HGDIOBJ oldShown = SelectObject(shown, shownBitmap);
        HGDIOBJ oldDrawn = SelectObject(drawn, drawnBitmap);
        BitBlt(shown, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        DWORD background = static_cast<DWORD*>(shownBits)[0];
        for (int i = 0; i < width * height; ++i)
            static_cast<DWORD*>(drawnBits)[i] = background;
        DrawIconEx(drawn, 0, 0, candidate, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        GdiFlush();
        distance = 0;
        for (int i = 0; i < width * height; ++i) {
            DWORD a = static_cast<DWORD*>(shownBits)[i] & 0xFFFFFF;
            DWORD b = static_cast<DWORD*>(drawnBits)[i] & 0xFFFFFF;
            if (a != b)
                ++distance;
        }
        SelectObject(shown, oldShown);
        SelectObject(drawn, oldDrawn);
    }
    if (shownBitmap != nullptr)
        DeleteObject(shownBitmap);
    if (drawnBitmap != nullptr)
        DeleteObject(drawnBitmap);
    DeleteDC(shown);
    DeleteDC(drawn);
    ReleaseDC(nullptr, screen);
    return distance;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter)
{
    reinterpret_cast<WindowList*>(parameter)->Add(child);
    return TRUE;
}

} // namespace

ButtonList Buttons(int first, int second, int third)
{
    ButtonList buttons = {};
    const int ids[] = { first, second, third };
    for (int id : ids) {
        if (id != 0)
            buttons.Add(id);
    }
    return buttons;
}

WindowQuery AnyWindow()
{
    WindowQuery query = {};
    return query;
}

WindowQuery DialogOfProcess(DWORD processId, const char* caption)
{
    WindowQuery query = {};
    query.className = "#32770";
    query.caption = caption;
    query.processId = processId;
    query.visibleOnly = true;
    return query;
}

WindowQuery PopupMenuOfProcess(DWORD processId)
{
    WindowQuery query = {};
    query.className = "#32768";
    query.processId = processId;
    query.visibleOnly = true;
    return query;
}

WindowList FindWindows(const WindowQuery& query)
{
    WindowList found = {};
    SearchState state = { &query, &found };
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        WindowList found = FindWindows(query);
        if (!found.empty())
            return found[0];
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(window) || !IsWindowVisible(window))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

Text WindowCaption(HWND window)
{
    // GetWindowTextA reads a top-level window's caption without a message to its thread.
    Text text;
    GetWindowTextA(window, text.chars, Text::kSize);
    return text;
}

Text WindowClass(HWND window)
{
    Text name;
    GetClassNameA(window, name.chars, Text::kSize);
    return name;
}

RECT WindowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

bool IsShown(HWND window)
{
    return IsWindow(window) && (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs,
                             &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

bool GetControlText(HWND control, Text* text)
{
    return GetControlText(control, text->chars, Text::kSize);
}

bool GetControlText(HWND control, char* text, int size)
{
    text[0] = '\0';
    DWORD_PTR copied = 0;
    if (!IsWindow(control) ||
        !SendMessageTimeoutA(control, WM_GETTEXT, size, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             kSendTimeoutMs, &copied)) {
        text[0] = '\0';
        return false;
    }
    text[size - 1] = '\0';
    return true;
}

Text ControlText(HWND dialog, int id)
{
    Text text;
    GetControlText(GetDlgItem(dialog, id), &text);
    return text;
}

bool SetControlText(HWND dialog, int id, const char* text)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr)
        return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                               kSendTimeoutMs, &result) &&
        result != 0;
}

WideText ControlTextW(HWND dialog, int id)
{
    WideText text;
    DWORD_PTR copied = 0;
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr ||
        !SendMessageTimeoutW(control, WM_GETTEXT, WideText::kSize,
                             reinterpret_cast<LPARAM>(text.chars), SMTO_NORMAL, kSendTimeoutMs,
                             &copied)) {
        text.chars[0] = L'\0';
    }
    text.chars[WideText::kSize - 1] = L'\0';
    return text;
}

bool SetControlTextW(HWND dialog, int id, const wchar_t* text)
{
    HWND control = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control != nullptr &&
        SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            kSendTimeoutMs, &result) &&
        result != 0;
}

WideText WindowTextW(HWND window)
{
    WideText text;
    GetWindowTextW(window, text.chars, WideText::kSize);
    return text;
}

bool ClickButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

bool PostCommand(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressKey(HWND window, UINT virtualKey)
{
    UINT scanCode = MapVirtualKeyA(virtualKey, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, down) != 0 &&
        PostMessageA(window, WM_KEYUP, virtualKey, up) != 0;
}

bool PressChar(HWND window, char letter)
{
    UINT virtualKey = static_cast<UINT>(VkKeyScanA(letter) & 0xFF);
    UINT scanCode = MapVirtualKeyA(virtualKey, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, down) != 0 &&
        PostMessageA(window, WM_CHAR, static_cast<BYTE>(letter), down) != 0 &&
        PostMessageA(window, WM_KEYUP, virtualKey, up) != 0;
}

bool CloseBox(HWND window)
{
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

bool TypeChars(HWND control, const char* text)
{
    if (!IsWindow(control))
        return false;
    for (const char* c = text; *c != '\0'; ++c) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(control, WM_CHAR, static_cast<BYTE>(*c), 1, SMTO_NORMAL,
                                 kSendTimeoutMs, &result)) {
            return false;
        }
    }
    return true;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD threadId = GetWindowThreadProcessId(window, nullptr);
    if (threadId == 0 || !GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

bool WaitForFocus(HWND window, HWND control, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (FocusOf(window) == control)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

bool ReadMessageBox(HWND box, MessageBoxInfo* info)
{
    info->window = box;
    info->owner = GetWindow(box, GW_OWNER);
    info->caption = WindowCaption(box);
    info->text = Text();
    info->buttons = ButtonList();
    info->style = 0;
    if (!IsWindow(box))
        return false;

    WindowList children = {};
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    HWND iconControl = nullptr;
    // The shown buttons, sorted by their left edge as they are found.
    HWND buttons[4] = {};
    int buttonCount = 0;
    for (HWND child : children) {
        if (!IsShown(child))
            continue;
        Text cls = WindowClass(child);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        int id = GetDlgCtrlID(child);
        if (lstrcmpiA(cls, "Button") == 0) {
            int i = buttonCount < 4 ? buttonCount++ : 3;
            for (; i > 0 && WindowRect(buttons[i - 1]).left > WindowRect(child).left; --i) {
                buttons[i] = buttons[i - 1];
            }
            buttons[i] = child;
        } else if (lstrcmpiA(cls, "Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                iconControl = child;
            } else if (id == 0xFFFF || info->text.empty()) {
                GetControlText(child, &info->text);
            }
        }
    }
    for (int i = 0; i < buttonCount; ++i)
        info->buttons.Add(GetDlgCtrlID(buttons[i]));

    for (const ButtonSet& set : kButtonSets) {
        if (Buttons(set.ids[0], set.ids[1], set.ids[2]) == info->buttons) {
            info->style |= set.style;
            break;
        }
    }
    // The closest picture wins when it differs in fewer than a tenth of the pixels.
    if (iconControl != nullptr) {
        RECT rect = WindowRect(iconControl);
        int best = (rect.right - rect.left) * (rect.bottom - rect.top) / 10;
        UINT bestStyle = 0;
        // A box that has just appeared may not be painted yet: look again for a while.
        for (int attempt = 0; attempt < 10 && bestStyle == 0; ++attempt) {
            if (attempt > 0)
                Sleep(100);
            SendWithTimeout(box, WM_NULL, 0, 0);
            for (const IconKind& icon : kIcons) {
                int distance = IconPictureDistance(iconControl, LoadIconA(nullptr, icon.resource));
                if (distance >= 0 && distance < best) {
                    best = distance;
                    bestStyle = icon.style;
                }
            }
        }
        info->style |= bestStyle;
    }
    if (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST)
        info->style |= MB_SYSTEMMODAL;
    return true;
}

HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitForWindow(DialogOfProcess(processId, caption), timeoutMs);
}

bool AnswerMessageBox(HWND box, int buttonId, DWORD timeoutMs)
{
    if (!PostCommand(box, buttonId))
        return false;
    return WaitForWindowGone(box, timeoutMs);
}

bool RequestScreenshot(const char* name, DWORD timeoutMs)
{
    char folder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("PELIM_SHOT_DIR", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return false;
    char path[MAX_PATH * 2];
    lstrcpyA(path, folder);
    lstrcatA(path, "\\watching");
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return false;

    char request[MAX_PATH * 2];
    lstrcpyA(request, folder);
    lstrcatA(request, "\\");
    lstrcpynA(request + lstrlenA(request), name, MAX_PATH);
    lstrcatA(request, ".req");
    HANDLE file = CreateFileA(request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    // The watcher takes the picture, then removes the request.
    DWORD start = GetTickCount();
    while (GetFileAttributesA(request) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= timeoutMs) {
            DeleteFileA(request);
            return false;
        }
        Sleep(50);
    }
    return true;
}

} // namespace UiRobot
