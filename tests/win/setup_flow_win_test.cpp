// The setup driver reports to the UI sink its caller hands in: the package's own status text and
// font, the activity bar the package asks for, the extraction's progress, and the window shown
// only in a foreground run.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../core/package_test_builder.h"
#include "lang/lang_strings.h"
#include "utils/platform.h"
#include "package/package_layout.h"
#include "package/setup_exit.h"
#include "stub/win/win32_platform.h"
#include "stub/win/stub_setup.h"
#include "utils/ui_sink.h"
#include "win_test_util.h"

namespace zv {
namespace {

class RecordingUi : public UiSink {
public:
    std::vector<std::string> events;  // everything but progress, in order
    int rangeCalls = 0, steps = 0;

    void SetStatusText(const std::string& text, const std::string& fontName, int,
                       int) override {
        events.push_back("status " + text + " in " + fontName);
    }
    void Progress(int kind, int32_t, uint16_t, const std::string&, int32_t, int32_t) override {
        ++(kind == 0 ? rangeCalls : steps);
    }
    void Show(bool show) override { events.push_back(show ? "show" : "hide"); }
    void ShowActivityBar(bool show) override {
        events.push_back(show ? "activity bar" : "no activity bar");
    }
};

class SetupFlowWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Saved() = Host();
        InstallWin32Platform();
    }
    static void TearDownTestSuite() { SetPlatform(Saved()); }
    static Platform& Saved() {
        static Platform saved;
        return saved;
    }
    void SetUp() override {
        // The language section is chosen once per process; this test's package brings its own.
        ResetLangSectionForTesting();
    }
    void TearDown() override {
        ResetLangSectionForTesting();
        SetStubExitCode(exit_code::kOk);
    }
};

TEST_F(SetupFlowWin, ReportsToTheSinkItIsHanded) {
    struct Case {
        bool foreground;
        bool activityBar;
        std::vector<std::string> events;
    } cases[] = {
        {true, true, {"activity bar", "status Unpacking the files in Verdana", "show"}},
        {false, false, {"status Unpacking the files in Verdana"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.foreground ? "foreground" : "silent");
        ScratchFolder packageDir("flow_pkg"), destination("flow_dest");
        testpkg::PackageBuilder b;
        b.language = MakeLanguageBlock({MakeLanguageItem(
            "English", {{"Charset", "0"}, {"FontName", "Verdana"}, {"s1", "Unpacking the files"}})});
        // No file is marked as the main program: the run ends after the extraction, before any
        // engine would start.
        b.files = {{"a.txt", 1502447781, "first"}, {"b.txt", 1502447781, "second"}};
        b.trailer.Set(PackageFlag::ShowActivityBar, c.activityBar);
        const std::vector<uint8_t> bytes = b.Build();
        const std::string package = packageDir / "Setup.pkg";
        PutFile(package, std::string(bytes.begin(), bytes.end()));

        RecordingUi ui;
        EXPECT_FALSE(RunSetup(ui, destination.Path(), package, "", "", c.foreground));
        EXPECT_EQ(StubExitCode(), exit_code::kNoEngine);
        EXPECT_EQ(ui.events, c.events);
        EXPECT_GE(ui.rangeCalls, 1);
        EXPECT_GE(ui.steps, 2);  // one per new file
        EXPECT_TRUE(PathExists(destination / "b.txt"));
    }
}

}  // namespace
}  // namespace zv
