// The transfer worker: one thread per rename, running the shell's own file operation
// (undo, progress, replace confirmation) so that the file manager is not held up.
#pragma once

#include "common/StringBuffer.h"

#include <windows.h>

// Copies (FO_COPY) or moves (FO_MOVE) the item at from to the path to on a thread of its
// own and returns at once; nothing is reported back. When the request cannot be made or
// the thread cannot be started, nothing is transferred.
template <class Char>
void StartTransfer(UINT operation, const TextBuffer<Char>& from, const TextBuffer<Char>& to);
