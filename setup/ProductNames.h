// What the setup program's roles share about the product: its version, its files and
// folders, its registry keys, and how their message boxes look.
#pragma once

#include <windows.h>

#include "common/ClassId.h"
#include "ProductVersion.h"
#include "UiTexts.h"

// This setup's version. The DLL's file name carries it ("pelim%d.dll", the format an earlier
// version's DLL is found by); "Version" and DisplayVersion hold it as text.
const int setupVersion = PELIM_VERSION;
const char extensionFileName[] = PELIM_DLL_NAME;

const char readmeFileName[] = "readme.txt";
const char setupFileName[] = "setup.exe";
// Below the system folder: where the DLL is installed.
const char extensionFolderName[] = "ShellExt\\";
// Beside setup.exe in the download: the read-me and the 32-bit DLL, and below it the
// native DLLs, x64 and ARM64 (NativeSystem names the one a machine takes).
const char sourceFolderName[] = "pelim\\";
const char x64SourceFolderName[] = "x64\\";
const char arm64SourceFolderName[] = "arm64\\";
const char* const nativeSourceFolderNames[] = { x64SourceFolderName, arm64SourceFolderName };

// The class key of ChangeName below a classes key, where the installation records
// "Version" and "InstFolder" (InstallScope names the classes key).
#define CLASS_KEY_PATH "CLSID\\" CHANGENAME_CLASS_ID "\\"
// The uninstall entry of the system's program list, below the scope's root.
const char uninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PELIM\\";
// The programs list's name of the product and of its publisher.
const char displayName[] = "PELIM";
const char publisherName[] = "PELIM";

// The completion message's caption; the others are in UiTexts.h.
const char completionCaption[] = "PELIM";

// The flows' boxes stay in front of every program (system-modal) until answered; failures,
// notices and questions carry the exclamation icon, the uninstallation's closing message none.
const UINT noticeFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_OK;
const UINT questionFlags = MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_YESNO;
const UINT closingFlags = MB_SYSTEMMODAL | MB_OK;
