// Scratch folders, files and the drop host child process for the end-to-end tests, and
// the fixture and checks the right-drop tests share.
#include "E2eSupport.h"

#include <algorithm>
#include <string.h>

#include "UiRobot.h"

namespace e2e {

namespace {

const char kScratchRoot[] = "S:\\e2e\\";

const char kDriveRScratch[] = "R:\\e2e-";

bool Below(const std::string& path, const char* root)
{
    return path.size() > strlen(root) && _strnicmp(path.c_str(), root, strlen(root)) == 0 &&
        path.find("..") == std::string::npos;
}

bool BelowScratch(const std::string& path)
{
    return Below(path, kScratchRoot) || Below(path, kDriveRScratch);
}

} // namespace

std::string CaseFolder(const std::string& name)
{
    CreateDirectoryA("S:\\e2e", nullptr);
    std::string folder = kScratchRoot + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

bool MakeFolder(const std::string& path)
{
    return MakeFolder(Wide(path));
}

bool MakeFolder(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool WriteTextFile(const std::string& path, const std::string& content)
{
    return WriteTextFile(Wide(path), content);
}

bool WriteTextFile(const std::wstring& path, const std::string& content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::string ReadTextFile(const std::string& path)
{
    return ReadTextFile(Wide(path));
}

std::string ReadTextFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolderPath(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::wstring& name : ListFolder(Wide(folder))) {
        char text[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, text, sizeof text, nullptr, nullptr);
        names.push_back(text);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    std::wstring pattern = folder;
    if (pattern.empty() || pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (lstrcmpW(entry.cFileName, L".") != 0 && lstrcmpW(entry.cFileName, L"..") != 0) {
            names.push_back(entry.cFileName);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool RemoveTree(const std::string& path)
{
    if (!BelowScratch(path))
        return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) != 0;
    }
    for (const std::string& name : ListFolder(path))
        RemoveTree(path + "\\" + name);
    return RemoveDirectoryA(path.c_str()) != 0;
}

std::wstring Wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    return wide;
}

bool DropHost::Start(const std::wstring& arguments, const std::string& reportPath)
{
    reportPath_ = reportPath;
    std::wstring report = Wide(reportPath);
    std::wstring commandLine = L"\"" + Wide(program) + L"\" " + arguments;
    child_.reportPath = report.c_str();
    // The child's locale, passed through its environment (Wine takes the ANSI code page
    // from it).
    wchar_t previous[64] = {};
    bool hadLocale = GetEnvironmentVariableW(L"LC_ALL", previous, 64) > 0;
    if (locale != nullptr)
        SetEnvironmentVariableW(L"LC_ALL", locale);
    child_.Finish(0); // one still running from before
    bool started = child_.Start(commandLine.c_str());
    if (locale != nullptr)
        SetEnvironmentVariableW(L"LC_ALL", hadLocale ? previous : nullptr);
    processId = started ? child_.id : 0;
    return started;
}

bool DropHost::Finish(DWORD timeoutMs)
{
    if (child_.handle == nullptr)
        return false;
    bool ended = child_.Finish(timeoutMs);
    exitCode = child_.exitCode;
    report = ReadTextFile(reportPath_);
    report.erase(std::remove(report.begin(), report.end(), '\r'), report.end());
    return ended;
}

bool DropHost::HasLine(const std::string& line) const
{
    return ("\n" + report).find("\n" + line + "\n") != std::string::npos;
}

std::vector<std::string> DropHost::LinesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos)
            end = report.size();
        std::string line = report.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    // A backslash before the closing quote would escape it: double the trailing ones.
    std::wstring quoted = L"\"" + argument;
    for (size_t i = argument.size(); i > 0 && argument[i - 1] == L'\\'; --i)
        quoted += L'\\';
    return quoted + L"\"";
}

std::wstring DropArguments(const char* pick, const std::string& folder,
                           const std::vector<std::string>& items)
{
    std::vector<std::wstring> wideItems;
    for (const std::string& item : items)
        wideItems.push_back(Wide(item));
    return DropArguments(pick, Wide(folder), wideItems);
}

std::wstring DropArguments(const char* pick, const std::wstring& folder,
                           const std::vector<std::wstring>& items)
{
    std::wstring arguments = L"--dll " + Wide(kDllPath) + L" --wait-ms 20000";
    if (pick != nullptr)
        arguments += L" --pick " + Wide(pick);
    arguments += L" " + Quote(folder);
    for (const std::wstring& item : items)
        arguments += L" " + Quote(item);
    return arguments;
}

HWND WaitForRenameDialog(DWORD processId, bool move)
{
    return UiRobot::WaitForWindow(
        UiRobot::DialogOfProcess(processId, move ? kMoveCaption : kCopyCaption), kAppearMs);
}

void Screenshot(const std::string& name)
{
    UiRobot::RequestScreenshot(name.c_str(), 5000);
}

void DropTest::SetUp()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    folder = CaseFolder(name);
    source = folder + "src\\";
    target = folder + "dst";
    ASSERT_TRUE(MakeFolder(source));
    ASSERT_TRUE(MakeFolder(target));
}

bool DropTest::StartDrop(const char* pick, const std::string& item, const std::string& onto)
{
    return host.Start(DropArguments(pick, onto.empty() ? target : onto, { item }),
                      folder + "host.txt");
}

HWND DropTest::Drop(const char* pick, const std::string& item, const std::string& onto)
{
    if (!StartDrop(pick, item, onto))
        return nullptr;
    return WaitForRenameDialog(host.processId, std::string(pick) == "move");
}

HWND DropTest::Drop(const char* pick, const std::wstring& item, const std::wstring& onto)
{
    if (!host.Start(DropArguments(pick, onto, { item }), folder + "host.txt"))
        return nullptr;
    return WaitForRenameDialog(host.processId, std::string(pick) == "move");
}

void DropTest::UseWindows98Host()
{
    std::string copy = folder + "drophost98.exe";
    ASSERT_TRUE(CopyFileA(kDropHostPath, copy.c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\drophost98.exe", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
    host.program = copy;
}

void DropTest::Confirm(HWND dialog)
{
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, kGoneMs));
}

void DropTest::ExpectDropEnded()
{
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_EQ(0u, host.exitCode) << host.report;
    EXPECT_TRUE(host.HasLine("query-context-menu 0x00000002")) << host.report;
    EXPECT_TRUE(host.HasLine("invoke-command 0x00000000")) << host.report;
    EXPECT_EQ(1u, host.LinesStartingWith("transfers done").size()) << host.report;
}

// The first window of a session brings up Wine's desktop, which centres the pointer:
// that is done first.
bool PlacePointer(int x, int y)
{
    GetDesktopWindow();
    DWORD start = GetTickCount();
    do {
        SetCursorPos(x, y);
        Sleep(100);
        POINT point = {};
        if (GetCursorPos(&point) && point.x == x && point.y == y)
            return true;
    } while (GetTickCount() - start < kGoneMs);
    return false;
}

UiRobot::MessageBoxInfo ExpectMessageBox(DWORD processId, const char* caption)
{
    UiRobot::MessageBoxInfo info = {};
    HWND box = UiRobot::WaitForMessageBox(processId, caption, kAppearMs);
    EXPECT_NE(nullptr, box) << "no message box " << caption;
    if (box != nullptr)
        UiRobot::ReadMessageBox(box, &info);
    return info;
}

int ExtensionLimit(HWND dialog)
{
    return static_cast<int>(
        UiRobot::SendWithTimeout(GetDlgItem(dialog, kExtensionBox), EM_GETLIMITTEXT, 0, 0));
}

void ExpectRefusals(HWND dialog, DWORD processId, const std::vector<Refusal>& refusals)
{
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(std::string("name ") + r.name + " extension " + r.extension);
        ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, r.name));
        ASSERT_TRUE(UiRobot::SetControlText(dialog, kExtensionBox, r.extension));
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
        UiRobot::MessageBoxInfo box = ExpectMessageBox(processId, kErrorCaption);
        EXPECT_EQ(r.text, box.text);
        EXPECT_EQ(0x1030u, box.style);
        EXPECT_EQ(dialog, box.owner);
        ASSERT_TRUE(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs));
        EXPECT_TRUE(UiRobot::IsShown(dialog));
        EXPECT_TRUE(UiRobot::WaitForFocus(dialog, GetDlgItem(dialog, kNameBox), kGoneMs));
    }
}

} // namespace e2e
