// The ARM64 tree's benchmark still compiles the loader from this path
// (tests/arm64/CMakeLists.txt); it lives in tests/support/.
#include "support/PelimDll.cpp"
