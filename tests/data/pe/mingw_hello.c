/* Source of mingw_hello.exe, a real GNU ld image (headers at 0x80, linker checksum set):
 *   i686-w64-mingw32-gcc -Os -s mingw_hello.c -o mingw_hello.exe
 * Running it prints "hello" and exits with 3. */
#include <windows.h>
int main(void) { DWORD n; WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "hello\r\n", 7, &n, 0); return 3; }
