// The file manager's own road to the handler: the registry keys that regsvr32.exe writes
// for the DLL, and what is left of them once it is unregistered.
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "support/ChildProcess.h"
#include "UiRobot.h"
#include "ProductVersion.h"

using namespace e2e;

namespace {

// The file manager's own road: the handler key of the drop target's type names the class,
// the platform loads the DLL from InprocServer32. Registered and unregistered for real.
TEST_F(DropTest, RegistryRoadFindsTheHandlerUntilUnregistered)
{
    ASSERT_EQ(0u, RunRegsvr32("/s", kDllPath));
    ASSERT_TRUE(WriteTextFile(source + "reg.txt", "through the registry"));
    const std::string handlerValue = " {6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";

    ASSERT_TRUE(host.Start(L"--registry --pick copy --wait-ms 20000 " + Wide(target) + L" " +
                               Wide(source + "reg.txt"),
                           folder + "host.txt"));
    HWND dialog = WaitForRenameDialog(host.processId, false);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "found"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_TRUE(
        host.HasLine("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim" + handlerValue))
        << host.report;
    EXPECT_TRUE(host.HasLine("co-create-instance 0x00000000")) << host.report;
    EXPECT_EQ("through the registry", ReadTextFile(target + "\\found.txt"));

    // The keys for drives and for all files name the same class.
    for (const char* key : { "Drive", "*" }) {
        ASSERT_TRUE(host.Start(L"--registry --key " + Wide(key) + L" --pick move " + Wide(target) +
                                   L" " + Wide(source + "reg.txt"),
                               folder + "host.txt"));
        dialog = WaitForRenameDialog(host.processId, true);
        EXPECT_NE(nullptr, dialog) << key;
        if (dialog != nullptr)
            UiRobot::ClickButton(dialog, IDCANCEL);
        ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
        EXPECT_TRUE(host.HasLine(std::string("handler-key HKCR\\") + key +
                                 "\\shellex\\DragDropHandlers\\pelim" + handlerValue))
            << host.report;
    }

    ASSERT_EQ(0u, RunRegsvr32("/s /u", kDllPath));
    ASSERT_TRUE(
        host.Start(L"--registry --pick copy " + Wide(target) + L" " + Wide(source + "reg.txt"),
                   folder + "host.txt"));
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_EQ(3u, host.exitCode);
    EXPECT_TRUE(host.HasLine("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim missing"))
        << host.report;
    EXPECT_TRUE(host.HasLine("end no-handler")) << host.report;
    EXPECT_EQ(std::vector<std::string>({ "reg.txt" }), ListFolder(source));
}

} // namespace
