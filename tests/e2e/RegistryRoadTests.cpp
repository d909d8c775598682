// The file manager's own road to the handler: the registry keys that regsvr32.exe writes
// for the DLL, and what is left of them once it is unregistered; and a registration for
// one user only, in the user's classes.
#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "UiRobot.h"
#include "ProductVersion.h"

using namespace e2e;

namespace {

// regsvr32.exe /s [/u] on the DLL; its exit code, or -1 when it did not end in time.
int RunRegsvr32(bool unregister) {
    char commandLine[MAX_PATH * 2];
    wsprintfA(commandLine, "regsvr32.exe /s %s%s", unregister ? "/u " : "", kDllPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(exitCode);
}

// The file manager's own road: the handler key of the drop target's type names the class,
// the platform loads the DLL from InprocServer32. Registered and unregistered for real.
TEST_F(DropTest, RegistryRoadFindsTheHandlerUntilUnregistered) {
    ASSERT_EQ(0, RunRegsvr32(false));
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
    EXPECT_TRUE(host.HasLine("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim" +
                             handlerValue))
        << host.report;
    EXPECT_TRUE(host.HasLine("co-create-instance 0x00000000")) << host.report;
    EXPECT_EQ("through the registry", ReadTextFile(target + "\\found.txt"));

    // The keys for drives and for all files name the same class.
    for (const char* key : {"Drive", "*"}) {
        ASSERT_TRUE(host.Start(L"--registry --key " + Wide(key) + L" --pick move " +
                                   Wide(target) + L" " + Wide(source + "reg.txt"),
                               folder + "host.txt"));
        dialog = WaitForRenameDialog(host.processId, true);
        EXPECT_NE(nullptr, dialog) << key;
        if (dialog != nullptr) UiRobot::ClickButton(dialog, IDCANCEL);
        ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
        EXPECT_TRUE(host.HasLine(std::string("handler-key HKCR\\") + key +
                                 "\\shellex\\DragDropHandlers\\pelim" + handlerValue))
            << host.report;
    }

    ASSERT_EQ(0, RunRegsvr32(true));
    ASSERT_TRUE(host.Start(L"--registry --pick copy " + Wide(target) + L" " +
                               Wide(source + "reg.txt"),
                           folder + "host.txt"));
    ASSERT_TRUE(host.Finish(kDropMs)) << host.report;
    EXPECT_EQ(3u, host.exitCode);
    EXPECT_TRUE(host.HasLine("handler-key HKCR\\Folder\\shellex\\DragDropHandlers\\pelim missing"))
        << host.report;
    EXPECT_TRUE(host.HasLine("end no-handler")) << host.report;
    EXPECT_EQ(std::vector<std::string>({"reg.txt"}), ListFolder(source));
}

// A registration for the current user only, its keys written by hand; taken away again
// however the case ends.
const char kClassId[] = "{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const std::string kUserClassKey = std::string("Software\\Classes\\CLSID\\") + kClassId;

std::string UserHandlerKey(const char* type) {
    return std::string("Software\\Classes\\") + type + "\\shellex\\DragDropHandlers\\pelim";
}

struct UserRegistration {
    ~UserRegistration() {
        RegDeleteTreeA(HKEY_CURRENT_USER, kUserClassKey.c_str());
        // The handler keys, then their parents while empty; the types' own keys stay.
        for (const char* type : {"*", "Folder", "Drive"}) {
            std::string key = UserHandlerKey(type);
            for (int level = 0; level < 3; ++level, key.erase(key.rfind('\\'))) {
                if (RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()) != ERROR_SUCCESS) break;
            }
        }
    }
};

// Windows' file manager reads the user's classes over the machine's and COM finds a class
// registered for the user; nothing is registered for the machine here.
TEST_F(DropTest, RegistryRoadFindsAClassOfTheUser) {
    const std::string machineClassKey = std::string("CLSID\\") + kClassId;
    HKEY machineClass = nullptr;
    ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, machineClassKey.c_str(), 0, KEY_READ,
                                           &machineClass));
    UserRegistration registration;
    const std::string server = kUserClassKey + "\\InprocServer32";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CURRENT_USER, kUserClassKey.c_str(), REG_SZ,
                                          "ドラッグ＆ドロップ拡張モジュール", 0));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CURRENT_USER, server.c_str(), REG_SZ, kDllPath, 0));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, server.c_str(), "ThreadingModel",
                                             REG_SZ, "Apartment", 10));
    for (const char* type : {"*", "Folder", "Drive"}) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CURRENT_USER, UserHandlerKey(type).c_str(),
                                              REG_SZ, kClassId, 0));
    }
    ASSERT_TRUE(WriteTextFile(source + "user.txt", "for one user"));

    ASSERT_TRUE(host.Start(L"--registry --pick copy --wait-ms 20000 " + Wide(target) + L" " +
                               Wide(source + "user.txt"),
                           folder + "host.txt"));
    HWND dialog = WaitForRenameDialog(host.processId, false);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(UiRobot::SetControlText(dialog, kNameBox, "mine"));
    Confirm(dialog);
    ExpectDropEnded();
    EXPECT_TRUE(host.HasLine("handler-key HKCU\\Software\\Classes\\Folder\\shellex\\"
                             "DragDropHandlers\\pelim " + std::string(kClassId)))
        << host.report;
    EXPECT_TRUE(host.HasLine("user-class P:\\" PELIM_DLL_NAME)) << host.report;
    EXPECT_TRUE(host.LinesStartingWith("co-create-instance").empty()) << host.report;
    EXPECT_EQ("for one user", ReadTextFile(target + "\\mine.txt"));
}

}  // namespace
