// The setup program's application record and the reading of its command line.
#include "setup/SetupApp.h"

#include <stdlib.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "setup/FolderGuard.h"

SetupApp::SetupApp(HINSTANCE instanceHandle)
    : instance(instanceHandle), desktopWindow(GetDesktopWindow()), dialogue(desktopWindow)
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

static const char silentSwitch[] = "/S";
static const char folderSwitch[] = " /D=";

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
                     HANDLE* launcher, StringBuffer& installFolder, bool* silent)
{
    *silent = false;
    if (commandTail == nullptr || commandTail[0] == '\0')
        return InstallRole;
    if (lstrcmpA(commandTail, "-U") == 0)
        return UninstallLauncherRole;
    if (lstrcmpA(commandTail, "-U /S") == 0) {
        *silent = true;
        return UninstallLauncherRole;
    }
    // "/S", or "/S /D=<folder>" with everything after "/D=" the folder, as installers of
    // this kind take it; the folder follows the install folder dialog's rule.
    int switchLength = lstrlenA(silentSwitch);
    if (strncmp(commandTail, silentSwitch, switchLength) == 0) {
        const char* rest = commandTail + switchLength;
        if (*rest == '\0') {
            *silent = true;
            installFolder.Assign("");
            return InstallRole;
        }
        int folderLength = lstrlenA(folderSwitch);
        if (strncmp(rest, folderSwitch, folderLength) != 0 || !IsAbsolutePath(rest + folderLength))
            return NoRole;
        *silent = true;
        installFolder.Assign(rest + folderLength);
        return InstallRole;
    }
    if (argc < 2 || argv == nullptr || argv[1] == nullptr
        || lstrcmpA(argv[1], "/MainUninst") != 0)
        return NoRole;
    // The launcher of a silent uninstallation puts "/S" before the number.
    int word = 2;
    if (argc >= 3 && argv[2] != nullptr && lstrcmpA(argv[2], silentSwitch) == 0)
        word = 3;
    // Without a word that is a number there is no launcher to wait for: no role runs.
    if (argc <= word || argv[word] == nullptr || !IsDecimalNumber(argv[word]))
        return NoRole;

    // The rest is the tail after "/MainUninst", the number and one blank each, with its own
    // blanks kept and no quotes removed.
    int erased = 0;
    for (int i = 1; i <= word; ++i)
        erased += lstrlenA(argv[i]) + 1;
    installFolder.Assign(commandTail);
    installFolder.Erase(0, erased);
    // The launcher writes the handle value as a signed decimal; handle values are
    // sign-extended to the pointer width.
    *launcher = LongToHandle(atoi(argv[word]));
    *silent = word == 3;
    return UninstallMainRole;
}
