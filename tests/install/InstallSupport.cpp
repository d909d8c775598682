// Shared pieces of the install and uninstall tests: distribution copies, the setup process
// and its windows, registry and file checks.
#include "InstallSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

#include "E2eSupport.h"
#include "ProductVersion.h"

namespace install {

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\";
}

std::string ExtensionFolder()
{
    return SystemFolder() + "ShellExt\\";
}

std::string ProgramFilesPelim()
{
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    return std::string(folder) + "\\pelim\\";
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyDist(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "pelim").c_str(), nullptr);
    std::string master = kMasterFolder;
    // The download adds the 64-bit DLL.
    if (Exists(master + "pelim\\x64\\" PELIM_DLL_NAME)) {
        CreateDirectoryA((folder + "pelim\\x64").c_str(), nullptr);
        if (!CopyFileA((master + "pelim\\x64\\" PELIM_DLL_NAME).c_str(),
                       (folder + "pelim\\x64\\" PELIM_DLL_NAME).c_str(), FALSE))
            return false;
    }
    return CopyFileA((master + "setup.exe").c_str(), (folder + "setup.exe").c_str(), FALSE) &&
        CopyFileA((master + "pelim\\readme.txt").c_str(), (folder + "pelim\\readme.txt").c_str(),
                  FALSE) &&
        CopyFileA((master + "pelim\\" PELIM_DLL_NAME).c_str(),
                  (folder + "pelim\\" PELIM_DLL_NAME).c_str(), FALSE);
}

bool WriteFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok =
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::vector<std::string> List(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool RemoveTree(const std::string& path)
{
    // Only scratch places of the test prefix, never anything else.
    if (path.compare(0, 3, "S:\\") != 0 && path.compare(0, 3, "R:\\") != 0 &&
        path.find("\\Program Files\\") == std::string::npos)
        return false;
    std::string folder = path;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileA(folder.c_str()) != 0;
    for (const std::string& name : List(folder + "\\"))
        RemoveTree(folder + "\\" + name);
    return RemoveDirectoryA(folder.c_str()) != 0;
}

bool KeyExists(HKEY root, const char* key, REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::string Value(HKEY root, const char* key, const char* name, DWORD* type, REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return "<none>";
    char data[2048] = {};
    DWORD size = sizeof data - 2;
    DWORD valueType = 0;
    LONG status =
        RegQueryValueExA(opened, name, nullptr, &valueType, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS)
        return "<none>";
    if (type != nullptr)
        *type = valueType;
    return data;
}

DWORD ValueSize(HKEY root, const char* key, const char* name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return 0;
    DWORD size = 0;
    RegQueryValueExA(opened, name, nullptr, nullptr, nullptr, &size);
    RegCloseKey(opened);
    return size;
}

DWORD Number(HKEY root, const char* key, const char* name, REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return ~0u;
    DWORD data = 0, size = sizeof data, type = 0;
    LONG status =
        RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS && type == REG_DWORD ? data : ~0u;
}

bool SetValue(HKEY root, const char* key, const char* name, const std::string& data)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG status =
        RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

bool DeleteKeyTree(HKEY root, const char* key)
{
    LONG status = RegDeleteTreeA(root, key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::string PendingDeletions()
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return "";
    std::vector<char> data(65536, '\0');
    DWORD size = static_cast<DWORD>(data.size() - 2);
    LONG status = RegQueryValueExA(opened, "PendingFileRenameOperations", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS)
        return "";
    std::string joined;
    for (const char* p = data.data(); p < data.data() + size; p += lstrlenA(p) + 1) {
        joined += p;
        joined += '|';
    }
    return joined;
}

bool Process::Start(const std::string& application, const std::string& commandLine)
{
    folder = L"S:\\";
    return ChildProcess::Start(commandLine.c_str(),
                               application.empty() ? nullptr : application.c_str());
}

static BOOL CALLBACK CollectShown(HWND window, LPARAM list)
{
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

static std::vector<HWND> ShownWindows()
{
    std::vector<HWND> shown;
    EnumWindows(CollectShown, reinterpret_cast<LPARAM>(&shown));
    std::sort(shown.begin(), shown.end());
    return shown;
}

std::string RunUnseen(const std::string& commandLine, DWORD* exitCode, DWORD settleMs)
{
    const std::vector<HWND> before = ShownWindows();
    std::vector<HWND> seen;
    std::string appeared;
    Process program;
    *exitCode = 99;
    if (!program.Start("", commandLine))
        return "<did not start: " + commandLine + ">";
    DWORD start = GetTickCount();
    DWORD endedAt = 0;
    bool ended = false;
    while (GetTickCount() - start < kEndMs && (!ended || GetTickCount() - endedAt < settleMs)) {
        if (!ended && WaitForSingleObject(program.handle, 0) == WAIT_OBJECT_0) {
            ended = true;
            endedAt = GetTickCount();
        }
        for (HWND window : ShownWindows()) {
            if (std::binary_search(before.begin(), before.end(), window) ||
                std::find(seen.begin(), seen.end(), window) != seen.end())
                continue;
            seen.push_back(window);
            appeared += std::string(UiRobot::WindowClass(window)) + " \"" +
                UiRobot::WindowCaption(window).c_str() + "\"\n";
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        Sleep(20);
    }
    program.Finish(0);
    *exitCode = ended ? program.exitCode : 99;
    return appeared;
}

bool HoldDll(Process& holder, const std::string& program, const std::string& dll)
{
    const char mark[] = "S:\\holding-dll.txt";
    DeleteFileA(mark);
    if (!holder.Start(program, "\"" + program + "\" hold-dll " + dll + " 60000"))
        return false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kAppearMs; Sleep(50)) {
        if (Exists(mark))
            return true;
        if (WaitForSingleObject(holder.handle, 0) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

HWND WaitForFolderDialog(DWORD processId)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kAppearMs) {
        for (HWND window :
             UiRobot::FindWindows(UiRobot::DialogOfProcess(processId, kInstallerCaption))) {
            if (GetDlgItem(window, 1000) != nullptr)
                return window;
        }
        Sleep(50);
    }
    return nullptr;
}

UiRobot::MessageBoxInfo ExpectBox(DWORD processId, const char* caption)
{
    UiRobot::MessageBoxInfo info = {};
    // The install folder dialog is a dialog of the same class and caption: skip it.
    HWND box = nullptr;
    for (DWORD start = GetTickCount(); box == nullptr && GetTickCount() - start < kAppearMs;
         Sleep(50)) {
        for (HWND window : UiRobot::FindWindows(UiRobot::DialogOfProcess(processId, caption))) {
            if (GetDlgItem(window, 1000) == nullptr && UiRobot::IsShown(window)) {
                box = window;
                break;
            }
        }
    }
    EXPECT_NE(nullptr, box) << "no message box \"" << caption << "\"";
    if (box != nullptr)
        UiRobot::ReadMessageBox(box, &info);
    return info;
}

bool Answer(const UiRobot::MessageBoxInfo& box, int buttonId)
{
    return box.window != nullptr && UiRobot::AnswerMessageBox(box.window, buttonId, kAppearMs);
}

DWORD AnswerAndWaitForItsProcess(const UiRobot::MessageBoxInfo& box, int buttonId)
{
    DWORD processId = 0;
    if (box.window != nullptr)
        GetWindowThreadProcessId(box.window, &processId);
    HANDLE process = processId != 0
        ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId)
        : nullptr;
    DWORD exitCode = 99;
    if (Answer(box, buttonId) && process != nullptr &&
        WaitForSingleObject(process, kEndMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &exitCode);
    if (process != nullptr)
        CloseHandle(process);
    return exitCode;
}

static HWND FindReadmeWindow(DWORD ms)
{
    UiRobot::WindowQuery query = UiRobot::AnyWindow();
    query.className = "Notepad";
    query.visibleOnly = true;
    return UiRobot::WaitForWindow(query, ms);
}

std::string TakeReadmeWindow()
{
    HWND window = FindReadmeWindow(kAppearMs);
    if (window == nullptr)
        return "";
    std::string text(65536, '\0');
    HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
    if (edit != nullptr)
        UiRobot::GetControlText(edit, &text[0], static_cast<int>(text.size()));
    text.resize(lstrlenA(text.c_str()));
    PostMessageA(window, WM_CLOSE, 0, 0);
    UiRobot::WaitForWindowGone(window, 10000);
    return text.empty() ? "<window without text>" : text;
}

bool NoReadmeWindow(DWORD ms)
{
    return FindReadmeWindow(ms) == nullptr;
}

std::string InstallAccepting(const std::string& folder, bool forThisUser)
{
    EXPECT_TRUE(CopyDist());
    Process setup;
    EXPECT_TRUE(setup.Start(kDistSetup, std::string("\"") + kDistSetup + "\""));
    if (forThisUser) {
        EXPECT_TRUE(Answer(ExpectBox(setup.id, kInstallerCaption), IDYES));
    }
    HWND dialog = WaitForFolderDialog(setup.id);
    EXPECT_NE(nullptr, dialog);
    if (dialog == nullptr)
        return "";
    std::string proposal(UiRobot::ControlText(dialog, 1000));
    if (!folder.empty()) {
        EXPECT_TRUE(UiRobot::SetControlText(dialog, 1000, folder.c_str()));
    }
    EXPECT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    UiRobot::MessageBoxInfo done = ExpectBox(setup.id, kCompletionCaption);
    EXPECT_EQ(kCompletedText, done.text);
    EXPECT_EQ(kNoticeStyle, done.style);
    EXPECT_TRUE(Answer(done, IDOK));
    EXPECT_TRUE(setup.Finish(kEndMs));
    EXPECT_EQ(0u, setup.exitCode);
    EXPECT_NE("", TakeReadmeWindow());
    return proposal;
}

std::string RegistryDrop(const std::string& folder, const std::string& item,
                         const std::string& newName, bool* renamed, const char* hostProgram)
{
    *renamed = false;
    e2e::DropHost host;
    host.program = hostProgram;
    std::wstring arguments = L"--registry --wait-ms 20000 --pick copy " +
        e2e::Quote(e2e::Wide(folder)) + L" " + e2e::Quote(e2e::Wide(item));
    if (!host.Start(arguments, "S:\\drop-report.txt"))
        return "<drop host did not start>";
    HWND dialog = e2e::WaitForRenameDialog(host.processId, false);
    if (dialog != nullptr) {
        UiRobot::SetControlText(dialog, e2e::kNameBox, newName.c_str());
        UiRobot::ClickButton(dialog, IDOK);
        UiRobot::WaitForWindowGone(dialog, 10000);
        *renamed = true;
    }
    host.Finish(kEndMs);
    return host.report;
}

} // namespace install
