// SampleApp.exe: the application the demo package installs. It only says where it runs from.
#include <windows.h>

#include <cstdio>

int main() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::printf("Hello from the sample application, installed as %s\n", path);
    return 0;
}
