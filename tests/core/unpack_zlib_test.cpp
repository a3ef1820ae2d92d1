// The block inflater: bounded chunks, early stop, message pumping and zlib's error texts; the
// table-free crc32 that stands in for zlib's in the shipped programs.
#include <gtest/gtest.h>
#include <zlib.h>

#include "package/package_layout.h"
#include "package/zlib_open.h"
#include "stub/runtime/bitwise_crc32.h"
#include "unpack_support.h"

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

TEST(ZLibOpen, DamagedStreamsRaiseWithZlibText) {
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
    }
}

// Same values as zlib's crc32(), whole or in pieces, for the check value and odd lengths.
TEST(BitwiseCrc32, MatchesZlib) {
    const Bytes noise = Filler(70001, 4, false);
    const std::string check = "123456789";
    EXPECT_EQ(BitwiseCrc32(0, reinterpret_cast<const uint8_t*>(check.data()), check.size()),
              0xCBF43926u);
    EXPECT_EQ(BitwiseCrc32(0, nullptr, 5), 0u);
    for (size_t size : {size_t(0), size_t(1), size_t(3), size_t(4096), noise.size()}) {
        const uint32_t expected = uint32_t(crc32(0, noise.data(), uInt(size)));
        EXPECT_EQ(BitwiseCrc32(0, noise.data(), size), expected) << size;
        const uint32_t first = BitwiseCrc32(0, noise.data(), size / 3);
        EXPECT_EQ(BitwiseCrc32(first, noise.data() + size / 3, size - size / 3), expected) << size;
    }
}

}  // namespace
}  // namespace zv::test
