// Starting the platform's regsvr32.exe on the extension DLL and waiting for it: the one
// way the setup program reaches the DLL's registration entry points.
#pragma once

// Runs "regsvr32.exe <switches> <dllPath>" in workingFolder and waits until it ends. The tool
// is named by its full path in the system folder, so that a regsvr32.exe lying beside the
// setup program or in the temporary folder is never the one run; the DLL's path is quoted
// when it holds a blank (unquoted, the tool would take only its first part). True only when
// the tool started and ended with exit code 0 (it did what it was asked). toolFolder names
// another folder of the tool, ending in a backslash (the native system folder, for the
// 64-bit tool).
bool RunRegistrationTool(const char* switches, const char* dllPath, const char* workingFolder,
                         const char* toolFolder = nullptr);
