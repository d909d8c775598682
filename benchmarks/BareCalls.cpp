// The bare platform calls of a one-item drop, the benchmarks' yardstick.
#include "BareCalls.h"

#include <shellapi.h>

void BareCalls(IDataObject* data, PCIDLIST_ABSOLUTE folder, UINT firstCommand)
{
    HMENU menu = CreatePopupMenu();
    if (folder) {
        wchar_t target[1000];
        SHGetPathFromIDListW(folder, target);
    }
    FORMATETC format = { CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL };
    STGMEDIUM medium = {};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
        HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
        wchar_t path[1000];
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1)
            DragQueryFileW(drop, 0, path, 1000);
        GlobalUnlock(medium.hGlobal);
        ReleaseStgMedium(&medium);
    }
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, firstCommand, L"copy");
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, firstCommand + 1, L"move");
    DestroyMenu(menu);
}
