// Test tool: reads its own command line exactly as setup.exe does and prints the command
// tail and the role chosen, so that tests can start it with real command lines.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "setup/SetupApp.h"

int main()
{
    SetupApp app(GetModuleHandleA(nullptr));
    const char* tail = CommandTail(GetCommandLineA());
    HANDLE launcher = nullptr;
    StringBuffer folder;
    bool silent = false;
    SetupRole role = ChooseRole(tail, __argc, __argv, &launcher, folder, &silent);
    printf("tail=[%s]\nrole=%d\nhandle=%ld\nfolder=[%s]\nmoduleFolder=[%s]\n", tail, role,
           HandleToLong(launcher), folder.data != nullptr ? folder.data : "(null)",
           app.moduleFolder.data != nullptr ? app.moduleFolder.data : "(null)");
    fflush(stdout);
    return 0;
}
