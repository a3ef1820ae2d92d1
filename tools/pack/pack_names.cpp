#include "pack_names.h"

#include <cstring>
#include <limits>

namespace zv::pack {
namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

bool ParseByteSize(const std::string& text, uint64_t& value) {
    std::string t = text;
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    if (!t.empty() && LowerChar(t.back()) == 'b') t.pop_back();
    uint64_t unit = 1;
    if (!t.empty()) {
        switch (LowerChar(t.back())) {
            case 'k': unit = 1ull << 10; break;
            case 'm': unit = 1ull << 20; break;
            case 'g': unit = 1ull << 30; break;
            default: break;
        }
        if (unit != 1) t.pop_back();
    }
    if (t.empty()) return false;
    uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        if (v > (std::numeric_limits<uint64_t>::max() - 9) / 10) return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > std::numeric_limits<uint64_t>::max() / unit) return false;
    value = v * unit;
    return true;
}

bool WildcardMatch(const std::string& pattern, const std::string& name, bool ignoreCase) {
    // Iterative matcher with one backtrack point: linear enough for file names.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    auto same = [ignoreCase](char a, char b) {
        return ignoreCase ? LowerChar(a) == LowerChar(b) : a == b;
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) c = LowerChar(c);
    return text;
}

void InputHash::Add(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        h_ ^= p[i];
        h_ *= 0x100000001b3ull;
    }
}

void InputHash::Add(uint64_t value) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(value >> (8 * i));
    Add(b, 8);
}

uint64_t SeededRandom::Next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string SeededRandom::LowercaseLetters(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += char('a' + Next() % 26);
    return out;
}

std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace zv::pack
