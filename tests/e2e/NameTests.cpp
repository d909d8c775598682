// Names through right-drops with the real pelim102.dll: how a file's name is split
// between the two boxes and joined again, double-byte and wide names, an existing name
// left to the shell's replace question, and the texts under another ANSI code page.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "E2eSupport.h"
#include "UiRobot.h"

using namespace e2e;
using UiRobot::ControlText;
using UiRobot::MessageBoxInfo;

namespace {

// A file renamed through the dialog, picked as copy or as move: the dialog opens at the
// pointer with the operation's texts and the name split in two, and the file lands under
// the new name and extension.
struct FileRename {
    const char* pick;
    POINT pointer;
    const char* file;
    const char* body;
    const char* caption;
    const char* button;
    const char* nameBox;
    const char* extensionBox;
    const char* newName;
    const char* newExtension;
    bool pressEnter; // Enter in the name box presses the default button
    const char* screenshot; // null: none
};

class FileRenameTest : public DropTest, public ::testing::WithParamInterface<FileRename> {};

TEST_P(FileRenameTest, LandsUnderTheNewNameAndExtension)
{
    const FileRename& r = GetParam();
    const bool move = std::string(r.pick) == "move";
    ASSERT_TRUE(WriteTextFile(source + r.file, r.body));
    ASSERT_TRUE(PlacePointer(r.pointer.x, r.pointer.y));

    HWND dialog = Drop(r.pick, source + r.file);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(r.caption, UiRobot::WindowCaption(dialog));
    EXPECT_EQ(r.button, ControlText(dialog, IDOK));
    EXPECT_EQ(kCancelButton, ControlText(dialog, IDCANCEL));
    EXPECT_EQ(r.nameBox, ControlText(dialog, kNameBox));
    EXPECT_EQ(r.extensionBox, ControlText(dialog, kExtensionBox));
    EXPECT_EQ(8, ExtensionLimit(dialog));
    EXPECT_TRUE(UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)));
    EXPECT_TRUE(UiRobot::IsShown(GetDlgItem(dialog, kDot)));
    RECT rect = UiRobot::WindowRect(dialog);
    EXPECT_EQ(r.pointer.x, rect.left);
    EXPECT_EQ(r.pointer.y, rect.top);
    EXPECT_TRUE(UiRobot::WaitForFocus(dialog, GetDlgItem(dialog, kNameBox), kGoneMs));

    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, r.newName));
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kExtensionBox, r.newExtension));
    if (r.screenshot != nullptr)
        Screenshot(r.screenshot);
    if (r.pressEnter) {
        ASSERT_TRUE(UiRobot::PressKey(GetDlgItem(dialog, kNameBox), VK_RETURN));
        ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, kGoneMs));
    } else {
        Confirm(dialog);
    }
    ExpectDropEnded();

    EXPECT_TRUE(host.HasLine(kCopyItemLine)) << host.report;
    EXPECT_TRUE(host.HasLine(kMoveItemLine)) << host.report;
    EXPECT_TRUE(host.HasLine(kSeparatorLine)) << host.report;
    const std::string renamed = std::string(r.newName) + "." + r.newExtension;
    EXPECT_EQ(std::vector<std::string>({ renamed }), ListFolder(target));
    EXPECT_EQ(r.body, ReadTextFile(target + "\\" + renamed));
    EXPECT_EQ(move ? std::vector<std::string>() : std::vector<std::string>({ r.file }),
              ListFolder(source));
}

INSTANTIATE_TEST_SUITE_P(Picks, FileRenameTest,
                         ::testing::Values(FileRename { "copy",
                                                        { 137, 211 },
                                                        "report.txt",
                                                        "report body",
                                                        kCopyCaption,
                                                        kCopyButton,
                                                        "report",
                                                        "txt",
                                                        "summary",
                                                        "md",
                                                        false,
                                                        "copy-dialog" },
                                           FileRename { "move",
                                                        { 400, 300 },
                                                        "old.log",
                                                        "moved body",
                                                        kMoveCaption,
                                                        kMoveButton,
                                                        "old",
                                                        "log",
                                                        "new",
                                                        "txt",
                                                        true,
                                                        nullptr }));

TEST_F(DropTest, ExtensionBoxLimitIsEightOrTheExtensionsLength)
{
    ASSERT_TRUE(WriteTextFile(source + "data.abcdefghijkl", "twelve"));
    HWND dialog = Drop("copy", source + "data.abcdefghijkl");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("data", ControlText(dialog, kNameBox));
    EXPECT_EQ("abcdefghijkl", ControlText(dialog, kExtensionBox));
    EXPECT_EQ(12, ExtensionLimit(dialog));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ("twelve", ReadTextFile(target + "\\data.abcdefghijkl"));

    ASSERT_TRUE(WriteTextFile(source + "plain.txt", "plain"));
    dialog = Drop("copy", source + "plain.txt");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(8, ExtensionLimit(dialog));
    // Typing ten characters into the emptied box leaves eight.
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kExtensionBox, ""));
    ASSERT_TRUE(UiRobot::TypeChars(GetDlgItem(dialog, kExtensionBox), "zzzzzzzzzz"));
    EXPECT_EQ("zzzzzzzz", ControlText(dialog, kExtensionBox));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "data.abcdefghijkl", "plain.zzzzzzzz" }),
              ListFolder(target));
}

// How a file's name is split between the two boxes, and what OK makes of it.
struct NameCase {
    const char* file;
    const char* nameBox;
    const char* extensionBox;
    const char* typedName; // typed after an empty name was refused; null: OK at once
    const char* result;
};

class NameSplitTest : public DropTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameSplitTest, SplitsAndJoinsTheName)
{
    const NameCase& c = GetParam();
    ASSERT_TRUE(WriteTextFile(source + c.file, "content"));
    HWND dialog = Drop("copy", source + c.file);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(c.nameBox, ControlText(dialog, kNameBox));
    EXPECT_EQ(c.extensionBox, ControlText(dialog, kExtensionBox));
    EXPECT_TRUE(UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)));
    if (c.typedName != nullptr) {
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
        MessageBoxInfo box = ExpectMessageBox(host.processId, kErrorCaption);
        EXPECT_EQ(kEmptyNameText, box.text);
        ASSERT_TRUE(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs));
        ASSERT_TRUE(UiRobot::IsShown(dialog));
        ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, c.typedName));
    }
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ c.result }), ListFolder(target));
    EXPECT_EQ("content", ReadTextFile(target + "\\" + c.result));
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSplitTest,
    ::testing::Values(NameCase { "two.dots.txt", "two.dots", "txt", nullptr, "two.dots.txt" },
                      NameCase { "noext", "noext", "", nullptr, "noext" },
                      NameCase { ".hidden", "", "hidden", "shown", "shown.hidden" },
                      NameCase { "表ソ能.txt", "表ソ能", "txt", nullptr, "表ソ能.txt" }));

// 表, ソ and 能 end in the byte 0x5C, the backslash: such a character at the end of a
// path component is part of the name, never a separator: in the dragged file's own name,
// in its folder's, and in the drop folder's (else the copy would land beside it).
TEST_F(DropTest, NamesEndingInABackslashTrailByte)
{
    ASSERT_TRUE(MakeFolder(source + "予定表"));
    ASSERT_TRUE(WriteTextFile(source + "予定表\\表ソ能", "dbcs file"));
    ASSERT_TRUE(MakeFolder(target + "\\一覧表"));
    HWND dialog = Drop("copy", source + "予定表\\表ソ能", target + "\\一覧表");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("表ソ能", ControlText(dialog, kNameBox));
    EXPECT_EQ("", ControlText(dialog, kExtensionBox));
    EXPECT_TRUE(UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)));
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "能力表"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "一覧表" }), ListFolder(target));
    EXPECT_EQ("dbcs file", ReadTextFile(target + "\\一覧表\\能力表"));
}

TEST_F(DropTest, CopyOntoExistingFileAsksTheShellToReplace)
{
    ASSERT_TRUE(WriteTextFile(source + "same.txt", "new content"));
    // Answered "no" first: the old file stays; then "yes": it is replaced.
    for (int answer : { IDNO, IDYES }) {
        ASSERT_TRUE(WriteTextFile(target + "\\same.txt", "old content"));
        HWND dialog = Drop("copy", source + "same.txt");
        ASSERT_NE(nullptr, dialog);
        Confirm(dialog);
        HWND confirm = UiRobot::WaitForMessageBox(host.processId, kReplaceCaption, kAppearMs);
        ASSERT_NE(nullptr, confirm) << "no replace confirmation";
        MessageBoxInfo info = {};
        ASSERT_TRUE(UiRobot::ReadMessageBox(confirm, &info));
        EXPECT_EQ(kReplaceCaption, info.caption);
        EXPECT_NE(info.buttons.end(), std::find(info.buttons.begin(), info.buttons.end(), answer));
        if (answer == IDYES)
            Screenshot("replace-confirmation");
        ASSERT_TRUE(UiRobot::AnswerMessageBox(confirm, answer, kGoneMs));
        ExpectDropEnded();
        EXPECT_EQ(answer == IDYES ? "new content" : "old content",
                  ReadTextFile(target + "\\same.txt"));
    }
}

// Names the ANSI code page cannot carry, or carries only as a look-alike (the wave dash
// as a fullwidth tilde, the yen sign as a backslash, é as e): on the NT family's wide
// road they land unchanged, a decomposed kana stays decomposed.
class WideNameTest : public DropTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(WideNameTest, CopiesAndMovesUnderTheExactName)
{
    const std::wstring name = GetParam();
    const std::wstring wideSource = Wide(source);
    const std::wstring wideTarget = Wide(target);
    const std::wstring moved = Wide(folder) + L"moved";
    ASSERT_TRUE(MakeFolder(moved));
    ASSERT_TRUE(WriteTextFile(wideSource + name, "wide body"));
    const size_t dot = name.rfind(L'.');

    HWND dialog = Drop("copy", wideSource + name, wideTarget);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(name.substr(0, dot), UiRobot::ControlTextW(dialog, kNameBox));
    EXPECT_EQ(name.substr(dot + 1), UiRobot::ControlTextW(dialog, kExtensionBox));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::wstring>({ name }), ListFolder(wideTarget));
    EXPECT_EQ("wide body", ReadTextFile(wideTarget + L"\\" + name));

    dialog = Drop("move", wideSource + name, moved);
    ASSERT_NE(nullptr, dialog);
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::wstring>({ name }), ListFolder(moved));
    EXPECT_EQ(std::vector<std::wstring>(), ListFolder(wideSource));
}

INSTANTIATE_TEST_SUITE_P(Names, WideNameTest, ::testing::ValuesIn(kWideNames));

TEST_F(DropTest, NameTypedWithAnEmojiLandsExactly)
{
    ASSERT_TRUE(WriteTextFile(source + "plain.txt", "plain"));
    HWND dialog = Drop("copy", source + "plain.txt");
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlTextW(dialog, kNameBox, L"plan\xD83D\xDCC5"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::wstring>({ L"plan\xD83D\xDCC5.txt" }), ListFolder(Wide(target)));
    EXPECT_EQ("plain", ReadTextFile(Wide(target) + L"\\plan\xD83D\xDCC5.txt"));
}

// A Japanese user on a Windows whose ANSI code page is not 932: the system's texts are
// converted from code page 932 itself, and a Japanese name still copies. Wine gives a
// child process its parent's locale, so run-e2e.sh starts that drop host itself, under
// the Unix locale C.UTF-8 (ANSI code page 1252), dropping S:\e2e-foreign\src\見積書.txt
// onto S:\e2e-foreign\dst; this test drives its dialog and reads its report.
TEST(ForeignCodePage, TextsReadRightUnderAnotherAnsiCodePage)
{
    if (GetEnvironmentVariableA("PELIM_FOREIGN_HOST", nullptr, 0) == 0) {
        GTEST_SKIP() << "run-e2e.sh runs it beside a drop host of another code page";
    }
    const std::string foreign = "S:\\e2e-foreign\\";
    HWND dialog = UiRobot::WaitForWindow(UiRobot::DialogOfProcess(0, kCopyCaption), kAppearMs);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(Wide(kCopyCaption), UiRobot::WindowTextW(dialog));
    EXPECT_EQ(Wide(kCopyButton), UiRobot::ControlTextW(dialog, IDOK));
    EXPECT_EQ(Wide(kCancelButton), UiRobot::ControlTextW(dialog, IDCANCEL));
    EXPECT_EQ(L"見積書", UiRobot::ControlTextW(dialog, kNameBox));

    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, ""));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    HWND box = UiRobot::WaitForMessageBox(0, kErrorCaption, kAppearMs);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(Wide(kErrorCaption), UiRobot::WindowTextW(box));
    MessageBoxInfo info = {};
    ASSERT_TRUE(
        UiRobot::ReadMessageBox(box, &info)); // read in code page 932, which holds it exactly
    EXPECT_EQ(kEmptyNameText, info.text);
    ASSERT_TRUE(UiRobot::AnswerMessageBox(box, IDOK, kGoneMs));
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "見積書_控え"));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, kGoneMs));

    // The host's report (code page 932 text) is complete once it has its last line.
    std::string report;
    DWORD start = GetTickCount();
    while ((report = ReadTextFile(foreign + "host.txt")).find("\nend") == std::string::npos &&
           GetTickCount() - start < kDropMs) {
        Sleep(100);
    }
    report.erase(std::remove(report.begin(), report.end(), '\r'), report.end());
    EXPECT_NE(std::string::npos, report.find("\nansi-code-page 1252\n")) << report;
    EXPECT_NE(std::string::npos,
              report.find("\nmenu 3 id 0x100 state 0x0 名前を変更してコピー(&G)\n"))
        << report;
    EXPECT_NE(std::string::npos,
              report.find("\nmenu 4 id 0x101 state 0x0 名前を変更して移動(&W)\n"))
        << report;
    EXPECT_NE(std::string::npos, report.find("\ninvoke-command 0x00000000\n")) << report;
    EXPECT_EQ(std::vector<std::string>({ "見積書_控え.txt" }), ListFolder(foreign + "dst"));
    EXPECT_EQ("estimate", ReadTextFile(foreign + "dst\\見積書_控え.txt"));
}

} // namespace
