// Shared pieces of the install and uninstall tests: the distribution copy the setup program
// starts from, the setup process and its windows, registry and file checks, and the texts
// the user sees, written out literally (those the end-to-end tests check too come from
// UserTexts.h).
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "UiRobot.h"

namespace install {

using e2e::kClassKey;
using e2e::kWarningCaption;

// The host script stages a pristine distribution in S:\dist-master\; every run of the
// setup program starts from a fresh copy in S:\dist\ (an installation removes its source).
const char kMasterFolder[] = "S:\\dist-master\\";
const char kDistFolder[] = "S:\\dist\\";
const char kDistSetup[] = "S:\\dist\\setup.exe";

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PELIM";
const char kPendingKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kHandlerKey[] = "Folder\\shellex\\DragDropHandlers\\pelim";

const char kInstallerCaption[] = "PELIM インストーラー";
const char kCompletionCaption[] = "PELIM";
const char kUninstallerCaption[] = "PELIM アンインストーラー";
const char kVersionQuestion[] =
    "既にインストールされているバージョンよりも\n同じか,古いバージョンをインストールしようとしています.\n"
    "インストールを続けますか？";
const char kCompletedText[] = "インストールが完了しました！";
const char kLogoffQuestion[] =
    "インストールが完了しました！\r\n最新の状態にアップデートするにはログオフが必要です.\r\n今すぐログオフしますか？";
const char kRestartQuestion[] =
    "インストールが完了しました！\r\n最新の状態にアップデートするには再起動が必要です.\r\n今すぐ再起動しますか？";
const char kInstallFolderFailed[] =
    "指定されたフォルダへのインストールに失敗しました.\nインストールを中止します.";
const char kExtensionFolderFailed[] =
    "シェルエクステンションフォルダの作成に失敗しました.\nインストールを中止します.";
const char kDllFailed[] = "DLLのインストールに失敗しました.\nインストールを中止します.";
const char kEmptyFolderText[] = "インストールフォルダを入力してください！";
const char kUninstallQuestion[] = "PELIMのアンインストールを開始します.\nよろしいですか？";
const char kUninstallFinished[] = "PELIMのアンインストールは正常に終了しました.";

const UINT kNoticeStyle = MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL; // 0x1030
const UINT kQuestionStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_SYSTEMMODAL; // 0x1034

const DWORD kAppearMs = 20000;
const DWORD kEndMs = 30000;

std::string SystemFolder(); // C:\windows\system32\ in the test prefix
std::string ExtensionFolder(); // SystemFolder() + "ShellExt\"
std::string ProgramFilesPelim(); // C:\Program Files\pelim\ in the test prefix

// Files.
bool Exists(const std::string& path);
bool CopyDist(const std::string& folder = kDistFolder); // the master copied into folder
bool WriteFile(const std::string& path, const std::string& content);
std::vector<std::string> List(const std::string& folder); // names, sorted
bool RemoveTree(const std::string& path); // only below S:\ or C:\Program Files

// Registry: the 64-bit view, as the 64-bit setup program sees it, or with view
// KEY_WOW64_32KEY the 32-bit one.
bool KeyExists(HKEY root, const char* key, REGSAM view = 0);
std::string Value(HKEY root, const char* key, const char* name, DWORD* type = nullptr,
                  REGSAM view = 0); // "<none>"
DWORD ValueSize(HKEY root, const char* key, const char* name);
DWORD Number(HKEY root, const char* key, const char* name, REGSAM view = 0); // REG_DWORD; ~0u

bool SetValue(HKEY root, const char* key, const char* name, const std::string& data);
bool DeleteKeyTree(HKEY root, const char* key);
std::string PendingDeletions(); // PendingFileRenameOperations, entries joined by '|'

// A program started by the test in S:\, its windows found by its process id.
class Process : public ChildProcess {
public:
    bool Start(const std::string& application, const std::string& commandLine);
};

// Runs a command line that must show nothing, watching the screen until it has ended and
// then settleMs more. Returns what appeared ("class \"caption\"" a line): every window
// that became visible meanwhile, of any process. exitCode gets the program's exit code
// (99 when it had to be ended after kEndMs).
std::string RunUnseen(const std::string& commandLine, DWORD* exitCode, DWORD settleMs = 500);

// Starts the holder program (the install_holder of one bitness) keeping dll loaded for a
// minute; true once it has loaded it.
bool HoldDll(Process& holder, const std::string& program, const std::string& dll);

// The install folder dialog of a process (a dialog with edit box 1000), null after the limit.
HWND WaitForFolderDialog(DWORD processId);
// A message box with the given caption, read back; empty info when none appears in time.
UiRobot::MessageBoxInfo ExpectBox(DWORD processId, const char* caption);
// Answers the box just read.
bool Answer(const UiRobot::MessageBoxInfo& box, int buttonId);
// Answers the box just read and returns the exit code of the process that showed it (such
// as the uninstallation's copy, which the test did not start); 99 when it does not end.
DWORD AnswerAndWaitForItsProcess(const UiRobot::MessageBoxInfo& box, int buttonId);

// The read-me window the installation opened: its text, and the window closed. Empty when
// none appeared.
std::string TakeReadmeWindow();
// True when no read-me window turns up within the time.
bool NoReadmeWindow(DWORD ms);

// A whole installation with the dialog confirmed: optionally a folder typed in first; with
// forThisUser, the question whether to install for this user alone comes first and is
// answered yes. Checks the plain completion message and closes the read-me window. Returns
// the proposal.
std::string InstallAccepting(const std::string& folder = "", bool forThisUser = false);

// The drop host (or another one, such as the 32-bit host) through the registry's handler
// key: copies item into folder under the new name. Returns the host's report.
std::string RegistryDrop(const std::string& folder, const std::string& item,
                         const std::string& newName, bool* renamed,
                         const char* hostProgram = e2e::kDropHostPath);

} // namespace install
