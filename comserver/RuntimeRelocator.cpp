// The DLL's own pseudo-relocation fix-up, apart from the module's sources so that the test
// programs linking pelim_comserver keep the runtime's. The start-up code would fix up
// pseudo-relocations (references to data in other DLLs) here, and bring in the runtime's
// error reporting (fwrite, vfprintf, abort) for it. The DLL has none, and its link refuses
// them (--disable-runtime-pseudo-reloc): nothing to do.
extern "C" void _pei386_runtime_relocator() {}
