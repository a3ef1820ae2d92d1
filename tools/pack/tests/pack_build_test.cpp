// Packages built by the writer, read back by the stub's own reader and by the packager's reader.
#include <gtest/gtest.h>

#include <map>

#include "description.h"
#include "pack_clock.h"
#include "pack_names.h"
#include "pack_test_util.h"
#include "package/gfile_info.h"
#include "package/unpack.h"
#include "package_reader.h"
#include "package_writer.h"

namespace zv::pack {
namespace {

constexpr int64_t kNow = 1700000000;          // 2023-11-14 22:13:20 UTC
constexpr int64_t kFileTime = 1600000000;     // 2020-09-13 12:26:40 UTC

std::string Compressible(size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += "line " + std::to_string(i % 977) + " of text\n";
    s.resize(size);
    return s;
}

std::string Random(size_t size, uint64_t seed) {
    SeededRandom r(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = char(r.Next());
    return s;
}

class Build : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseUtc();
        test::WriteBytes(dir / "stub.exe", test::FakeStub());
        AddFile("src/Engine.exe", "MZ engine");
        AddFile("src/readme.txt", Compressible(3000));
        AddFile("src/data.bin", Random(2500, 1));
        test::WriteBytes(dir / "en.lng", "Charset=0\nFontName=Tahoma\ns10=Downloading File...\n");
        test::WriteBytes(dir / "de.lng", "Charset=0\ns10=Datei wird geladen...\n");
    }
    void AddFile(const std::string& path, const std::string& bytes, int64_t mtime = kFileTime) {
        test::WriteBytes(dir / path, bytes);
        test::SetMtime(dir / path, mtime);
        sources[BaseName(path)] = bytes;
    }
    BuildResult Make(const std::string& ini, int64_t now = kNow, const std::string& output = "",
                     int threads = 0) {
        test::WriteBytes(dir / "pkg.ini", ini);
        BuildOptions o;
        o.now = now;
        o.clampDates = true;
        o.output = output;
        o.threads = threads;
        return BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    }
    // name -> joined content, in the order of first appearance, read with the packager's reader.
    std::vector<std::pair<std::string, std::string>> Contents(const std::string& path,
                                                              std::vector<std::string>* headers = nullptr) {
        PackageView view = ScanPackage(path);
        EXPECT_TRUE(view.errors.empty()) << view.errors.front();
        BlockReader reader(view);
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& b : view.fileBlocks) {
            std::string data;
            BlockContent c = reader.Read(b, nullptr, [&](const uint8_t* p, size_t n) {
                data.append(reinterpret_cast<const char*>(p), n);
                return true;
            });
            EXPECT_TRUE(c.ok) << c.error;
            if (headers) headers->push_back(c.header);
            std::string name = ParseItemHeader(c.header).name;
            if (!files.empty() && files.back().first == name) files.back().second += data;
            else files.emplace_back(name, data);
        }
        return files;
    }

    test::TempDir dir;
    std::map<std::string, std::string> sources;
    const std::string kFiles = "[Files]\nEngine.exe* /x=1=src/Engine.exe\nreadme.txt=src/readme.txt\n"
                               "data.bin=src/data.bin\n";
};

TEST_F(Build, TheStubsReaderSeesEveryFieldAsDescribed) {
    BuildResult r = Make("[Package]\nStub=stub.exe\nOutput=out/Setup.exe\nShowTempNotice=1\nShowActivityBar=1\n"
                         "RunLog=1\nWebStub=1\nConfirmDownload=1\nSaveAgentCopy=1\nAgent=1\nSilentSetup=1\n"
                         "[Update]\nUpdateUrl=http://127.0.0.1/upd\nInfoFileName=sub\\App.Update.info\n"
                         "AgentFileName=AppAgent.exe\nToken=update-secret\n"
                         "[Download]\nUrl=http://127.0.0.1/dl\nFileName=Full.exe\nAlwaysDownload=1\n"
                         "Token=download-secret\nSize=123456\n"
                         "[Languages]\nEnglish=en.lng\nDeutsch=de.lng\n" + kFiles);
    const std::string out = dir / "out/Setup.exe";
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(test::Slashes(r.outputs[0]), test::Slashes(out));
    const std::string bytes = test::ReadBytes(out);

    PackageTrailer record;
    ASSERT_TRUE(ReadTrailer(out, record));
    EXPECT_EQ(record.Reserved0, 1);
    EXPECT_EQ(record.HeadBlockCount, 3);
    EXPECT_EQ(record.PackageStart, test::FakeStub().size());
    EXPECT_EQ(record.FileCount, 3u);
    EXPECT_EQ(record.PackageTime, 25569LL * 86400 + kNow);
    EXPECT_EQ(record.TrailerSize, 74);
    // 9 + 3000 + 2500 bytes; from 512 on each file takes whole clusters.
    std::array<uint32_t, 9> space = {5509, 512 * 1 + 512 * 6 + 512 * 5, 1024 + 3072 + 3072, 2048 + 4096 + 4096,
                                     4096 * 3, 8192 * 3, 16384 * 3, 32768 * 3, 65536 * 3};
    EXPECT_EQ(record.SpaceRequired, space);
    EXPECT_EQ(record.PackageChecksum, PackageChecksum(out, 74));  // small enough to be summed
    EXPECT_NE(record.PackageChecksum, kChecksumOff);
    EXPECT_EQ(ImageEnd(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), bytes.size());

    TGFileInfo info(out);
    EXPECT_TRUE(info.ShowTempNotice());
    EXPECT_FALSE(info.MoreVolumes());
    EXPECT_FALSE(info.SpannedPackage());
    EXPECT_TRUE(info.ShowActivityBar());
    EXPECT_TRUE(info.RunLogEnabled());
    EXPECT_TRUE(info.IsWebStub());
    EXPECT_TRUE(info.ConfirmDownload());
    EXPECT_TRUE(info.SaveAgentCopy());
    EXPECT_TRUE(info.IsAgent());
    EXPECT_EQ(info.UpdateUrl(), "http://127.0.0.1/upd");
    EXPECT_EQ(info.InfoFileName(), "App.Update.info");
    EXPECT_EQ(info.OriginalFileName(), "App.original");
    EXPECT_EQ(info.AgentFileName(), "AppAgent.exe");
    EXPECT_EQ(info.UpdateToken(true), "update-secret");
    EXPECT_NE(info.UpdateToken(false), "update-secret");
    EXPECT_TRUE(info.SilentSetup());
    EXPECT_EQ(info.DownloadUrl(), "http://127.0.0.1/dl");
    EXPECT_EQ(info.DownloadFileName(), "Full.exe");
    EXPECT_TRUE(info.AlwaysDownload());
    EXPECT_EQ(info.DownloadToken(true), "download-secret");
    EXPECT_EQ(info.DownloadSize(), "123456");
    EXPECT_EQ(info.LanguageText(), "\x02\x01" "English\x01" "Charset=0\x01" "FontName=Tahoma\x01"
                                   "s10=Downloading File...\x01\x02\x01" "Deutsch\x01" "Charset=0\x01"
                                   "s10=Datei wird geladen...\x01\x02");
}

TEST_F(Build, WithoutSettingsTheHeaderCarriesTheDefaultItems) {
    Make("[Package]\nStub=stub.exe\n" + kFiles);
    TGFileInfo info(dir / "pkg.exe");
    EXPECT_EQ(info.Trailer().HeadBlockCount, 2);
    EXPECT_EQ(info.Trailer().PackageFlags, 0);
    EXPECT_EQ(info.Trailer().IsWebStub + info.Trailer().ConfirmDownload + info.Trailer().SaveAgentCopy +
                  info.Trailer().IsAgent, 0);
    EXPECT_EQ(info.UpdateUrl(), "http:");
    EXPECT_EQ(info.InfoFileName(), ".info");
    EXPECT_EQ(info.OriginalFileName(), ".original");
    EXPECT_EQ(info.AgentFileName(), ".exe");
    EXPECT_FALSE(info.SilentSetup());
    EXPECT_EQ(info.HeaderText().substr(0, 13), "|http:|.info|");
    EXPECT_EQ(info.HeaderText().substr(info.HeaderText().size() - 3), "|0|");
    std::string token = info.UpdateToken(true);
    EXPECT_EQ(token.size(), 50u);
    EXPECT_EQ(token.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
    EXPECT_TRUE(info.DownloadText().empty());
    EXPECT_TRUE(info.LanguageText().empty());
}

TEST_F(Build, FileBlocksCarryNameDateAndBytes) {
    AddFile("src/late.txt", "from the future", kNow + 1000);
    Make("[Package]\nStub=stub.exe\n" + kFiles + "late.txt=src/late.txt\n");
    std::vector<std::string> headers;
    auto files = Contents(dir / "pkg.exe", &headers);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0], std::make_pair(std::string("Engine.exe"), sources["Engine.exe"]));
    EXPECT_EQ(files[1].second, sources["readme.txt"]);
    EXPECT_EQ(files[2].second, sources["data.bin"]);
    EXPECT_EQ(headers[0], "|Engine.exe* /x=1|" + std::to_string(DosDateTimeFromUnix(kFileTime)) + "|");
    EXPECT_EQ(headers[1], "|readme.txt|" + std::to_string(DosDateTimeFromUnix(kFileTime)) + "|");
    // A date later than the package time is clamped to it, as reproducible builds expect.
    EXPECT_EQ(headers[3], "|late.txt|" + std::to_string(DosDateTimeFromUnix(kNow)) + "|");

    PackageView view = ScanPackage(dir / "pkg.exe");
    EXPECT_TRUE(view.fileBlocks[1].Compressed());   // text shrinks
    EXPECT_FALSE(view.fileBlocks[2].Compressed());  // random bytes are stored
}

TEST_F(Build, SameInputsAndTimeGiveTheSameBytes) {
    const std::string ini = "[Package]\nStub=stub.exe\n[Download]\nUrl=u\nFileName=F.exe\nToken=t\nSize=1\n" + kFiles;
    Make(ini, kNow, dir / "a.exe");
    Make(ini, kNow, dir / "b.exe");
    Make(ini, kNow + 1, dir / "c.exe");
    std::string a = test::ReadBytes(dir / "a.exe");
    EXPECT_EQ(a, test::ReadBytes(dir / "b.exe"));
    std::string c = test::ReadBytes(dir / "c.exe");
    EXPECT_NE(a, c);
    // Another time also gives other random token parts, not only another PackageTime.
    EXPECT_NE(TGFileInfo(dir / "a.exe").HeaderText(), TGFileInfo(dir / "c.exe").HeaderText());
    EXPECT_EQ(TGFileInfo(dir / "a.exe").DownloadToken(true), TGFileInfo(dir / "c.exe").DownloadToken(true));
}

// Blocks are compressed on several threads and written in order: any thread count gives the
// bytes of a one-thread build, also with empty files and files cut into many blocks.
TEST_F(Build, EveryThreadCountWritesTheSameBytes) {
    AddFile("src/empty.txt", "");
    AddFile("src/big.txt", Compressible(20000));
    AddFile("src/noise.bin", Random(9000, 7));
    const std::string ini = "[Package]\nStub=stub.exe\nBlockSize=1K\n" + kFiles +
                            "empty.txt=src/empty.txt\nbig.txt=src/big.txt\nnoise.bin=src/noise.bin\n";
    BuildResult one = Make(ini, kNow, dir / "one.exe", 1);
    const std::string expected = test::ReadBytes(dir / "one.exe");
    for (int threads : {2, 3, 8}) {
        BuildResult many = Make(ini, kNow, dir / "many.exe", threads);
        EXPECT_EQ(test::ReadBytes(dir / "many.exe"), expected) << threads << " threads";
        EXPECT_EQ(many.fileBlocks, one.fileBlocks);
    }
    EXPECT_GT(one.fileBlocks, 30u);
}

// A source that changes between the description and its block is an error whichever thread
// compressed it, and no package is left behind.
TEST_F(Build, ASourceThatChangesFailsTheBuildOnEveryThreadCount) {
    AddFile("src/big.txt", Compressible(20000));
    const std::string ini = "[Package]\nStub=stub.exe\nBlockSize=1K\n" + kFiles + "big.txt=src/big.txt\n";
    test::WriteBytes(dir / "pkg.ini", ini);
    for (int threads : {1, 4}) {
        PackageDescription d = LoadDescription(dir / "pkg.ini");
        test::WriteBytes(dir / "src/big.txt", Compressible(5000));
        BuildOptions o;
        o.now = kNow;
        o.threads = threads;
        o.output = dir / "out.exe";
        try {
            BuildPackage(d, o);
            ADD_FAILURE() << threads << " threads: a shrunk source was packed";
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find("became shorter"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "out.exe"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out.exe.tmp"));
        test::WriteBytes(dir / "src/big.txt", Compressible(20000));
    }
}

TEST_F(Build, StoreAndBlockSizeShapeTheBlocks) {
    AddFile("src/big.txt", Compressible(5000));
    Make("[Package]\nStub=stub.exe\nCompression=store\nBlockSize=1K\n[Files]\nbig.txt=src/big.txt\n"
         "Engine.exe*=src/Engine.exe\n");
    PackageView view = ScanPackage(dir / "pkg.exe");
    ASSERT_EQ(view.fileBlocks.size(), 6u);  // 5 pieces of big.txt, then the engine
    for (const auto& b : view.fileBlocks) EXPECT_FALSE(b.Compressed());
    EXPECT_EQ(view.Trailer().FileCount, 6u);
    auto files = Contents(dir / "pkg.exe");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].second, sources["big.txt"]);
    // The pieces are one file on disk.
    EXPECT_EQ(view.Trailer().SpaceRequired[1], 5120u + 512u);
}

TEST_F(Build, SpannedPackageFillsVolumesAndJoinsPieces) {
    AddFile("src/random.bin", Random(9000, 2));
    AddFile("src/text.txt", Compressible(60000));
    AddFile("src/empty.txt", "");
    Make("[Package]\nStub=stub.exe\nOutput=Setup.exe\nVolumeSize=4K\nShowTempNotice=1\n[Languages]\nEnglish=en.lng\n" +
         kFiles + "random.bin=src/random.bin\ntext.txt=src/text.txt\nempty.txt=src/empty.txt\n");
    const std::string stub = dir / "Setup.exe";
    TGFileInfo head(stub);
    EXPECT_TRUE(head.SpannedPackage());
    EXPECT_TRUE(head.ShowTempNotice());
    EXPECT_FALSE(head.MoreVolumes());
    EXPECT_FALSE(head.LanguageText().empty());

    PackageView view = ScanPackage(stub);
    ASSERT_TRUE(view.errors.empty()) << view.errors.front();
    ASSERT_GE(view.volumes.size(), 5u);
    EXPECT_EQ(view.volumes[0].blockCount, 2);  // the stub: head blocks only
    for (size_t i = 1; i < view.volumes.size(); ++i) {
        const VolumeView& v = view.volumes[i];
        EXPECT_EQ(test::Slashes(v.path), test::Slashes(VolumePath(stub, int(i))));
        EXPECT_LE(v.fileSize, 4096);
        EXPECT_FALSE(v.peImage);
        EXPECT_EQ(v.trailer.Has(PackageFlag::MoreVolumes), i + 1 < view.volumes.size()) << i;
        EXPECT_EQ(v.trailer.FileCount, view.fileBlocks.size());
        EXPECT_EQ(v.trailer.PackageStart, 0u);
        EXPECT_EQ(v.trailer.PackageChecksum, PackageChecksum(v.path, 74));
    }
    // Volume 1 starts with the same head blocks as the stub: the extraction counts them there.
    TGFileInfo first(VolumePath(stub, 1));
    EXPECT_EQ(first.LanguageText(), head.LanguageText());
    EXPECT_EQ(first.HeaderText(), head.HeaderText());
    EXPECT_EQ(view.Trailer().FileCount, view.fileBlocks.size());

    auto files = Contents(stub);
    ASSERT_EQ(files.size(), 6u);
    for (const auto& [name, data] : files) EXPECT_EQ(data, sources[name]) << name;
    EXPECT_EQ(Contents(VolumePath(stub, 1)), files);  // the same when opened at volume 1

    // A later build with fewer volumes leaves no stale ones behind.
    size_t before = view.volumes.size();
    Make("[Package]\nStub=stub.exe\nOutput=Setup.exe\nVolumeSize=64K\n" + kFiles);
    EXPECT_EQ(ScanPackage(stub).volumes.size(), 2u);
    for (size_t n = 2; n < before; ++n) EXPECT_FALSE(StatPath(VolumePath(stub, int(n))).exists) << n;
}

TEST_F(Build, RefusesUnfitStubTemplatesUnlessForced) {
    struct Case {
        std::string stub;
        const char* message;
    } cases[] = {
        {std::string(1024, 'x'), "no PE header at offset 256"},
        {[] { auto s = test::FakeStub(); s[0x100] = 'X'; return s; }(), "no PE header at offset 256"},
        {[] { auto s = test::FakeStub(); s[252] = 1; return s; }(), "already carries a package"},
        {[] { auto s = test::FakeStub(); s[249] = 1; s[252] = 0; s[248] = 0; return s; }(), "already carries"},
        {[] { auto s = test::FakeStub(); s[280 + 96 + 36] = 8; return s; }(), "signed"},
    };
    for (const auto& c : cases) {
        test::WriteBytes(dir / "bad.exe", c.stub);
        try {
            Make("[Package]\nStub=bad.exe\n" + kFiles);
            ADD_FAILURE() << c.message;
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    test::WriteBytes(dir / "bad.exe", std::string(1024, 'x'));
    test::WriteBytes(dir / "pkg.ini", "[Package]\nStub=bad.exe\n" + kFiles);
    BuildOptions o;
    o.now = kNow;
    o.force = true;
    BuildPackage(LoadDescription(dir / "pkg.ini"), o);
    EXPECT_EQ(Contents(dir / "pkg.exe").size(), 3u);  // found from the end of the file
}

TEST_F(Build, VolumeSizeMustHoldTheHeadBlocksAndAPiece) {
    try {
        Make("[Package]\nStub=stub.exe\nVolumeSize=300\n" + kFiles);
        ADD_FAILURE();
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find("VolumeSize 300 is too small"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(StatPath(dir / "pkg.exe").exists);
    EXPECT_FALSE(StatPath(dir / "pkg.exe.tmp").exists);
    EXPECT_FALSE(StatPath(dir / "pkg.exe.001.tmp").exists);
}

// Each language file may hold up to 16 MB, but the stub reads no head block over 16 MB: two large
// ones together are refused, and nothing is left behind.
TEST_F(Build, LanguageTextsPastTheHeadBlockLimitAreRefused) {
    std::string lines;
    for (int i = 0; lines.size() < (size_t(9) << 20); ++i)
        lines += "s" + std::to_string(i) + "=" + std::string(100, 'x') + "\n";
    test::WriteBytes(dir / "big1.lng", lines);
    test::WriteBytes(dir / "big2.lng", lines);
    try {
        Make("[Package]\nStub=stub.exe\n[Languages]\nOne=big1.lng\nTwo=big2.lng\n" + kFiles);
        ADD_FAILURE() << "a package with 18 MB of language texts was built";
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find("language texts take"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(StatPath(dir / "pkg.exe").exists);
    EXPECT_FALSE(StatPath(dir / "pkg.exe.tmp").exists);
    Make("[Package]\nStub=stub.exe\n[Languages]\nOne=big1.lng\n" + kFiles);
    EXPECT_GT(TGFileInfo(dir / "pkg.exe").LanguageText().size(), size_t(9) << 20);
}

TEST_F(Build, AWebStubTakesSizeAndTokenFromItsSetupFile) {
    Make("[Package]\nStub=stub.exe\nOutput=Full.exe\n[Download]\nUrl=u\nFileName=Full.exe\nToken=shared\nSize=1\n" +
         kFiles);
    const std::string web = "[Package]\nStub=stub.exe\nOutput=Web.exe\nWebStub=1\n[Download]\nUrl=http://h/d\n"
                            "FileName=Full.exe\nSetupFile=Full.exe\n";
    Make(web);
    TGFileInfo info(dir / "Web.exe");
    EXPECT_TRUE(info.IsWebStub());
    EXPECT_EQ(info.DownloadToken(true), "shared");
    EXPECT_EQ(info.DownloadSize(), std::to_string(StatPath(dir / "Full.exe").size));
    try {
        Make(web + "Token=other\n");
        ADD_FAILURE();
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find("differs from the download token"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace zv::pack
