// The older family's ANSI road (Windows 95, 98 and Me), through a drop host that the
// prefix's AppDefaults make Windows 98.
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "UiRobot.h"

using namespace e2e;

namespace {

// The older family keeps the ANSI road: "a한b.txt" reads "a?b.txt", a pattern that would
// match a1b.txt and a2b.txt, and the wave dash reads as the fullwidth tilde of another
// file; neither gets items. A code page 932 name still copies.
TEST_F(DropTest, OlderFamilyOffersNothingForNamesOutsideTheCodePage)
{
    UseWindows98Host();
    const std::wstring wideSource = Wide(source);
    const std::wstring korean = L"a\uD55Cb.txt";
    const std::wstring waveDash = L"4月\u301C6月.txt";
    for (const std::wstring& name :
         { korean, waveDash, std::wstring(L"a1b.txt"), std::wstring(L"a2b.txt"),
           std::wstring(L"4月\uFF5E6月.txt") }) {
        ASSERT_TRUE(WriteTextFile(wideSource + name, "keep"));
    }
    for (const std::wstring& name : { korean, waveDash }) {
        ASSERT_TRUE(host.Start(DropArguments("move", Wide(target), { wideSource + name }),
                               folder + "host.txt"));
        // Should a dialog come up all the same, it is cancelled so nothing moves.
        HWND dialog =
            UiRobot::WaitForWindow(UiRobot::DialogOfProcess(host.processId, kMoveCaption), 3000);
        if (dialog != nullptr)
            UiRobot::ClickButton(dialog, IDCANCEL);
        EXPECT_EQ(nullptr, dialog);
        ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
        EXPECT_TRUE(host.HasLine("query-context-menu 0x00000000")) << host.report;
        EXPECT_TRUE(host.LinesStartingWith("menu 3 id 0x100").empty()) << host.report;
        EXPECT_TRUE(host.HasLine("invoke-command 0x80070057")) << host.report;
    }
    EXPECT_TRUE(host.HasLine("hdrop 0 " + source + "4月～6月.txt") ||
                host.HasLine("hdrop 0 " + source + "4月?6月.txt"))
        << host.report;
    EXPECT_EQ(5u, ListFolder(wideSource).size());

    ASSERT_TRUE(WriteTextFile(source + "見積書.txt", "estimate"));
    HWND dialog = Drop("copy", source + "見積書.txt");
    ASSERT_NE(nullptr, dialog);
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "見積書.txt" }), ListFolder(target));
}

// The ANSI road's check steps over double-byte characters: 表 ends in the byte 0x5C and
// ポ in 0x7C, yet "表示ポ.txt" is a name; a "|" of its own is not.
TEST_F(DropTest, OlderFamilyRefusalStepsOverDoubleByteCharacters)
{
    UseWindows98Host();
    ASSERT_TRUE(WriteTextFile(source + "rules.txt", "rules"));
    HWND dialog = Drop("copy", source + "rules.txt");
    ASSERT_NE(nullptr, dialog);
    ExpectRefusals(
        dialog, host.processId,
        { { "表|示", "txt", kForbiddenCharacterText }, { "nul", "txt", kDeviceNameText } });
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "表示ポ"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "表示ポ.txt" }), ListFolder(target));
}

} // namespace
