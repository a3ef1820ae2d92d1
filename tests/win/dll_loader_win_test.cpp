// The stub's DLL loading: nothing it or its system libraries load may come from another folder.
#include <gtest/gtest.h>

#include <string>

#include "utils/win/dll_loader.h"

namespace zv {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string ModulePath(HMODULE h) {
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(h, path, MAX_PATH);
    return Lower(std::string(path, n));
}

TEST(DllLoader, SystemLibrariesComeFromTheSystemFolder) {
    HardenDllSearch();
    const std::string system = Lower(SystemDllPath(""));
    // Preloading is what older systems get; run it here too, whatever this system offers.
    PreloadSystemDlls();
    for (const char* name : {"version.dll", "uxtheme.dll", "riched20.dll", "psapi.dll", "urlmon.dll"}) {
        if (GetFileAttributesA(SystemDllPath(name).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        HMODULE h = GetModuleHandleA(name);
        ASSERT_NE(h, nullptr) << name << " was not preloaded";
        EXPECT_EQ(ModulePath(h).rfind(system, 0), 0u) << name << " from " << ModulePath(h);
    }
    HMODULE h = LoadSystemLibrary("wininet.dll");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ModulePath(h).rfind(system, 0), 0u);
    EXPECT_EQ(LoadSystemLibrary("no-such-library-zv.dll"), nullptr);
}

}  // namespace
}  // namespace zv
