// Folders through right-drops: a dragged folder in one wide name box, an existing name
// refused for it, folder names ending in a 0x5C trail byte, drive roots and another drive.
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "UiRobot.h"

using namespace e2e;
using UiRobot::ControlText;
using UiRobot::MessageBoxInfo;

namespace {

// A folder renamed through the dialog, picked as copy or as move: one name box spans
// both boxes and shows the whole name, dots included, and the folder lands under the new
// name with all it holds.
struct FolderRename {
    const char* pick;
    const char* folder;
    const char* button;
    const char* newName;
    const char* screenshot; // null: none
};

class FolderRenameTest : public DropTest, public ::testing::WithParamInterface<FolderRename> {};

TEST_P(FolderRenameTest, LandsUnderTheNewNameWithItsContent)
{
    const FolderRename& r = GetParam();
    const std::string item = source + r.folder;
    ASSERT_TRUE(MakeFolder(item));
    ASSERT_TRUE(MakeFolder(item + "\\sub"));
    ASSERT_TRUE(WriteTextFile(item + "\\inner.txt", "inner"));
    ASSERT_TRUE(WriteTextFile(item + "\\sub\\deep.txt", "deep"));

    HWND dialog = Drop(r.pick, item);
    ASSERT_NE(nullptr, dialog);
    HWND nameBox = GetDlgItem(dialog, kNameBox);
    HWND extensionBox = GetDlgItem(dialog, kExtensionBox);
    EXPECT_EQ(r.folder, ControlText(dialog, kNameBox));
    EXPECT_FALSE(UiRobot::IsShown(extensionBox));
    EXPECT_FALSE(UiRobot::IsShown(GetDlgItem(dialog, kDot)));
    RECT name = UiRobot::WindowRect(nameBox);
    RECT extension = UiRobot::WindowRect(extensionBox);
    EXPECT_EQ(extension.right - name.left, name.right - name.left);
    EXPECT_EQ(r.button, ControlText(dialog, IDOK));
    if (r.screenshot != nullptr)
        Screenshot(r.screenshot);

    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, r.newName));
    Confirm(dialog);
    ExpectDropEnded();

    const std::string landed = target + "\\" + r.newName;
    EXPECT_EQ(std::vector<std::string>({ r.newName }), ListFolder(target));
    EXPECT_EQ("inner", ReadTextFile(landed + "\\inner.txt"));
    EXPECT_EQ("deep", ReadTextFile(landed + "\\sub\\deep.txt"));
    if (std::string(r.pick) == "move") {
        EXPECT_EQ(std::vector<std::string>(), ListFolder(source));
    } else {
        EXPECT_TRUE(IsFolderPath(item));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Picks, FolderRenameTest,
    ::testing::Values(FolderRename { "copy", "photos.2024", kCopyButton, "album", "folder-dialog" },
                      FolderRename { "move", "drafts", kMoveButton, "final", nullptr }));

TEST_F(DropTest, ExistingNameInTargetWarnsForFolders)
{
    ASSERT_TRUE(MakeFolder(source + "music"));
    ASSERT_TRUE(MakeFolder(target + "\\taken"));
    ASSERT_TRUE(WriteTextFile(target + "\\file.txt", "file"));
    HWND dialog = Drop("copy", source + "music");
    ASSERT_NE(nullptr, dialog);

    // An existing folder, then an existing file: both are refused with the same warning.
    for (const char* name : { "taken", "file.txt" }) {
        ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, name));
        ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
        MessageBoxInfo box = ExpectMessageBox(host.processId, kWarningCaption);
        EXPECT_EQ(kWarningCaption, box.caption) << name;
        EXPECT_EQ(kFolderExistsText, box.text) << name;
        EXPECT_EQ(0x1030u, box.style) << name;
        EXPECT_EQ(UiRobot::Buttons(IDOK), box.buttons) << name;
        EXPECT_EQ(dialog, box.owner) << name;
        if (std::string(name) == "taken")
            Screenshot("folder-exists-warning");
        ASSERT_TRUE(UiRobot::AnswerMessageBox(box.window, IDOK, kGoneMs));
        EXPECT_TRUE(UiRobot::IsShown(dialog)) << name;
        EXPECT_TRUE(UiRobot::WaitForFocus(dialog, GetDlgItem(dialog, kNameBox), kGoneMs)) << name;
    }

    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "fresh"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>({ "file.txt", "fresh", "taken" }), ListFolder(target));
    EXPECT_TRUE(IsFolderPath(target + "\\fresh"));
    EXPECT_EQ("file", ReadTextFile(target + "\\file.txt"));
}

// A folder name ending in a character whose second byte is 0x5C: taken for a trailing
// backslash, the dragged folder would be offered as a file (no existence check).
TEST_F(DropTest, FolderNamedWithBackslashTrailByteIsAFolder)
{
    ASSERT_TRUE(MakeFolder(source + "一覧表"));
    ASSERT_TRUE(WriteTextFile(source + "一覧表\\x.txt", "in folder"));
    ASSERT_TRUE(MakeFolder(target + "\\ソ能表"));
    HWND dialog = Drop("move", source + "一覧表");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("一覧表", ControlText(dialog, kNameBox));
    EXPECT_FALSE(UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)));
    EXPECT_FALSE(UiRobot::IsShown(GetDlgItem(dialog, kDot)));
    // A folder's name that exists in the target is refused, as for any folder.
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "ソ能表"));
    ASSERT_TRUE(UiRobot::ClickButton(dialog, IDOK));
    HWND box = UiRobot::WaitForMessageBox(host.processId, kWarningCaption, 3000);
    EXPECT_NE(nullptr, box) << "no warning for an existing folder name";
    if (box != nullptr) {
        ASSERT_TRUE(UiRobot::AnswerMessageBox(box, IDOK, kGoneMs));
    }
    if (UiRobot::IsShown(dialog)) {
        ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "能表"));
        Confirm(dialog);
    }
    ExpectDropEnded();
    EXPECT_EQ("in folder", ReadTextFile(target + "\\能表\\x.txt"));
    EXPECT_FALSE(Exists(source + "一覧表"));
}

TEST_F(DropTest, CopiesFolderNamedOutsideTheCodePageWithItsContent)
{
    const std::wstring name = L"写真\u301C2024\xD83D\xDCF7";
    const std::wstring item = Wide(source) + name;
    ASSERT_TRUE(MakeFolder(item));
    ASSERT_TRUE(MakeFolder(item + L"\\caf\u00E9"));
    ASSERT_TRUE(WriteTextFile(item + L"\\caf\u00E9\\\u00A5.txt", "inner"));
    HWND dialog = Drop("copy", item, Wide(target));
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(name, UiRobot::ControlTextW(dialog, kNameBox));
    EXPECT_FALSE(UiRobot::IsShown(GetDlgItem(dialog, kExtensionBox)));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::wstring>({ name }), ListFolder(Wide(target)));
    EXPECT_EQ("inner", ReadTextFile(Wide(target) + L"\\" + name + L"\\caf\u00E9\\\u00A5.txt"));
}

TEST_F(DropTest, CopiesOntoADriveRoot)
{
    // R: is a scratch folder seen as a drive root: the target "R:\" keeps its one backslash.
    const std::string placed = "R:\\e2e-root-copy.txt";
    DeleteFileA(placed.c_str());
    ASSERT_TRUE(WriteTextFile(source + "root.txt", "to the root"));
    HWND dialog = Drop("copy", source + "root.txt", "R:\\");
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "e2e-root-copy"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ("to the root", ReadTextFile(placed));
    DeleteFileA(placed.c_str());
}

TEST_F(DropTest, MovesFileToAnotherDrive)
{
    // From S: to R:, so the shell's move copies and then deletes.
    const std::string other = "R:\\e2e-move";
    RemoveTree(other);
    ASSERT_TRUE(MakeFolder(other));
    ASSERT_TRUE(WriteTextFile(source + "travel.txt", "across drives"));
    HWND dialog = Drop("move", source + "travel.txt", other);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kExtensionBox, "dat"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_EQ(std::vector<std::string>(), ListFolder(source));
    EXPECT_EQ("across drives", ReadTextFile(other + "\\travel.dat"));
    RemoveTree(other);
}

} // namespace
