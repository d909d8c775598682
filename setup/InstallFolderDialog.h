// InstallFolderDialog: the modal dialog in which the user confirms, types or browses for
// the install folder before anything is copied.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

class InstallFolderDialog {
public:
    HWND window; // set when the dialog initialises
    StringBuffer folder; // the proposal on entry, the confirmed text on exit
    bool notShown; // set when the dialog could not be created at all

    InstallFolderDialog();

    // Shows dialog 101 with the proposal in the edit box; true when the user confirmed,
    // false also when the dialog could not be created (notShown).
    bool Run(HINSTANCE instance, HWND owner, const StringBuffer& proposal);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnConfirm();
    INT_PTR OnBrowse();
};
