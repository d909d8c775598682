// UI robot: window searches with time limits, control texts, clicks and keys, message
// boxes read back as the user sees them, and screenshot requests to the host side.
#include "UiRobot.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

namespace UiRobot {

namespace {

const DWORD kPollMs = 20;

struct SearchState {
    const WindowQuery* query;
    std::vector<HWND>* found;
};

bool Matches(HWND window, const WindowQuery& query) {
    if (query.visibleOnly && !IsWindowVisible(window)) return false;
    if (query.processId != 0 || query.threadId != 0) {
        DWORD processId = 0;
        DWORD threadId = GetWindowThreadProcessId(window, &processId);
        if (query.processId != 0 && processId != query.processId) return false;
        if (query.threadId != 0 && threadId != query.threadId) return false;
    }
    if (query.owner != nullptr && GetWindow(window, GW_OWNER) != query.owner) return false;
    if (query.className != nullptr && WindowClass(window) != query.className) return false;
    if (query.caption != nullptr && WindowCaption(window) != query.caption) return false;
    return true;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    SearchState* state = reinterpret_cast<SearchState*>(parameter);
    if (Matches(window, *state->query)) state->found->push_back(window);
    return TRUE;
}

// Icons a message box may show, by the MB_ICON value that selects them.
struct IconKind {
    LPCSTR resource;
    UINT style;
};

const IconKind kIcons[] = {
    {IDI_HAND, MB_ICONHAND},
    {IDI_QUESTION, MB_ICONQUESTION},
    {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
    {IDI_ASTERISK, MB_ICONASTERISK},
};

// Button sets of a message box, by the ids shown left to right.
struct ButtonSet {
    int ids[3];
    UINT style;
};

const ButtonSet kButtonSets[] = {
    {{IDOK, 0, 0}, MB_OK},
    {{IDOK, IDCANCEL, 0}, MB_OKCANCEL},
    {{IDABORT, IDRETRY, IDIGNORE}, MB_ABORTRETRYIGNORE},
    {{IDYES, IDNO, IDCANCEL}, MB_YESNOCANCEL},
    {{IDYES, IDNO, 0}, MB_YESNO},
    {{IDRETRY, IDCANCEL, 0}, MB_RETRYCANCEL},
};

// Icon handles are not shared between processes, so the icon a box shows is told by its
// picture: the control's pixels on the screen against each candidate drawn on the same
// background. Returns the number of differing pixels, or -1 when nothing could be read.
int IconPictureDistance(HWND iconControl, HICON candidate) {
    RECT rect = {};
    GetWindowRect(iconControl, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 256 || height > 256) return -1;

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
        for (int i = 0; i < width * height; ++i) static_cast<DWORD*>(drawnBits)[i] = background;
        DrawIconEx(drawn, 0, 0, candidate, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        GdiFlush();
        distance = 0;
        for (int i = 0; i < width * height; ++i) {
            DWORD a = static_cast<DWORD*>(shownBits)[i] & 0xFFFFFF;
            DWORD b = static_cast<DWORD*>(drawnBits)[i] & 0xFFFFFF;
            if (a != b) ++distance;
        }
        SelectObject(shown, oldShown);
        SelectObject(drawn, oldDrawn);
    }
    if (shownBitmap != nullptr) DeleteObject(shownBitmap);
    if (drawnBitmap != nullptr) DeleteObject(drawnBitmap);
    DeleteDC(shown);
    DeleteDC(drawn);
    ReleaseDC(nullptr, screen);
    return distance;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
    return TRUE;
}

}  // namespace

WindowQuery AnyWindow() {
    WindowQuery query = {};
    return query;
}

WindowQuery DialogOfProcess(DWORD processId, const char* caption) {
    WindowQuery query = {};
    query.className = "#32770";
    query.caption = caption;
    query.processId = processId;
    query.visibleOnly = true;
    return query;
}

WindowQuery PopupMenuOfProcess(DWORD processId) {
    WindowQuery query = {};
    query.className = "#32768";
    query.processId = processId;
    query.visibleOnly = true;
    return query;
}

std::vector<HWND> FindWindows(const WindowQuery& query) {
    std::vector<HWND> found;
    SearchState state = {&query, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(query);
        if (!found.empty()) return found[0];
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(window) || !IsWindowVisible(window)) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

std::string WindowCaption(HWND window) {
    // GetWindowTextA reads a top-level window's caption without a message to its thread.
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string WindowClass(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

bool IsShown(HWND window) {
    return IsWindow(window) && (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL,
                             kSendTimeoutMs, &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

bool GetControlText(HWND control, std::string* text) {
    text->clear();
    if (!IsWindow(control)) return false;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs,
                             &length)) {
        return false;
    }
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL,
                             kSendTimeoutMs, &copied)) {
        return false;
    }
    text->assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
}

std::string ControlText(HWND dialog, int id) {
    std::string text;
    GetControlText(GetDlgItem(dialog, id), &text);
    return text;
}

bool SetControlText(HWND dialog, int id, const char* text) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                             SMTO_NORMAL, kSendTimeoutMs, &result)) {
        fprintf(stderr, "SetControlText %d: error %lu\n", id, GetLastError());
        return false;
    }
    if (result == 0) fprintf(stderr, "SetControlText %d: result 0\n", id);
    return result != 0;
}

std::wstring ControlTextW(HWND dialog, int id) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr ||
        !SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_NORMAL, kSendTimeoutMs, &copied)) {
        return L"";
    }
    return text;
}

bool SetControlTextW(HWND dialog, int id, const wchar_t* text) {
    HWND control = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control != nullptr &&
           SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                               SMTO_NORMAL, kSendTimeoutMs, &result) &&
           result != 0;
}

std::wstring WindowTextW(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

bool ClickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

bool PostCommand(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressKey(HWND window, UINT virtualKey) {
    UINT scanCode = MapVirtualKeyA(virtualKey, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, down) != 0 &&
           PostMessageA(window, WM_KEYUP, virtualKey, up) != 0;
}

bool PressChar(HWND window, char letter) {
    UINT virtualKey = static_cast<UINT>(VkKeyScanA(letter) & 0xFF);
    UINT scanCode = MapVirtualKeyA(virtualKey, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, down) != 0 &&
           PostMessageA(window, WM_CHAR, static_cast<BYTE>(letter), down) != 0 &&
           PostMessageA(window, WM_KEYUP, virtualKey, up) != 0;
}

bool CloseBox(HWND window) {
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

bool TypeChars(HWND control, const char* text) {
    if (!IsWindow(control)) return false;
    for (const char* c = text; *c != '\0'; ++c) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(control, WM_CHAR, static_cast<BYTE>(*c), 1, SMTO_NORMAL,
                                 kSendTimeoutMs, &result)) {
            return false;
        }
    }
    return true;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD threadId = GetWindowThreadProcessId(window, nullptr);
    if (threadId == 0 || !GetGUIThreadInfo(threadId, &info)) return nullptr;
    return info.hwndFocus;
}

bool WaitForFocus(HWND window, HWND control, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (FocusOf(window) == control) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

bool ReadMessageBox(HWND box, MessageBoxInfo* info) {
    info->window = box;
    info->owner = GetWindow(box, GW_OWNER);
    info->caption = WindowCaption(box);
    info->text.clear();
    info->buttons.clear();
    info->style = 0;
    if (!IsWindow(box)) return false;

    std::vector<HWND> children;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    HWND iconControl = nullptr;
    std::vector<std::pair<LONG, int>> buttons;
    for (HWND child : children) {
        if (!IsShown(child)) continue;
        std::string cls = WindowClass(child);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        int id = GetDlgCtrlID(child);
        if (lstrcmpiA(cls.c_str(), "Button") == 0) {
            buttons.push_back(std::make_pair(WindowRect(child).left, id));
        } else if (lstrcmpiA(cls.c_str(), "Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                iconControl = child;
            } else if (id == 0xFFFF || info->text.empty()) {
                GetControlText(child, &info->text);
            }
        }
    }
    std::sort(buttons.begin(), buttons.end());
    for (auto& button : buttons) info->buttons.push_back(button.second);

    for (const ButtonSet& set : kButtonSets) {
        size_t count = 0;
        while (count < 3 && set.ids[count] != 0) ++count;
        if (count != info->buttons.size()) continue;
        bool same = true;
        for (size_t i = 0; i < count; ++i) same = same && set.ids[i] == info->buttons[i];
        if (same) {
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
            if (attempt > 0) Sleep(100);
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
    if (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) info->style |= MB_SYSTEMMODAL;
    return true;
}

HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs) {
    return WaitForWindow(DialogOfProcess(processId, caption), timeoutMs);
}

bool AnswerMessageBox(HWND box, int buttonId, DWORD timeoutMs) {
    if (!PostCommand(box, buttonId)) return false;
    return WaitForWindowGone(box, timeoutMs);
}

bool RequestScreenshot(const char* name, DWORD timeoutMs) {
    char folder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("PELIM_SHOT_DIR", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return false;
    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s\\watching", folder);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;

    char request[MAX_PATH * 2];
    snprintf(request, sizeof request, "%s\\%s.req", folder, name);
    HANDLE file = CreateFileA(request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
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

}  // namespace UiRobot
