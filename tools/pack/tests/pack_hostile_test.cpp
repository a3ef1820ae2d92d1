// The packager against a hostile target folder, broken volume sets and hand-made packages: it
// never writes outside the target, never follows what stands there, and never calls a broken
// package a success.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "description.h"
#include "pack_clock.h"
#include "pack_commands.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "pack_test_util.h"
#include "package/package_layout.h"
#include "package_reader.h"
#include "package_writer.h"

namespace zv::pack {
namespace {

namespace fs = std::filesystem;

std::string Noise(size_t size, uint64_t seed) {
    SeededRandom r(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = char(r.Next());
    return s;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseUtc();
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        Add("Readme.txt", "read me first\n");
        Add("big.bin", Noise(300000, 1));
        std::string text;
        for (int i = 0; text.size() < 70000; ++i) text += "line " + std::to_string(i) + "\n";
        Add("text.txt", text);
        Add("big2.bin", Noise(400000, 2));
    }
    void Add(const std::string& name, const std::string& bytes) {
        test::WriteBytes(dir / ("src/" + name), bytes);
        sources[name] = bytes;
    }
    std::string Build(const std::string& extra = "") {
        std::string files;
        for (const auto& [name, bytes] : sources) files += name + "=src/" + name + "\n";
        test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\nOutput=Setup.exe\n" + extra + "[Files]\n" + files);
        BuildOptions o;
        o.now = 1700000000;
        BuildPackage(LoadDescription(dir / "pkg.ini"), o);
        return dir / "Setup.exe";
    }
    int Extract(const std::string& package, const std::string& folder) {
        out.str("");
        err.str("");
        return ExtractCommand(package, folder, out, err);
    }
    // Every file in the folder is whole and right; returns how many there are.
    size_t ExpectOnlyWholeFiles(const std::string& folder) {
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(sources.count(name)) << "unexpected file " << name;
            EXPECT_TRUE(test::ReadBytes(entry.path().string()) == sources[name]) << name << " is not whole";
            ++count;
        }
        return count;
    }

    test::TempDir dir;
    std::map<std::string, std::string> sources;
    std::ostringstream out, err;
};

#ifndef _WIN32
// Whatever stands in the target under an entry's name is never written through: a link is
// refused (or, for a hard link, its other name keeps its bytes), and a FIFO neither blocks nor
// receives data.
TEST_F(Hostile, ExtractNeverWritesThroughWhatStandsInTheTarget) {
    const std::string pkg = Build();
    struct Case {
        const char* what;
        std::function<void(const std::string& entry, const std::string& outside)> plant;
        bool refused;  // the entry is reported and not written
    } cases[] = {
        {"symbolic link", [](const std::string& e, const std::string& o) { fs::create_symlink(o, e); }, true},
        {"dangling link", [](const std::string& e, const std::string& o) {
             fs::create_symlink(o + ".new", e);
         }, true},
        {"hard link", [](const std::string& e, const std::string& o) { fs::create_hard_link(o, e); }, false},
        {"FIFO", [](const std::string& e, const std::string&) { ASSERT_EQ(mkfifo(e.c_str(), 0644), 0); }, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string target = dir / ("t" + std::to_string(n));
        const std::string outside = dir / ("outside" + std::to_string(n++));
        fs::create_directories(target);
        fs::create_directories(outside);
        test::WriteBytes(outside + "/victim.txt", "SECRET");
        c.plant(target + "/Readme.txt", outside + "/victim.txt");
        EXPECT_EQ(Extract(pkg, target), c.refused ? 1 : 0) << err.str();
        EXPECT_EQ(test::ReadBytes(outside + "/victim.txt"), "SECRET");
        EXPECT_FALSE(fs::exists(outside + "/victim.txt.new"));
        if (c.refused) {
            EXPECT_NE(err.str().find("Readme.txt was not written"), std::string::npos) << err.str();
        } else {
            EXPECT_EQ(test::ReadBytes(target + "/Readme.txt"), sources["Readme.txt"]);
        }
        // The other files arrive, and no temporary file is left.
        for (const char* name : {"big.bin", "text.txt", "big2.bin"})
            EXPECT_TRUE(test::ReadBytes(target + "/" + name) == sources[name]) << name;
        for (const auto& entry : fs::directory_iterator(target))
            EXPECT_EQ(entry.path().filename().string().find(".zvpack-"), std::string::npos);
    }
}
#endif

// A spanned set that is not the one that was built ends with an error naming a volume, and every
// file left in the target is whole.
TEST_F(Hostile, ExtractOfABrokenVolumeSetFailsAndKeepsOnlyWholeFiles) {
    Build("VolumeSize=200K\n");
    ASSERT_TRUE(fs::exists(dir / "Setup.exe.004"));
    auto clearMoreVolumes = [this](const std::string& volume) {
        std::string s = test::ReadBytes(dir / volume);
        s[s.size() - kTrailerSize + trailer_offset::PackageFlags] &= char(~uint8_t(PackageFlag::MoreVolumes));
        test::WriteBytes(dir / volume, s);
    };
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* start;
        const char* named;  // a volume the errors name
    } cases[] = {
        {"swapped .002 and .003", [this] {
             fs::rename(dir / "Setup.exe.002", dir / "swap");
             fs::rename(dir / "Setup.exe.003", dir / "Setup.exe.002");
             fs::rename(dir / "swap", dir / "Setup.exe.003");
         }, "Setup.exe", "Setup.exe.003"},
        {"MoreVolumes cleared on .001", [&] { clearMoreVolumes("Setup.exe.001"); }, "Setup.exe", "Setup.exe.001"},
        {"MoreVolumes cleared on .002", [&] { clearMoreVolumes("Setup.exe.002"); }, "Setup.exe", "Setup.exe.002"},
        {"started at .002", [] {}, "Setup.exe.002", "Setup.exe.002"},
        {".003 missing", [this] { fs::remove(dir / "Setup.exe.003"); }, "Setup.exe", "Setup.exe.003"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Build("VolumeSize=200K\n");
        c.damage();
        const std::string target = dir / ("v" + std::to_string(n++));
        EXPECT_EQ(Extract(dir / c.start, target), 1);
        EXPECT_NE(err.str().find(c.named), std::string::npos) << err.str();
        EXPECT_LT(ExpectOnlyWholeFiles(target), sources.size());
        EXPECT_NE(err.str().find("removed "), std::string::npos) << err.str();
    }
}

// A piece that cannot be read leaves no file that looks whole: the file it belongs to, or the
// file before a block whose header never came out, is removed and named.
TEST_F(Hostile, ExtractRemovesEveryFileAPieceIsMissingFrom) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += std::to_string(i * 7919 % 10007) + " ";
    struct Case {
        const char* what;
        bool compressible;  // zlib blocks; stored ones otherwise
        std::function<void(std::string& bytes, const PackageView& view)> damage;
    } cases[] = {
        {"zlib header of a later piece", true, [](std::string& s, const PackageView& v) {
             s[size_t(v.fileBlocks[2].offset) + 4] = 0x00;  // the first inflate call fails
         }},
        {"item header of a later stored piece", false, [](std::string& s, const PackageView& v) {
             s[size_t(v.fileBlocks[2].offset) + 4] = 0x00;  // an empty header
         }},
        {"block length past the end", true, [](std::string& s, const PackageView& v) {
             const size_t at = size_t(v.fileBlocks[2].offset);
             s[at + 3] = 0x10;  // 256 MB more than is there
         }},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sources.clear();
        Add("big.bin", c.compressible ? text : Noise(300000, 3));
        Add("Readme.txt", "read me\n");
        const std::string pkg = Build("BlockSize=64K\n");
        PackageView view = ScanPackage(pkg);
        ASSERT_GT(view.fileBlocks.size(), 4u);  // Readme.txt, then big.bin in five pieces
        std::string bytes = test::ReadBytes(pkg);
        c.damage(bytes, view);
        test::WriteBytes(dir / "bad.exe", bytes);
        const std::string target = dir / ("p" + std::to_string(n++));
        EXPECT_EQ(Extract(dir / "bad.exe", target), 1);
        EXPECT_FALSE(fs::exists(target + "/big.bin")) << err.str();
        EXPECT_NE(err.str().find("removed " + target + "/big.bin"), std::string::npos) << err.str();
    }
}

// Packages made by hand: pieces of one file under names that differ in case make one file, as
// the stub writes them; data beyond what the package states stops the extraction.
TEST_F(Hostile, HandMadePackages) {
    auto make = [this](const std::vector<std::pair<std::string, std::string>>& files, uint32_t stated) {
        const std::string stub = test::FakeStub();
        std::vector<uint8_t> image(stub.begin(), stub.end());
        AppendHeadBlock(image, "");
        AppendHeadBlock(image, "|http:|.info|.exe|x|0|");
        std::vector<uint64_t> sizes;
        for (const auto& [name, data] : files) {
            EXPECT_TRUE(AppendFileBlock(
                image, MakeFileBlockContent(name, 0, reinterpret_cast<const uint8_t*>(data.data()), data.size()), true));
        }
        PackageTrailer t = PackageTrailer::MakeNew();
        t.PackageStart = uint32_t(stub.size());
        t.FileCount = uint32_t(files.size());
        t.SpaceRequired.fill(stated);
        SealPackage(image, t, true);
        test::WriteBytes(dir / "hand.exe", std::string(image.begin(), image.end()));
        return dir / "hand.exe";
    };
    // Case-only duplicates: one file, both pieces, in order.
    EXPECT_EQ(Extract(make({{"Dup.txt", "first "}, {"dup.txt", "second"}}, 12), dir / "dup"), 0) << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "dup/Dup.txt"), "first second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "dup"), fs::directory_iterator()), 1);

    // A small package that inflates to far more than it states.
    std::string zeros(4u << 20, '\0');
    EXPECT_EQ(Extract(make({{"bomb.bin", zeros}}, 1000), dir / "bomb"), 1);
    EXPECT_NE(err.str().find("more than the 1000 bytes the package states"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(dir / "bomb/bomb.bin"));

    // Control characters in names are printed escaped.
    ListCommand(make({{"a\x1b[2Jb.txt", "x"}}, 1), out, err);
    EXPECT_NE(out.str().find("a\\x1b[2Jb.txt"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);

    // A name that is the package itself, extracted into the package's own folder.
    fs::create_directories(dir / "self");
    const std::string self = make({{"hand.exe", "overwrite me"}}, 100);
    fs::rename(self, dir / "self/hand.exe");
    const std::string before = test::ReadBytes(dir / "self/hand.exe");
    EXPECT_EQ(Extract(dir / "self/hand.exe", dir / "self"), 1);
    EXPECT_NE(err.str().find("would overwrite the package being read"), std::string::npos) << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "self/hand.exe"), before);

    // No folder at all, and a folder standing where a file goes.
    EXPECT_EQ(Extract(make({{"x.txt", "x"}}, 1), ""), 1);
    EXPECT_NE(err.str().find("no folder to extract into"), std::string::npos);
    fs::create_directories(dir / "dirs/x.txt");
    EXPECT_EQ(Extract(dir / "hand.exe", dir / "dirs"), 1);
    EXPECT_NE(err.str().find("is a folder: refused"), std::string::npos) << err.str();
}

// `build` never writes over what it reads, and never through a link at its temporary name.
TEST_F(Hostile, BuildNeverOverwritesItsInputs) {
    test::WriteBytes(dir / "en.lng", "s1=Extracting...\n");
    const std::string files = "[Files]\nReadme.txt=src/Readme.txt\n";
    struct Case {
        const char* output;
        const char* named;
    } cases[] = {
        {"pkg.ini", "the description"},
        {"src/Readme.txt", "the source file"},
        {"en.lng", "the language file"},
        {"stub.exe", "the stub template"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        test::WriteBytes(dir / "pkg.ini", std::string("[Package]\nStub=stub.exe\nOutput=") + c.output +
                                              "\n[Languages]\nEnglish=en.lng\n" + files);
        const std::string before = test::ReadBytes(dir / c.output);
        BuildOptions o;
        o.now = 1700000000;
        try {
            BuildPackage(LoadDescription(dir / "pkg.ini"), o);
            ADD_FAILURE() << "built over " << c.output;
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
        EXPECT_EQ(test::ReadBytes(dir / c.output), before);
    }
#ifndef _WIN32
    // A link at the old fixed temporary name leads nowhere.
    test::WriteBytes(dir / "victim.txt", "SECRET");
    fs::create_symlink(dir / "victim.txt", dir / "Out.exe.tmp");
    test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=stub.exe\nOutput=Out.exe\n" + files);
    BuildOptions o;
    o.now = 1700000000;
    BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    EXPECT_EQ(test::ReadBytes(dir / "victim.txt"), "SECRET");
    EXPECT_TRUE(StatPath(dir / "Out.exe").isRegularFile);
#endif
}

// Any stored package time is printed, out-of-range ones as such.
TEST_F(Hostile, InfoPrintsAnyPackageTime) {
    const std::string pkg = Build();
    for (int64_t time : {INT64_MIN, INT64_MAX, int64_t(-693594) * 86400}) {
        std::string s = test::ReadBytes(pkg);
        PackageTrailer::Bytes raw{};
        std::copy(s.end() - kTrailerSize, s.end(), raw.begin());
        PackageTrailer t = PackageTrailer::Decode(raw.data(), raw.size());
        t.PackageTime = time;
        auto bytes = t.Encode();
        std::copy(bytes.begin(), bytes.end(), s.end() - kTrailerSize);
        test::WriteBytes(dir / "time.exe", s);
        out.str("");
        InfoCommand(dir / "time.exe", out, err);
        EXPECT_NE(out.str().find("PackageTime: " + std::to_string(time) + " (out of range)"), std::string::npos)
            << out.str();
    }
}

}  // namespace
}  // namespace zv::pack
