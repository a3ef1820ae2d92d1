#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "package/package_layout.h"
#include "package_test_builder.h"

namespace zv {
namespace {

PackageTrailer SampleTrailer() {
    PackageTrailer t = PackageTrailer::MakeNew();
    t.HeadBlockCount = 3;
    t.Reserved2 = 0x0102;
    t.PackageStart = 261120;
    t.FileCount = 22;
    t.PackageChecksum = 0xCAFEBABE;
    t.PackageTime = -0x0123456789ABLL;
    const uint32_t space[9] = {45880399, 45885440, 45892608, 45899776, 45912064,
                               45965312, 46071808, 46268416, 46792704};
    for (int i = 0; i < 9; ++i) t.SpaceRequired[i] = space[i];
    t.Reserved64 = 0x5A;
    t.PackageFlags = 0x1F;
    t.IsWebStub = 1;
    t.ConfirmDownload = 2;
    t.SaveAgentCopy = 3;
    t.IsAgent = 4;
    return t;
}

TEST(PackageTrailerTest, EncodesEveryFieldAtItsOffsetAndRoundTrips) {
    PackageTrailer t = SampleTrailer();
    auto b = t.Encode();
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 3);
    EXPECT_EQ(GetLE16(&b[2]), 0x0102);
    EXPECT_EQ(GetLE32(&b[4]), 261120u);
    EXPECT_EQ(GetLE32(&b[8]), 22u);
    EXPECT_EQ((std::vector<uint8_t>{b[12], b[13], b[14], b[15]}),
              (std::vector<uint8_t>{0x1D, 0x2C, 0x3B, 0x4A}));
    EXPECT_EQ(GetLE32(&b[16]), 0xCAFEBABEu);
    EXPECT_EQ(int64_t(GetLE64(&b[20])), -0x0123456789ABLL);
    EXPECT_EQ(GetLE32(&b[28]), 45880399u);
    EXPECT_EQ(GetLE32(&b[60]), 46792704u);
    EXPECT_EQ(b[64], 0x5A);
    EXPECT_EQ(b[65], 0x1F);
    EXPECT_EQ((std::vector<uint8_t>{b[66], b[67], b[68], b[69]}),
              (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(GetLE32(&b[70]), 74u);

    EXPECT_EQ(PackageTrailer::Decode(b.data(), b.size()), t);
}

TEST(PackageTrailerTest, ShortDecodeLeavesLaterFieldsZero) {
    auto b = SampleTrailer().Encode();
    PackageTrailer t = PackageTrailer::Decode(b.data(), 16);
    EXPECT_EQ(t.PackageSignature, kPackageSignature);
    EXPECT_EQ(t.PackageChecksum, 0u);
    EXPECT_EQ(t.PackageFlags, 0);
    EXPECT_EQ(t.TrailerSize, 0);
}

TEST(PackageTrailerTest, FlagBits) {
    const struct {
        PackageFlag flag;
        uint8_t bit;
    } cases[] = {{PackageFlag::ShowTempNotice, 0x01}, {PackageFlag::MoreVolumes, 0x02},
                 {PackageFlag::SpannedPackage, 0x04}, {PackageFlag::ShowActivityBar, 0x08},
                 {PackageFlag::RunLogEnabled, 0x10}};
    for (const auto& c : cases) {
        PackageTrailer t;
        t.PackageFlags = 0xE0;  // unused bits must survive
        t.Set(c.flag, true);
        EXPECT_EQ(t.PackageFlags, 0xE0 | c.bit);
        EXPECT_TRUE(t.Has(c.flag));
        t.Set(c.flag, false);
        EXPECT_EQ(t.PackageFlags, 0xE0);
    }
}

TEST(PackageLayoutTest, SpaceRequiredEntryByClusterSize) {
    const struct {
        uint64_t cluster;
        int entry;
    } cases[] = {{0, 0},    {1, 0},     {511, 0},    {512, 1},     {1023, 1},   {1024, 2},
                 {2048, 3}, {4096, 4},  {6000, 4},   {8192, 5},    {16384, 6},  {32768, 7},
                 {65536, 8}, {1u << 20, 8}};
    for (const auto& c : cases) EXPECT_EQ(SpaceRequiredEntry(c.cluster), c.entry) << c.cluster;
}

TEST(PackageLayoutTest, PeMarkAndImageEnd) {
    auto image = testpkg::FakePeImage(600);
    EXPECT_TRUE(IsPeImage(image.data(), image.size()));
    EXPECT_EQ(ImageEnd(image.data(), image.size()), 0u);
    ASSERT_TRUE(SetImageEnd(image.data(), image.size(), 0x00F27167));
    EXPECT_EQ(GetLE32(&image[248]), 0u);
    EXPECT_EQ(GetLE32(&image[252]), 0x00F27167u);
    ASSERT_TRUE(SetImageEnd(image.data(), image.size(), 0x100000002ULL));
    MemoryFile file(image);
    EXPECT_EQ(ImageEnd(file), 0x100000002ULL);
    EXPECT_EQ(ImageEnd(image.data(), image.size()), 0x100000002ULL);

    // The mark is looked for at 256 only; a PE header elsewhere does not count.
    auto moved = testpkg::FakePeImage(600);
    moved[256] = 0;
    moved[128] = 'P';
    moved[129] = 'E';
    EXPECT_FALSE(IsPeImage(moved.data(), moved.size()));
    std::vector<uint8_t> tiny = {'M', 'Z'};
    EXPECT_FALSE(IsPeImage(tiny.data(), tiny.size()));
    EXPECT_EQ(ImageEnd(tiny.data(), tiny.size()), 0u);
    EXPECT_FALSE(SetImageEnd(tiny.data(), tiny.size(), 5));
}

TEST(PackageChecksumTest, LargeFilesAreNotSummed) {
    std::vector<uint8_t> bytes(51201, 0x37);
    EXPECT_EQ(PackageChecksum(bytes.data(), bytes.size(), 74), kChecksumOff);
    bytes.resize(51200);
    EXPECT_NE(PackageChecksum(bytes.data(), bytes.size(), 74), kChecksumOff);
}

TEST(PackageChecksumTest, SumsWordsBeforeTheTrailer) {
    // 100 bytes with a 74-byte trailer: 26 bytes remain, and only words while more than 4 bytes
    // remain after them count, i.e. the first five words.
    std::vector<uint8_t> bytes(100, 0xFF);
    for (uint32_t i = 0; i < 5; ++i) SetLE32(&bytes[4 * i], i + 1);
    EXPECT_EQ(PackageChecksum(bytes.data(), bytes.size(), 74), 15u);

    // 51200 bytes: 12 full pieces still leave more than 4 bytes, so each adds 1234.
    std::vector<uint8_t> ones(51200, 0x01);
    uint32_t expected = 12780u * 0x01010101u + 12u * 1234u;
    EXPECT_EQ(PackageChecksum(ones.data(), ones.size(), 74), expected);
}

TEST(PackageChecksumTest, PeImageWithEndWordSkipsTheFirst512Bytes) {
    auto bytes = testpkg::FakePeImage(1024);
    for (size_t i = 8; i < 248; ++i) bytes[i] = 0x11;  // skipped: below 512
    SetLE32(&bytes[252], 1024);
    // 1024 - 74 - 512 = 438 bytes from offset 512; the 108th word (at 940) still leaves 6 > 4,
    // the 109th (at 944) leaves 2 and is not counted.
    SetLE32(&bytes[512], 7);
    SetLE32(&bytes[516], 9);
    SetLE32(&bytes[940], 100);
    SetLE32(&bytes[944], 0x1000);
    EXPECT_EQ(PackageChecksum(bytes.data(), bytes.size(), 74), 116u);
    MemoryFile file(bytes);
    EXPECT_EQ(PackageChecksum(file, 74), 116u);
}

TEST(PackageChecksumTest, SealedVolumeVerifiesAndDetectsChange) {
    testpkg::PackageBuilder b;
    b.files = {{"Setup.txt", 1502447781, "some text for the setup", false}};
    auto bytes = b.Build();
    PackageTrailer t = PackageTrailer::Decode(&bytes[bytes.size() - 74], 74);
    EXPECT_NE(t.PackageChecksum, kChecksumOff);
    EXPECT_EQ(PackageChecksum(bytes.data(), bytes.size(), 74), t.PackageChecksum);
    bytes[b.PackageStart() + 6] ^= 0x40;
    EXPECT_NE(PackageChecksum(bytes.data(), bytes.size(), 74), t.PackageChecksum);
}

TEST(PackageBlockTest, StoredAndCompressedFileBlocks) {
    std::string data(3000, 'x');
    auto content = MakeFileBlockContent("Engine.exe*", 1502447781,
                                        reinterpret_cast<const uint8_t*>(data.data()), data.size());
    std::string head = "|Engine.exe*|1502447781|";
    ASSERT_EQ(content.size(), head.size() + 1 + data.size());
    EXPECT_EQ(std::string(content.begin(), content.begin() + long(head.size())), head);
    EXPECT_EQ(content[head.size()], 0);

    std::vector<uint8_t> stored;
    ASSERT_TRUE(AppendFileBlock(stored, content, false));
    EXPECT_EQ(int32_t(GetLE32(stored.data())), -int32_t(content.size()));
    EXPECT_EQ(std::vector<uint8_t>(stored.begin() + 4, stored.end()), content);

    std::vector<uint8_t> packed;
    ASSERT_TRUE(AppendFileBlock(packed, content, true));
    int32_t len = int32_t(GetLE32(packed.data()));
    ASSERT_GT(len, 0);
    ASSERT_EQ(size_t(len) + 4, packed.size());
    std::vector<uint8_t> plain(content.size());
    uLongf plainLen = uLongf(plain.size());
    ASSERT_EQ(uncompress(plain.data(), &plainLen, packed.data() + 4, uLong(len)), Z_OK);
    EXPECT_EQ(plain, content);

    std::vector<uint8_t> empty;
    ASSERT_TRUE(AppendFileBlock(empty, {}, false));
    EXPECT_EQ(empty, std::vector<uint8_t>(4, 0));
}

TEST(PackageBlockTest, SplitsContentAndParsesTheItemHeader) {
    auto content = MakeFileBlockContent("Engine.exe*", 1502447781,
                                        reinterpret_cast<const uint8_t*>("MZ\0x"), 4);
    auto split = SplitFileBlockContent(content.data(), content.size());
    ASSERT_TRUE(split.valid);
    EXPECT_EQ(split.header, "|Engine.exe*|1502447781|");
    EXPECT_EQ(content.size() - split.dataOffset, 4u);
    ItemHeader h = ParseItemHeader(split.header);
    EXPECT_EQ(h.rawName, "Engine.exe*");
    EXPECT_EQ(h.name, "Engine.exe");
    EXPECT_TRUE(h.marked);
    EXPECT_EQ(h.date, 1502447781);

    ItemHeader plain = ParseItemHeader("|00004#Data.00002|notanumber|");
    EXPECT_EQ(plain.name, "00004#Data.00002");
    EXPECT_FALSE(plain.marked);
    EXPECT_EQ(plain.date, 0);

    const uint8_t noNul[] = {'|', 'a', '|'};
    EXPECT_FALSE(SplitFileBlockContent(noNul, sizeof noNul).valid);
    const uint8_t emptyHeader[] = {0, 'd'};
    auto e = SplitFileBlockContent(emptyHeader, sizeof emptyHeader);
    EXPECT_FALSE(e.valid);
    EXPECT_EQ(e.dataOffset, 1u);
}

TEST(PackageBlockTest, HeadBlockTexts) {
    HeaderFields h;
    EXPECT_EQ(h.Encode(), "|http:|.info|.exe||0|");
    DownloadFields d{"http://127.0.0.1/s.exe", "s.exe", true, "tok", "1234"};
    EXPECT_EQ(d.Encode(), "|http://127.0.0.1/s.exe|s.exe|1|tok|1234|");
    std::string lang = MakeLanguageBlock({MakeLanguageItem("English", {{"Charset", "0"}}),
                                          MakeLanguageItem("Deutsch", {})});
    EXPECT_EQ(lang, "\x02\x01" "English\x01" "Charset=0\x01\x02\x01" "Deutsch\x01\x02");
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// The packer keeps one compressor per thread from block to block. Each block must still be the
// stream a fresh compressor gives, whatever came before it, or a package would depend on how its
// blocks fell to the threads; and it must unpack to the block's bytes.
TEST(PackageBlockTest, AKeptCompressorGivesEachBlockItsOwnStream) {
    std::vector<uint8_t> noise(300000);
    uint32_t x = 12345;
    for (auto& b : noise) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    std::vector<uint8_t> text;
    const std::string phrase = "setup files compress well. ";
    while (text.size() < 3000000) text.insert(text.end(), phrase.begin(), phrase.end());
    std::vector<uint8_t> header{'|', 'A', '.', 'e', 'x', 'e', '|', '1', '|', 0};
    const std::vector<uint8_t> nothing;
    std::vector<uint8_t> headerAndText(header.size() + text.size());
    std::copy(text.begin(), text.end(), std::copy(header.begin(), header.end(), headerAndText.begin()));
    struct Case {
        const char* name;
        const std::vector<uint8_t>& plain;
    } cases[] = {
        {"text", headerAndText}, {"nothing", nothing}, {"noise", noise},
        {"header only", header}, {"text again", headerAndText},
    };
    for (int level : {9, 1, 0}) {
        BlockCompressor kept(level);
        for (const Case& c : cases) {
            std::vector<uint8_t> fresh;
            ASSERT_TRUE(CompressZlib(c.plain.data(), c.plain.size(), fresh, level)) << c.name;
            const int64_t n = kept.Compress(c.plain.data(), c.plain.size());
            ASSERT_EQ(n, int64_t(fresh.size())) << c.name << ", level " << level;
            EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), kept.Output())) << c.name;
            std::vector<uint8_t> back(c.plain.size() + 1);
            uLongf backSize = uLongf(back.size());
            ASSERT_EQ(uncompress(back.data(), &backSize, fresh.data(), uLong(fresh.size())), Z_OK)
                << c.name << ", level " << level;
            back.resize(backSize);
            EXPECT_TRUE(back == c.plain) << c.name << ", level " << level;
        }
    }
}

// Levels outside zlib's range are refused, not passed on to a compressor that reads them otherwise.
TEST(PackageBlockTest, OnlyZlibsLevelsAreTaken) {
    const std::vector<uint8_t> plain(1000, 'a');
    struct Case {
        int level;
        bool taken;
    } cases[] = {{-2, false}, {-1, true}, {0, true}, {9, true}, {10, false}, {12, false}};
    for (const Case& c : cases) {
        std::vector<uint8_t> out{1, 2, 3};
        EXPECT_EQ(CompressZlib(plain.data(), plain.size(), out, c.level), c.taken) << c.level;
        if (!c.taken) {
            EXPECT_EQ(out.size(), 3u) << c.level;
        }
    }
}

}  // namespace
}  // namespace zv
