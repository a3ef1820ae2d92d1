// Damaged and hostile packages: unsafe entry names, impossible block lengths, truncation,
// broken zlib streams. None may crash, hang, or write outside the destination; each ends the run
// as damaged with the files written so far left in place and no main program.
#include <zlib.h>

#include <climits>
#include <cstring>

#include "unpack_support.h"
#include "utils/platform.h"

namespace zv::test {
namespace {

TEST(EntryNames, OnlyPlainFileNamesAreSafe) {
    const char* safe[] = {"Engine.exe", "00004#Setup.txt", "data.00002", "a", ".profile",
                          "a..b", "CONSOLE.txt", "COM10", "LPT", "Con1.txt", " lead.txt",
                          "com\xb4.txt", "x.nul"};
    for (const char* n : safe) EXPECT_TRUE(IsSafeEntryName(n)) << n;
    const char* unsafe[] = {"", ".", "..", "...", "..\\evil.txt", "../evil.txt", "sub\\a.txt",
                            "sub/a.txt", "\\abs.txt", "/abs.txt", "C:evil.txt", "C:", "a:stream",
                            "CON", "con", "PRN.txt", "aux.tar.gz", "NUL", "Nul .txt", "COM1",
                            "com9.log", "LPT1", "lpt5.txt", "COM\xb9", "LPT\xb2.txt", "CONIN$",
                            "trailing.", "trailing ", "tab\tname", "new\nline", "wild*",
                            "what?", "pipe|", "<lt", "gt>", "quote\""};
    for (const char* n : unsafe) EXPECT_FALSE(IsSafeEntryName(n)) << n;
}

class Damage : public ExtractTest {
protected:
    // Engine and Before.txt are good, `hostile` follows, After.txt would come last.
    ExtractResult ExtractAround(const std::function<void(PackageBuilder&)>& hostile) {
        PackageBuilder b;
        b.File("Engine.exe*", ToBytes("engine")).File("Before.txt", ToBytes("before"));
        hostile(b);
        b.File("After.txt", ToBytes("after")).ChecksumOff();
        WriteFile(Src("Setup.exe"), b.Build());
        UiRecorder rec;
        ExtractResult r = Extract(Src("Setup.exe"), rec);
        EXPECT_TRUE(rec.errors.empty());
        return r;
    }
    void ExpectDamaged(const ExtractResult& r, const std::string& label) {
        EXPECT_TRUE(r.damaged) << label;
        EXPECT_FALSE(r.damage.empty()) << label;
        EXPECT_EQ(r.mainFile, "") << label;
        EXPECT_EQ(DestNames(), (std::vector<std::string>{"Before.txt", "Engine.exe"})) << label;
        EXPECT_TRUE(StrayEntries().empty()) << label;
        fs::remove_all(Dest());
    }
};

TEST_F(Damage, UnsafeEntryNamesAreNeverWritten) {
    const char* names[] = {"../evil.txt", "..\\evil.txt", "sub/x.txt", "C:evil.txt", "..", ".",
                           "", "*", "CON", "nul.txt", "COM1", "LPT9.log", "late.", "late ",
                           "/abs.txt"};
    for (const char* n : names) {
        for (bool compress : {true, false}) {
            ExtractResult r = ExtractAround(
                [&](PackageBuilder& b) { b.File(n, ToBytes("payload"), compress); });
            ExpectDamaged(r, std::string("name ") + n);
            EXPECT_NE(r.damage.find("unsafe entry name"), std::string::npos) << r.damage;
        }
    }
    // Item headers that are no lists or lists without items name nothing that can be written.
    for (std::string header : {"x", "|", "||", "|||"}) {
        Bytes content = ToBytes(header + std::string(1, '\0') + "data");
        ExpectDamaged(ExtractAround([&](PackageBuilder& b) { b.Content(content, true); }),
                      "header " + header);
    }
}

TEST_F(Damage, ImpossibleBlockLengths) {
    auto length = [](int32_t v) {
        Bytes b(4);
        SetLE32(b.data(), uint32_t(v));
        return b;
    };
    struct Case {
        const char* label;
        Bytes raw;
    } cases[] = {
        {"INT32_MIN", length(INT32_MIN)},
        {"INT32_MAX", length(INT32_MAX)},
        {"compressed past the end", length(100000)},
        {"stored past the end", length(-100000)},
        {"two stray bytes", {1, 2}},
    };
    for (const auto& c : cases) {
        PackageBuilder b;
        b.File("Engine.exe*", ToBytes("engine")).File("Before.txt", ToBytes("before")).Raw(c.raw);
        WriteFile(Src("Setup.exe"), b.ChecksumOff().Build());
        UiRecorder rec;
        ExtractResult r = Extract(Src("Setup.exe"), rec);
        ExpectDamaged(r, c.label);
    }
}

TEST_F(Damage, PackageCutInsideItsBlocks) {
    PackageBuilder full;
    full.File("Engine.exe*", Filler(3000, 1, false)).File("Before.txt", Filler(5000, 2, true), false);
    const Bytes whole = full.Build();
    const size_t filesStart = full.HeadEnd(), filesEnd = whole.size() - 74;
    const Bytes files(whole.begin() + std::ptrdiff_t(filesStart), whole.begin() + std::ptrdiff_t(filesEnd));

    for (size_t cut : {size_t(1), size_t(3), size_t(4), size_t(5), size_t(200), files.size() / 2,
                       files.size() - 1}) {
        // A trailer sealed right after the cut: the framing runs into it.
        PackageBuilder b;
        b.Raw(Bytes(files.begin(), files.begin() + std::ptrdiff_t(cut)));
        WriteFile(Src("Cut.exe"), b.Build());
        UiRecorder rec;
        ExtractResult r = Extract(Src("Cut.exe"), rec);
        EXPECT_TRUE(r.damaged) << "cut " << cut;
        EXPECT_EQ(r.mainFile, "") << "cut " << cut;
        EXPECT_TRUE(StrayEntries().empty());

        // The file itself cut: no trailer any more, so nothing is taken from it.
        WriteFile(Src("Raw.exe"), Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(filesStart + cut)));
        r = Extract(Src("Raw.exe"), rec);
        EXPECT_EQ(r.mainFile, "") << "raw cut " << cut;
        fs::remove_all(Dest());
    }
}

// A file that ends early while it is read, as a vanishing network share or medium does: every
// read past `cutoff` gives zero bytes although the size says otherwise.
class ShrinkingFile : public IFile {
public:
    ShrinkingFile(Bytes bytes, int64_t cutoff, int64_t keepFrom)
        : inner_(std::move(bytes)), cutoff_(cutoff), keepFrom_(keepFrom) {}
    int64_t Size() override { return inner_.Size(); }
    bool Seek(int64_t p) override { return inner_.Seek(p); }
    int64_t Position() override { return inner_.Position(); }
    int32_t Read(void* buffer, int32_t count) override {
        int64_t at = inner_.Position();
        if (at >= cutoff_ && at < keepFrom_) return 0;
        if (at < cutoff_ && at + count > cutoff_) count = int32_t(cutoff_ - at);
        return inner_.Read(buffer, count);
    }
    int32_t Write(const void*, int32_t) override { return -1; }

private:
    MemoryFile inner_;
    int64_t cutoff_, keepFrom_;
};

Bytes g_shrinking;
int64_t g_cutoff = 0;
Platform g_real;
std::unique_ptr<IFile> OpenShrinking(const std::string& path, OpenMode mode) {
    if (mode == OpenMode::ReadShared && path.find("Shrink.exe") != std::string::npos)
        return std::make_unique<ShrinkingFile>(g_shrinking, g_cutoff,
                                               int64_t(g_shrinking.size()) - 74);
    return g_real.openFile(path, mode);
}

TEST_F(Damage, AReadOfZeroBytesEndsTheBlock) {
    PackageBuilder b;
    b.File("Engine.exe*", ToBytes("engine"))
        .File("Before.txt", ToBytes("before"))
        .File("Stored.bin", Filler(200000, 3, false), false)
        .File("Packed.bin", Filler(200000, 4, false), true)
        .ChecksumOff();
    g_shrinking = b.Build();
    WriteFile(Src("Shrink.exe"), g_shrinking);
    const int64_t packedAt = int64_t(g_shrinking.size()) - 74 - 200100;
    for (int64_t cutoff : {int64_t(b.HeadEnd()) + 60, packedAt - 100000, packedAt + 70000}) {
        g_cutoff = cutoff;
        Platform shrinking;
        shrinking.openFile = &OpenShrinking;
        g_real = SetPlatform(shrinking);
        UiRecorder rec;
        ExtractResult r = Extract(Src("Shrink.exe"), rec);
        SetPlatform(g_real);
        EXPECT_TRUE(r.damaged) << cutoff;
        EXPECT_NE(r.damage.find("ends inside a block"), std::string::npos) << r.damage;
        EXPECT_EQ(r.mainFile, "");
        fs::remove_all(Dest());
    }
}

TEST_F(Damage, BrokenZlibStreams) {
    const Bytes content = MakeFileBlockContent("Broken.bin", kSampleDate, Filler(300000, 5, true).data(), 300000);
    Bytes packed;
    ASSERT_TRUE(CompressZlib(content.data(), content.size(), packed));

    Bytes flipped = packed;
    for (size_t i = packed.size() / 2; i < packed.size() / 2 + 16; ++i) flipped[i] ^= 0xA5;
    Bytes badHeader = packed;
    badHeader[0] = 0x12;
    Bytes cut(packed.begin(), packed.begin() + std::ptrdiff_t(packed.size() / 2));
    // A stream header that asks for a preset dictionary (FDICT), with a dictionary id.
    const Bytes dict = {0x78, 0x20, 0, 0, 0, 1, 0x03, 0x00};

    struct Case {
        const char* label;
        Bytes stream;
        const char* text;
    } cases[] = {
        {"flipped bytes", flipped, "error"},
        {"bad header", badHeader, "data error"},
        {"cut short", cut, "buffer error"},
        {"needs a dictionary", dict, "need dictionary"},
    };
    for (const auto& c : cases) {
        ExtractResult r = ExtractAround([&](PackageBuilder& b) {
            Bytes block(4);
            SetLE32(block.data(), uint32_t(c.stream.size()));
            block.insert(block.end(), c.stream.begin(), c.stream.end());
            b.Raw(block);
        });
        EXPECT_NE(r.damage.find(c.text), std::string::npos) << c.label << ": " << r.damage;
        // The broken file may be partly written before the damage shows; the caller removes
        // the whole folder, so only "nothing after it" and "no engine" matter here.
        fs::remove(DestFile("Broken.bin"));
        ExpectDamaged(r, c.label);
    }
}

TEST_F(Damage, ItemHeaderWithoutEnd) {
    // Far longer than any item header, then a NUL: not a file block the packager writes.
    Bytes longHeader = ToBytes("|" + std::string(40000, 'n') + "|0|");
    longHeader.push_back(0);
    ExpectDamaged(ExtractAround([&](PackageBuilder& b) { b.Content(longHeader, true); }),
                  "long header");
    // No NUL at all: skipped as any block without one.
    Bytes noNul = Filler(100000, 6, true);
    ExtractResult r = ExtractAround([&](PackageBuilder& b) { b.Content(noNul, true); });
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_TRUE(fs::exists(DestFile("After.txt")));
}

TEST_F(Damage, PackageStartOutsideTheBlocks) {
    PackageBuilder b;
    b.File("A.txt", ToBytes("a")).ChecksumOff();
    Bytes package = b.Build();
    // PackageStart beyond the trailer, then one inside the head blocks' framing.
    for (uint32_t start : {uint32_t(package.size()), uint32_t(package.size() - 74 - 2), 0xFFFFFFF0u}) {
        Bytes p = package;
        SetLE32(p.data() + p.size() - 74 + trailer_offset::PackageStart, start);
        WriteFile(Src("Setup.exe"), p);
        UiRecorder rec;
        ExtractResult r = Extract(Src("Setup.exe"), rec);
        EXPECT_TRUE(r.damaged) << start;
        EXPECT_TRUE(StrayEntries().empty());
    }
}

}  // namespace
}  // namespace zv::test
