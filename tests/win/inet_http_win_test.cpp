#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "inet/win/inet_http.h"
#include "utils/text.h"
#include "utils/win/dll_loader.h"

namespace zv {
namespace {

std::string ModulePath(HMODULE module) {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(module, buf, MAX_PATH);
    return std::string(buf, n);
}

TEST(WinInetBinding, LoadedFromTheSystemFolderOnFirstUseAndUnloadedAgain) {
    UnloadWinINet();
    // Nothing else in this program uses WinINet: before the first call it is not loaded at all.
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr);
    IsInternetConnected();
    HMODULE wininet = GetModuleHandleA("wininet.dll");
    ASSERT_NE(wininet, nullptr);
    EXPECT_TRUE(SameText(ModulePath(wininet), SystemDllPath("wininet.dll"))) << ModulePath(wininet);

    UnloadWinINet();
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr);
    // Bound afresh on the next use.
    IsInternetConnected();
    EXPECT_NE(GetModuleHandleA("wininet.dll"), nullptr);
    UnloadWinINet();
}

}  // namespace
}  // namespace zv
