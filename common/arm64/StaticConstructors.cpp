// The linker (lld in MinGW mode) gathers the compiler's .ctors entries into __CTOR_LIST__:
// a first entry that is not a function (-1), the constructors, and a null entry. They run
// from the last to the first, as the MinGW runtime runs them, so that the order between
// files matches the other builds.
//
// A static object with a destructor would have its constructor register the destructor
// with atexit, which nothing here provides: msvcrt's would run it at the process's exit,
// after the DLL is gone. The import check refuses that new import.
#include "common/arm64/StaticConstructors.h"

typedef void (*StaticConstructor)();
extern "C" StaticConstructor __CTOR_LIST__[];

void RunStaticConstructors()
{
    int last = 0;
    while (__CTOR_LIST__[last + 1])
        ++last;
    for (int i = last; i >= 1; --i)
        __CTOR_LIST__[i]();
}
