#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "package_test_builder.h"
#include "utils/platform.h"

namespace zv {
namespace {

using testpkg::PackageBuilder;
using testpkg::ScopedMemoryFiles;

std::vector<uint8_t> ReplaceTrailer(std::vector<uint8_t> bytes, const std::vector<uint8_t>& tail) {
    bytes.resize(bytes.size() - kTrailerSize);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

bool IsZero(const PackageTrailer& t) { return t == PackageTrailer{}; }

TEST(PackageReaderTest, StubWithImageEndAndSignature) {
    PackageBuilder b;
    b.peImage = true;
    b.imageSize = 261120;
    b.setImageEnd = true;
    b.signatureSize = 1500;
    b.language = std::string(1, '\x02') + std::string(962, 'L') + '\x02';
    b.header = "|" + std::string(69, 'h') + "|";
    for (int i = 0; i < 22; ++i) b.files.push_back({"f" + std::to_string(i), 0, "data", false});
    b.trailer.Set(PackageFlag::ShowActivityBar, true);
    auto bytes = b.Build();

    uint64_t imageEnd = ImageEnd(bytes.data(), bytes.size());
    ASSERT_GT(imageEnd, 0u);
    ASSERT_LT(imageEnd, bytes.size());
    MemoryFile file(bytes);
    TrailerLocation loc = LocateTrailer(file);
    ASSERT_TRUE(loc.ok);
    EXPECT_EQ(loc.start(), int64_t(imageEnd) - 74);
    EXPECT_EQ(PackageEnd(file), int64_t(imageEnd));

    TGFileInfo info(file);
    EXPECT_EQ(info.LanguageText().size(), 964u);
    EXPECT_EQ(info.HeaderText().size(), 71u);
    EXPECT_EQ(info.DownloadText(), "");
    EXPECT_EQ(info.Trailer().FileCount, 22u);
    EXPECT_EQ(info.Trailer().HeadBlockCount, 2);
    EXPECT_EQ(info.Trailer().PackageStart, 261120u + 4 + 964 + 4 + 71);
    EXPECT_TRUE(info.ShowActivityBar());
    EXPECT_FALSE(info.ShowTempNotice());
}

// A package whose bytes are made up as they are read: a stated head block of nearly 1.5 GB and
// a valid trailer, as a hostile download or a sparse file on a share would give.
class HugeHeadBlockFile : public IFile {
public:
    static constexpr int64_t kSize = int64_t(1536) << 20;
    explicit HugeHeadBlockFile(int64_t blockLength) : blockLength_(blockLength) {
        PackageTrailer t = PackageTrailer::MakeNew();
        t.PackageStart = 0;
        t.EncodeTo(trailer_);
    }
    int64_t Size() override { return kSize; }
    bool Seek(int64_t position) override {
        pos_ = position;
        return position >= 0;
    }
    int64_t Position() override { return pos_; }
    int32_t Read(void* buffer, int32_t count) override {
        auto* out = static_cast<uint8_t*>(buffer);
        int32_t n = 0;
        for (; n < count && pos_ < kSize; ++n, ++pos_) out[n] = At(pos_);
        return n;
    }
    int32_t Write(const void*, int32_t) override { return -1; }

private:
    uint8_t At(int64_t p) const {
        const int64_t trailer = kSize - kTrailerSize;
        if (p < 4) return uint8_t(uint32_t(blockLength_) >> (8 * p));
        return p < trailer ? 'A' : trailer_[p - trailer];
    }
    int64_t blockLength_;
    uint8_t trailer_[kTrailerSize];
    int64_t pos_ = 0;
};

// A stated head block past the limit is damage: nothing is read into memory for it (reading
// 1.5 GB byte by byte would not end in time, let alone fit), the trailer is still there.
TEST(PackageReaderTest, HeadBlockPastTheLimitIsNotRead) {
    HugeHeadBlockFile file(HugeHeadBlockFile::kSize - kTrailerSize - 4);
    TGFileInfo info(file);
    EXPECT_TRUE(info.Trailer().HasSignature());
    EXPECT_EQ(info.LanguageText(), "");
    EXPECT_EQ(info.HeaderText(), "");
    EXPECT_EQ(info.Trailer().PackageStart, 0u);
}

TEST(PackageReaderTest, PeImageWithoutImageEndIsReadFromItsEnd) {
    PackageBuilder b;
    b.peImage = true;
    b.header = "|http://127.0.0.1/upd/|x.info|Agent.exe|tok|0|";
    MemoryFile file(b.Build());
    TGFileInfo info(file);
    EXPECT_EQ(info.AgentFileName(), "Agent.exe");
    EXPECT_EQ(info.Trailer().TrailerSize, 74);
}

TEST(PackageReaderTest, DeclaredTrailerLengthOtherThan74) {
    PackageBuilder b;
    b.trailer.FileCount = 0;
    b.trailer.IsAgent = 1;
    b.trailer.SpaceRequired.fill(777);
    auto original = b.Build();
    PackageTrailer sealed = PackageTrailer::Decode(&original[original.size() - 74], 74);

    const struct {
        int32_t declared;
        int32_t recorded;
        bool keepsIsAgent;    // byte 69
        bool keepsLastSlot;   // bytes 60..63
    } cases[] = {{90, 74, true, true}, {74, 74, true, true}, {40, 40, false, false},
                 {5, 5, false, false}};
    for (const auto& c : cases) {
        std::vector<uint8_t> tail(original.end() - 74, original.end() - 4);  // 70 field bytes
        tail.resize(size_t(c.declared - 4), 0xEE);  // filler after the fields, or cut short
        uint8_t len[4];
        SetLE32(len, uint32_t(c.declared));
        tail.insert(tail.end(), len, len + 4);
        MemoryFile file(ReplaceTrailer(original, tail));
        PackageTrailer t;
        ASSERT_TRUE(ReadTrailer(file, t)) << c.declared;
        EXPECT_EQ(t.TrailerSize, c.recorded);
        EXPECT_EQ(t.IsAgent != 0, c.keepsIsAgent) << c.declared;
        EXPECT_EQ(t.SpaceRequired[8] == 777, c.keepsLastSlot) << c.declared;
        EXPECT_EQ(t.HeadBlockCount, 2);
        // The position is left just after the bytes read.
        EXPECT_EQ(file.Position(), int64_t(file.Size()) - c.declared + (c.recorded - 4));
        if (c.declared >= 24) {
            EXPECT_EQ(t.PackageChecksum, sealed.PackageChecksum);
        }
    }
}

TEST(PackageReaderTest, HeadBlockCountSelectsTheDownloadBlock) {
    const struct {
        uint8_t stored;
        uint8_t recorded;
        bool readsDownload;
    } cases[] = {{0, 2, false}, {2, 2, false}, {3, 3, true}, {9, 9, true}};
    for (const auto& c : cases) {
        PackageBuilder b;
        b.trailer.HeadBlockCount = c.stored;
        // The third block is always written, so a reader that wrongly skips or takes it shows.
        b.withDownload = false;
        auto bytes = b.Build();
        bytes.resize(bytes.size() - 74);
        std::vector<uint8_t> withThird;
        AppendHeadBlock(withThird, "|http://127.0.0.1/s.exe|s.exe|1|tok|99|");
        size_t at = b.PackageStart() + 4 + b.language.size() + 4 + b.header.size();
        bytes.insert(bytes.begin() + long(at), withThird.begin(), withThird.end());
        PackageTrailer t = b.trailer;
        SealPackage(bytes, t, false);
        MemoryFile file(bytes);
        TGFileInfo info(file);
        EXPECT_EQ(info.Trailer().HeadBlockCount, c.recorded);
        EXPECT_EQ(info.DownloadFileName(), c.readsDownload ? "s.exe" : "") << int(c.stored);
        EXPECT_EQ(info.AlwaysDownload(), c.readsDownload);
        EXPECT_EQ(info.DownloadSize(), c.readsDownload ? "99" : "");
    }
}

TEST(PackageReaderTest, AccessorsOverHeaderAndDownloadItems) {
    const std::string token = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx";
    PackageBuilder b;
    HeaderFields h{"http://127.0.0.1/upd/", "C:\\dir\\App.Update.info", "Agent.exe",
                   ScrambleToken(token, 3), true};
    b.header = h.Encode();
    b.withDownload = true;
    b.download = DownloadFields{"http://127.0.0.1/s.exe", "Setup.exe", false,
                                ScrambleToken("dl-token", 4), "4096"}
                     .Encode();
    b.trailer.IsWebStub = 7;
    b.trailer.Set(PackageFlag::RunLogEnabled, true);
    b.trailer.Set(PackageFlag::SpannedPackage, true);
    MemoryFile file(b.Build());
    TGFileInfo info(file);

    EXPECT_EQ(info.UpdateUrl(), "http://127.0.0.1/upd/");
    EXPECT_EQ(info.InfoFileName(), "App.Update.info");
    EXPECT_EQ(info.OriginalFileName(), "App.original");
    EXPECT_EQ(info.AgentFileName(), "Agent.exe");
    EXPECT_EQ(info.UpdateToken(false), h.scrambledToken);
    EXPECT_EQ(info.UpdateToken(true), token);
    EXPECT_TRUE(info.SilentSetup());
    EXPECT_EQ(info.DownloadUrl(), "http://127.0.0.1/s.exe");
    EXPECT_EQ(info.DownloadFileName(), "Setup.exe");
    EXPECT_FALSE(info.AlwaysDownload());
    EXPECT_EQ(info.DownloadToken(true), "dl-token");
    EXPECT_EQ(info.DownloadSize(), "4096");
    EXPECT_TRUE(info.IsWebStub());
    EXPECT_FALSE(info.ConfirmDownload());
    EXPECT_TRUE(info.RunLogEnabled());
    EXPECT_TRUE(info.SpannedPackage());
    EXPECT_FALSE(info.MoreVolumes());
    EXPECT_FALSE(info.IsAgent());
}

TEST(PackageReaderTest, OriginalFileNameDropsFolderAndEveryExtension) {
    const struct {
        const char* item1;
        const char* info;
        const char* original;
    } cases[] = {{".info", ".info", ".original"},
                 {"C:\\Apps\\App.Update.info", "App.Update.info", "App.original"},
                 {"App", "App", "App.original"},
                 {"", "", ".original"},
                 {"sub/dir/x.y.z", "x.y.z", "x.original"}};
    for (const auto& c : cases) {
        PackageBuilder b;
        b.header = std::string("|http:|") + c.item1 + "|.exe|tok|0|";
        MemoryFile file(b.Build());
        TGFileInfo info(file);
        EXPECT_EQ(info.InfoFileName(), c.info) << c.item1;
        EXPECT_EQ(info.OriginalFileName(), c.original) << c.item1;
    }
}

uint64_t g_fakeCluster = 0;
std::string g_probedRoot;
uint64_t FakeCluster(const std::string& root) {
    g_probedRoot = root;
    return g_fakeCluster;
}

TEST(PackageReaderTest, SpaceRequiredPicksTheEntryForTheClusterSize) {
    PackageBuilder b;
    for (int i = 0; i < 9; ++i) b.trailer.SpaceRequired[size_t(i)] = uint32_t(1000 + i);
    MemoryFile file(b.Build());
    TGFileInfo info(file);
    Platform drives;
    drives.clusterSize = &FakeCluster;
    const Platform old = SetPlatform(drives);
    const struct {
        uint64_t cluster;
        double bytes;
    } cases[] = {{4096, 1004}, {0, 1000}, {256, 1000}, {512, 1001}, {131072, 1008}};
    for (const auto& c : cases) {
        g_fakeCluster = c.cluster;
        EXPECT_EQ(info.SpaceRequired("D:\\Temp\\Setup"), c.bytes) << c.cluster;
        EXPECT_EQ(g_probedRoot, "D:\\");
    }
    SetPlatform(old);
    EXPECT_EQ(ClusterSize("C:\\"), 0u);  // the portable default knows no drives
}

TEST(PackageReaderTest, OriginalFilePathUsesTheOwnPackage) {
    ScopedCommandLine cl("\"C:\\Prog\\Setup.exe\"", "C:\\Prog\\Setup.exe");
    PackageBuilder b;
    b.header = "|http:|App.Update.info|.exe|tok|0|";
    MemoryFile file(b.Build());
    TGFileInfo own(file);
    EXPECT_EQ(OriginalFilePath(own), "C:\\Prog\\App.original");
    ASSERT_EQ(OwnPackage, nullptr);
    EXPECT_EQ(OriginalFilePath(), "C:\\Prog\\.original");
    OwnPackage = &own;
    EXPECT_EQ(OriginalFilePath(), "C:\\Prog\\App.original");
    OwnPackage = nullptr;
}

TEST(PackageReaderTest, OpensByNameThroughTheFileSeam) {
    ScopedMemoryFiles files;
    PackageBuilder b;
    b.trailer.Set(PackageFlag::MoreVolumes, true);
    files.Add("Setup.exe.001", b.Build());

    TGFileInfo info("Setup.exe.001");
    EXPECT_EQ(ScopedMemoryFiles::LastOpenMode(), OpenMode::ReadShared);
    EXPECT_TRUE(info.MoreVolumes());
    PackageTrailer t;
    EXPECT_TRUE(ReadTrailer("Setup.exe.001", t));
    EXPECT_EQ(t.PackageStart, 0u);  // the reader's copy moves past the head blocks
    EXPECT_EQ(t.PackageFlags, info.Trailer().PackageFlags);
    EXPECT_TRUE(t.HasSignature());

    // Missing file: all-zero record (HeadBlockCount included) and no texts.
    TGFileInfo missing("Setup.exe.002");
    EXPECT_TRUE(IsZero(missing.Trailer()));
    EXPECT_EQ(missing.LanguageText(), "");
    EXPECT_FALSE(missing.MoreVolumes());
    EXPECT_FALSE(ReadTrailer("Setup.exe.002", t));
    EXPECT_TRUE(IsZero(t));
}

TEST(PackageReaderTest, SignatureMismatchLeavesTextsEmpty) {
    PackageBuilder b;
    b.trailer.PackageSignature = 0x4A3B2C1E;
    b.trailer.IsAgent = 1;
    MemoryFile file(b.Build());
    TGFileInfo info(file);
    EXPECT_EQ(info.LanguageText(), "");
    EXPECT_EQ(info.HeaderText(), "");
    EXPECT_TRUE(info.IsAgent());  // the record keeps what stood there
}

// Damaged and hostile packages: no crash, no read beyond the file, documented empty results.
TEST(PackageReaderTest, HostileLengthsGiveDamagedResults) {
    PackageBuilder b;
    b.withDownload = true;
    b.download = "|http://127.0.0.1/x|x.exe|0|t|1|";
    b.files = {{"a.txt", 0, std::string(3000, 'a'), false}};  // a 3 KB file
    const auto good = b.Build();
    const size_t start = b.PackageStart();
    const size_t headerAt = start + 4 + b.language.size();
    const size_t trailerAt = good.size() - 74;

    enum Expect { ZeroRecord, NoTexts, LanguageOnly };
    const struct {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> mutate;
        Expect expect;
    } cases[] = {
        {"2 GB language length", [&](auto& v) { SetLE32(&v[start], 0x7FFFFFFF); }, NoTexts},
        {"negative language length", [&](auto& v) { SetLE32(&v[start], uint32_t(-5)); }, NoTexts},
        {"language runs into trailer",
         [&](auto& v) { SetLE32(&v[start], uint32_t(trailerAt - start - 3)); }, NoTexts},
        {"header length past end", [&](auto& v) { SetLE32(&v[headerAt], 0x10000); }, LanguageOnly},
        {"PackageStart beyond EOF",
         [&](auto& v) { SetLE32(&v[trailerAt + 4], 0xFFFFFF00u); }, NoTexts},
        {"PackageStart inside trailer",
         [&](auto& v) { SetLE32(&v[trailerAt + 4], uint32_t(trailerAt + 2)); }, NoTexts},
        {"trailer length 0", [&](auto& v) { SetLE32(&v[v.size() - 4], 0); }, ZeroRecord},
        {"trailer length 4", [&](auto& v) { SetLE32(&v[v.size() - 4], 4); }, ZeroRecord},
        {"trailer length -1", [&](auto& v) { SetLE32(&v[v.size() - 4], uint32_t(-1)); }, ZeroRecord},
        {"trailer length 2 GB",
         [&](auto& v) { SetLE32(&v[v.size() - 4], 0x7FFFFFFF); }, ZeroRecord},
        {"trailer longer than file",
         [&](auto& v) { SetLE32(&v[v.size() - 4], uint32_t(v.size() + 1)); }, ZeroRecord},
        {"three bytes", [&](auto& v) { v.resize(3); }, ZeroRecord},
        {"empty", [&](auto& v) { v.clear(); }, ZeroRecord},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        c.mutate(bytes);
        MemoryFile file(bytes);
        TGFileInfo info(file);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsZero(info.Trailer()), c.expect == ZeroRecord);
        EXPECT_EQ(info.Trailer().HasSignature(), c.expect != ZeroRecord);
        EXPECT_EQ(info.LanguageText().empty(), c.expect != LanguageOnly);
        EXPECT_EQ(info.HeaderText(), "");
        EXPECT_EQ(info.DownloadText(), "");
        EXPECT_EQ(info.UpdateToken(false), "");
        if (c.expect == LanguageOnly) {
            EXPECT_EQ(info.Trailer().PackageStart, headerAt);
        }
        PackageChecksum(file, info.Trailer().TrailerSize);  // must not fault either
    }
}

TEST(PackageReaderTest, ImageEndOutsideTheFileIsDamage) {
    PackageBuilder b;
    b.peImage = true;
    b.setImageEnd = true;
    const auto good = b.Build();
    const struct {
        const char* name;
        uint64_t imageEnd;
    } cases[] = {{"one past EOF", good.size() + 1}, {"high word set", 0x100000000ULL + 600},
                 {"below a length field", 2}};
    for (const auto& c : cases) {
        auto bytes = good;
        SetImageEnd(bytes.data(), bytes.size(), c.imageEnd);
        MemoryFile file(bytes);
        TGFileInfo info(file);
        EXPECT_TRUE(IsZero(info.Trailer())) << c.name;
        EXPECT_EQ(info.LanguageText(), "") << c.name;
        EXPECT_EQ(PackageEnd(file), -1) << c.name;
    }
}

}  // namespace
}  // namespace zv
