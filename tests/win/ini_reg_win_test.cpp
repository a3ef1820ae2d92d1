#include <gtest/gtest.h>
#include <windows.h>

#include "utils/ini_reg.h"
#include "stub/win/win32_platform.h"
#include "win_test_util.h"

namespace zv {
namespace {

class IniRegWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWin32Platform();
    }
};

TEST_F(IniRegWin, IniDefaultsAndRoundTrips) {
    ScratchFolder dir("ini");
    const std::string ini = dir / "Setup.original";
    EXPECT_EQ(ReadIniString(ini, "Main", "Version", "none"), "none");   // no file yet
    EXPECT_TRUE(WriteIniString(ini, "Main", "Version", "1.2.3"));
    EXPECT_TRUE(WriteIniString(ini, "Main", "Empty", ""));
    EXPECT_TRUE(WriteIniInt(ini, "Main", "Stamp", 46362123456789LL));
    EXPECT_TRUE(WriteIniString(ini, "Main", "Odd", "12abc"));
    EXPECT_EQ(ReadIniString(ini, "Main", "Version", "none"), "1.2.3");
    EXPECT_EQ(ReadIniString(ini, "main", "VERSION", "none"), "1.2.3");
    EXPECT_EQ(ReadIniString(ini, "Main", "Empty", "dflt"), "dflt");
    EXPECT_EQ(ReadIniString(ini, "Main", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ReadIniString(ini, "", "Version", "dflt"), "dflt");
    EXPECT_EQ(ReadIniInt(ini, "Main", "Stamp", -1), 46362123456789LL);
    EXPECT_EQ(ReadIniInt(ini, "Main", "Odd", -1), -1);
    // A line break in the value would have added a section of its own.
    EXPECT_FALSE(WriteIniString(ini, "Main", "Version", "2.0\r\n[Evil]\r\nRun=1"));
    EXPECT_EQ(ReadIniString(ini, "Main", "Version", "none"), "1.2.3");
    EXPECT_EQ(ReadIniString(ini, "Evil", "Run", "none"), "none");
    EXPECT_FALSE(WriteIniString("", "Main", "Version", "x"));
}

TEST_F(IniRegWin, LongIniValuesComeBackWhole) {
    ScratchFolder dir("inilong");
    const std::string ini = dir / "long.ini";
    const std::string value(20000, 'v');
    PutFile(ini, "[S]\r\nk=" + value + "\r\n");
    EXPECT_EQ(ReadIniString(ini, "S", "k", ""), value);
}

// Values under HKCU\Software\ZolvexTest\<pid>, removed again afterwards.
class TestKey {
public:
    TestKey() {
        path_ = "Software\\ZolvexTest\\" + std::to_string(GetCurrentProcessId());
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
    }
    ~TestKey() {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZolvexTest");   // only when empty
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;
    void Set(const char* name, DWORD type, const std::string& data) {
        RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       DWORD(data.size()));
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(IniRegWin, RegistryValuesAsText) {
    using namespace std::string_literals;
    TestKey key;
    key.Set("Dword", REG_DWORD, "\xff\xff\xff\xff"s);
    key.Set("Multi", REG_MULTI_SZ, "a\0b\0\0"s);
    key.Set("Text", REG_SZ, "hello\0"s);
    key.Set("", REG_SZ, "default value\0"s);
    key.Set("Huge", REG_SZ, std::string(20000, 'h') + '\0');
    key.Set("Unterminated", REG_BINARY, "xyz"s);
    const std::string full = "HKEY_CURRENT_USER\\" + key.Path();
    EXPECT_EQ(ReadRegString(full, "Dword", "d"), "4294967295");
    EXPECT_EQ(ReadRegString("HKCU\\" + key.Path(), "Multi", "d"), "a<0>b");
    EXPECT_EQ(ReadRegString(key.Path(), "Text", "d"), "hello");   // no root: below HKCU
    EXPECT_EQ(ReadRegString(full, "", "d"), "default value");
    EXPECT_EQ(ReadRegString(full, "Huge", "d"), "d");   // larger than the buffer
    EXPECT_EQ(ReadRegString(full, "Unterminated", "d"), "xyz");
    EXPECT_EQ(ReadRegString(full, "Missing", "d"), "d");
    EXPECT_EQ(ReadRegString(full + "\\NoSuchKey", "Text", "d"), "d");
    EXPECT_EQ(ReadRegString(full, "Text", "d", true), "hello");
}

TEST_F(IniRegWin, RootNameAloneOpensTheRoot) {
    EXPECT_EQ(ReadRegString("HKLM", "NoSuchValueZv", "d"), "d");
    EXPECT_NE(ReadRegString("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion",
                            "CurrentVersion", ""),
              "");
}

}  // namespace
}  // namespace zv
