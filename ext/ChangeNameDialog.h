// ChangeNameDialog: the small modal dialog, opened at the mouse pointer, in which the user
// edits the destination name of a rename and copy or move (name and extension boxes for
// a file, one wide name box for a folder). One class for both roads of text: code page
// 932 on the older family, UTF-16 on the NT family.
#pragma once

#include "common/StringBuffer.h"

#include <windows.h>

template <class Char>
class ChangeNameDialog {
public:
    HINSTANCE instance;
    HWND parentWindow;
    HWND dialogWindow;
    int running;
    int isMove;
    int isFile; // 1: name and extension boxes; 0: a folder, one wide name box
    TextBuffer<Char> name;
    TextBuffer<Char> destinationFolder;

    ChangeNameDialog();
    ~ChangeNameDialog() { Reset(); }

    // Shows the dialog (template 201 of instance) modally; true when closed with OK.
    bool Run(HINSTANCE moduleInstance, HWND parent);
    void Reset();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnOk();
    void Refuse(const char* text, const char* caption);

    ChangeNameDialog(const ChangeNameDialog&) = delete;
    ChangeNameDialog& operator=(const ChangeNameDialog&) = delete;
};
