// Figures for pelim102.dll: the time of one Initialize + QueryContextMenu on a one-item
// drop beside the bare platform calls that work cannot do without, the time of getting
// the class object and creating and releasing one object, and the size of the DLL.
// Targets: ratio to the bare calls with the target's path at most 1.2; DLL at most 64 KiB
// (stripped). One source for the three architectures (no printf: the ARM64 Wine cannot
// serve it); scripts/benchmark.sh runs each and prints their figures side by side.
#include "support/PelimDll.h"
#include "BareCalls.h"
#include "tools/ReportLine.h"
#include "tools/ShellDrop.h"
#include "tools/TestFiles.h"

#include <shlobj.h>

namespace {

// Fewer calls per round under ARM64 emulation, which is slow: there only ratios count.
#if defined(__aarch64__)
const int kCalls = 200;
const int kRounds = 5;
#else
const int kCalls = 2000;
const int kRounds = 7;
#endif
const UINT kFirst = 100;

struct Bench {
    PelimDll dll;
    IDataObject* data = nullptr;
    PIDLIST_ABSOLUTE folder = nullptr;
    IShellExtInit* init = nullptr;
    IContextMenu* contextMenu = nullptr;
};

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Bare(Bench& bench)
{
    BareCalls(bench.data, nullptr, kFirst);
}
void BareWithTarget(Bench& bench)
{
    BareCalls(bench.data, bench.folder, kFirst);
}

void Handler(Bench& bench)
{
    HMENU menu = CreatePopupMenu();
    bench.init->Initialize(bench.folder, bench.data, nullptr);
    bench.contextMenu->QueryContextMenu(menu, 0, kFirst, kFirst + 100, CMF_NORMAL);
    DestroyMenu(menu);
}

void CreateAndRelease(Bench& bench)
{
    IUnknown* object = nullptr;
    bench.dll.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (object)
        object->Release();
}

// The best of several rounds, in microseconds per call.
double MicrosecondsPerCall(void (*work)(Bench&), Bench& bench)
{
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        for (int i = 0; i < kCalls; ++i)
            work(bench);
        double perCall = (Now() - start) * 1e6 / kCalls;
        if (perCall < best)
            best = perCall;
    }
    return best;
}

// One figure a line: what was measured | the figure.
void Figure(const char* what, double value, int decimals, const char* unit)
{
    ReportLine().Text(what).Text("|").Fixed(value, decimals).Text(unit).Print();
}

int Run()
{
    CreateDirectoryA("S:\\bench", nullptr);
    CreateDirectoryA("S:\\bench\\target", nullptr);
    WriteFileText(L"S:\\bench\\item.txt", "");
    Bench bench;
    if (!bench.dll.Load()) {
        ReportLine().Text("cannot load ").Text(kPelimDllPath).Print();
        return 1;
    }
    const wchar_t* items[] = { L"S:\\bench\\item.txt" };
    MakeDropDataObject(items, 1, &bench.data);
    SHParseDisplayName(L"S:\\bench\\target", nullptr, &bench.folder, 0, nullptr);
    bench.dll.CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&bench.init));
    if (bench.init)
        bench.init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&bench.contextMenu));
    if (!bench.data || !bench.folder || !bench.contextMenu) {
        ReportLine().Text("set-up failed").Print();
        return 1;
    }
    // Interleaved, so that all three see the same state of the machine.
    double bare = 1e30, bareWithTarget = 1e30, handler = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        double b = MicrosecondsPerCall(Bare, bench);
        double t = MicrosecondsPerCall(BareWithTarget, bench);
        double h = MicrosecondsPerCall(Handler, bench);
        bare = b < bare ? b : bare;
        bareWithTarget = t < bareWithTarget ? t : bareWithTarget;
        handler = h < handler ? h : handler;
    }
    Figure("one-item drop, Initialize + QueryContextMenu", handler, 2, " us/call");
    Figure("bare calls (GetData, DragQueryFileW x2, InsertMenuW x2)", bare, 2, " us/call");
    Figure("  ratio handler / bare", handler / bare, 3, "");
    Figure("bare calls + SHGetPathFromIDListW of the target", bareWithTarget, 2, " us/call");
    // The handler's Initialize reads the drop folder's path: these are its like.
    Figure("  ratio handler / bare with target (target <= 1.2)", handler / bareWithTarget, 3, "");
    Figure("DllGetClassObject + CreateInstance + Release",
           MicrosecondsPerCall(CreateAndRelease, bench), 3, " us/call");
    bench.contextMenu->Release();
    bench.init->Release();
    bench.data->Release();
    CoTaskMemFree(bench.folder);

    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    GetFileAttributesExA(kPelimDllPath, GetFileExInfoStandard, &attributes);
    DWORD size = attributes.nFileSizeLow;
    ReportLine()
        .Text("pelim102.dll, stripped (target <= 64 KiB)|")
        .Number(size)
        .Text(" bytes = ")
        .Fixed(size / 1024.0, 1)
        .Text(" KiB")
        .Print();
    bench.dll.Unload();
    return 0;
}

} // namespace

int main()
{
    CoInitialize(nullptr);
    int result = Run();
    CoUninitialize();
    return result;
}
