// Stand-ins for the three roles until the install and uninstall flows exist. They do
// nothing but name the role that was chosen on the standard output handle, when there is one.
// Each one stands aside as soon as the file of the real role is there.
#include <windows.h>

#include "setup/SetupApp.h"
#include "setup/SetupRoles.h"

static void TellRole(const char* text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(output, text, lstrlenA(text), &written, nullptr);
}

#if !__has_include("setup/InstallFlow.h")
void RunInstall(SetupApp& app)
{
    TellRole("RunInstall\n");
}
#endif

#if !__has_include("setup/UninstallLauncher.h")
void StartUninstall(SetupApp& app)
{
    TellRole("StartUninstall\n");
}
#endif

#if !__has_include("setup/UninstallMain.h")
void RunUninstall(SetupApp& app, HANDLE launcher, const char* installFolder)
{
    char line[700];
    wsprintfA(line, "RunUninstall %d [", HandleToLong(launcher));
    TellRole(line);
    TellRole(installFolder);
    TellRole("]\n");
}
#endif
