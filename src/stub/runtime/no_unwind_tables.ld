/* Added to the default link script of the shipped programs. They are built without exceptions
   and link no unwinder, so the unwind tables that the C library objects (libstdc++, zlib) bring
   along are never read; they are dropped from the image. crtbegin.o and crtend.o keep theirs:
   crtbegin's frame registration names its own table, and only runs when the unwinder is loaded. */
SECTIONS
{
  /DISCARD/ : { EXCLUDE_FILE(*crtbegin.o *crtend.o) *(.eh_frame*) }
}
INSERT BEFORE .eh_frame;
