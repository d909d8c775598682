// Paths of the shell's special folders, with the registry's "ProgramFilesDir" as the
// fallback for the Program Files folder.
#pragma once

#include "common/StringBuffer.h"

// Fills out with the folder's path ending in a backslash; true on success. When the shell
// cannot give CSIDL_PROGRAM_FILES, ReadProgramFilesDir is asked instead. A folder the shell
// knows but that has no file-system path (CSIDL_DRIVES) gives false and an empty out.
bool GetSpecialFolder(StringBuffer& out, int folder);

// The fallback step: "ProgramFilesDir" of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion
// with a trailing backslash, true when that folder exists. out is empty when the value
// could not be read. The current directory is the same afterwards.
bool ReadProgramFilesDir(StringBuffer& out);
