// The setup program's application record and the reading of its command line.
#include "setup/SetupApp.h"

#include <stdlib.h>

#include "common/PathHelpers.h"

SetupApp::SetupApp(HINSTANCE instanceHandle)
    : instance(instanceHandle), desktopWindow(GetDesktopWindow())
{
    modulePath.Reserve(500);
    if (modulePath.data != nullptr) {
        // A failing call (or a path cut at the limit) leaves both buffers empty.
        DWORD length = GetModuleFileNameA(instance, modulePath.data, 500);
        if (length == 0 || length >= 500)
            modulePath.Reserve(500);
    }
    moduleFolder.Assign(modulePath);
    TruncateAfterLastBackslash(moduleFolder.data);
}

SetupApp::~SetupApp()
{
    modulePath.Free();
    moduleFolder.Free();
}

const char* CommandTail(const char* commandLine)
{
    if (commandLine == nullptr)
        return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        // A quoted program name runs to the next double quote, which belongs to it.
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p > ' ')
            ++p;
    }
    while (*p >= 1 && *p <= ' ')
        ++p;
    return reinterpret_cast<const char*>(p);
}

// True for a signed decimal number and nothing else: an optional minus and at least one digit.
static bool IsDecimalNumber(const char* word)
{
    if (*word == '-')
        ++word;
    if (*word == '\0')
        return false;
    for (; *word != '\0'; ++word) {
        if (*word < '0' || *word > '9')
            return false;
    }
    return true;
}

SetupRole ChooseRole(const char* commandTail, int argc, char** argv,
                     HANDLE* launcher, StringBuffer& installFolder)
{
    if (commandTail == nullptr || commandTail[0] == '\0')
        return InstallRole;
    if (lstrcmpA(commandTail, "-U") == 0)
        return UninstallLauncherRole;
    if (argc < 2 || argv == nullptr || argv[1] == nullptr
        || lstrcmpA(argv[1], "/MainUninst") != 0)
        return NoRole;
    // Without a second word that is a number there is no launcher to wait for: no role runs.
    if (argc < 3 || argv[2] == nullptr || !IsDecimalNumber(argv[2]))
        return NoRole;

    // The rest is the tail after "/MainUninst", the number and one blank each, with its own
    // blanks kept and no quotes removed.
    installFolder.Assign(commandTail);
    installFolder.Erase(0, lstrlenA(argv[1]) + lstrlenA(argv[2]) + 2);
    // The launcher writes the handle value as a signed decimal; handle values are
    // sign-extended to the pointer width.
    *launcher = LongToHandle(atoi(argv[2]));
    return UninstallMainRole;
}
