#include "package/pe_relocate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "utils/file_io.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes LoadFixture() {
    std::ifstream in(ZV_TESTDATA "/pe/mingw_hello.exe", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr size_t kLinkerLfanew = 0x80;  // where GNU ld puts the NT headers
constexpr size_t kChecksumField = 24 + 64;  // CheckSum, relative to the PE signature

size_t HeadersLength(const Bytes& b, size_t lfanew) {
    return 24 + GetLE16(&b[lfanew + 20]) + 40 * size_t(GetLE16(&b[lfanew + 6]));
}

bool Zero(const Bytes& b, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (b[i] != 0) return false;
    return true;
}

class PeRelocate : public ::testing::Test {
protected:
    void SetUp() override {
        original = LoadFixture();
        ASSERT_GT(original.size(), 0x400u) << "fixture missing";
        ASSERT_EQ(GetLE32(&original[0x3C]), kLinkerLfanew);
    }
    Bytes original;
};

TEST_F(PeRelocate, MovesLinkerHeadersToOffset256AndKeepsTheImage) {
    Bytes moved = original;
    std::string error;
    ASSERT_TRUE(RelocatePeHeaders(moved, &error)) << error;
    const size_t length = HeadersLength(original, kLinkerLfanew);
    const uint32_t sizeOfHeaders = GetLE32(&original[kLinkerLfanew + 24 + 60]);

    ASSERT_EQ(moved.size(), original.size());
    EXPECT_EQ(moved[0], 'M');
    EXPECT_EQ(moved[1], 'Z');
    EXPECT_EQ(GetLE32(&moved[0x3C]), 0x100u);
    EXPECT_EQ(std::string(moved.begin() + 256, moved.begin() + 260), std::string("PE\0\0", 4));
    EXPECT_TRUE(Zero(moved, 248, 256)) << "ImageEnd slot must be free";
    EXPECT_FALSE(IsPeImage(original.data(), original.size()));
    EXPECT_TRUE(IsPeImage(moved.data(), moved.size()));
    EXPECT_EQ(ImageEnd(moved.data(), moved.size()), 0u);
    EXPECT_TRUE(Zero(moved, kLinkerLfanew, 256));
    EXPECT_TRUE(Bytes(moved.begin() + 2, moved.begin() + 0x3C) ==
                Bytes(original.begin() + 2, original.begin() + 0x3C));
    EXPECT_TRUE(Bytes(moved.begin() + 0x40, moved.begin() + kLinkerLfanew) ==
                Bytes(original.begin() + 0x40, original.begin() + kLinkerLfanew))
        << "DOS stub changed";

    // The headers are the same bytes, apart from the refreshed checksum.
    for (size_t i = 0; i < length; ++i) {
        if (i >= kChecksumField && i < kChecksumField + 4) continue;
        ASSERT_EQ(moved[0x100 + i], original[kLinkerLfanew + i]) << "header byte " << i;
    }
    EXPECT_TRUE(Zero(moved, 0x100 + length, sizeOfHeaders));
    EXPECT_TRUE(Bytes(moved.begin() + sizeOfHeaders, moved.end()) ==
                Bytes(original.begin() + sizeOfHeaders, original.end()))
        << "section data changed";
}

TEST_F(PeRelocate, ChecksumMatchesTheLinkersAndIsRefreshed) {
    const uint32_t linkerSum = GetLE32(&original[kLinkerLfanew + kChecksumField]);
    ASSERT_NE(linkerSum, 0u);
    EXPECT_EQ(PeChecksum(original, kLinkerLfanew + kChecksumField), linkerSum);

    Bytes moved = original;
    ASSERT_TRUE(RelocatePeHeaders(moved, nullptr));
    EXPECT_EQ(GetLE32(&moved[0x100 + kChecksumField]), PeChecksum(moved, 0x100 + kChecksumField));
}

TEST_F(PeRelocate, SecondRunChangesNothing) {
    Bytes once = original;
    ASSERT_TRUE(RelocatePeHeaders(once, nullptr));
    SetLE32(&once[248], 0x00F2);  // an ImageEnd written by the packager survives
    SetLE32(&once[252], 0x7167);
    Bytes twice = once;
    ASSERT_TRUE(RelocatePeHeaders(twice, nullptr));
    EXPECT_TRUE(twice == once);
}

TEST_F(PeRelocate, HeadersAboveOffset256MoveDownAndLeaveNoTail) {
    // Same image with the headers at 0x180 instead: relocation must give the same file.
    const size_t length = HeadersLength(original, kLinkerLfanew);
    Bytes high = original;
    std::fill(high.begin() + kLinkerLfanew, high.begin() + 0x400, 0);
    std::copy(original.begin() + kLinkerLfanew, original.begin() + kLinkerLfanew + length,
              high.begin() + 0x180);
    SetLE32(&high[0x3C], 0x180);

    Bytes expected = original;
    ASSERT_TRUE(RelocatePeHeaders(expected, nullptr));
    std::string error;
    ASSERT_TRUE(RelocatePeHeaders(high, &error)) << error;
    EXPECT_TRUE(high == expected);
}

TEST_F(PeRelocate, RefusesWhatItCannotMoveSafely) {
    const size_t nt = kLinkerLfanew;
    const size_t dirs = nt + 24 + 96;
    struct Case {
        const char* name;
        void (*damage)(Bytes&, size_t nt, size_t dirs);
        const char* message;
    };
    const Case cases[] = {
        {"truncated", [](Bytes& b, size_t, size_t) { b.resize(0x30); }, "too short"},
        {"no MZ", [](Bytes& b, size_t, size_t) { b[0] = 'X'; }, "MZ"},
        {"lfanew past end", [](Bytes& b, size_t, size_t) { SetLE32(&b[0x3C], 0x7FFFFFF0); },
         "past the end"},
        {"lfanew in DOS header", [](Bytes& b, size_t, size_t) { SetLE32(&b[0x3C], 0x20); },
         "DOS header"},
        {"no PE signature", [](Bytes& b, size_t nt, size_t) { b[nt + 1] = 'X'; }, "PE"},
        {"PE32+ magic garbled", [](Bytes& b, size_t nt, size_t) { SetLE16(&b[nt + 24], 0x1234); },
         "magic"},
        {"section table past end",
         [](Bytes& b, size_t nt, size_t) { SetLE16(&b[nt + 6], 0xFFFF); }, "past the end"},
        {"too many sections for the room",
         [](Bytes& b, size_t nt, size_t) { SetLE16(&b[nt + 6], 20); }, "free before"},
        {"small SizeOfHeaders",
         [](Bytes& b, size_t nt, size_t) { SetLE32(&b[nt + 24 + 60], 0x200); }, "SizeOfHeaders"},
        {"signed", [](Bytes& b, size_t, size_t dirs) { SetLE32(&b[dirs + 4 * 8 + 4], 0x100); },
         "signed"},
        {"bound imports",
         [](Bytes& b, size_t, size_t dirs) { SetLE32(&b[dirs + 11 * 8 + 4], 0x20); }, "bound"},
        {"data after section table",
         [](Bytes& b, size_t nt, size_t) { b[nt + HeadersLength(b, nt) + 8] = 0x55; }, "in use"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = original;
        c.damage(damaged, nt, dirs);
        const Bytes before = damaged;
        std::string error;
        EXPECT_FALSE(RelocatePeHeaders(damaged, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(damaged == before) << "image changed on failure";
    }
}

}  // namespace
}  // namespace zv
