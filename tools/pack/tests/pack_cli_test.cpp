#include <gtest/gtest.h>
#include <algorithm>

#include <sstream>

#include "pack_cli.h"
#include "pack_test_util.h"
#include "progress_bar.h"

namespace zv::pack {
namespace {

using test::Cli;
using test::CliRun;

TEST(PackCli, CommandLineMistakesExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"pack"}, "unknown command \"pack\""},
        {{"info"}, "usage: zolvex-pack info FILE"},
        {{"info", "a", "b"}, "usage: zolvex-pack info FILE"},
        {{"extract", "a"}, "usage: zolvex-pack extract FILE DIR"},
        {{"build"}, "usage: zolvex-pack build"},
        {{"build", "x.ini", "-o"}, "-o needs a value"},
        {{"build", "x.ini", "--bogus"}, "unknown option --bogus"},
        {{"list", "x", "--force"}, "belong to build"},
    };
    for (const auto& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.code, kExitUsage) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(PackCli, HelpAndVersionGoToStdout) {
    CliRun help = Cli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("zolvex-pack build DESCRIPTION.ini"), std::string::npos);
    CliRun version = Cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("zolvex-pack ", 0), 0u);
    EXPECT_TRUE(version.err.empty());
}

TEST(PackCli, BuildReportsFailuresOnStderrAndLeavesNoOutput) {
    test::TempDir dir;
    CliRun missing = Cli({"build", dir / "none.ini"});
    EXPECT_EQ(missing.code, kExitFailed);
    EXPECT_NE(missing.err.find("description not found"), std::string::npos) << missing.err;

    test::WriteBytes(dir / "pkg.ini", "[Files]\nx.txt=x.txt\n");
    test::WriteBytes(dir / "x.txt", "x");
    CliEnvironment env;
    env.epochError = "SOURCE_DATE_EPOCH \"soon\" is not a number of seconds";
    CliRun epoch = Cli({"build", dir / "pkg.ini", "--stub", dir / "x.txt"}, env);
    EXPECT_EQ(epoch.code, kExitFailed);
    EXPECT_NE(epoch.err.find("SOURCE_DATE_EPOCH"), std::string::npos);

    test::WriteBytes(dir / "stub.exe", test::FakeStub());
    CliRun self = Cli({"build", dir / "pkg.ini", "--stub", dir / "stub.exe", "-o", dir + "/./stub.exe"});
    EXPECT_EQ(self.code, kExitFailed);
    EXPECT_NE(self.err.find("would overwrite the stub template"), std::string::npos) << self.err;
    EXPECT_EQ(test::ReadBytes(dir / "stub.exe"), test::FakeStub());

    CliRun stub = Cli({"build", dir / "pkg.ini", "--stub", dir / "absent.exe", "-o", dir / "out.exe"});
    EXPECT_EQ(stub.code, kExitFailed);
    EXPECT_NE(stub.err.find("stub template not found"), std::string::npos) << stub.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.exe"));
}

TEST(PackCli, BuildWithEpochIsReproducibleAndPrintsWhatItWrote) {
    test::TempDir dir;
    test::WriteBytes(dir / "stub.exe", test::FakeStub());
    test::WriteBytes(dir / "Engine.exe", "e");
    test::SetMtime(dir / "Engine.exe", 2000000000);  // later than the epoch: clamped
    test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\n[Files]\nEngine.exe*=Engine.exe\n");
    CliEnvironment env;
    env.haveEpoch = true;
    env.epoch = 1700000000;
    env.now = 1800000000;
    CliRun a = Cli({"build", dir / "pkg.ini", "-o", dir / "a.exe"}, env);
    ASSERT_EQ(a.code, 0) << a.err;
    EXPECT_NE(a.out.find("a.exe ("), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("1 files, 1 bytes in 1 blocks"), std::string::npos) << a.out;
    test::SetMtime(dir / "Engine.exe", 2100000000);
    CliRun b = Cli({"build", dir / "pkg.ini", "-o", dir / "b.exe", "--quiet"}, env);
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(b.out.empty());
    EXPECT_EQ(test::ReadBytes(dir / "a.exe"), test::ReadBytes(dir / "b.exe"));
}

TEST(ProgressBar, DrawsOnlyWhenAskedAndForBigInputs) {
    EXPECT_EQ(ProgressBar::Render("packing", 5, 10, 10), "packing [#####.....]  50%  0.0 / 0.0 MB");
    std::ostringstream quiet, small, big;
    {
        ProgressBar off(quiet, false, "x");
        off.Update(1, kProgressThreshold);
        ProgressBar tiny(small, true, "x");
        tiny.Update(1, kProgressThreshold - 1);
        ProgressBar on(big, true, "x");
        on.Update(0, kProgressThreshold);
        on.Update(1, kProgressThreshold);  // same percentage: not drawn again
        on.Update(kProgressThreshold, kProgressThreshold);
    }
    EXPECT_EQ(quiet.str(), "");
    EXPECT_EQ(small.str(), "");
    std::string drawn = big.str();
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\r'), 2);
    EXPECT_EQ(drawn.back(), '\n');
    EXPECT_NE(drawn.find("100%  8.0 / 8.0 MB"), std::string::npos) << drawn;
}

}  // namespace
}  // namespace zv::pack
