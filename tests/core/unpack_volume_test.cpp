// Volume series, disk prompts, cancel and the package checksum.
#include "unpack_support.h"

namespace zv::test {
namespace {

TEST(VolumeNames, BaseNameDropsOnlyAFinalFirstVolumeNumber) {
    struct Case {
        const char* file;
        const char* base;
    } cases[] = {
        {"D:\\Setup.exe.001", "D:\\Setup.exe"},
        {"Setup.exe", "Setup.exe"},
        {"Setup.001.exe", "Setup.001.exe"},
        {"Setup.exe.002", "Setup.exe.002"},
        {".001", ""},
        {"001", "001"},
    };
    for (const auto& c : cases) EXPECT_EQ(VolumeBaseName(c.file), c.base) << c.file;
    EXPECT_EQ(VolumePath("Setup.exe", 2), "Setup.exe.002");
    EXPECT_EQ(VolumePath("Setup.exe", 17), "Setup.exe.017");
    EXPECT_EQ(VolumePath("Setup.exe", 1234), "Setup.exe.1234");
}

class Volumes : public ExtractTest {
protected:
    // Two volumes; Big.cab continues from the first into the second.
    void WriteSeries() {
        first_ = PackageBuilder()
                     .File("Engine.exe*", ToBytes("engine"))
                     .File("Big.cab", ToBytes("part one|"))
                     .MoreVolumes()
                     .Build();
        second_ = PackageBuilder()
                      .HeadBlocks(false)
                      .File("Big.cab", ToBytes("part two"))
                      .File("Last.txt", ToBytes("last"))
                      .Build();
        WriteFile(Src("Setup.exe.001"), first_);
    }
    Bytes first_, second_;
};

TEST_F(Volumes, AsksForTheNextDiskUntilItIsThere) {
    WriteSeries();
    UiRecorder rec;
    int asked = 0;
    rec.onPrompt = [&](const std::string&) {
        // The first OK comes before the disk is in; the second finds it.
        if (++asked == 2) WriteFile(Src("Setup.exe.002"), second_);
        return true;
    };
    ExtractResult r = Extract(Src("Setup.exe.001"), rec);

    ASSERT_EQ(rec.prompts.size(), 2u);
    EXPECT_EQ(rec.prompts[0], "Please insert disk 2.");
    ASSERT_EQ(rec.ejected.size(), 1u);
    EXPECT_EQ(rec.ejected[0], Src("Setup.exe.002"));
    EXPECT_EQ(rec.autoPlaySuppressed, 1);
    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.mainFile, "Engine.exe*");
    EXPECT_EQ(ReadFile(DestFile("Big.cab")), ToBytes("part one|part two"));
    EXPECT_EQ(ReadFile(DestFile("Last.txt")), ToBytes("last"));
    // Engine, Big, volume change, Last.
    EXPECT_EQ(rec.Steps(), 4);
}

TEST_F(Volumes, PresentVolumeIsTakenWithoutAskingUnlessAlwaysPrompt) {
    WriteSeries();
    WriteFile(Src("Setup.exe.002"), second_);
    UiRecorder quiet;
    ExtractResult r = Extract(Src("Setup.exe.001"), quiet);
    EXPECT_TRUE(quiet.prompts.empty());
    EXPECT_TRUE(quiet.ejected.empty());
    EXPECT_EQ(ReadFile(DestFile("Last.txt")), ToBytes("last"));
    EXPECT_EQ(r.mainFile, "Engine.exe*");

    fs::remove_all(Dest());
    UiRecorder asking;
    asking.onPrompt = [](const std::string&) { return true; };
    Extract(Src("Setup.exe.001"), asking, "", /*alwaysPrompt=*/true);
    EXPECT_EQ(asking.prompts.size(), 1u);
    EXPECT_EQ(asking.ejected.size(), 1u);
    EXPECT_EQ(ReadFile(DestFile("Last.txt")), ToBytes("last"));
}

TEST_F(Volumes, CancelClearsTheMainFile) {
    WriteSeries();
    UiRecorder rec;  // presses Cancel
    ExtractResult r = Extract(Src("Setup.exe.001"), rec);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.mainFile, "");
    EXPECT_EQ(rec.prompts.size(), 1u);
    EXPECT_TRUE(fs::exists(DestFile("Engine.exe")));  // volume 1 stays written
    EXPECT_FALSE(fs::exists(DestFile("Last.txt")));
}

TEST_F(Volumes, LaterVolumeWithoutItsTrailerIsDamage) {
    WriteSeries();
    // Volume 2 lost its end, trailer included: what volume 1 started must not be installed.
    // (Above the checksum's size limit, so only the missing trailer tells.)
    Bytes second = PackageBuilder()
                       .HeadBlocks(false)
                       .File("Big.cab", Bytes(60000, 0x42), false)
                       .Build();
    Bytes cut(second.begin(), second.end() - 20);
    WriteFile(Src("Setup.exe.002"), cut);
    UiRecorder quiet;
    ExtractResult r = Extract(Src("Setup.exe.001"), quiet);
    EXPECT_TRUE(r.damaged);
    EXPECT_EQ(r.mainFile, "");
}

TEST_F(Volumes, ChecksumOffValuePassesWhatEverTheBytes) {
    Bytes package = PackageBuilder().File("A.txt", ToBytes("aaaa"), false).ChecksumOff().Build();
    package[package.size() - 76] ^= 0x5A;  // inside the stored data
    WriteFile(Src("Setup.exe"), package);
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);
    EXPECT_TRUE(r.checksumOk);
    EXPECT_TRUE(fs::exists(DestFile("A.txt")));
}

TEST_F(Volumes, FilesAboveTheChecksumLimitAreNotSummed) {
    Bytes package = PackageBuilder().File("A.bin", Filler(60000, 9, false), false).Build();
    package[1000] ^= 0x5A;
    WriteFile(Src("Setup.exe"), package);
    UiRecorder rec;
    EXPECT_TRUE(Extract(Src("Setup.exe"), rec).checksumOk);
}

TEST_F(Volumes, ChecksumMismatchStopsBeforeTheVolume) {
    Bytes package = PackageBuilder().File("A.txt", Bytes(40, 'a'), false).Build();
    package[package.size() - 74 - 20] ^= 0x5A;  // the last 8 bytes before the trailer are not summed
    WriteFile(Src("Setup.exe"), package);
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);
    EXPECT_FALSE(r.checksumOk);
    EXPECT_FALSE(fs::exists(Dest()));
    ASSERT_EQ(rec.progress.size(), 1u);  // only the initial range

    // On a later volume: what came before stays.
    WriteSeries();
    second_[10] ^= 0x5A;
    WriteFile(Src("Setup.exe.002"), second_);
    UiRecorder series;
    r = Extract(Src("Setup.exe.001"), series);
    EXPECT_FALSE(r.checksumOk);
    EXPECT_EQ(ReadFile(DestFile("Big.cab")), ToBytes("part one|"));
    EXPECT_FALSE(fs::exists(DestFile("Last.txt")));
}

}  // namespace
}  // namespace zv::test
