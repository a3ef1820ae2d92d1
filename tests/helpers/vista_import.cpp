// A program that imports one function Windows XP lacks (GetTickCount64, Vista on), linked the way
// the shipped programs are. The import-table test must reject it; nothing runs it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return static_cast<int>(GetTickCount64() & 1);
}
