// Resource ids of the setup program: the install folder dialog and its controls.
#pragma once

#define IDD_INSTALL_FOLDER 101
#define IDC_INSTALL_FOLDER 1000
#define IDC_BROWSE 1001
