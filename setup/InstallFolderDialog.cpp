// InstallFolderDialog: shows the proposed install folder, lets the user edit it or pick
// one in the shell's folder browser, and returns the text as confirmed.
#include "setup/InstallFolderDialog.h"

#include "setup/FolderBrowser.h"
#include "setup/FolderGuard.h"
#include "setup/resource.h"
#include "UiTexts.h"


static const int folderTextLimit = 500;

InstallFolderDialog::InstallFolderDialog() : window(nullptr), notShown(false) {}

bool InstallFolderDialog::Run(HINSTANCE instance, HWND owner, const StringBuffer& proposal)
{
    folder.Assign(proposal);
    INT_PTR code = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL_FOLDER), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    notShown = code == -1;
    return code == IDOK;
}

INT_PTR CALLBACK InstallFolderDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam)
{
    InstallFolderDialog* self =
        reinterpret_cast<InstallFolderDialog*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));

    if (message == WM_INITDIALOG) {
        if (lParam == 0)
            return 0;
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        self = reinterpret_cast<InstallFolderDialog*>(lParam);
        self->window = dialog;
        if (!self->folder.IsEmpty())
            SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, self->folder.data);
        return 1;
    }

    if (message == WM_COMMAND && self != nullptr) {
        switch (LOWORD(wParam)) {
        case IDOK:
            return self->OnConfirm();
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return 1;
        case IDC_BROWSE:
            return self->OnBrowse();
        }
    }
    return 0;
}

INT_PTR InstallFolderDialog::OnConfirm()
{
    folder.Reserve(folderTextLimit);
    GetDlgItemTextA(window, IDC_INSTALL_FOLDER, folder.data, folderTextLimit);
    // A relative folder ("pelim", or the proposal "pelim\" when no program folder is
    // known) would land wherever the current folder is: it counts as no folder.
    if (!folder.IsEmpty() && IsAbsolutePath(folder.data)) {
        EndDialog(window, IDOK);
    } else {
        MessageBoxA(window, emptyFolderText, emptyFolderCaption, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(window, IDC_INSTALL_FOLDER));
    }
    return 1;
}

INT_PTR InstallFolderDialog::OnBrowse()
{
    folder.Reserve(folderTextLimit);
    GetDlgItemTextA(window, IDC_INSTALL_FOLDER, folder.data, folderTextLimit);

    FolderBrowser browser(window, browserTitle, folder.data);
    if (browser.Browse()) {
        folder.Assign(browser.result);
        SetDlgItemTextA(window, IDC_INSTALL_FOLDER, folder.data);
    }
    return 1;
}
