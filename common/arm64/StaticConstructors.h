// Static constructors on ARM64, where no C runtime runs them: the entry points of the DLL
// and of the test programs call RunStaticConstructors before anything else.
#pragma once

void RunStaticConstructors();
