// Dialogue: message boxes, questions, the install folder dialog and the read-me for an
// interactive run; their silent answers for a run that nobody watches.
#include "setup/Dialogue.h"

#include <shellapi.h>

#include "setup/FolderGuard.h"
#include "setup/InstallFolderDialog.h"
#include "setup/SetupRoles.h"

Dialogue::Dialogue(HWND ownerWindow) : owner(ownerWindow), silent(false), restartOwed(false) {}

void Dialogue::BeSilent(const char* folderGiven)
{
    silent = true;
    folder.Assign(folderGiven != nullptr ? folderGiven : "");
}

void Dialogue::Tell(const char* text, const char* caption, UINT flags)
{
    if (!silent)
        MessageBoxA(owner, text, caption, flags);
}

int Dialogue::Ask(const Question& question)
{
    if (!silent)
        return MessageBoxA(owner, question.text, question.caption, question.flags);
    restartOwed = restartOwed || question.restartOwed;
    return question.silentAnswer;
}

int Dialogue::ChooseFolder(HINSTANCE instance, const StringBuffer& proposal, StringBuffer& chosen)
{
    if (silent) {
        // The dialog's rule: a relative folder (the proposal "pelim\" when no program folder
        // is known) is no folder.
        chosen.Assign(folder.IsEmpty() ? proposal : folder);
        return IsAbsolutePath(chosen.data) ? SetupSucceeded : SetupFailed;
    }
    InstallFolderDialog dialog;
    dialog.folder.Reserve(500);
    bool confirmed = dialog.Run(instance, owner, proposal);
    if (confirmed)
        chosen.Assign(dialog.folder);
    if (confirmed)
        return SetupSucceeded;
    return dialog.notShown ? SetupFailed : SetupCancelled;
}

void Dialogue::Open(const char* file, const char* workingFolder)
{
    if (!silent)
        ShellExecuteA(owner, "open", file, nullptr, workingFolder, SW_SHOWNORMAL);
}

void Dialogue::OweRestart()
{
    restartOwed = restartOwed || silent;
}

int Dialogue::Outcome(int code) const
{
    return code == SetupSucceeded && restartOwed ? SetupRestartRequired : code;
}
