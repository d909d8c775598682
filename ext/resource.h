// Resource ids of the drop-menu extension: the rename dialog and its controls.
#pragma once

#define IDD_CHANGENAME 201
#define IDC_NAME 201
#define IDC_EXTENSION 202
#define IDC_DOT 203
