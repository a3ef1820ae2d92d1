#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/sysutils.h"

namespace zv {
namespace {

std::string OwnPath() {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

// The stub template is built into the same folder as this test program and carries a
// version resource.
std::string StubPath() { return ExtractFilePath(OwnPath()) + "stub.exe"; }

std::vector<std::string> g_chunks;
void Collect(const std::string& chunk) { g_chunks.push_back(chunk); }

struct TraceCapture {
    TraceCapture() {
        g_chunks.clear();
        old = TraceOut().SetSink(&Collect);
    }
    ~TraceCapture() { TraceOut().SetSink(old); }
    std::string Text() const {
        std::string all;
        for (const auto& c : g_chunks) all += c;
        return all;
    }
    TraceStream::Sink old;
};

TEST(ExeVersion, WithoutVersionResourceIsEmptyAndTraced) {
    TraceCapture trace;
    EXPECT_EQ(GetExeVersion(), "");
    EXPECT_EQ(GetExeVersion(OwnPath(), 2, 3), "");
    EXPECT_EQ(GetExeVersion("C:\\no\\such\\file.exe"), "");
    EXPECT_NE(trace.Text().find("Utils.GetExeVersion()"), std::string::npos) << trace.Text();
    EXPECT_EQ(GetProductVersion(), "");
    EXPECT_NE(trace.Text().find("Utils.GetProductVersion()"), std::string::npos);
    EXPECT_EQ(GetFileVersionString(OwnPath(), "ProductVersion"), "");
}

TEST(ExeVersion, ReadsTheStubsResource) {
    const std::string stub = StubPath();
    ASSERT_NE(GetFileAttributesA(stub.c_str()), INVALID_FILE_ATTRIBUTES) << stub;
    EXPECT_EQ(GetExeVersion(stub), "1.0.0.0");
    EXPECT_EQ(GetExeVersion(stub, 2, 4), "01.00.00.00");
    EXPECT_EQ(GetExeVersion(stub, 1, 2), "1.0");
    EXPECT_EQ(GetProductVersion(stub), "1.0.0.0");
    EXPECT_EQ(GetProductVersion(stub, 3, 1), "001");
    EXPECT_EQ(GetFileVersionString(stub, "InternalName"), "stub");
    EXPECT_EQ(GetFileVersionString(stub, "NoSuchValue"), "");
}

TEST(SystemFolders, ExistWithAndWithoutBackslash) {
    for (auto get : {&GetWinDir, &GetSysDir, &GetTempDir}) {
        const std::string plain = get(false);
        const std::string slashed = get(true);
        ASSERT_FALSE(plain.empty());
        EXPECT_NE(plain.back(), '\\') << plain;
        EXPECT_EQ(slashed, plain + "\\");
        const DWORD attr = GetFileAttributesA(plain.c_str());
        ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << plain;
        EXPECT_TRUE(attr & FILE_ATTRIBUTE_DIRECTORY) << plain;
    }
}

TEST(AutoPlay, MessageNumberWhileOn) {
    SetAutoPlaySuppression(true);
    EXPECT_EQ(AutoPlayMessage(), RegisterWindowMessageA("QueryCancelAutoPlay"));
    EXPECT_NE(AutoPlayMessage(), 0u);
    SetAutoPlaySuppression(false);
    EXPECT_EQ(AutoPlayMessage(), 0u);
}

TEST(ScalePoints, UsesVerticalResolution) {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(ScalePoints(72), dpi);
    EXPECT_EQ(ScalePoints(0), 0);
    EXPECT_EQ(ScalePoints(9), 9 * dpi / 72);
}

TEST(LastErrorText, SystemTextOrFixedFallback) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string known = LastErrorText();
    EXPECT_FALSE(known.empty());
    EXPECT_EQ(known.find("Error Reading"), std::string::npos) << known;
    EXPECT_NE(known.back(), '\n');
    SetLastError(0x2FFFFFFF);
    EXPECT_EQ(LastErrorText(), "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"");
}

TEST(LoadProc, SystemLibrariesAndFailures) {
    LoadedProc fn = LoadProc("version.dll", "GetFileVersionInfoSizeA");
    EXPECT_TRUE(fn.library);
    EXPECT_NE(fn.proc, nullptr);
    LoadedProc missingFn = LoadProc("kernel32.dll", "NoSuchFunctionZv");
    EXPECT_EQ(missingFn.proc, nullptr);
    LoadedProc missingLib = LoadProc("zv_no_such_library.dll", "X");
    EXPECT_FALSE(missingLib.library);
    EXPECT_EQ(missingLib.proc, nullptr);
    LoadedProc byPath = LoadProc(GetSysDir(true) + "version.dll", "VerQueryValueA");
    EXPECT_NE(byPath.proc, nullptr);
}

}  // namespace
}  // namespace zv
