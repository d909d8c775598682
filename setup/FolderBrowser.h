// FolderBrowser: the shell's folder browser, opened from the install folder dialog with
// the folder of the edit box already selected.
#pragma once

#include <windows.h>

#include "common/StringBuffer.h"

class FolderBrowser {
public:
    StringBuffer result; // the chosen folder, ending in a backslash
    StringBuffer title; // the text above the folder tree
    StringBuffer initialFolder; // the folder selected when the browser opens
    HWND owner;

    FolderBrowser(HWND owner, const char* title, const char* initialFolder);

    bool Browse();

    static int CALLBACK SelectionCallback(HWND browser, UINT message, LPARAM parameter,
                                          LPARAM callbackData);
};
