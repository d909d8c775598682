// Deleting files that may be in use: at once when possible, otherwise at the next start of
// the system (MoveFileExA on the NT family, the "rename" section of wininit.ini elsewhere).
#pragma once

// True when the file is gone or its deletion is scheduled; shows nothing.
bool DeleteNowOrAtRestart(const char* path);
