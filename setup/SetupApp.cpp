// The setup program's application record and the reading of its command line.
#include "setup/SetupApp.h"

#include <stdlib.h>
#include <string.h>

#include "common/PathHelpers.h"
#include "setup/FolderGuard.h"

SetupApp::SetupApp(HINSTANCE instanceHandle)
    : instance(instanceHandle), desktopWindow(GetDesktopWindow()), dialogue(desktopWindow),
      scopeRequest(AnyScope), scope(&machineScope)
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
static const char folderSwitch[] = "/D=";

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

// The scope switches, as installers of this kind spell them.
static const struct {
    const char* word;
    ScopeRequest request;
} scopeSwitches[] = {
    { "/ALLUSERS", MachineScopeRequested },
    { "/CURRENTUSER", UserScopeRequested },
};

// True when the text at rest is word, as a whole word: followed by the end, or by one blank
// and more; rest then moves past it (and its blank).
static bool TakeWord(const char*& rest, const char* word)
{
    int length = lstrlenA(word);
    if (strncmp(rest, word, length) != 0)
        return false;
    if (rest[length] == '\0') {
        rest += length;
        return true;
    }
    if (rest[length] != ' ' || rest[length + 1] == '\0')
        return false;
    rest += length + 1;
    return true;
}

// "[/S] [/ALLUSERS | /CURRENTUSER] [/D=<folder>]", in this order, one blank between, each
// at most once: everything after "/D=" is the folder (blanks included), which belongs to
// "/S" and must be absolute. False for anything else.
static bool ReadInstallSwitches(const char* tail, bool* silent, ScopeRequest* scope,
                                StringBuffer& installFolder)
{
    const char* rest = tail;
    *silent = TakeWord(rest, silentSwitch);
    for (const auto& scopeSwitch : scopeSwitches) {
        if (TakeWord(rest, scopeSwitch.word)) {
            *scope = scopeSwitch.request;
            break;
        }
    }
    int folderLength = lstrlenA(folderSwitch);
    if (*silent && strncmp(rest, folderSwitch, folderLength) == 0 &&
        IsAbsolutePath(rest + folderLength)) {
        installFolder.Assign(rest + folderLength);
        return true;
    }
    if (*rest != '\0')
        return false;
    if (*silent)
        installFolder.Assign("");
    return true;
}

SetupRole ChooseRole(const char* commandTail, int argc, char** argv, HANDLE* launcher,
                     StringBuffer& installFolder, bool* silent, ScopeRequest* scope)
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
    // A tail of install switches; silent only when it says "/S".
    ScopeRequest requested = AnyScope;
    bool silentInstall = false;
    if (commandTail[0] == '/' &&
        ReadInstallSwitches(commandTail, &silentInstall, &requested, installFolder)) {
        *silent = silentInstall;
        if (scope != nullptr)
            *scope = requested;
        return InstallRole;
    }
    if (argc < 2 || argv == nullptr || argv[1] == nullptr || lstrcmpA(argv[1], "/MainUninst") != 0)
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
