#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/package_layout.h"

namespace zv {
namespace {

// Writes raw token bytes in the stored form, with a correct check byte at n-2.
std::string EncodeRaw(std::vector<uint8_t> b) {
    uint8_t sum = 0;
    for (size_t i = 0; i < b.size(); ++i)
        if (i != b.size() - 2) sum = uint8_t(sum + b[i]);
    b[b.size() - 2] = sum;
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t c : b) {
        out += char(kHex[c >> 4] + 50);
        out += char(kHex[c & 15] + 50);
    }
    return out;
}

// A failure result is a decimal number from 0 to 99998.
bool IsFailureNumber(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return std::stoi(text) <= 99998;
}

TEST(PackageTokenTest, ScrambleRoundTripsAndUsesLowercaseLetters) {
    const std::string tokens[] = {"a", "SecretToken-42", std::string(50, 'q'),
                                  std::string("bin\x00\xff\x01|x", 8), std::string(300, 'z')};
    for (const auto& token : tokens) {
        for (uint32_t seed : {0u, 1u, 77u, 0xFFFFFFFFu}) {
            for (int pad : {0, 3, 254}) {
                std::string s = ScrambleToken(token, seed, pad);
                EXPECT_EQ(UnscrambleToken(s), token) << "seed " << seed << " pad " << pad;
                for (char c : s) ASSERT_TRUE((c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x')) << s;
            }
        }
    }
}

TEST(PackageTokenTest, SeedMakesOutputReproducible) {
    EXPECT_EQ(ScrambleToken("token", 5), ScrambleToken("token", 5));
    EXPECT_NE(ScrambleToken("token", 5), ScrambleToken("token", 6));
}

TEST(PackageTokenTest, HandBuiltTokenWithPaddingOnBothSides) {
    // key = 0x10 ^ 0x13 = 0x03; plain: p=1, s=2 (one pad byte + check), pad, "OK", pad.
    std::vector<uint8_t> plain = {1, 2, 0xEE, 'O', 'K', 0xDD};
    std::vector<uint8_t> b = {0x10};
    for (uint8_t c : plain) b.push_back(uint8_t(c ^ 0x03));
    b.push_back(0);  // check, filled in by EncodeRaw
    b.push_back(0x13);
    EXPECT_EQ(UnscrambleToken(EncodeRaw(b)), "OK");
}

TEST(PackageTokenTest, MalformedOrAlteredTokensGiveANumberThatDiffers) {
    const std::string token = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx";
    const std::string good = ScrambleToken(token, 1234);
    std::string flipped = good;
    flipped[10] = flipped[10] == 'b' ? 'c' : 'b';

    // p and s read after the XOR point past the bytes: n = 8, p = 200.
    std::string pastEnd = EncodeRaw({0x00, 200, 1, 'A', 'B', 'C', 0, 0x00});
    // n - p - s - 4 == 0: nothing would be left.
    std::string nothingLeft = EncodeRaw({0x00, 1, 1, 'A', 0, 0x00});

    const std::string cases[] = {"",
                                 "b",
                                 "bbbbbbbb",                // 4 bytes: too short
                                 good.substr(0, good.size() - 2),
                                 good + "bb",
                                 flipped,
                                 good.substr(2),
                                 "not a token at all, just text",
                                 std::string(40, '\xff'),
                                 pastEnd,
                                 nothingLeft};
    for (const auto& c : cases) {
        std::string r = UnscrambleToken(c);
        EXPECT_NE(r, token) << c;
        EXPECT_TRUE(IsFailureNumber(r)) << "'" << c << "' gave '" << r << "'";
    }
}

}  // namespace
}  // namespace zv
