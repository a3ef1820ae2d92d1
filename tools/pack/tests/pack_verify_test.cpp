// The reading commands on damaged, truncated and hostile packages.
#include <gtest/gtest.h>

#include <sstream>

#include "description.h"
#include "pack_commands.h"
#include "pack_names.h"
#include "pack_test_util.h"
#include "package/package_layout.h"
#include "package/unpack.h"
#include "package_reader.h"
#include "package_writer.h"

namespace zv::pack {
namespace {

std::string Text(size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += "row " + std::to_string(i * 7919 % 10007) + "\n";
    s.resize(size);
    return s;
}

class Damage : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseUtc();
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        test::WriteBytes(dir / "src/Engine.exe", "engine");
        test::WriteBytes(dir / "src/big.txt", Text(200000));
    }
    // Above 51200 bytes the checksum is off, so damage must show in the blocks themselves.
    std::string BuildBig(const std::string& extra = "") {
        test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\n" + extra +
                                              "[Files]\nEngine.exe*=src/Engine.exe\nbig.txt=src/big.txt\n");
        BuildOptions o;
        o.now = 1700000000;
        BuildPackage(LoadDescription(dir / "pkg.ini"), o);
        return dir / "pkg.exe";
    }
    int Verify(const std::string& path) {
        out.str("");
        err.str("");
        return VerifyCommand(path, out, err);
    }
    void Patch(const std::string& path, size_t at, const std::string& bytes) {
        std::string s = test::ReadBytes(path);
        s.replace(at, bytes.size(), bytes);
        test::WriteBytes(path, s);
    }
    test::TempDir dir;
    std::ostringstream out, err;
};

TEST_F(Damage, AnIntactPackageVerifies) {
    std::string pkg = BuildBig();
    EXPECT_EQ(Verify(pkg), 0) << err.str();
    EXPECT_EQ(out.str(), "OK: 2 files in 2 blocks, 1 file\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(Damage, EachKindOfDamageIsNamed) {
    const std::string pkg = BuildBig();
    const std::string good = test::ReadBytes(pkg);
    PackageView view = ScanPackage(pkg);
    const BlockView big = view.fileBlocks[1];
    ASSERT_TRUE(big.Compressed());
    const size_t trailer = good.size() - kTrailerSize;
    auto flip = [&](size_t at) {
        std::string s = good;
        s[at] = char(s[at] ^ 0x55);
        return s;
    };
    auto withTrailer = [&](auto change) {
        PackageTrailer t = PackageTrailer::Decode(reinterpret_cast<const uint8_t*>(good.data()) + trailer, 74);
        change(t);
        std::string s = good;
        auto b = t.Encode();
        s.replace(trailer, 74, std::string(b.begin(), b.end()));
        return s;
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"byte flipped inside the zlib stream", flip(size_t(big.offset) + 4 + big.StoredSize() / 2), "zlib"},
        {"byte flipped in the adler32 check", flip(size_t(big.offset) + 4 + big.StoredSize() - 1), "zlib"},
        {"truncated by 100 bytes", good.substr(0, good.size() - 100), "ImageEnd points past the end"},
        {"cut inside the blocks, trailer kept",
         good.substr(0, size_t(big.offset) + 100) + good.substr(trailer), "ImageEnd points past the end"},
        {"bad signature", flip(trailer + 12), "bad package signature"},
        {"block length runs past the trailer", [&] {
             std::string s = good;
             SetLE32(reinterpret_cast<uint8_t*>(&s[size_t(big.offset)]), big.StoredSize() + 10);
             return s;
         }(), "runs past the trailer"},
        {"FileCount disagrees", withTrailer([](PackageTrailer& t) { t.FileCount = 3; }), "FileCount is 3"},
        {"SpaceRequired disagrees", withTrailer([](PackageTrailer& t) { t.SpaceRequired[4] = 1; }),
         "SpaceRequired[4] is 1"},
        {"HeadBlockCount 5", withTrailer([](PackageTrailer& t) { t.HeadBlockCount = 5; }), "HeadBlockCount 5"},
        {"a web stub without download block", withTrailer([](PackageTrailer& t) { t.IsWebStub = 1; }),
         "web stub without a download block"},
        {"a token character changed", [&] {
             std::string s = good;
             size_t token = s.find("|0|", s.find("|.exe|")) - 3;  // inside the scrambled token
             s[token] = s[token] == 'b' ? 'c' : 'b';
             return s;
         }(), "UpdateToken is damaged"},
    };
    for (const auto& c : cases) {
        test::WriteBytes(dir / "bad.exe", c.bytes);
        EXPECT_EQ(Verify(dir / "bad.exe"), 1) << c.what;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << c.what << ": " << err.str();
        // The other readers walk the same damage without harm.
        std::ostringstream o, e;
        ListCommand(dir / "bad.exe", o, e);
        InfoCommand(dir / "bad.exe", o, e);
    }
}

TEST_F(Damage, SmallPackagesAreGuardedByTheirChecksum) {
    test::WriteBytes(dir / "src/Engine.exe", "engine" + std::string(100, '.'));
    test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\nCompression=store\n[Files]\nEngine.exe*=src/Engine.exe\n");
    BuildOptions o;
    BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    std::string s = test::ReadBytes(dir / "pkg.exe");
    size_t at = s.find("engine");
    ASSERT_NE(at, std::string::npos);
    Patch(dir / "pkg.exe", at, "ENGINE");  // stored bytes carry no check of their own
    EXPECT_EQ(Verify(dir / "pkg.exe"), 1);
    EXPECT_NE(err.str().find("checksum mismatch"), std::string::npos) << err.str();
}

TEST_F(Damage, AMissingOrDamagedVolumeIsNamed) {
    test::WriteBytes(dir / "src/noise.bin", [] {
        std::string s(30000, '\0');
        SeededRandom r(3);
        for (auto& c : s) c = char(r.Next());
        return s;
    }());
    test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\nVolumeSize=8K\n[Files]\nnoise.bin=src/noise.bin\n");
    BuildOptions o;
    BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    const std::string third = VolumePath(dir / "pkg.exe", 3);
    const std::string saved = test::ReadBytes(third);
    Patch(third, 100, "XXXX");
    EXPECT_EQ(Verify(dir / "pkg.exe"), 1);
    EXPECT_NE(err.str().find("pkg.exe.003: checksum mismatch"), std::string::npos) << err.str();
    std::filesystem::remove(third);
    EXPECT_EQ(Verify(dir / "pkg.exe"), 1);
    EXPECT_NE(err.str().find("volume missing: " + third), std::string::npos) << err.str();
    test::WriteBytes(third, saved.substr(0, 5000));
    EXPECT_EQ(Verify(dir / "pkg.exe"), 1);
    EXPECT_NE(err.str().find("pkg.exe.003"), std::string::npos) << err.str();
}

// A package written by hand, as a hostile one would be: names that climb out of the folder.
TEST_F(Damage, ExtractRefusesUnsafeNamesAndWritesNothingOutside) {
    const std::string stub = test::FakeStub();
    std::vector<uint8_t> image(stub.begin(), stub.end());
    AppendHeadBlock(image, "");
    AppendHeadBlock(image, "|http:|.info|.exe|x|0|");
    const char* names[] = {"..\\evil1.txt", "../evil2.txt", "ok.txt", "C:evil3.txt", "nul", "Engine.exe* /a"};
    std::vector<uint64_t> sizes;
    for (const char* name : names) {
        std::string data = std::string("data of ") + name;
        sizes.push_back(data.size());
        ASSERT_TRUE(AppendFileBlock(image, MakeFileBlockContent(name, 0, reinterpret_cast<const uint8_t*>(data.data()),
                                                                data.size()), true));
    }
    PackageTrailer t = PackageTrailer::MakeNew();
    t.PackageStart = uint32_t(stub.size());
    t.FileCount = 6;
    t.SpaceRequired = ComputeSpaceRequired(sizes);
    SealPackage(image, t, true);
    test::WriteBytes(dir / "hostile/pkg.exe", std::string(image.begin(), image.end()));

    std::ostringstream o, e;
    EXPECT_EQ(ExtractCommand(dir / "hostile/pkg.exe", dir / "hostile/out", o, e), 1);
    EXPECT_NE(e.str().find("refused unsafe file name \"..\\evil1.txt\""), std::string::npos) << e.str();
    EXPECT_NE(e.str().find("refused unsafe file name \"nul\""), std::string::npos) << e.str();
    EXPECT_EQ(test::ReadBytes(dir / "hostile/out/ok.txt"), "data of ok.txt");
    EXPECT_EQ(test::ReadBytes(dir / "hostile/out/Engine.exe"), "data of Engine.exe* /a");
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos) << entry.path();
    EXPECT_EQ(Verify(dir / "hostile/pkg.exe"), 1);
    EXPECT_NE(err.str().find("unsafe file name \"../evil2.txt\""), std::string::npos) << err.str();
}

TEST_F(Damage, ExtractRemovesAFileWhosePieceIsDamaged) {
    std::string pkg = BuildBig("BlockSize=64K\n");
    PackageView view = ScanPackage(pkg);
    ASSERT_EQ(view.fileBlocks.size(), 5u);  // engine + 4 pieces of big.txt
    std::string s = test::ReadBytes(pkg);
    const BlockView& third = view.fileBlocks[3];
    s[size_t(third.offset) + 4 + third.StoredSize() / 2] ^= 0x55;
    test::WriteBytes(dir / "bad.exe", s);
    std::ostringstream o, e;
    EXPECT_EQ(ExtractCommand(dir / "bad.exe", dir / "x", o, e), 1);
    EXPECT_TRUE(StatPath(dir / "x/Engine.exe").isRegularFile);
    EXPECT_FALSE(StatPath(dir / "x/big.txt").exists) << e.str();
}

TEST_F(Damage, NotAPackageAtAll) {
    test::WriteBytes(dir / "plain.txt", "just some text that is no package at all");
    test::WriteBytes(dir / "tiny", "ab");
    for (const char* name : {"plain.txt", "tiny", "absent"}) {
        std::ostringstream o, e;
        EXPECT_EQ(InfoCommand(dir / name, o, e), 1) << name;
        EXPECT_FALSE(e.str().empty()) << name;
        EXPECT_EQ(Verify(dir / name), 1) << name;
    }
}

}  // namespace
}  // namespace zv::pack
