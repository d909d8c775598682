// ChangeNameDialog: the small modal dialog, opened at the mouse pointer, in which the user
// edits the destination name of a rename and copy or move (name and extension boxes for
// a file, one wide name box for a folder).
#pragma once

#include "common/StringBuffer.h"

#include <windows.h>

class ChangeNameDialog {
public:
    HINSTANCE instance;
    HWND parentWindow;
    HWND dialogWindow;
    int running;
    int isMove;
    int hasExtension;
    StringBuffer name;
    StringBuffer destinationFolder;

    ChangeNameDialog();
    ~ChangeNameDialog() { Reset(); }

    // Shows the dialog (template 201 of instance) modally; true when closed with OK.
    bool Run(HINSTANCE moduleInstance, HWND parent);
    void Reset();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnOk();

    ChangeNameDialog(const ChangeNameDialog&) = delete;
    ChangeNameDialog& operator=(const ChangeNameDialog&) = delete;
};
