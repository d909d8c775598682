// Dialogue: the setup flows' one way of asking and telling the user. A silent run (a
// software-distribution tool's "/S") shows nothing: notices are taken as read, each question
// gets the answer it was given for that case, the install folder is the one the command line
// named (or the proposal), and nothing is opened.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

// A question of the flows, with the answer a silent run gives it. restartOwed marks the
// offer to log off or restart that a silent run declines: the run then ends with the
// platform's "success, restart required".
struct Question {
    const char* text;
    const char* caption;
    UINT flags;
    int silentAnswer;
    bool restartOwed;
};

class Dialogue {
public:
    HWND owner; // the desktop window: owner of every message box
    bool silent;
    StringBuffer folder; // a silent install's "/D=" folder; empty: the proposal
    bool restartOwed; // a silent run declined to log off or restart

    explicit Dialogue(HWND owner);

    void BeSilent(const char* folderGiven);

    void Tell(const char* text, const char* caption, UINT flags);
    int Ask(const Question& question);
    // The install folder: the dialog's text as confirmed, or in a silent run the folder given
    // or the proposal. SetupSucceeded when chosen, SetupCancelled when the user closed the
    // dialog, SetupFailed when it could not be shown (or a silent run has no absolute folder).
    int ChooseFolder(HINSTANCE instance, const StringBuffer& proposal, StringBuffer& chosen);
    // Opens a document with the shell's "open" verb.
    void Open(const char* file, const char* workingFolder);

    // A silent run ends with the platform's "restart required" on success (a log-off or
    // restart finishes it); an interactive one tells its user in its own words.
    void OweRestart();

    // The exit code of a run that ended with code: a success that owes a restart says so.
    int Outcome(int code) const;

private:
    Dialogue(const Dialogue&) = delete;
    Dialogue& operator=(const Dialogue&) = delete;
};
