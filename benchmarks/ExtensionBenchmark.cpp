// Figures for pelim102.dll: the time of one Initialize + QueryContextMenu on a one-item
// drop beside the bare platform calls that work cannot do without, the time of getting
// the class object and creating and releasing one object, and the size of the DLL.
// Targets: ratio to the bare calls with the target's path at most 1.2; DLL at most 64 KiB
// (stripped). Built for both architectures; scripts/benchmark.sh runs both and prints
// their figures side by side.
#include "comserver/PelimDll.h"
#include "BareCalls.h"

#include <shlobj.h>
#include <shellapi.h>
#include <stdio.h>
#include "ProductVersion.h"

namespace {

const int kCalls = 2000;
const int kRounds = 7;
const UINT kFirst = 100;

double Now()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

IDataObject* ShellData(const wchar_t* path)
{
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHParseDisplayName(path, nullptr, &pidl, 0, nullptr)))
        return nullptr;
    IShellFolder* parent = nullptr;
    PCUITEMID_CHILD child = nullptr;
    IDataObject* data = nullptr;
    if (SUCCEEDED(SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&parent), &child))) {
        parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
        parent->Release();
    }
    CoTaskMemFree(pidl);
    return data;
}

void HandlerCalls(IShellExtInit* init, IContextMenu* contextMenu, PCIDLIST_ABSOLUTE folder,
                  IDataObject* data)
{
    HMENU menu = CreatePopupMenu();
    init->Initialize(folder, data, nullptr);
    contextMenu->QueryContextMenu(menu, 0, kFirst, kFirst + 100, CMF_NORMAL);
    DestroyMenu(menu);
}

// The best of several rounds, in microseconds per call.
template <typename Work>
double MicrosecondsPerCall(Work work)
{
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        for (int i = 0; i < kCalls; ++i)
            work();
        double perCall = (Now() - start) * 1e6 / kCalls;
        if (perCall < best)
            best = perCall;
    }
    return best;
}

}  // namespace

int main()
{
    CoInitialize(nullptr);
    CreateDirectoryA("S:\\bench", nullptr);
    CreateDirectoryA("S:\\bench\\target", nullptr);
    HANDLE file = CreateFileA("S:\\bench\\item.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);

    PelimDll dll;
    if (!dll.Load()) {
        printf("cannot load %s\n", kPelimDllPath);
        return 1;
    }
    IDataObject* data = ShellData(L"S:\\bench\\item.txt");
    PIDLIST_ABSOLUTE folder = nullptr;
    SHParseDisplayName(L"S:\\bench\\target", nullptr, &folder, 0, nullptr);
    IShellExtInit* init = nullptr;
    IContextMenu* contextMenu = nullptr;
    dll.CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (!data || !folder || !init) {
        printf("set-up failed\n");
        return 1;
    }
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&contextMenu));

    // Interleave the two so that both see the same state of the machine.
    double bare = 1e30, bareWithTarget = 1e30, handler = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        double b = MicrosecondsPerCall([&] { BareCalls(data, nullptr, kFirst); });
        double t = MicrosecondsPerCall([&] { BareCalls(data, folder, kFirst); });
        double h = MicrosecondsPerCall([&] { HandlerCalls(init, contextMenu, folder, data); });
        bare = b < bare ? b : bare;
        bareWithTarget = t < bareWithTarget ? t : bareWithTarget;
        handler = h < handler ? h : handler;
    }
    // One figure a line: what was measured | the figure (scripts/benchmark.sh puts the
    // architectures side by side).
    printf("one-item drop, Initialize + QueryContextMenu|%.2f us/call\n", handler);
    printf("bare calls (GetData, DragQueryFileW x2, InsertMenuW x2)|%.2f us/call\n", bare);
    printf("  ratio handler / bare|%.3f\n", handler / bare);
    printf("bare calls + SHGetPathFromIDListW of the target|%.2f us/call\n", bareWithTarget);
    // The handler's Initialize reads the drop folder's path: these are its like.
    printf("  ratio handler / bare with target (target <= 1.2)|%.3f\n", handler / bareWithTarget);

    double create = MicrosecondsPerCall([&] {
        IClassFactory* factory = nullptr;
        dll.DllGetClassObject(kClsidChangeName, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        IUnknown* object = nullptr;
        factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        object->Release();
        factory->Release();
    });
    printf("DllGetClassObject + CreateInstance + Release|%.3f us/call\n", create);

    contextMenu->Release();
    init->Release();
    data->Release();
    CoTaskMemFree(folder);

    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    GetFileAttributesExA(kPelimDllPath, GetFileExInfoStandard, &attributes);
    unsigned size = attributes.nFileSizeLow;
    printf(PELIM_DLL_NAME ", stripped (target <= 64 KiB)|%u bytes = %.1f KiB\n", size, size / 1024.0);
    dll.Unload();
    CoUninitialize();
    return 0;
}
