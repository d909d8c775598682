// FolderBrowser: lets the user pick the install folder in the shell's folder tree and
// hands back its path with a trailing backslash.
#include "setup/FolderBrowser.h"

#include <shlobj.h>

#include "common/PathHelpers.h"

FolderBrowser::FolderBrowser(HWND ownerWindow, const char* titleText, const char* folderText)
    : result(500), owner(ownerWindow != nullptr ? ownerWindow : GetDesktopWindow())
{
    title.Assign(titleText);
    initialFolder.Assign(folderText);
}

bool FolderBrowser::Browse()
{
    BROWSEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.data;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!initialFolder.IsEmpty()) {
        info.lpfn = SelectionCallback;
        info.lParam = reinterpret_cast<LPARAM>(initialFolder.data);
    }

    LPITEMIDLIST itemList = SHBrowseForFolderA(&info);
    if (itemList == nullptr)
        return false;

    result.Reserve(500);
    SHGetPathFromIDListA(itemList, result.data);

    IMalloc* shellAllocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellAllocator)) && shellAllocator != nullptr) {
        shellAllocator->Free(itemList);
        shellAllocator->Release();
    }

    // A pick that has no file-system path (the browser should not offer one) counts as
    // no pick: the edit box keeps its text.
    if (result.IsEmpty())
        return false;
    if (!EndsWithBackslash(result.data))
        result.AppendChar('\\');
    return true;
}

int CALLBACK FolderBrowser::SelectionCallback(HWND browser, UINT message, LPARAM parameter,
                                              LPARAM callbackData)
{
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, 1, callbackData);
    return 0;
}
