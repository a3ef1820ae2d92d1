// Extraction of single-volume packages: files, main program, stored blocks, appends, dates,
// progress, trace lines, write errors and the agent copy.
#include <sys/stat.h>

#include <ctime>

#include "package/gfile_info.h"
#include "unpack_support.h"

namespace zv::test {
namespace {

class ExtractFiles : public ExtractTest {};

TEST_F(ExtractFiles, WritesFilesAndReportsTheMarkedMainProgram) {
    const Bytes engine = Filler(5000, 1, false), text = ToBytes("Read me first.\r\n");
    Bytes package = PackageBuilder().PeStub().File("Setup.txt", text).File("Engine.exe*", engine).Build();
    WriteFile(Src("Setup.exe"), package);

    TraceCapture trace;
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);

    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.mainFile, "Engine.exe*");
    EXPECT_EQ(r.filesWritten, 2);
    EXPECT_EQ(DestNames(), (std::vector<std::string>{"Engine.exe", "Setup.txt"}));
    EXPECT_EQ(ReadFile(DestFile("Engine.exe")), engine);
    EXPECT_EQ(ReadFile(DestFile("Setup.txt")), text);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.prompts.empty());

    // Range 0..0 at the start, 0..FileCount once the checksum passed, one step per new file.
    ASSERT_EQ(rec.progress.size(), 4u);
    EXPECT_EQ(rec.progress[0].kind, 0);
    EXPECT_EQ(rec.progress[0].high, 0);
    EXPECT_EQ(rec.progress[1].kind, 0);
    EXPECT_EQ(rec.progress[1].high, 2);
    EXPECT_EQ(rec.Steps(), 2);

    const std::string& t = TraceCapture::Text();
    EXPECT_NE(t.find("FileInfo.FilesCount=2\r\n"), std::string::npos) << t;
    EXPECT_NE(t.find("FileLen=" + std::to_string(package.size()) + "\r\n"), std::string::npos) << t;
    EXPECT_NE(t.find("UnCompressTime: "), std::string::npos);
    EXPECT_NE(t.find(" MS\r\n\r\n"), std::string::npos);
}

TEST_F(ExtractFiles, SetsTheItemDateAsLocalTime) {
    WriteFile(Src("Setup.exe"), PackageBuilder().File("Dated.txt", ToBytes("x")).Build());
    UiRecorder rec;
    Extract(Src("Setup.exe"), rec);

    DosDateTime d;
    ASSERT_TRUE(DecodeDosDateTime(kSampleDate, d));
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = d.hour;
    tm.tm_min = d.minute;
    tm.tm_sec = d.second;
    tm.tm_isdst = -1;
    struct stat st;
    ASSERT_EQ(stat(DestFile("Dated.txt").c_str(), &st), 0);
    EXPECT_EQ(int64_t(st.st_mtime), int64_t(std::mktime(&tm)));
}

TEST_F(ExtractFiles, StoredBlocksAndBlocksWithoutItemHeader) {
    const Bytes data = Filler(3000, 2, true);
    Bytes noNul = ToBytes("|Ghost.txt|0|no separator here");
    Bytes emptyHeader = ToBytes(std::string("\0payload", 8));
    Bytes package = PackageBuilder()
                        .File("Stored.bin", data, /*compress=*/false)
                        .Raw({0, 0, 0, 0})           // length 0: nothing at all
                        .Content(noNul, false)        // stored, no NUL
                        .Content(noNul, true)         // compressed, no NUL
                        .Content(emptyHeader, false)  // NUL first: names nothing
                        .File("Empty.dat", {}, false)
                        .Build();
    WriteFile(Src("Setup.exe"), package);
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);

    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(DestNames(), (std::vector<std::string>{"Empty.dat", "Stored.bin"}));
    EXPECT_EQ(ReadFile(DestFile("Stored.bin")), data);
    EXPECT_EQ(fs::file_size(DestFile("Empty.dat")), 0u);
    EXPECT_EQ(rec.Steps(), 2);
    EXPECT_EQ(r.mainFile, "");
}

TEST_F(ExtractFiles, SameNameAppendsAndStepsOnceAndExistingFilesGrow) {
    const Bytes a = Filler(70000, 3, false), b = Filler(1000, 4, true);
    WriteFile(Src("Setup.exe"), PackageBuilder()
                                    .File("Data.cab", a)
                                    .File("Data.cab", b, false)
                                    .File("Old.txt", ToBytes("new"))
                                    .Build());
    fs::create_directories(Dest());
    WriteFile(DestFile("Old.txt"), ToBytes("old-"));
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);

    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    EXPECT_EQ(ReadFile(DestFile("Data.cab")), joined);
    EXPECT_EQ(ReadFile(DestFile("Old.txt")), ToBytes("old-new"));
    EXPECT_EQ(rec.Steps(), 1);
    EXPECT_EQ(r.filesWritten, 3);
}

TEST_F(ExtractFiles, LastMarkedItemWinsAndStarInDateMarksTheHeader) {
    Bytes starInDate = ToBytes(std::string("|Notes.txt|1*|\0n", 16));
    WriteFile(Src("Setup.exe"), PackageBuilder()
                                    .File("First.exe*", ToBytes("1"))
                                    .File("Second.exe*x", ToBytes("2"))
                                    .Build());
    UiRecorder rec;
    EXPECT_EQ(Extract(Src("Setup.exe"), rec).mainFile, "Second.exe*x");
    EXPECT_EQ(ReadFile(DestFile("Second.exe")), ToBytes("2"));

    WriteFile(Src("Other.exe"), PackageBuilder().Content(starInDate, true).Build());
    EXPECT_EQ(Extract(Src("Other.exe"), rec).mainFile, "|Notes.txt|1*|");
    EXPECT_EQ(ReadFile(DestFile("Notes.txt")), ToBytes("n"));
}

TEST_F(ExtractFiles, BlocksLargerThanTheInflateChunkRoundTrip) {
    Bytes big = Filler(3 << 20, 5, false);
    Bytes text = Filler(5 << 20, 6, true);
    big.insert(big.end(), text.begin(), text.end());  // 8 MB, half of it compressible
    WriteFile(Src("Setup.exe"), PackageBuilder()
                                    .File("Big.bin", big)
                                    .File("BigStored.bin", text, false)
                                    .Build());
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_TRUE(ReadFile(DestFile("Big.bin")) == big);
    EXPECT_TRUE(ReadFile(DestFile("BigStored.bin")) == text);
}

TEST_F(ExtractFiles, WrongSignatureExtractsNothing) {
    PackageBuilder b;
    b.File("A.txt", ToBytes("a"));
    b.Trailer().PackageSignature = 0x11111111;
    WriteFile(Src("Setup.exe"), b.Build());
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);
    EXPECT_TRUE(r.checksumOk);
    EXPECT_FALSE(r.damaged);
    EXPECT_TRUE(DestNames().empty());
}

TEST_F(ExtractFiles, MissingPackageReadsNothing) {
    UiRecorder rec;
    ExtractResult r = Extract(Src("Nowhere.exe"), rec);
    EXPECT_FALSE(r.checksumOk);
    EXPECT_EQ(r.mainFile, "");
    EXPECT_FALSE(r.damaged);
    ASSERT_EQ(rec.progress.size(), 1u);
    EXPECT_TRUE(DestNames().empty());
}

TEST_F(ExtractFiles, WriteFailureShowsOneBoxPerProcessAndGoesOn) {
    WriteFile(Src("Setup.exe"), PackageBuilder()
                                    .File("Blocked", Filler(1234, 7, false))
                                    .File("Fine.txt", ToBytes("fine"))
                                    .File("Blocked2", ToBytes("x"))
                                    .Build());
    // A folder where a file should go makes the write fail.
    fs::create_directories(fs::path(DestFile("Blocked")));
    fs::create_directories(fs::path(DestFile("Blocked2")));
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec);

    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(ReadFile(DestFile("Fine.txt")), ToBytes("fine"));
    EXPECT_EQ(ExtractWriteFailures(), 2);
    ASSERT_EQ(rec.errors.size(), 1u);
    const std::string& box = rec.errors[0];
    EXPECT_EQ(box.rfind(DestFile("Blocked") + "<P><P>Unable to save Extracted File!<P><P>", 0), 0u)
        << box;
    EXPECT_NE(box.find("<P>  Data Size: <T>1234 Bytes<P>  File Size:  <T>"), std::string::npos) << box;
    EXPECT_NE(box.find(" Bytes<P>  Bytes Free: <T>"), std::string::npos) << box;

    // Still once per process: a second run shows no further box.
    UiRecorder again;
    Extract(Src("Setup.exe"), again);
    EXPECT_TRUE(again.errors.empty());
}

TEST_F(ExtractFiles, UncreatableDestinationShowsTheFolderBox) {
    WriteFile(Src("Setup.exe"), PackageBuilder().File("A.txt", ToBytes("a")).Build());
    WriteFile((root_ / "plain").string(), ToBytes("file, not folder"));
    ExtractOptions o;
    o.packageFile = Src("Setup.exe");
    o.destination = (root_ / "plain" / "sub").string();
    UiRecorder rec;
    ExtractResult r = ExtractPackage(o, rec.Ui());
    ASSERT_EQ(rec.errors.size(), 2u);
    EXPECT_EQ(rec.errors[0].rfind(o.destination + "<P><P>Unable to create Directory!<P><P>", 0), 0u);
    EXPECT_NE(rec.errors[1].find("Unable to save Extracted File!"), std::string::npos);
    EXPECT_FALSE(r.damaged);
}

class AgentCopy : public ExtractTest {};

TEST_F(AgentCopy, HoldsStubAndHeadBlocksWithAnAgentTrailer) {
    PackageBuilder b;
    b.PeStub(2048).File("Engine.exe*", ToBytes("engine")).File("B.txt", ToBytes("b"));
    b.Trailer().SaveAgentCopy = 1;
    b.Trailer().FileCount = 99;
    Bytes package = b.Build();
    WriteFile(Src("Setup.exe"), package);

    TraceCapture trace;
    UiRecorder rec;
    ExtractResult r = Extract(Src("Setup.exe"), rec, "Update/Agent.exe");
    ASSERT_FALSE(r.damaged) << r.damage;

    const Bytes copy = ReadFile(DestFile("Agent.exe"));
    ASSERT_EQ(copy.size(), b.HeadEnd() + 74);
    Bytes expectedHead(package.begin(), package.begin() + std::ptrdiff_t(b.HeadEnd()));
    SetLE32(expectedHead.data() + 252, 0);
    EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), copy.begin()));
    EXPECT_EQ(GetLE32(copy.data() + 248), 0u);  // high word untouched (it was 0)

    PackageTrailer original = PackageTrailer::Decode(package.data() + package.size() - 74, 74);
    PackageTrailer agent = PackageTrailer::Decode(copy.data() + copy.size() - 74, 74);
    EXPECT_EQ(agent.IsAgent, 1);
    EXPECT_EQ(agent.TrailerSize, 74);
    original.IsAgent = 1;
    EXPECT_EQ(agent, original);  // PackageStart, FileCount and the rest copied unchanged

    // The copy is itself a readable package with the same head blocks.
    TGFileInfo info(DestFile("Agent.exe"));
    EXPECT_TRUE(info.IsAgent());
    EXPECT_EQ(info.HeaderText(), HeaderFields{}.Encode());

    const std::string& t = TraceCapture::Text();
    EXPECT_NE(t.find(" New AU-Agent: " + DestFile("Agent.exe") + "\r\n"), std::string::npos) << t;
}

TEST_F(AgentCopy, OnlyForExePackagesAndSafeNames) {
    const Bytes package = PackageBuilder().PeStub().File("A.txt", ToBytes("a")).Build();
    WriteFile(Src("Setup.bin"), package);
    WriteFile(Src("Setup.EXE.001"), package);
    UiRecorder rec;
    Extract(Src("Setup.bin"), rec, "Agent.exe");
    EXPECT_FALSE(fs::exists(DestFile("Agent.exe")));
    Extract(Src("Setup.EXE.001"), rec, "Agent.exe");
    EXPECT_TRUE(fs::exists(DestFile("Agent.exe")));

    WriteFile(Src("Setup.exe"), package);
    ExtractResult r = Extract(Src("Setup.exe"), rec, "..");
    EXPECT_TRUE(r.damaged);
    EXPECT_TRUE(StrayEntries().empty());
}

}  // namespace
}  // namespace zv::test
