// One table of file names through both sides: every name either packs, verifies and is extracted
// by the stub's own extraction, or is refused by `build`, by `verify` and by the stub with the
// same reason.
#include <gtest/gtest.h>

#include <sstream>

#include "description.h"
#include "pack_commands.h"
#include "pack_names.h"
#include "pack_test_util.h"
#include "package/entry_name.h"
#include "package/package_layout.h"
#include "package/unpack.h"
#include "package_writer.h"

namespace zv::pack {
namespace {

// A package holding one file of that name, made by hand (as a hostile packager would).
std::string HandMade(const test::TempDir& dir, const std::string& name) {
    const std::string stub = test::FakeStub();
    std::vector<uint8_t> image(stub.begin(), stub.end());
    AppendHeadBlock(image, "");
    AppendHeadBlock(image, "|http:|.info|.exe|x|0|");
    const std::string data = "data";
    EXPECT_TRUE(AppendFileBlock(
        image, MakeFileBlockContent(name, 0, reinterpret_cast<const uint8_t*>(data.data()), data.size()), true));
    PackageTrailer t = PackageTrailer::MakeNew();
    t.PackageStart = uint32_t(stub.size());
    t.FileCount = 1;
    t.SpaceRequired = ComputeSpaceRequired({data.size()});
    SealPackage(image, t, true);
    test::WriteBytes(dir / "hand.exe", std::string(image.begin(), image.end()));
    return dir / "hand.exe";
}

ExtractResult StubExtract(const std::string& package, const std::string& destination) {
    ExtractOptions o;
    o.packageFile = package;
    o.destination = destination;
    return ExtractPackage(o, ExtractUi{});
}

TEST(NameTable, PackerVerifyAndStubAgreeOnEveryName) {
    test::UseUtc();
    struct Case {
        std::string name;
        bool packs;
    } cases[] = {
        {"Setup.txt", true},         {"00004#Data.bin", true},    {"Data.cab.00002", true},
        {"COM10", true},             {"x..y", true},              {".hidden", true},
        {"LPT", true},               {"CONSOLE.txt", true},       {"\xB9" "COM.txt", true},
        {std::string(255, 'a'), true},
        {"CON", false},              {"con.txt", false},          {"NUL .txt", false},
        {"AUX.tar.gz", false},       {"prn", false},              {"COM0", false},
        {"com9.log", false},         {"LPT1", false},             {"lpt0.x", false},
        {"COM\xB9.txt", false},      {"LPT\xB2", false},          {"com\xB3", false},
        {"CONIN$", false},           {"conout$.log", false},      {"CLOCK$", false},
        {"clock$.txt", false},       {std::string(256, 'a'), false}, {"trailing.", false},
        {"..", false},               {"a<b", false},              {"a\"b", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(Printable(c.name.size() > 40 ? c.name.substr(0, 8) + "...(" + std::to_string(c.name.size()) + ")" : c.name));
        test::TempDir dir;
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        test::WriteBytes(dir / "src/data", "data");
        test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\nOutput=Setup.exe\n[Files]\n" + c.name + "=src/data\n");
        const std::string reason = EntryNameProblem(c.name);
        EXPECT_EQ(reason.empty(), c.packs) << reason;

        std::string refusal;
        try {
            BuildOptions o;
            o.now = 1700000000;
            BuildPackage(LoadDescription(dir / "pkg.ini"), o);
        } catch (const PackError& e) {
            refusal = e.what();
        }
        std::ostringstream out, err;
        const std::string dest = dir / ("out" + std::to_string(n++));
        if (c.packs) {
            EXPECT_EQ(refusal, "");
            EXPECT_EQ(VerifyCommand(dir / "Setup.exe", out, err), 0) << err.str();
            ExtractResult r = StubExtract(dir / "Setup.exe", dest);
            EXPECT_FALSE(r.damaged) << r.damage;
            EXPECT_EQ(test::ReadBytes(dest + "/" + c.name), "data");
            continue;
        }
        EXPECT_NE(refusal.find(reason), std::string::npos) << refusal;
        const std::string hand = HandMade(dir, c.name);
        EXPECT_EQ(VerifyCommand(hand, out, err), 1);
        EXPECT_NE(err.str().find(reason), std::string::npos) << err.str();
        ExtractResult r = StubExtract(hand, dest);
        EXPECT_TRUE(r.damaged);
        EXPECT_NE(r.damage.find(reason), std::string::npos) << r.damage;
    }
}

}  // namespace
}  // namespace zv::pack
