// The yardstick of the extension benchmarks: the platform calls any one-item drop handler
// makes, timed beside the handler's own Initialize + QueryContextMenu. Shared by the x86
// benchmark (ExtensionBenchmark.cpp) and the ARM64 test program's bench mode.
#pragma once

#include <windows.h>
#include <shlobj.h>

// Fetches the file list, reads the count and the path, adds two items (firstCommand and the
// next) to a fresh menu; with a folder, also reads the drop target's path. In the wide form,
// which the DLL takes on the NT family (the benchmarks run on one).
void BareCalls(IDataObject* data, PCIDLIST_ABSOLUTE folder, UINT firstCommand);
