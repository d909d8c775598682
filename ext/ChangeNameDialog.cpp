// The rename dialog: splits the item's name into name and extension, names the operation
// in the caption and on the OK button, opens at the mouse pointer, and on OK checks the
// entry and hands back the joined new name.
#include "ext/ChangeNameDialog.h"
#include "ext/resource.h"
#include "common/PathHelpers.h"

static const char copyCaption[] = "名前を変更してコピー";
static const char moveCaption[] = "名前を変更して移動";
static const char copyButton[] = "コピー(&C)";
static const char moveButton[] = "移動(&M)";
static const char emptyNameText[] = "変更後の名前を入力してください！";
static const char emptyNameCaption[] = "エラー";
static const char folderExistsText[] =
    "入力したフォルダ名前は既に存在します！\n"
    "フォルダに対して、名前を変えての上書き移動／コピーは出来ません。\n"
    "別の名前を指定してください。";
static const char folderExistsCaption[] = "警告";

const UINT WarningStyle = MB_ICONEXCLAMATION | MB_SYSTEMMODAL;   // 0x1030
const int MinimumExtensionLimit = 8;
const int NameLimit = 256;

ChangeNameDialog::ChangeNameDialog()
    : instance(nullptr), parentWindow(nullptr), dialogWindow(nullptr), running(0), isMove(0),
      hasExtension(0)
{
}

bool ChangeNameDialog::Run(HINSTANCE moduleInstance, HWND parent)
{
    if (running)
        return false;
    instance = moduleInstance;
    parentWindow = parent;
    running = 1;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CHANGENAME), parentWindow,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    running = 0;
    instance = nullptr;
    parentWindow = nullptr;
    dialogWindow = nullptr;
    return result == IDOK;
}

void ChangeNameDialog::Reset()
{
    if (dialogWindow) {
        EndDialog(dialogWindow, IDCANCEL);
        dialogWindow = nullptr;
    }
    running = 0;
    instance = nullptr;
    parentWindow = nullptr;
    destinationFolder.Free();
    name.Free();
}

INT_PTR CALLBACK ChangeNameDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    ChangeNameDialog* dialog =
        reinterpret_cast<ChangeNameDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        dialog = reinterpret_cast<ChangeNameDialog*>(lParam);
        return dialog ? dialog->OnInitDialog(window) : 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            return dialog ? dialog->OnOk() : 0;
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, IDCANCEL);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

INT_PTR ChangeNameDialog::OnInitDialog(HWND window)
{
    dialogWindow = window;
    if (!hasExtension) {
        // A folder: one name box spanning both boxes; no dot, no extension box.
        RECT extensionRect, nameRect;
        GetWindowRect(GetDlgItem(window, IDC_EXTENSION), &extensionRect);
        GetWindowRect(GetDlgItem(window, IDC_NAME), &nameRect);
        SetWindowPos(GetDlgItem(window, IDC_NAME), nullptr, 0, 0,
                     extensionRect.right - nameRect.left, nameRect.bottom - nameRect.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        ShowWindow(GetDlgItem(window, IDC_DOT), SW_HIDE);
        ShowWindow(GetDlgItem(window, IDC_EXTENSION), SW_HIDE);
    } else {
        // A file: the text after the last dot goes to the extension box. A dot byte is
        // never the second byte of a double-byte character, so a backward search is safe.
        StringBuffer extension;
        int length = name.Length();
        int dot = length - 1;
        while (dot >= 0 && name.data[dot] != '.')
            --dot;
        if (dot >= 0) {
            if (dot < length - 1) {
                extension.Assign(name);
                extension.Erase(0, dot + 1);
            }
            name.Erase(dot, length - dot);
        }
        int extensionLength = extension.Length();
        int limit = extensionLength > MinimumExtensionLimit ? extensionLength : MinimumExtensionLimit;
        SendDlgItemMessageA(window, IDC_EXTENSION, EM_LIMITTEXT, limit, 0);
        if (!extension.IsEmpty())
            SetDlgItemTextA(window, IDC_EXTENSION, extension.data);
        extension.Free();
    }
    SetDlgItemTextA(window, IDC_NAME, name.data ? name.data : "");
    SetWindowTextA(window, isMove ? moveCaption : copyCaption);
    SetDlgItemTextA(window, IDOK, isMove ? moveButton : copyButton);

    POINT cursor;
    GetCursorPos(&cursor);
    SetWindowPos(window, nullptr, cursor.x, cursor.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 1;
}

INT_PTR ChangeNameDialog::OnOk()
{
    StringBuffer entered;
    StringBuffer fullPath;
    if (!entered.Reserve(NameLimit))
        return 1;
    GetDlgItemTextA(dialogWindow, IDC_NAME, entered.data, NameLimit);
    if (entered.IsEmpty()) {
        MessageBoxA(dialogWindow, emptyNameText, emptyNameCaption, WarningStyle);
        SetFocus(GetDlgItem(dialogWindow, IDC_NAME));
        entered.Free();
        return 1;
    }
    if (hasExtension) {
        StringBuffer extension;
        HWND extensionBox = GetDlgItem(dialogWindow, IDC_EXTENSION);
        int length = GetWindowTextLengthA(extensionBox);
        if (length > 0 && extension.Reserve(length + 1)) {
            GetWindowTextA(extensionBox, extension.data, length + 1);
            if (!extension.IsEmpty()) {
                entered.AppendChar('.');
                entered.Append(extension);
            }
        }
        extension.Free();
    }
    fullPath.Assign(destinationFolder);
    fullPath.Append(entered);
    if (!hasExtension && PathExists(fullPath.data)) {
        MessageBoxA(dialogWindow, folderExistsText, folderExistsCaption, WarningStyle);
        SetFocus(GetDlgItem(dialogWindow, IDC_NAME));
    } else {
        name.Assign(entered);
        EndDialog(dialogWindow, IDOK);
    }
    fullPath.Free();
    entered.Free();
    return 1;
}
