// Shared pieces of the end-to-end tests: a fresh scratch folder per case, real files, the
// drop host run as a child process, and the texts the user sees, written out literally.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace e2e {

const char kDllPath[] = "P:\\pelim102.dll";
const char kDropHostPath[] = "P:\\drophost.exe";

// Dialog 201 and its controls.
const int kNameBox = 201;
const int kExtensionBox = 202;
const int kDot = 203;

const char kCopyCaption[] = "名前を変更してコピー";
const char kMoveCaption[] = "名前を変更して移動";
const char kCopyButton[] = "コピー(&C)";
const char kMoveButton[] = "移動(&M)";
const char kCancelButton[] = "ｷｬﾝｾﾙ(&Q)";
const char kErrorCaption[] = "エラー";
const char kEmptyNameText[] = "変更後の名前を入力してください！";
const char kWarningCaption[] = "警告";
const char kFolderExistsText[] =
    "入力したフォルダ名前は既に存在します！\n"
    "フォルダに対して、名前を変えての上書き移動／コピーは出来ません。\n"
    "別の名前を指定してください。";
const char kReplaceCaption[] = "ファイルの上書きの確認";

// Time limits: windows appear within kAppearMs, a whole drop ends within kDropMs.
const DWORD kAppearMs = 15000;
const DWORD kGoneMs = 5000;
const DWORD kDropMs = 30000;

// S:\e2e\<name>\, emptied and made afresh; ends in a backslash.
std::string CaseFolder(const std::string& name);
bool MakeFolder(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);   // "<missing>" when it cannot be read
bool Exists(const std::string& path);
bool IsFolderPath(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder);   // names, sorted
// Removes a file or folder tree, only below the scratch roots S:\e2e and R:\e2e-*.
bool RemoveTree(const std::string& path);

std::wstring Wide(const std::string& text);          // code page 932 to UTF-16

// The drop host as a child process: its report goes to a file, read when it has ended.
class DropHost {
public:
    DropHost() = default;
    ~DropHost();
    // arguments: already quoted where needed, UTF-16 so that any path can be passed.
    bool Start(const std::wstring& arguments, const std::string& reportPath);
    // Waits for the host to end; ends it by force after timeoutMs and returns false.
    bool Finish(DWORD timeoutMs);
    bool HasLine(const std::string& line) const;
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

    std::string program = kDropHostPath;   // another drop host (of the other bitness)
    DWORD processId = 0;
    DWORD exitCode = 0;
    std::string report;

private:
    PROCESS_INFORMATION process_ = {};
    std::string reportPath_;
    DropHost(const DropHost&) = delete;
    DropHost& operator=(const DropHost&) = delete;
};

// One command-line argument, quoted when it has to be.
std::wstring Quote(const std::wstring& argument);
// Command-line text for a drop of items onto folder through the DLL, with a pick.
std::wstring DropArguments(const char* pick, const std::string& folder,
                           const std::vector<std::string>& items);

// The rename dialog of the process (by caption), null after the time limit.
HWND WaitForRenameDialog(DWORD processId, bool move);

// The screen picture for the test's artifacts, when the host side watches (cheap, optional).
void Screenshot(const std::string& name);

}  // namespace e2e
