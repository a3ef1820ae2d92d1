// The block inflater: bounded chunks, early stop, message pumping and zlib's error texts.
#include <gtest/gtest.h>
#include <zlib.h>

#include "package/package_layout.h"
#include "package/zlib_open.h"
#include "unpack_support.h"
#include "vendored_inflate.h"

namespace zv::test {
namespace {

TEST(ZLibOpen, InflatesInBoundedChunksAndReadsNoFurtherThanTheStream) {
    Bytes plain = Filler(1 << 20, 1, true);
    Bytes noise = Filler(700000, 2, false);
    plain.insert(plain.end(), noise.begin(), noise.end());
    Bytes packed;
    ASSERT_TRUE(CompressZlib(plain.data(), plain.size(), packed));
    Bytes file = packed;
    file.insert(file.end(), {'N', 'E', 'X', 'T'});
    MemoryFile source(file);

    Bytes out;
    size_t largest = 0;
    int pumps = 0;
    ZLibOpen inflater;
    InflateReport r = inflater.Inflate(
        source, int64_t(packed.size()),
        [&](const uint8_t* p, size_t n) {
            largest = std::max(largest, n);
            out.insert(out.end(), p, p + n);
            return true;
        },
        [&] { ++pumps; });
    EXPECT_EQ(r.outcome, InflateOutcome::StreamEnd);
    EXPECT_EQ(r.inflated, int64_t(plain.size()));
    EXPECT_EQ(r.compressedRead, int64_t(packed.size()));
    EXPECT_TRUE(out == plain);
    EXPECT_LE(largest, kInflateChunk);
    EXPECT_GE(pumps, int(plain.size() / kInflateChunk) - 1);
    EXPECT_EQ(source.Position(), int64_t(packed.size()));  // "NEXT" untouched

    // The same buffers serve the next stream.
    MemoryFile again(packed);
    Bytes second;
    EXPECT_EQ(ZLibInflateBuffer(packed.data(), packed.size(), second), "");
    EXPECT_TRUE(second == plain);
}

TEST(ZLibOpen, SinkCanStopEarly) {
    Bytes plain = Filler(2 << 20, 3, true), packed;
    ASSERT_TRUE(CompressZlib(plain.data(), plain.size(), packed));
    MemoryFile source(packed);
    ZLibOpen inflater;
    int calls = 0;
    InflateReport r = inflater.Inflate(
        source, int64_t(packed.size()), [&](const uint8_t*, size_t) { return ++calls < 2; }, nullptr);
    EXPECT_EQ(r.outcome, InflateOutcome::Stopped);
    EXPECT_EQ(calls, 2);
    EXPECT_LT(r.inflated, int64_t(plain.size()));
}

TEST(ZLibOpen, SourceThatEndsEarlyIsReportedNotAwaited) {
    Bytes plain = Filler(200000, 4, false), packed;
    ASSERT_TRUE(CompressZlib(plain.data(), plain.size(), packed));
    MemoryFile source(Bytes(packed.begin(), packed.begin() + 100000));
    ZLibOpen inflater;
    InflateReport r = inflater.Inflate(source, int64_t(packed.size()), nullptr, nullptr);
    EXPECT_EQ(r.outcome, InflateOutcome::SourceEnded);
    EXPECT_EQ(r.compressedRead, 100000);
}

TEST(ZLibOpen, DamagedStreamsReportZlibsText) {
    Bytes plain = Filler(50000, 5, true), packed;
    ASSERT_TRUE(CompressZlib(plain.data(), plain.size(), packed));
    Bytes badCheck = packed;
    badCheck.back() ^= 1;  // adler32 of the content
    struct Case {
        const char* label;
        Bytes stream;
        const char* text;
    } cases[] = {
        {"not zlib", ToBytes("plain text, no zlib here"), "data error"},
        {"checksum", badCheck, "data error"},
        {"cut", Bytes(packed.begin(), packed.begin() + 20), "buffer error"},
        {"empty", {}, "buffer error"},
        {"dictionary", {0x78, 0x20, 0, 0, 0, 1}, "need dictionary"},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(ZLibInflateBuffer(c.stream.data(), c.stream.size(), out), c.text) << c.label;
        out.clear();
        EXPECT_EQ(VendoredInflate(c.stream.data(), c.stream.size(), out), c.text)
            << "the stub's inflate, " << c.label;
    }
}

// The stub's inflate, built for size and without gzip, gives back what the packager packs, at
// every level it may use; and what zlib's own deflate packs, as packages from other tools do.
TEST(ZLibOpen, TheStubsInflateReadsWhatZlibPacks) {
    const Bytes inputs[] = {Filler(300000, 6, true), Filler(70001, 7, false), Bytes(1, 'x'), {}};
    struct Packer {
        const char* name;
        bool (*pack)(const Bytes& plain, Bytes& packed, int level);
    } packers[] = {
        {"packager", [](const Bytes& plain, Bytes& packed, int level) {
             return CompressZlib(plain.data(), plain.size(), packed, level);
         }},
        {"zlib", [](const Bytes& plain, Bytes& packed, int level) {
             uLongf size = compressBound(uLong(plain.size()));
             packed.resize(size);
             const Bytef empty = 0;
             const bool ok = compress2(packed.data(), &size, plain.empty() ? &empty : plain.data(),
                                       uLong(plain.size()), level) == Z_OK;
             packed.resize(size);
             return ok;
         }},
    };
    for (const Packer& p : packers) {
        for (int level : {0, 1, 6, 9}) {
            for (const Bytes& plain : inputs) {
                Bytes packed, out;
                ASSERT_TRUE(p.pack(plain, packed, level)) << p.name;
                EXPECT_EQ(VendoredInflate(packed.data(), packed.size(), out), "") << p.name << level;
                EXPECT_TRUE(out == plain)
                    << p.name << ", level " << level << ", " << plain.size() << " bytes";
            }
        }
    }
}

}  // namespace
}  // namespace zv::test
