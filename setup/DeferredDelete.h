// DeferredDelete: deletes a file now or has the system delete it at its next start (MoveFileExA
// on the NT family, the "rename" section of wininit.ini elsewhere), and takes such a deletion back.
#pragma once

// True when the file is gone or its deletion is scheduled; shows nothing.
bool DeleteNowOrAtRestart(const char* path);

// Takes back every deletion at the next start that names the file, by the path as given or
// by its short form: its entries in the system's pending rename list (NT family) or its
// "NUL=" lines in wininit.ini. Other programs' entries stay as they are. True when none is
// left; shows nothing.
bool CancelDeleteAtRestart(const char* path);

// The way of a user without rights, who may not schedule anything for the next start: a file
// that cannot be deleted now (in use) is moved out of the way into a folder of its own under
// the user's temporary folder, or where that fails renamed beside itself, and a value of the
// user's RunOnce key deletes it at the next logon. True when the file is gone or out of the
// way with its deletion recorded; shows nothing.
bool DeleteNowOrAtLogon(const char* path);

// True once this process has left a file for deletion at the next logon.
bool LogonDeletionPending();
