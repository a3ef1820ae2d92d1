#include "utils/text.h"

#include <limits>

#include "utils/host_env.h"

namespace zv {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string UpperCase(const std::string& text) { return Host().upperCase(text); }

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

int PosText(const std::string& sub, const std::string& text) {
    return PosFrom(sub, text, 1, true);
}

int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase) {
    if (sub.empty() || start < 1 || size_t(start) > text.size()) return 0;
    size_t p = ignoreCase ? UpperCase(text).find(UpperCase(sub), size_t(start - 1))
                          : text.find(sub, size_t(start - 1));
    return p == std::string::npos ? 0 : int(p + 1);
}

int64_t StrToInt64Def(const std::string& text, int64_t def) {
    const std::string t = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return def;
    // Accumulate negatively so that the most negative value is representable.
    const int64_t minValue = std::numeric_limits<int64_t>::min();
    int64_t value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return def;
        const int digit = t[i] - '0';
        if (value < (minValue + digit) / 10) return def;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == minValue) return def;
        value = -value;
    }
    return value;
}

std::string ExtractFileName(const std::string& path) {
    size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFilePath(const std::string& path) {
    size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string FileBaseName(const std::string& path, bool allExtensions) {
    std::string name = ExtractFileName(path);
    for (size_t dot = name.rfind('.'); dot != std::string::npos; dot = name.rfind('.')) {
        name.erase(dot);
        if (!allExtensions) break;
    }
    return name;
}

std::string GetExePath(bool baseNameOnly) {
    const std::string path = Host().exePath();
    return baseNameOnly ? FileBaseName(path, false) : path;
}

}  // namespace zv
