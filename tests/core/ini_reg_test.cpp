#include <gtest/gtest.h>

#include <map>
#include <string>

#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/trace.h"

namespace zv {
namespace {

TEST(RegistryPath, RootNamesAndSplitting) {
    struct Case {
        const char* path;
        RegRoot root;
        const char* subKey;
    } cases[] = {
        {"HKEY_CURRENT_USER\\Software\\Velmorra\\Zolvex\\SpanDisk", RegRoot::CurrentUser,
         "Software\\Velmorra\\Zolvex\\SpanDisk"},
        {"HKLM\\SOFTWARE\\Microsoft", RegRoot::LocalMachine, "SOFTWARE\\Microsoft"},
        {"hklm\\x", RegRoot::LocalMachine, "x"},
        {"  HKCR\\.txt  ", RegRoot::ClassesRoot, ".txt"},
        {"HKEY_USERS\\.DEFAULT", RegRoot::Users, ".DEFAULT"},
        {"HKU\\S-1", RegRoot::Users, "S-1"},
        {"HKCC\\System", RegRoot::CurrentConfig, "System"},
        {"HKEY_DYN_DATA\\PerfStats", RegRoot::DynData, "PerfStats"},
        {"HKLM", RegRoot::LocalMachine, ""},
        {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine, ""},
        {"Software\\X", RegRoot::CurrentUser, "Software\\X"},
        {"HKXX\\Software\\X", RegRoot::CurrentUser, "Software\\X"},
        {"", RegRoot::CurrentUser, ""},
    };
    for (const Case& c : cases) {
        RegPath p = SplitRegPath(c.path);
        EXPECT_EQ(p.root, c.root) << c.path;
        EXPECT_EQ(p.subKey, c.subKey) << c.path;
    }
    EXPECT_EQ(RootKeyByName("hkey_classes_root"), RegRoot::ClassesRoot);
    EXPECT_EQ(RootKeyByName("HKCU"), RegRoot::CurrentUser);
    EXPECT_EQ(RootKeyByName("Nonsense"), RegRoot::CurrentUser);
}

TEST(RegistryValue, TextByType) {
    using namespace std::string_literals;
    struct Case {
        uint32_t type;
        std::string data;
        const char* text;
    } cases[] = {
        {kRegDword, "\xff\xff\xff\xff"s, "4294967295"},
        {kRegDword, "\x2a\x00\x00\x00"s, "42"},
        {kRegMultiSz, "a\0b\0\0"s, "a<0>b"},
        {kRegMultiSz, "a\0\0b\0\0"s, "a<0><0>b"},
        {kRegMultiSz, "a\0"s, "a"},            // two bytes: read as a plain string
        {kRegSz, "text\0"s, "text"},
        {kRegSz, "no terminator"s, "no terminator"},
        {kRegExpandSz, "%TEMP%\\x\0junk"s, "%TEMP%\\x"},
        {kRegBinary, "ab\0cd"s, "ab"},
        {kRegDword, "\x01\x00"s, "\x01"},       // a short DWORD is no number
    };
    for (const Case& c : cases) EXPECT_EQ(RegValueText(c.type, c.data), c.text) << c.text;
}

std::map<std::string, std::string> g_ini;
int g_iniReads = 0;
std::string g_lastWrite;

std::string FakeRead(const std::string&, const std::string& section, const std::string& key,
                     const std::string& def) {
    ++g_iniReads;
    auto it = g_ini.find(section + "/" + key);
    return it == g_ini.end() ? def : it->second;
}
bool FakeWrite(const std::string&, const std::string& section, const std::string& key,
               const std::string& value) {
    g_lastWrite = section + "/" + key + "=" + value;
    return true;
}

std::string g_trace;
void CaptureTrace(const std::string& chunk) { g_trace += chunk; }

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ini = {{"S/name", "value"}, {"S/empty", ""}, {"S/num", "12abc"},
                 {"S/big", "-9000000000"}, {"S/long", std::string(10241, 'v')},
                 {"S/edge", std::string(10240, 'w')}};
        g_iniReads = 0;
        g_lastWrite.clear();
        g_trace.clear();
        Platform b;
        b.readIni = &FakeRead;
        b.writeIni = &FakeWrite;
        saved_ = SetPlatform(b);
        savedSink_ = TraceOut().SetSink(&CaptureTrace);
    }
    void TearDown() override {
        SetPlatform(saved_);
        TraceOut().SetSink(savedSink_);
    }

private:
    Platform saved_;
    TraceStream::Sink savedSink_ = nullptr;
};

TEST_F(IniTest, DefaultsForEmptyNamesAndEmptyValues) {
    EXPECT_EQ(ReadIniString("f.ini", "S", "name", "d"), "value");
    EXPECT_EQ(ReadIniString("f.ini", "S", "missing", "d"), "d");
    EXPECT_EQ(ReadIniString("f.ini", "S", "empty", "d"), "d");
    EXPECT_EQ(g_iniReads, 3);
    EXPECT_EQ(ReadIniString("f.ini", "", "name", "d"), "d");
    EXPECT_EQ(ReadIniString("f.ini", "S", "", "d"), "d");
    EXPECT_EQ(g_iniReads, 3);   // the file was not touched
}

TEST_F(IniTest, IntegersAreDecimalOrTheDefault) {
    EXPECT_EQ(ReadIniInt("f.ini", "S", "num", 7), 7);
    EXPECT_EQ(ReadIniInt("f.ini", "S", "big", 7), -9000000000LL);
    EXPECT_EQ(ReadIniInt("f.ini", "S", "missing", -5), -5);
    EXPECT_TRUE(WriteIniInt("f.ini", "S", "k", 1LL << 40));
    EXPECT_EQ(g_lastWrite, "S/k=1099511627776");
}

TEST_F(IniTest, LongValuesAreKeptAndReported) {
    EXPECT_EQ(ReadIniString("f.ini", "S", "edge", "").size(), 10240u);
    TraceOut().WriteLine();
    EXPECT_EQ(g_trace.find("SizeError"), std::string::npos);
    EXPECT_EQ(ReadIniString("f.ini", "S", "long", "").size(), 10241u);
    TraceOut().WriteLine();
    EXPECT_NE(g_trace.find("ReadIniString SizeError=10241"), std::string::npos);
}

TEST_F(IniTest, WritesThatWouldChangeOtherEntriesAreRefused) {
    EXPECT_TRUE(WriteIniString("f.ini", "S", "k", "a value = with [brackets]"));
    struct Case {
        const char* file;
        const char* section;
        const char* key;
        const char* value;
    } refused[] = {
        {"", "S", "k", "v"},
        {"f.ini", "", "k", "v"},
        {"f.ini", "S", "", "v"},
        {"f.ini", "S", "k", "v\r\n[Other]\r\nx=1"},
        {"f.ini", "S", "k", "line\nbreak"},
        {"f.ini", "S]\r\n[T", "k", "v"},
        {"f.ini", "S]", "k", "v"},
        {"f.ini", "S", "k=x", "v"},
    };
    for (const Case& c : refused) {
        g_lastWrite.clear();
        EXPECT_FALSE(WriteIniString(c.file, c.section, c.key, c.value)) << c.section << c.key;
        EXPECT_EQ(g_lastWrite, "");
    }
}

}  // namespace
}  // namespace zv
