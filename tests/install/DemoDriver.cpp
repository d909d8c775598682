// Demo driver: walks through the installation and the right-drop renames, pausing at each
// screen while the host script takes a screenshot. With --interactive it clicks nothing and
// only waits (at most ten minutes per screen) for the person at the display. With
// --drophost32 it right-drops a second time through that (32-bit) drop host.
//   demo_driver [--interactive] [--drophost32 PATH]
// Expects the distribution in S:\dist\; works in S:\demo\. Prints one line per step and a
// summary line at the end; the exit code is 0 when the renamed copy is there.
#include <windows.h>
#include <stdio.h>

#include <string>

#include "UiRobot.h"
#include "ProductVersion.h"
#include "e2e/UserTexts.h"
#include "support/ChildProcess.h"

namespace {

const char kInstallerCaption[] = "PELIM インストーラー";
const char kCompletionCaption[] = "PELIM";
const char kSample[] = "S:\\demo\\見積書.txt";
const char kTarget[] = "S:\\demo\\送り先";
const char kTarget32[] = "S:\\demo\\送り先32";
const char kNewName[] = "見積書_最終版";
// A name from a Mac, outside code page 932: the wave dash U+301C.
const wchar_t kWideSample[] = L"S:\\demo\\4月\u301C6月.xlsx";
const wchar_t kWideTarget[] = L"S:\\demo\\送り先";

bool interactive = false;

DWORD Limit()
{
    return interactive ? 600000 : 30000;
}

void Step(const char* format, const char* text = "")
{
    printf(format, text);
    printf("\n");
    fflush(stdout);
}

void Shot(const char* name)
{
    Sleep(400); // let the window finish painting
    if (!UiRobot::RequestScreenshot(name, 15000))
        Step("screenshot %s not taken", name);
}

HWND WaitForDialogWithControl(DWORD processId, const char* caption, int control)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < Limit()) {
        for (HWND window : UiRobot::FindWindows(UiRobot::DialogOfProcess(processId, caption))) {
            if (GetDlgItem(window, control) != nullptr)
                return window;
        }
        Sleep(50);
    }
    return nullptr;
}

HWND WaitForMessageBoxOf(DWORD processId, const char* caption)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < Limit()) {
        for (HWND window : UiRobot::FindWindows(UiRobot::DialogOfProcess(processId, caption))) {
            if (GetDlgItem(window, 1000) == nullptr && UiRobot::IsShown(window))
                return window;
        }
        Sleep(50);
    }
    return nullptr;
}

// A program of the demo, started in S:\ with its output, if any, in a report file there.
bool StartProgram(ChildProcess& program, const std::string& commandLine,
                  const wchar_t* reportPath = nullptr)
{
    program.folder = L"S:\\";
    program.reportPath = reportPath;
    return program.Start(commandLine.c_str());
}

bool Install(std::string* installFolder)
{
    ChildProcess setup;
    if (!StartProgram(setup, "S:\\dist\\setup.exe"))
        return false;
    Step("setup.exe started from S:\\dist\\");
    HWND dialog = WaitForDialogWithControl(setup.id, kInstallerCaption, 1000);
    if (dialog == nullptr)
        return false;
    *installFolder = UiRobot::ControlText(dialog, 1000);
    Step("install folder dialog proposes %s", installFolder->c_str());
    Shot("1-install-folder-dialog");
    if (!interactive)
        UiRobot::ClickButton(dialog, IDOK);

    HWND done = WaitForMessageBoxOf(setup.id, kCompletionCaption);
    if (done == nullptr)
        return false;
    Step("completion message shown");
    Shot("2-completion-message");
    if (!interactive)
        UiRobot::AnswerMessageBox(done, IDOK, 10000);

    UiRobot::WindowQuery notepad = UiRobot::AnyWindow();
    notepad.className = "Notepad";
    notepad.visibleOnly = true;
    HWND readme = UiRobot::WaitForWindow(notepad, interactive ? Limit() : 15000);
    if (readme != nullptr) {
        Step("read-me opened");
        Shot("3-readme");
        if (!interactive)
            PostMessageA(readme, WM_CLOSE, 0, 0);
        UiRobot::WaitForWindowGone(readme, Limit());
    }
    setup.Finish(Limit());
    return true;
}

bool WriteSample()
{
    CreateDirectoryA("S:\\demo", nullptr);
    CreateDirectoryA(kTarget, nullptr);
    HANDLE file = CreateFileA(kSample, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const char text[] = "お見積り 一式 100,000円\r\n";
    DWORD written = 0;
    WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);
    return true;
}

// One right-drop of the sample onto target through the drop host program, with a picture
// of the drop menu and one of the rename dialog.
bool Drop(const std::string& program, const char* target, const char* menuShot,
          const char* dialogShot)
{
    if (!WriteSample())
        return false;
    CreateDirectoryA(target, nullptr);
    if (!interactive) {
        for (int i = 0; i < 20; ++i) {
            SetCursorPos(420, 300);
            Sleep(100);
            POINT point = {};
            if (GetCursorPos(&point) && point.x == 420 && point.y == 300)
                break;
        }
    }
    ChildProcess host;
    std::string commandLine =
        "\"" + program + "\" --registry --wait-ms 20000 \"" + target + "\" \"" + kSample + "\"";
    if (!StartProgram(host, commandLine, L"S:\\demo-drop.txt"))
        return false;
    Step("right-drop onto %s (drop host, registry road)", target);
    Step("  through %s", program.c_str());

    HWND menu = UiRobot::WaitForWindow(UiRobot::PopupMenuOfProcess(host.id), Limit());
    if (menu == nullptr) {
        host.Finish(0);
        return false;
    }
    Step("drop menu shown");
    Shot(menuShot);
    if (!interactive)
        UiRobot::PressChar(menu, 'g');

    HWND dialog =
        UiRobot::WaitForWindow(UiRobot::DialogOfProcess(host.id, e2e::kCopyCaption), Limit());
    if (dialog == nullptr) {
        host.Finish(0);
        return false;
    }
    if (!interactive)
        UiRobot::SetControlText(dialog, 201, kNewName);
    Step("rename dialog shown");
    Shot(dialogShot);
    if (!interactive)
        UiRobot::ClickButton(dialog, IDOK);
    UiRobot::WaitForWindowGone(dialog, Limit());
    host.Finish(30000);
    return true;
}

// A right-drop of a file whose name code page 932 cannot carry (a Mac's wave dash),
// picked "rename and copy" at once, with a picture of the rename dialog showing the name.
bool DropWideName()
{
    HANDLE file = CreateFileW(kWideSample, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    std::wstring line =
        std::wstring(L"\"P:\\drophost.exe\" --registry --pick copy --wait-ms 20000 \"") +
        kWideTarget + L"\" \"" + kWideSample + L"\"";
    ChildProcess host;
    host.folder = L"S:\\";
    host.reportPath = L"S:\\demo-drop-wide.txt";
    if (!host.Start(line.c_str()))
        return false;
    Step(
        "right-drop of 4月[U+301C wave dash]6月.xlsx, a name outside code page 932: rename and copy");
    HWND dialog =
        UiRobot::WaitForWindow(UiRobot::DialogOfProcess(host.id, e2e::kCopyCaption), Limit());
    if (dialog == nullptr) {
        host.Finish(0);
        return false;
    }
    bool exact = UiRobot::ControlTextW(dialog, 201) == L"4月\u301C6月";
    Step(exact ? "rename dialog shows the name with its wave dash"
               : "rename dialog shows another name");
    Shot("5c-rename-dialog-wave-dash");
    if (!interactive)
        UiRobot::ClickButton(dialog, IDOK);
    UiRobot::WaitForWindowGone(dialog, Limit());
    host.Finish(30000);
    std::wstring copy = std::wstring(kWideTarget) + L"\\4月\u301C6月.xlsx";
    return exact && GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Shows the drop folder in the file manager for the last picture.
void ShowResult()
{
    ChildProcess explorer;
    if (!StartProgram(explorer, std::string("explorer.exe \"") + kTarget + "\""))
        return;
    Sleep(3000);
    Shot("6-result");
    if (!interactive) {
        for (HWND window : UiRobot::FindWindows(UiRobot::AnyWindow())) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == explorer.id && UiRobot::IsShown(window))
                PostMessageA(window, WM_CLOSE, 0, 0);
        }
    }
    explorer.Finish(interactive ? Limit() : 5000);
}

// The name of the first .txt file in folder; empty when there is none.
std::string FirstText(const char* folder)
{
    WIN32_FIND_DATAA found;
    std::string pattern = std::string(folder) + "\\*.txt";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    std::string name = search != INVALID_HANDLE_VALUE ? found.cFileName : "";
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return name;
}

} // namespace

int main(int argc, char** argv)
{
    const char* dropHost32 = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpA(argv[i], "--interactive") == 0)
            interactive = true;
        if (lstrcmpA(argv[i], "--drophost32") == 0 && i + 1 < argc)
            dropHost32 = argv[++i];
    }
    std::string installFolder;
    if (!Install(&installFolder)) {
        Step("summary: the installation did not complete");
        return 1;
    }
    bool dropped = Drop("P:\\drophost.exe", kTarget, "4-drop-menu", "5-rename-dialog");
    std::string result = FirstText(kTarget);
    std::string result32;
    if (dropHost32 != nullptr) {
        dropped =
            Drop(dropHost32, kTarget32, "5a-drop-menu-32bit", "5b-rename-dialog-32bit") && dropped;
        result32 = FirstText(kTarget32);
    }
    bool wide = DropWideName();
    ShowResult();
    if (!dropped || !wide || result.empty() || (dropHost32 != nullptr && result32.empty())) {
        Step("summary: installed into %s, but the rename through the drop menu did not happen",
             installFolder.c_str());
        return 1;
    }
    std::string summary = "summary: pelim " PELIM_VERSION_TEXT " installed into " + installFolder +
        " and registered; " + "見積書.txt right-dropped onto S:\\demo\\送り先 and copied as " +
        result +
        (dropHost32 != nullptr ? ", and through the 32-bit drop host as " + result32 : "") +
        "; 4月[U+301C]6月.xlsx copied under its own name";
    Step("%s", summary.c_str());
    return 0;
}
