// Where the drop menu and the rename dialog open (at the pointer, inside the work area)
// and the ways the dialog closes without a transfer.
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "UiRobot.h"

using namespace e2e;

namespace {

// Without a pick the host shows the drop menu at the pointer, as for a person; the
// item's accelerator picks it.
TEST_F(DropTest, PersonPicksFromTheMenuAtThePointer)
{
    ASSERT_TRUE(WriteTextFile(source + "menu.txt", "picked"));
    ASSERT_TRUE(PlacePointer(300, 200));
    ASSERT_TRUE(StartDrop(nullptr, source + "menu.txt"));
    HWND menu = UiRobot::WaitForWindow(UiRobot::PopupMenuOfProcess(host.processId), kAppearMs);
    ASSERT_NE(nullptr, menu);
    RECT rect = UiRobot::WindowRect(menu);
    EXPECT_EQ(300, rect.left);
    EXPECT_EQ(200, rect.top);
    Screenshot("drop-menu");
    ASSERT_TRUE(UiRobot::PressChar(menu, 'w'));
    HWND dialog = WaitForRenameDialog(host.processId, true);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "chosen"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_TRUE(host.HasLine("menu-choice 0x101")) << host.report;
    EXPECT_TRUE(host.HasLine("pick 1")) << host.report;
    EXPECT_EQ(std::vector<std::string>(), ListFolder(source));
    EXPECT_EQ("picked", ReadTextFile(target + "\\chosen.txt"));
}

TEST_F(DropTest, DialogAtTheScreensCornerStaysInsideTheWorkArea)
{
    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_TRUE(PlacePointer(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1));
    ASSERT_TRUE(WriteTextFile(source + "corner.txt", "corner"));
    HWND dialog = Drop("copy", source + "corner.txt");
    ASSERT_NE(nullptr, dialog);
    RECT rect = UiRobot::WindowRect(dialog);
    EXPECT_EQ(work.right, rect.right);
    EXPECT_EQ(work.bottom, rect.bottom);
    EXPECT_LT(work.left, rect.left);
    EXPECT_LT(work.top, rect.top);
    Screenshot("dialog-at-corner");
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "corner.txt" }), ListFolder(target));
}

// Cancel, Esc and the close box all end the dialog without a transfer, and InvokeCommand
// still reports S_OK.
enum class CloseWay { CancelButton, EscapeKey, CloseBox };

class DialogCloseTest : public DropTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(DialogCloseTest, EndsWithoutTransfer)
{
    ASSERT_TRUE(WriteTextFile(source + "keep.txt", "keep"));
    HWND dialog = Drop("move", source + "keep.txt");
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "gone"));
    switch (GetParam()) {
    case CloseWay::CancelButton:
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDCANCEL));
        break;
    case CloseWay::EscapeKey:
        ASSERT_TRUE(UiRobot::PressKey(GetDlgItem(dialog, kNameBox), VK_ESCAPE));
        break;
    case CloseWay::CloseBox:
        ASSERT_TRUE(UiRobot::CloseBox(dialog));
        break;
    }
    ASSERT_TRUE(UiRobot::WaitForWindowGone(dialog, kGoneMs));
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_TRUE(host.HasLine("invoke-command 0x00000000")) << host.report;
    EXPECT_EQ(std::vector<std::string>({ "keep.txt" }), ListFolder(source));
    EXPECT_EQ(std::vector<std::string>(), ListFolder(target));
}

INSTANTIATE_TEST_SUITE_P(AllWays, DialogCloseTest,
                         ::testing::Values(CloseWay::CancelButton, CloseWay::EscapeKey,
                                           CloseWay::CloseBox));

} // namespace
