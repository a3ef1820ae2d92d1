// Program entry of the stub.
#include <windows.h>

#include "stub/win/stub.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return zv::RunStub();
}
