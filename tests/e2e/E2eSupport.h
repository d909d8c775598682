// Shared pieces of the end-to-end tests: a fresh scratch folder per case, real files, the
// drop host run as a child process, and the texts the user sees, written out literally.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>

#include "UiRobot.h"
#include "e2e/UserTexts.h"
#include "support/ChildProcess.h"

namespace e2e {

// Time limits: windows appear within kAppearMs, a whole drop ends within kDropMs.
const DWORD kAppearMs = 15000;
const DWORD kGoneMs = 5000;
const DWORD kDropMs = 30000;

// S:\e2e\<name>\, emptied and made afresh; ends in a backslash.
std::string CaseFolder(const std::string& name);
bool MakeFolder(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path); // "<missing>" when it cannot be read
// The same for names no code page carries (UTF-16 paths).
bool MakeFolder(const std::wstring& path);
bool WriteTextFile(const std::wstring& path, const std::string& content);
std::string ReadTextFile(const std::wstring& path);
std::vector<std::wstring> ListFolder(const std::wstring& folder);
bool Exists(const std::string& path);
bool IsFolderPath(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder); // names, sorted
// Removes a file or folder tree, only below the scratch roots S:\e2e and R:\e2e-*.
bool RemoveTree(const std::string& path);

std::wstring Wide(const std::string& text); // code page 932 to UTF-16

// The drop host as a child process: its report goes to a file, read when it has ended.
class DropHost {
public:
    DropHost() = default;
    // arguments: already quoted where needed, UTF-16 so that any path can be passed.
    bool Start(const std::wstring& arguments, const std::string& reportPath);
    // Waits for the host to end; ends it by force after timeoutMs and returns false.
    bool Finish(DWORD timeoutMs);
    bool HasLine(const std::string& line) const;
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

    std::string program = kDropHostPath; // another drop host (of the other bitness)
    const wchar_t* locale = nullptr; // LC_ALL of the host's Unix side, when given
    DWORD processId = 0;
    DWORD exitCode = 0;
    std::string report;

private:
    ChildProcess child_;
    std::string reportPath_;
    DropHost(const DropHost&) = delete;
    DropHost& operator=(const DropHost&) = delete;
};

// One command-line argument, quoted when it has to be.
std::wstring Quote(const std::wstring& argument);
// Command-line text for a drop of items onto folder through the DLL, with a pick.
std::wstring DropArguments(const char* pick, const std::string& folder,
                           const std::vector<std::string>& items);
std::wstring DropArguments(const char* pick, const std::wstring& folder,
                           const std::vector<std::wstring>& items);

// The rename dialog of the process (by caption), null after the time limit.
HWND WaitForRenameDialog(DWORD processId, bool move);

// The screen picture for the test's artifacts, when the host side watches (cheap, optional).
void Screenshot(const std::string& name);

// The fixture of the right-drops through the drop host: a fresh case folder with a
// source folder and a drop folder, named after the test.
class DropTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Starts a drop of item onto the target folder (or onto) with the given pick.
    bool StartDrop(const char* pick, const std::string& item, const std::string& onto = "");
    // Starts the drop and waits for its rename dialog.
    HWND Drop(const char* pick, const std::string& item, const std::string& onto = "");
    // The same for an item and a drop folder that no code page may carry.
    HWND Drop(const char* pick, const std::wstring& item, const std::wstring& onto);
    // From here on the drops go through the drop host under a name of its own that the
    // prefix's AppDefaults make Windows 98: the older family's ANSI road.
    void UseWindows98Host();
    // Confirms with OK and waits until the dialog is gone.
    void Confirm(HWND dialog);
    // The host has ended on its own, InvokeCommand said S_OK and its transfers are done.
    void ExpectDropEnded();

    std::string folder;
    std::string source;
    std::string target; // no trailing backslash, as the shell gives a drop folder
    DropHost host;
};

// Puts the mouse pointer at x, y and sees that it stays there.
bool PlacePointer(int x, int y);
// A message box of the host process, read back; fails the test when none appears.
UiRobot::MessageBoxInfo ExpectMessageBox(DWORD processId, const char* caption);
// The extension box's limit, in characters.
int ExtensionLimit(HWND dialog);

// Each refusal comes as a message owned by the dialog, which stays open with the focus
// back in the name box.
void ExpectRefusals(HWND dialog, DWORD processId, const std::vector<Refusal>& refusals);

} // namespace e2e
