// What the packager writes, taken apart by the stub's own extraction engine.
#include <gtest/gtest.h>

#include <map>

#include "description.h"
#include "pack_names.h"
#include "pack_test_util.h"
#include "package/gfile_info.h"
#include "package/unpack.h"
#include "package_writer.h"

namespace zv::pack {
namespace {

class StubExtraction : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseUtc();
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        SeededRandom r(9);
        std::string noise(40000, '\0');
        for (auto& c : noise) c = char(r.Next());
        std::string text;
        for (int i = 0; text.size() < 90000; ++i) text += "entry " + std::to_string(i % 311) + "\n";
        Add("Engine.exe", "MZ the engine");
        Add("noise.bin", noise);
        Add("text.txt", text);
        Add("empty.txt", "");
    }
    void Add(const std::string& name, const std::string& bytes) {
        test::WriteBytes(dir / ("src/" + name), bytes);
        sources[name] = bytes;
    }
    void Make(const std::string& package) {
        test::WriteBytes(dir / "pkg.ini",
                         "[Package]\nStub=stub.exe\nOutput=Setup.exe\n" + package +
                             "[Update]\nAgentFileName=Agent.exe\n"
                             "[Files]\nEngine.exe* /x=1=src/Engine.exe\nnoise.bin=src/noise.bin\n"
                             "text.txt=src/text.txt\nempty.txt=src/empty.txt\n");
        BuildOptions o;
        o.now = 1700000000;
        BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    }
    ExtractResult Extract(const std::string& packageFile, const std::string& agent = "") {
        ExtractOptions o;
        o.packageFile = packageFile;
        o.destination = dir / "setup";
        o.agentName = agent;
        o.diskPrompt = "Insert disk <DISK_NUM>";
        ExtractUi ui;
        ui.diskPrompt = [this](const std::string& text, const std::string&, const std::string&, int) {
            prompts.push_back(text);
            return true;
        };
        ui.errorBox = [this](const std::string& text) { boxes.push_back(text); };
        ui.progress = [this](int kind, int32_t, uint16_t high, const std::string&, int32_t, int32_t) {
            if (kind == 0) range = high;
        };
        return ExtractPackage(o, ui);
    }
    void ExpectAllFiles() {
        for (const auto& [name, bytes] : sources)
            EXPECT_TRUE(test::ReadBytes(dir / ("setup/" + name)) == bytes) << name;
        EXPECT_TRUE(boxes.empty()) << boxes.front();
    }

    test::TempDir dir;
    std::map<std::string, std::string> sources;
    std::vector<std::string> prompts, boxes;
    int range = -1;
};

TEST_F(StubExtraction, WritesEveryFileAndFindsTheMainProgram) {
    Make("");
    ExtractResult r = Extract(dir / "Setup.exe");
    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(r.mainFile, "Engine.exe* /x=1");
    EXPECT_EQ(range, 4);
    ExpectAllFiles();
}

TEST_F(StubExtraction, JoinsPiecesOfSmallBlocksAndStoredData) {
    Make("Compression=store\nBlockSize=4K\n");
    ExtractResult r = Extract(dir / "Setup.exe");
    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(range, int(TGFileInfo(dir / "Setup.exe").Trailer().FileCount));
    ExpectAllFiles();
}

TEST_F(StubExtraction, SpannedPackageIsExtractedFromItsFirstVolume) {
    Make("VolumeSize=16K\n");
    ASSERT_TRUE(TGFileInfo(dir / "Setup.exe").SpannedPackage());
    // The relaunched stub passes "<stub>.001" as the first volume.
    ExtractResult r = Extract(dir / "Setup.exe.001");
    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(r.mainFile, "Engine.exe* /x=1");
    EXPECT_TRUE(prompts.empty());  // every volume lies beside the first
    ExpectAllFiles();
}

TEST_F(StubExtraction, AgentCopyIsTheStubWithItsHeadBlocks) {
    Make("");
    ExtractResult r = Extract(dir / "Setup.exe", "Agent.exe");
    ASSERT_FALSE(r.damaged) << r.damage;
    TGFileInfo agent(dir / "setup/Agent.exe");
    TGFileInfo package(dir / "Setup.exe");
    EXPECT_TRUE(agent.IsAgent());
    EXPECT_EQ(agent.HeaderText(), package.HeaderText());
    EXPECT_EQ(agent.AgentFileName(), "Agent.exe");
}

}  // namespace
}  // namespace zv::pack
