#include "utils/text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/trace.h"

namespace zv {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool NeverLeadByte(char) { return false; }
LeadByteTest g_leadByte = &NeverLeadByte;

// Upper-cased copy for searching. Positions found in it must be valid in the original, so a
// provider that changes the length is not trusted for that text.
std::string SearchUpper(const std::string& text) {
    std::string up = UpperCase(text);
    if (up.size() == text.size()) return up;
    return AsciiUpper(text);
}

std::string Replace(const std::string& text, const std::string& oldText,
                    const std::string& newText, int last, int first, bool trim,
                    bool ignoreCase) {
    if (text.empty() || oldText.empty()) return text;
    if (first < 0) first = 0;
    if (last < 0) last = 0;
    if (first == 0 && last == 0) {
        first = 1;
        last = std::numeric_limits<int>::max();
    } else {
        if (first == 0) first = 1;
        if (last == 0) last = first;
    }
    const std::string hay = ignoreCase ? SearchUpper(text) : text;
    const std::string needle = ignoreCase ? SearchUpper(oldText) : oldText;

    // One buffer, grown by what is missing plus some slack, so long texts are not recopied
    // for every occurrence.
    std::string out;
    out.reserve(text.size() + 512);
    auto append = [&out](const char* p, size_t n) {
        if (out.size() + n > out.capacity()) out.reserve(out.size() + n + 512);
        out.append(p, n);
    };
    size_t from = 0;
    int n = 0;
    const size_t limit = std::max(text.size(), kMaxReplacedText);
    for (size_t pos = hay.find(needle); pos != std::string::npos;
         pos = hay.find(needle, pos + needle.size())) {
        ++n;
        if (n < first) continue;
        if (n > last) break;
        // What the result would be with no further match replaced.
        if (out.size() + (pos - from) + newText.size() + (text.size() - pos - needle.size()) >
            limit) {
            TraceOut().Write("Replace refused: the result would exceed ")
                .Write(int64_t(limit)).WriteLine(" bytes");
            return trim ? Trim(text) : text;
        }
        append(text.data() + from, pos - from);
        append(newText.data(), newText.size());
        from = pos + needle.size();
    }
    append(text.data() + from, text.size() - from);
    return trim ? Trim(out) : out;
}

std::string Strip(std::string text, char ch, bool onlyOne) {
    size_t b = 0;
    while (b < text.size() && text[b] == ch) {
        ++b;
        if (onlyOne) break;
    }
    size_t e = text.size();
    while (e > b && text[e - 1] == ch) {
        --e;
        if (onlyOne) break;
    }
    return text.substr(b, e - b);
}

std::string InsertThousands(const std::string& number) {
    size_t begin = (!number.empty() && number[0] == '-') ? 1 : 0;
    size_t end = number.find('.');
    if (end == std::string::npos) end = number.size();
    std::string out = number;
    for (size_t i = end; i > begin + 3; i -= 3) out.insert(i - 3, 1, ',');
    return out;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian) and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

const int64_t kUnixEpochDay = 25569;  // 1970-01-01 counted from 1899-12-30
const std::string kMonths = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";

std::string TimeText(const DateParts& p, char sep) {
    return PadZero(p.hour, 2) + sep + PadZero(p.minute, 2) + sep + PadZero(p.second, 2);
}

std::string DayText(const DateParts& p) {
    return PadZero(p.day, 2) + "-" + SUB::GetItem(kMonths, p.month) + "-" + PadZero(p.year, 4);
}

}  // namespace

std::string AsciiUpper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

// ---- Search and compare ----

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
    size_t p = ignoreCase ? SearchUpper(text).find(SearchUpper(sub), size_t(start - 1))
                          : text.find(sub, size_t(start - 1));
    return p == std::string::npos ? 0 : int(p + 1);
}

int LastPos(const std::string& sub, const std::string& text) {
    if (sub.empty()) return 0;
    size_t p = text.rfind(sub);
    return p == std::string::npos ? 0 : int(p + 1);
}

bool SameTextTrim(const std::string& a, const std::string& b) {
    return SameText(Trim(a), Trim(b));
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase) {
    if (prefix.size() > text.size()) return false;
    const std::string head = text.substr(0, prefix.size());
    return ignoreCase ? SameText(head, prefix) : head == prefix;
}

bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase) {
    if (suffix.size() > text.size()) return false;
    const std::string tail = text.substr(text.size() - suffix.size());
    return ignoreCase ? SameText(tail, suffix) : tail == suffix;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

// ---- Replace and cut ----

std::string ReplaceAll(const std::string& text, const std::string& oldText,
                       const std::string& newText, int last, int first, bool trim) {
    return Replace(text, oldText, newText, last, first, trim, false);
}

std::string ReplaceAllText(const std::string& text, const std::string& oldText,
                           const std::string& newText, int last, int first, bool trim) {
    return Replace(text, oldText, newText, last, first, trim, true);
}

std::string ReplaceRepeated(const std::string& text, const std::string& oldText,
                            const std::string& newText, bool trim) {
    if (oldText.empty() || text.find(oldText) == std::string::npos ||
        newText.find(oldText) != std::string::npos)
        return text;
    // Scanned left to right; when the output ends with old, that is the first occurrence of
    // the whole text, and its replacement goes back in front of the unread input to be scanned
    // again. Each step thus costs the length of old and new, not of the text.
    // A replacement that is not shorter can feed itself for ever ("ab" -> "bbaa" in "aab"), so
    // such rewriting stops after a bounded number of steps.
    const size_t limit = newText.size() < oldText.size() ? std::string::npos
                                                          : 16 * (text.size() + 1) + (1u << 16);
    std::string input(text.rbegin(), text.rend());
    const std::string pushBack(newText.rbegin(), newText.rend());
    std::string out;
    out.reserve(text.size());
    size_t steps = 0;
    while (!input.empty()) {
        out += input.back();
        input.pop_back();
        if (steps < limit && out.size() >= oldText.size() &&
            out.compare(out.size() - oldText.size(), oldText.size(), oldText) == 0) {
            out.resize(out.size() - oldText.size());
            input += pushBack;
            ++steps;
        }
    }
    return trim ? Trim(out) : out;
}

std::string ReplaceChar(const std::string& text, char oldChar, char newChar) {
    std::string out = text;
    for (char& c : out)
        if (c == oldChar) c = newChar;
    return out;
}

std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def, bool trim) {
    size_t p = separator.empty() ? std::string::npos : text.find(separator);
    if (p == std::string::npos) return def;
    return trim ? Trim(text.substr(0, p)) : text.substr(0, p);
}

std::string TextAfter(const std::string& text, const std::string& separator,
                      const std::string& def, bool ignoreCase, bool trim) {
    int p = PosFrom(separator, text, 1, ignoreCase);
    if (p == 0) return def;
    std::string rest = text.substr(size_t(p - 1) + separator.size());
    return trim ? Trim(rest) : rest;
}

std::string KeepChars(const std::string& text, const std::string& allowed,
                      const std::string& removed) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (allowed.find(c) != std::string::npos && removed.find(c) == std::string::npos)
            out += c;
    return out;
}

std::string StripChar(const std::string& text, char ch, bool force, bool onlyOne) {
    if (text.size() == 1 && text[0] == ch) return {};
    if (text.empty()) return text;
    if (!force && !(text.front() == ch && text.back() == ch)) return text;
    return Strip(text, ch, onlyOne);
}

std::string Unquote(const std::string& text, bool force) {
    return StripChar(Trim(text), '"', force, false);
}

std::string Quote(const std::string& text) { return "\"" + Unquote(text, true) + "\""; }

std::string ExpandEscapes(const std::string& text) {
    std::string out = ReplaceAll(text, "\\n", "\r\n");
    out = ReplaceAll(out, "\\t", "\t");
    out = ReplaceAllText(out, "<P>", "\r\n");
    return ReplaceAllText(out, "<T>", "\t");
}

// ---- Scrambled texts ----

std::string Unscramble(const std::string& text) {
    static const std::string kPrefix = "Scrambled=01";
    // The bare prefix carries no key character: there is nothing to decode, so it stays.
    if (text.size() <= kPrefix.size() || text.compare(0, kPrefix.size(), kPrefix) != 0)
        return text;
    const int key = static_cast<unsigned char>(text[kPrefix.size()]);
    std::string data = text.substr(kPrefix.size() + 1);
    for (size_t i = 1; i <= data.size(); ++i) {
        const int64_t n = int64_t(i);
        const int mask = int(((n % 2) ? n + key : n - key) & 0xFF);
        data[i - 1] = char(static_cast<unsigned char>(data[i - 1]) ^ mask);
    }
    return data;
}

// ---- Numbers and fixed-width text ----

std::string PadLeft(const std::string& text, int width, char ch) {
    std::string t = text;
    if (width < -2) {
        width = -width;
        if (t.size() > size_t(width)) t = t.substr(0, size_t(width - 1)) + ".";
    }
    if (width <= 0 || t.size() >= size_t(width)) return t;
    return std::string(size_t(width) - t.size(), ch) + t;
}

std::string PadZero(int64_t number, int width) {
    std::string digits = IntText(number);
    if (width <= 0 || digits.size() >= size_t(width)) return digits;
    // Zeros go after the sign: -5 to width 3 is -05, never 0-5.
    const size_t at = number < 0 ? 1 : 0;
    return digits.insert(at, size_t(width) - digits.size(), '0');
}

// By hand rather than std::to_string, whose digit-pair tables the stub would carry for this alone.
std::string IntText(int64_t number) {
    char digits[20];
    uint64_t magnitude = number < 0 ? 0 - uint64_t(number) : uint64_t(number);
    size_t count = 0;
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string text(number < 0 ? 1 : 0, '-');
    while (count > 0) text += digits[--count];
    return text;
}

std::string BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

std::string BoolDigit(bool value) { return value ? "1" : "0"; }

int64_t StrToInt64Def(const std::string& text, int64_t def) {
    const std::string t = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return def;
    // Accumulated negatively so that the most negative value is representable.
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

int64_t HexToInt(const std::string& text, int64_t def) {
    std::string t = Trim(text);
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
    return BaseToInt(t, 16, def);
}

int64_t BaseToInt(const std::string& text, int base, int64_t def) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (base < 2 || base > 16) return def;
    const std::string t = SearchUpper(Trim(text));
    const int64_t maxValue = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (char c : t) {
        const char* at = c ? std::strchr(kDigits, c) : nullptr;
        if (!at) return def;
        const int digit = int(at - kDigits);
        // A digit the base does not have ("9" in octal) is as foreign as "G" in hex.
        if (digit >= base) return def;
        if (value > (maxValue - digit) / base) return def;
        value = value * base + digit;
    }
    return value;
}

std::string SizeText(int64_t value, int64_t unit, int decimals, bool thousands) {
    if (unit < 1) unit = 1;
    std::string out;
    if (decimals < 1) {
        int64_t q = value / unit;
        if (value % unit != 0 && value > 0) ++q;  // rounded up
        out = IntText(q);
    } else {
        if (decimals > 4) decimals = 1;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, double(value) / double(unit));
        out = buf;
    }
    return thousands ? InsertThousands(out) : out;
}

std::string RandomText(int64_t low, int64_t high) {
    if (low > high) std::swap(low, high);
    // Reseeded from the clock on every call; the counter keeps calls within one clock tick apart.
    static uint64_t calls = 0;
    const uint64_t ticks = uint64_t(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::mt19937_64 gen(ticks ^ (++calls * 0x9E3779B97F4A7C15ull));
    return IntText(std::uniform_int_distribution<int64_t>(low, high)(gen));
}

// ---- Dates ----

double NowDateTime() { return Host().now(); }

DateParts DecodeDateTime(double value) {
    if (value == -1) value = NowDateTime();
    if (!(value >= 0)) value = 0;  // also NaN
    if (value > 10000000) value = 10000000;
    int64_t day = int64_t(std::floor(value));
    int64_t ms = int64_t(std::llround((value - double(day)) * 86400000.0));
    if (ms >= 86400000) {
        ++day;
        ms -= 86400000;
    }
    DateParts p{};
    CivilFromDays(day - kUnixEpochDay, p.year, p.month, p.day);
    p.hour = int(ms / 3600000);
    p.minute = int(ms / 60000 % 60);
    p.second = int(ms / 1000 % 60);
    p.millisecond = int(ms % 1000);
    return p;
}

double EncodeDateTime(const DateParts& p) {
    const double day = double(DaysFromCivil(p.year, p.month, p.day) + kUnixEpochDay);
    const double ms = p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.millisecond;
    return day + ms / 86400000.0;
}

std::string DateText(double value) { return DayText(DecodeDateTime(value)); }

std::string DateTimeText(double value, const std::string& separator) {
    const DateParts p = DecodeDateTime(value);
    return DayText(p) + separator + TimeText(p, Host().timeSeparator());
}

std::string TimeStampText(double value, bool longYear) {
    const DateParts p = DecodeDateTime(value);
    const char d = Host().dateSeparator();
    const std::string year = longYear ? PadZero(p.year, 4) : PadZero(p.year % 100, 2);
    return PadZero(p.day, 2) + d + PadZero(p.month, 2) + d + year + " " +
           TimeText(p, Host().timeSeparator());
}

// ---- Versions ----

std::string NormalizeVersion(const std::string& text, int width, int parts) {
    const std::string digits = KeepChars(ReplaceChar(text, ',', '.'), "0123456789.");
    const std::string list = "." + digits + ".";
    std::string out;
    for (int i = 0; i < parts; ++i) {
        if (i) out += '.';
        out += PadZero(SUB::GetItemInt(list, i, 0), width);
    }
    return Strip(out, '.', false);
}

// ---- The running program and its folders ----

std::string GetExePath(bool baseNameOnly) {
    const std::string path = Host().exePath();
    return baseNameOnly ? FileBaseName(path, false) : path;
}

std::string FileBaseName(const std::string& path, bool allExtensions) {
    std::string name = ExtractFileName(path);
    for (size_t dot = name.rfind('.'); dot != std::string::npos; dot = name.rfind('.')) {
        name.erase(dot);
        if (!allExtensions) break;
    }
    return name;
}

std::string ExtractFileName(const std::string& path) {
    size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFilePath(const std::string& path) {
    size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

bool IsLeadByte(char c) { return g_leadByte(c); }

LeadByteTest SetLeadByteTest(LeadByteTest test) {
    LeadByteTest old = g_leadByte;
    g_leadByte = test ? test : &NeverLeadByte;
    return old;
}

std::string NormalizeDir(const std::string& path, bool addBackslash) {
    std::string out = path;
    if (out.size() > 2 && out.back() == '\\' && !g_leadByte(out[out.size() - 2])) out.pop_back();
    // An empty folder stays empty: "\" would name the root of the current drive.
    if (addBackslash && !out.empty()) out += '\\';
    return out;
}

std::string StripTrailingBackslash(const std::string& path) {
    if (path == "\\") return {};
    std::string out = path;
    if (out.size() >= 2 && out.back() == '\\' && !g_leadByte(out[out.size() - 2])) out.pop_back();
    return out;
}

std::string GetExeDir(bool addBackslash) {
    return NormalizeDir(ExtractFilePath(GetExePath()), addBackslash);
}

// ---- Waiting ----

void YieldX(uint32_t milliseconds) {
    Host().pumpMessages();
    if (milliseconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    else
        std::this_thread::yield();
}

uint32_t Wait(int64_t duration, uint32_t step) {
    if (step == 0) {
        const int64_t tenth = duration / 10;
        step = uint32_t(tenth < 1 ? 1 : tenth > 25 ? 25 : tenth);
    }
    const double start = MillisecondsNow();
    double now = start;
    do {
        YieldX(step);
        now = MillisecondsNow();
    } while (now - start < double(duration));
    return uint32_t(uint64_t(int64_t(now)));
}

double MillisecondsNow() { return Host().milliseconds(); }

bool IsDeveloperMode() {
    static const bool on = [] {
        const char* v = std::getenv("DVX");
        return v && std::strcmp(v, "582") == 0;
    }();
    return on;
}

}  // namespace zv
