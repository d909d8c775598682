// What the drop handler and its dialog refuse: drops that get no items, whose command is
// then refused, an empty new name, and new names no file can carry. (Commands refused
// after items were added: tests/ext/ShellMethodsTests.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "UiRobot.h"

using namespace e2e;
using UiRobot::ControlText;
using UiRobot::MessageBoxInfo;

namespace {

TEST_F(DropTest, EmptyNameShowsErrorAndKeepsDialogOpen)
{
    ASSERT_TRUE(WriteTextFile(source + "a.txt", "a"));
    HWND dialog = Drop("copy", source + "a.txt");
    ASSERT_NE(nullptr, dialog);

    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, ""));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    MessageBoxInfo box = ExpectMessageBox(host.processId, kErrorCaption);
    EXPECT_EQ(kErrorCaption, box.caption);
    EXPECT_EQ(kEmptyNameText, box.text);
    EXPECT_EQ(0x1030u, box.style);
    EXPECT_EQ(UiRobot::Buttons(IDOK), box.buttons);
    EXPECT_EQ(dialog, box.owner);
    Screenshot("empty-name-error");
    ASSERT_TRUE(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs));

    EXPECT_TRUE(UiRobot::IsShown(dialog));
    EXPECT_TRUE(UiRobot::WaitForFocus(dialog, GetDlgItem(dialog, kNameBox), kGoneMs));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, kGoneMs));
    ASSERT_TRUE(host.Finish(kDropMs));
    EXPECT_TRUE(host.HasLine("invoke-command 0x00000000")) << host.report;
    EXPECT_EQ(std::vector<std::string>(), ListFolder(target));
}

// A new name no file can carry: a character paths forbid, a trailing dot or blank, a
// device name with or without an extension.
TEST_F(DropTest, NewNamesNoFileCanCarryAreRefused)
{
    ASSERT_TRUE(WriteTextFile(source + "rules.txt", "rules"));
    HWND dialog = Drop("copy", source + "rules.txt");
    ASSERT_NE(nullptr, dialog);
    ExpectRefusals(
        dialog, host.processId,
        {
            { "a:b", "txt", kForbiddenCharacterText }, // a stream of a file "a"
            { "..\\up", "txt", kForbiddenCharacterText }, // a path out of the drop folder
            { "a/b", "", kForbiddenCharacterText },
            { "a*b", "", kForbiddenCharacterText },
            { "a?b", "", kForbiddenCharacterText },
            { "a\"b", "", kForbiddenCharacterText },
            { "a<b>", "", kForbiddenCharacterText },
            { "a|b", "", kForbiddenCharacterText },
            { "a\tb", "", kForbiddenCharacterText },
            { "..", "", kTrailingDotText },
            { ".", "", kTrailingDotText },
            { "name.", "", kTrailingDotText },
            { "name ", "", kTrailingDotText },
            { "name", "txt ", kTrailingDotText },
            { "con", "", kDeviceNameText },
            { "Nul", "txt", kDeviceNameText },
            { "aux", "tar.gz", kDeviceNameText },
            { "COM1", "", kDeviceNameText },
            { "lpt9", "log", kDeviceNameText },
            { "prn", "", kDeviceNameText },
        });
    // Device names only stand alone: COM10 and CONSOLE are ordinary names.
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "COM10"));
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kExtensionBox, "txt"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "COM10.txt" }), ListFolder(target));
}

// Drops the handler answers without a dialog: no items, and InvokeCommand refuses.
TEST_F(DropTest, SeveralItemsAddNoMenuItems)
{
    ASSERT_TRUE(WriteTextFile(source + "a.txt", "a"));
    ASSERT_TRUE(WriteTextFile(source + "b.txt", "b"));
    ASSERT_TRUE(host.Start(DropArguments("copy", target, { source + "a.txt", source + "b.txt" }),
                           folder + "host.txt"));
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_TRUE(host.HasLine("query-context-menu 0x00000000")) << host.report;
    EXPECT_TRUE(host.LinesStartingWith("menu 3 id 0x100").empty()) << host.report;
    EXPECT_TRUE(host.HasLine("menu 3 separator")) << host.report;
    EXPECT_TRUE(host.HasLine("invoke-command 0x80070057")) << host.report;
    EXPECT_EQ(std::vector<std::string>(), ListFolder(target));
}

TEST_F(DropTest, VirtualFolderTargetAddsNoMenuItems)
{
    ASSERT_TRUE(WriteTextFile(source + "a.txt", "a"));
    // The computer folder has no file-system path.
    ASSERT_TRUE(host.Start(
        DropArguments("copy", "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", { source + "a.txt" }),
        folder + "host.txt"));
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_TRUE(host.HasLine("parse-folder 0x00000000")) << host.report;
    EXPECT_TRUE(host.HasLine("query-context-menu 0x00000000")) << host.report;
    EXPECT_TRUE(host.LinesStartingWith("menu 3 id 0x100").empty()) << host.report;
    EXPECT_TRUE(host.HasLine("invoke-command 0x80070057")) << host.report;
}

} // namespace
