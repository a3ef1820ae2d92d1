// The C runtime's start-up code patches "pseudo-relocations", references to data that lives in a
// DLL, before main. The shipped programs import functions only, and their link refuses to make a
// pseudo-relocation at all (--disable-runtime-pseudo-reloc, so a change that would need one fails
// to link), so there is never anything to patch. This empty patcher keeps the runtime's own, with
// the section walker and the fprintf-based error report it brings, out of the image.
extern "C" void _pei386_runtime_relocator() {}
