// The announcement file an agent takes only when it carries the agent's own token.
#include <gtest/gtest.h>

#include <sstream>

#include "autoupdate/update_cycle.h"
#include "package/package_layout.h"
#include "pack_cli.h"
#include "pack_test_util.h"

namespace zv::pack {
namespace {

using test::Cli;
using test::CliRun;

class Inform : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        test::WriteBytes(dir / "Engine.exe", "engine");
        test::WriteBytes(dir / "news.txt", "Version 2 is out.<P>See <B>what's new</B> | today.");
    }
    std::string Build(const std::string& name, const std::string& update) {
        test::WriteBytes(dir / (name + ".ini"), "[Package]\nStub=stub.exe\nOutput=" + name +
                                                    ".exe\nAgent=1\n" + update +
                                                    "[Files]\nEngine.exe*=Engine.exe\n");
        EXPECT_EQ(Cli({"build", dir / (name + ".ini"), "--quiet"}).code, 0);
        return dir / (name + ".exe");
    }
    test::TempDir dir;
};

TEST_F(Inform, TheAgentTakesTheFileAndItsText) {
    const std::string agent =
        Build("Agent", "[Update]\nUpdateUrl=http://127.0.0.1/u\nAgentFileName=Agent.exe\nToken=secret-42\n");
    CliRun r = Cli({"inform", agent, dir / "news.txt", dir / "News.inf"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string content = test::ReadBytes(dir / "News.inf");
    EXPECT_NE(r.out.find("SizeOfInformFile=" + std::to_string(content.size())), std::string::npos)
        << r.out;
    // Read back the way the agent reads it.
    const InformFileParts parts = SplitInformFile(content);
    ASSERT_TRUE(parts.ok);
    EXPECT_EQ(UnscrambleToken(parts.token), "secret-42");
    EXPECT_EQ(parts.text, "Version 2 is out.<P>See <B>what's new</B> | today.");

    // The same time, the same file (SOURCE_DATE_EPOCH); the token is never stored in clear.
    CliEnvironment env;
    env.haveEpoch = true;
    env.epoch = 1700000000;
    ASSERT_EQ(Cli({"inform", agent, dir / "news.txt", dir / "a.inf"}, env).code, 0);
    ASSERT_EQ(Cli({"inform", agent, dir / "news.txt", dir / "b.inf"}, env).code, 0);
    EXPECT_EQ(test::ReadBytes(dir / "a.inf"), test::ReadBytes(dir / "b.inf"));
    EXPECT_EQ(test::ReadBytes(dir / "a.inf").find("secret-42"), std::string::npos);
}

TEST_F(Inform, RefusesWhatNoAgentCouldTake) {
    const std::string agent =
        Build("Agent", "[Update]\nUpdateUrl=http://127.0.0.1/u\nAgentFileName=Agent.exe\nToken=t\n");
    test::WriteBytes(dir / "big.txt", std::string(size_t(kMaxInformFileBytes), 'x'));
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{"inform", dir / "news.txt", dir / "news.txt", dir / "x.inf"}, kExitFailed,
         "not a package"},
        {{"inform", dir / "absent.exe", dir / "news.txt", dir / "x.inf"}, kExitFailed,
         "cannot read"},
        {{"inform", agent, dir / "absent.txt", dir / "x.inf"}, kExitFailed, "cannot read"},
        {{"inform", agent, dir / "big.txt", dir / "x.inf"}, kExitFailed, "the agent takes"},
        {{"inform", agent, dir / "news.txt", agent}, kExitFailed, "must not replace"},
        {{"inform", agent, dir / "news.txt"}, kExitUsage, "usage: zolvex-pack inform"},
    };
    for (const Case& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.inf"));
    EXPECT_TRUE(test::ReadBytes(agent).size() > 1000) << "the package is untouched";
}

}  // namespace
}  // namespace zv::pack
