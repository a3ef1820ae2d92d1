#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "utils/platform.h"
#include "utils/text.h"

namespace zv {
namespace {

TEST(TextSearch, PositionsCountFromOne) {
    EXPECT_EQ(PosText("b", "aBc"), 2);
    EXPECT_EQ(PosText("", "abc"), 0);
    EXPECT_EQ(PosText("x", ""), 0);
    EXPECT_EQ(PosFrom("a", "abca", 2, false), 4);
    EXPECT_EQ(PosFrom("A", "abca", 2, false), 0);
    EXPECT_EQ(PosFrom("A", "abca", 2, true), 4);
    EXPECT_EQ(PosFrom("a", "abca", 0, false), 0);
    EXPECT_EQ(PosFrom("a", "abca", 5, false), 0);
    EXPECT_EQ(LastPos("ab", "abxab"), 4);
    EXPECT_EQ(LastPos("q", "abxab"), 0);
    EXPECT_TRUE(SameTextTrim(" Abc\t", "aBC"));
    EXPECT_FALSE(SameText(" Abc", "aBC"));
    EXPECT_TRUE(StartsWith("SET", "setup", true));
    EXPECT_FALSE(StartsWith("SET", "setup", false));
    EXPECT_FALSE(StartsWith("setupx", "setup", true));
    EXPECT_TRUE(EndsWith(".EXE", "a.exe", true));
    EXPECT_FALSE(EndsWith(".EXE", "a.exe", false));
    EXPECT_EQ(ReverseText("abc"), "cba");
    EXPECT_EQ(Trim("\x01 a b \r\n"), "a b");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // high characters are not blanks
}

TEST(TextReplace, OccurrenceRanges) {
    struct Case {
        const char* text;
        const char* oldText;
        const char* newText;
        int last, first;
        const char* result;
    } cases[] = {
        {"a.b.c", ".", "-", 0, 2, "a.b-c"},  // first alone: that one occurrence
        {"a.b.c", ".", "-", 0, 0, "a-b-c"},
        {"a.b.c.d", ".", "-", 2, 0, "a-b-c.d"},  // last alone: from the first
        {"a.b.c.d", ".", "-", 3, 2, "a.b-c-d"},
        {"a.b.c", ".", "-", 1, 2, "a.b.c"},  // empty range
        {"a.b.c", ".", "-", 0, 9, "a.b.c"},
        {"aaaa", "aa", "b", 0, 0, "bb"},  // no overlap
        {"aaa", "a", "aa", 0, 0, "aaaaaa"},  // replaced text is not searched again
        {"", "a", "b", 0, 0, ""},
        {"abc", "", "x", 0, 0, "abc"},
        {"abc", "b", "", 0, 0, "ac"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceAll(c.text, c.oldText, c.newText, c.last, c.first), c.result)
            << c.text << " " << c.first << ".." << c.last;
}

TEST(TextReplace, CaseTrimAndLongTexts) {
    EXPECT_EQ(ReplaceAll("aXbxc", "x", "-"), "aXb-c");
    EXPECT_EQ(ReplaceAllText("aXbxc", "x", "-"), "a-b-c");
    EXPECT_EQ(ReplaceAllText("<p>a<P>", "<P>", "|", 0, 2), "<p>a|");
    EXPECT_EQ(ReplaceAll(" a.b ", ".", " . ", 0, 0, true), "a . b");
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += "ab";
    std::string result = ReplaceAll(longText, "a", "xyz");
    EXPECT_EQ(result.size(), 20000u);
    EXPECT_EQ(result.substr(0, 8), "xyzbxyzb");
}

// A program name from a server put into every "PROG_NAME" of a message from a user-writable file:
// the result may not grow past the limit, whatever the two hold. What stays within it is replaced.
TEST(TextReplace, GrowthPastTheLimitIsRefused) {
    const std::string name(32 * 1024, 'n');
    std::string message;
    for (int i = 0; i < 200; ++i) message += "PROG_NAME ";  // 200 x 32 KB: 6.4 MB
    EXPECT_EQ(ReplaceAll(message, "PROG_NAME", name), message);
    EXPECT_EQ(ReplaceAll(" " + message, "PROG_NAME", name, 0, 0, true),
              message.substr(0, message.size() - 1));

    EXPECT_EQ(ReplaceAll("Update PROG_NAME? PROG_NAME restarts.", "PROG_NAME", name).size(),
              2 * name.size() + 19);
    std::string upTo = message.substr(0, 10 * 100);  // 100 x 32 KB: 3.2 MB
    EXPECT_EQ(ReplaceAll(upTo, "PROG_NAME", name).size(), 100 * (name.size() + 1));
    // A text already longer than the limit is replaced as long as it does not grow.
    const std::string big(kMaxReplacedText + 10, 'a');
    EXPECT_EQ(ReplaceAll(big, "a", "b"), std::string(big.size(), 'b'));
    EXPECT_EQ(ReplaceAll(big, "a", "bb"), big);
}

// Replaces the first occurrence until none is left, the slow obvious way.
std::string NaiveRepeated(std::string text, const std::string& o, const std::string& n) {
    for (size_t p = text.find(o); p != std::string::npos; p = text.find(o))
        text.replace(p, o.size(), n);
    return text;
}

TEST(TextReplace, Repeated) {
    const char* const cases[][3] = {
        {"aaaabbbb", "ab", "ba"}, {"xaaaay", "aa", "a"}, {"cabbbabb", "abb", "b"},
        {"aaab", "ab", "b"},      {"abcabcab", "bca", "c"}, {"ababab", "aba", "ba"},
        {"abba", "b", "c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceRepeated(c[0], c[1], c[2]), NaiveRepeated(c[0], c[1], c[2])) << c[0];
    EXPECT_EQ(ReplaceRepeated("a    b  c", "  ", " "), "a b c");
    EXPECT_EQ(ReplaceRepeated("abb", "ab", "ba"), "bba");
    EXPECT_EQ(ReplaceRepeated("xaa", "a", "aa"), "xaa");  // new contains old: untouched
    EXPECT_EQ(ReplaceRepeated(" xyx ", "y", "-", true), "x-x");
    // A self-feeding rewrite stops instead of hanging.
    EXPECT_FALSE(ReplaceRepeated("aab", "ab", "bbaa").empty());
}

TEST(TextCut, BeforeAfterKeepStrip) {
    EXPECT_EQ(TextBefore("key=value=x", "=", "d"), "key");
    EXPECT_EQ(TextBefore("key", "=", "d"), "d");
    EXPECT_EQ(TextBefore(" k =v", "=", "d", true), "k");
    EXPECT_EQ(TextAfter("key=value=x", "=", "d"), "value=x");
    EXPECT_EQ(TextAfter("aXb", "x", "d"), "d");
    EXPECT_EQ(TextAfter("aXb", "x", "d", true), "b");
    EXPECT_EQ(TextAfter("a= b ", "=", "d", false, true), "b");
    EXPECT_EQ(KeepChars("v1.2-beta,3", "0123456789.,", ","), "1.23");
    EXPECT_EQ(ReplaceChar("a,b,c", ',', '.'), "a.b.c");

    struct Case {
        const char* text;
        bool force, onlyOne;
        const char* result;
    } cases[] = {
        {"\"", false, false, ""},       {"\"\"a\"\"", false, false, "a"},
        {"\"\"a\"\"", false, true, "\"a\""}, {"\"a", false, false, "\"a"},
        {"\"a", true, false, "a"},      {"", true, false, ""},
        {"\"\"", false, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripChar(c.text, '"', c.force, c.onlyOne), c.result) << c.text;

    EXPECT_EQ(Unquote("  \"C:\\a b\"  "), "C:\\a b");
    EXPECT_EQ(Unquote("\"C:\\a"), "\"C:\\a");
    EXPECT_EQ(Unquote("\"C:\\a", true), "C:\\a");
    EXPECT_EQ(Quote("C:\\a b"), "\"C:\\a b\"");
    EXPECT_EQ(Quote("\"C:\\a b"), "\"C:\\a b\"");
    EXPECT_EQ(ExpandEscapes("a\\nb\\tc<p>d<T>e"), "a\r\nb\tc\r\nd\te");
}

// The scrambling direction, which the system itself never needs.
std::string Scramble(const std::string& plain, unsigned char key) {
    std::string data = plain;
    for (size_t i = 1; i <= data.size(); ++i) {
        const int n = int(i);
        data[i - 1] = char((unsigned char)data[i - 1] ^ (((n % 2) ? n + key : n - key) & 0xFF));
    }
    return "Scrambled=01" + std::string(1, char(key)) + data;
}

TEST(TextUnscramble, RoundTripAndPlainTexts) {
    std::string plain;
    for (int i = 0; i < 600; ++i) plain += char(i * 7 + 3);  // past 256 positions, all codes
    for (unsigned char key : {33, 77, 122}) EXPECT_EQ(Unscramble(Scramble(plain, key)), plain);
    EXPECT_EQ(Unscramble(Scramble("[Inform]\r\nText=Hello", 'K')), "[Inform]\r\nText=Hello");
    EXPECT_EQ(Unscramble("Scrambled=01"), "Scrambled=01");
    EXPECT_EQ(Unscramble("Scrambled=01K"), "");
    EXPECT_EQ(Unscramble("scrambled=01Kxyz"), "scrambled=01Kxyz");
    EXPECT_EQ(Unscramble("plain text"), "plain text");
}

TEST(TextNumbers, PaddingAndFlags) {
    EXPECT_EQ(PadLeft("42", 5), "   42");
    EXPECT_EQ(PadLeft("987654", 5), "987654");
    EXPECT_EQ(PadLeft("987654", -5), "9876.");
    EXPECT_EQ(PadLeft("42", -5, '*'), "***42");
    EXPECT_EQ(PadLeft("987654", -2), "987654");  // -1 and -2 are no cutting widths
    EXPECT_EQ(PadLeft("42", -1), "42");
    EXPECT_EQ(PadLeft("12345", -5), "12345");
    EXPECT_EQ(PadZero(7, 2), "07");
    EXPECT_EQ(PadZero(456, 2), "456");
    EXPECT_EQ(PadZero(-5, 3), "-05");
    EXPECT_EQ(PadZero(0, 0), "0");
    for (int64_t n : {int64_t(0), int64_t(9), int64_t(-10), int64_t(1234567890123),
                      std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()})
        EXPECT_EQ(IntText(n), std::to_string(n));
    EXPECT_EQ(BoolText(true) + BoolText(false) + BoolDigit(true) + BoolDigit(false), "TRUEFALSE10");
}

TEST(TextNumbers, ParsingGivesDefaultsOnBadInput) {
    struct Case {
        const char* text;
        int64_t value;
    } ints[] = {
        {"12", 12}, {" -12 ", -12}, {"+5", 5}, {"", -1}, {"-", -1}, {"1 2", -1}, {"0x10", -1},
        {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", -1}, {"-9223372036854775809", -1},
    };
    for (const auto& c : ints) EXPECT_EQ(StrToInt64Def(c.text, -1), c.value) << c.text;

    Case hex[] = {
        {"0x1F", 31}, {"0X1f", 31}, {"1F", 31}, {" ff ", 255}, {"G1", -1}, {"", 0}, {"0x", 0},
        {"7FFFFFFFFFFFFFFF", INT64_MAX}, {"8000000000000000", -1}, {"FFFFFFFFFFFFFFFFF", -1},
        {"-1", -1}, {"1 F", -1},
    };
    for (const auto& c : hex) EXPECT_EQ(HexToInt(c.text, -1), c.value) << c.text;

    EXPECT_EQ(BaseToInt("101", 2, -1), 5);
    EXPECT_EQ(BaseToInt("17", 8, -1), 15);
    EXPECT_EQ(BaseToInt("19", 8, -1), -1);
    EXPECT_EQ(BaseToInt("12", 1, -1), -1);
    EXPECT_EQ(BaseToInt("12", 17, -1), -1);
}

TEST(TextNumbers, SizeText) {
    struct Case {
        int64_t value, unit;
        int decimals;
        bool thousands;
        const char* text;
    } cases[] = {
        {1025, 1024, 0, false, "2"},
        {1024, 1024, 0, false, "1"},
        {0, 1024, 0, false, "0"},
        {1536, 1024, 1, false, "1.5"},
        {1536, 1024, 2, false, "1.50"},
        {1536, 1024, 4, false, "1.5000"},
        {1536, 1024, 7, false, "1.5"},
        {1234567890, 1, 0, true, "1,234,567,890"},
        {123456789, 1, 2, true, "123,456,789.00"},
        {123, 1, 0, true, "123"},
        {-1234567, 1, 0, true, "-1,234,567"},
        {5000, 0, 0, false, "5000"},  // no unit: no division by zero
        {3LL << 40, 1048576, 0, true, "3,145,728"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeText(c.value, c.unit, c.decimals, c.thousands), c.text) << c.value;
}

TEST(TextNumbers, RandomTextStaysInRange) {
    for (int i = 0; i < 200; ++i) {
        const int64_t v = StrToInt64Def(RandomText(-3, 3), 99);
        EXPECT_GE(v, -3);
        EXPECT_LE(v, 3);
    }
    EXPECT_EQ(RandomText(5, 5), "5");
    EXPECT_EQ(StrToInt64Def(RandomText(9, 7), 0) / 7, 1);
}

// ---- Dates ----

double Day(int y, int m, int d, int hh = 0, int nn = 0, int ss = 0, int ms = 0) {
    return EncodeDateTime(DateParts{y, m, d, hh, nn, ss, ms});
}

double g_now = 0;
double FixedNow() { return g_now; }
char Dot() { return '.'; }
char Hyphen() { return '-'; }

// Clock and locale of a host whose separators differ from the defaults.
struct FakeClock {
    explicit FakeClock(double now) {
        g_now = now;
        Platform e;
        e.now = &FixedNow;
        e.dateSeparator = &Dot;
        e.timeSeparator = &Hyphen;
        saved = SetPlatform(e);
    }
    ~FakeClock() { SetPlatform(saved); }
    Platform saved;
};

TEST(TextDates, DayCountsFrom1899) {
    EXPECT_EQ(Day(1899, 12, 30), 0.0);
    EXPECT_EQ(Day(1900, 1, 1), 2.0);
    EXPECT_EQ(Day(2003, 12, 6), 37961.0);
    EXPECT_DOUBLE_EQ(Day(2000, 2, 29, 18), 36585.75);
    const DateParts p = DecodeDateTime(Day(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second,
                                p.millisecond}),
              (std::vector<int>{2024, 2, 29, 23, 59, 59, 999}));
}

TEST(TextDates, FixedTexts) {
    FakeClock clock(Day(2010, 7, 4, 9, 8, 7));
    struct Case {
        double value;
        const char* date;
        const char* stamp;
    } cases[] = {
        {Day(2003, 2, 1), "01-FEB-2003", "01.02.03 00-00-00"},
        {Day(2003, 12, 6, 13, 5, 9), "06-DEC-2003", "06.12.03 13-05-09"},
        {Day(1999, 1, 31, 23, 59, 59, 999), "31-JAN-1999", "31.01.99 23-59-59"},
        {Day(2001, 3, 1) - 1e-9, "01-MAR-2001", "01.03.01 00-00-00"},  // rounds to midnight
        {-1, "04-JUL-2010", "04.07.10 09-08-07"},                  // now
        {-5, "30-DEC-1899", "30.12.99 00-00-00"},                  // clamped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateText(c.value), c.date) << c.value;
        EXPECT_EQ(TimeStampText(c.value, false), c.stamp) << c.value;
    }
    EXPECT_EQ(TimeStampText(Day(2003, 2, 1, 4, 5, 6), true), "01.02.2003 04-05-06");
    EXPECT_EQ(DateTimeText(Day(2003, 2, 1, 4, 5, 6), " "), "01-FEB-2003 04-05-06");
    EXPECT_EQ(DateTimeText(-1, "_"), "04-JUL-2010_09-08-07");
    // Far beyond the last day allowed: clamped to it.
    EXPECT_EQ(DateText(1e12), DateText(10000000));
    EXPECT_EQ(DateText(10000000), "24-JAN-29279");
}

// ---- Versions and paths ----

TEST(TextVersions, NormalizeVersion) {
    struct Case {
        const char* text;
        int width, parts;
        const char* result;
    } cases[] = {
        {"1.2", 2, 4, "01.02.00.00"},
        {"1,2,3,4", 1, 4, "1.2.3.4"},
        {"v5.10 beta", 3, 3, "005.010.000"},
        {"1.2.3.4.5", 1, 2, "1.2"},
        {"1..3", 1, 3, "1.0.3"},
        {"", 1, 2, "0.0"},
        {"1.2", 1, 0, ""},
        {"99999999999999999999.1", 1, 2, "0.1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizeVersion(c.text, c.width, c.parts), c.result) << c.text;
}

TEST(TextPaths, NamesAndFolders) {
    EXPECT_EQ(FileBaseName("C:\\a.b\\setup.tar.gz"), "setup.tar");
    EXPECT_EQ(FileBaseName("C:\\a.b\\setup.tar.gz", true), "setup");
    EXPECT_EQ(FileBaseName("C:\\a.b\\Setup"), "Setup");
    EXPECT_EQ(ExtractFileName("C:setup.exe"), "setup.exe");
    EXPECT_EQ(ExtractFilePath("C:\\x\\setup.exe"), "C:\\x\\");
    EXPECT_EQ(ExtractFilePath("setup.exe"), "");

    struct Case {
        const char* path;
        const char* plain;
        const char* slashed;
        const char* stripped;
    } cases[] = {
        {"C:\\x\\", "C:\\x", "C:\\x\\", "C:\\x"},
        {"C:\\x", "C:\\x", "C:\\x\\", "C:\\x"},
        {"C:\\", "C:", "C:\\", "C:"},
        {"C:", "C:", "C:\\", "C:"},
        {"x\\", "x\\", "x\\\\", "x"},
        {"\\", "\\", "\\\\", ""},
        {"", "", "", ""},
        {"C:\\x\\\\", "C:\\x\\", "C:\\x\\\\", "C:\\x\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeDir(c.path, false), c.plain) << c.path;
        EXPECT_EQ(NormalizeDir(c.path, true), c.slashed) << c.path;
        EXPECT_EQ(StripTrailingBackslash(c.path), c.stripped) << c.path;
    }
}

bool ShiftJisLead(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x81 && u <= 0x9F) || (u >= 0xE0 && u <= 0xFC);
}

TEST(TextPaths, TrailByteBackslashIsKept) {
    LeadByteTest old = SetLeadByteTest(&ShiftJisLead);
    EXPECT_EQ(NormalizeDir("C:\\\x95\\", false), "C:\\\x95\\");
    EXPECT_EQ(StripTrailingBackslash("C:\\\x95\\"), "C:\\\x95\\");
    EXPECT_EQ(NormalizeDir("C:\\\x95\\\\", false), "C:\\\x95\\");
    SetLeadByteTest(old);
}

TEST(TextPaths, RunningProgram) {
    ScopedCommandLine cl("x", "C:\\Tools\\Setup.v2.exe");
    EXPECT_EQ(GetExePath(), "C:\\Tools\\Setup.v2.exe");
    EXPECT_EQ(GetExePath(true), "Setup.v2");
    EXPECT_EQ(GetExeDir(false), "C:\\Tools");
    EXPECT_EQ(GetExeDir(true), "C:\\Tools\\");
}

// ---- Waiting ----

double g_clock = 0;
int g_pumps = 0;
double FakeMilliseconds() { return g_clock; }
void FakePump() {
    ++g_pumps;
    g_clock += 10;
}

struct FakePumpHost {
    FakePumpHost() {
        g_clock = 1000;
        g_pumps = 0;
        Platform e;
        e.milliseconds = &FakeMilliseconds;
        e.pumpMessages = &FakePump;
        saved = SetPlatform(e);
    }
    ~FakePumpHost() { SetPlatform(saved); }
    Platform saved;
};

TEST(TextWait, PumpsUntilTheDurationHasPassed) {
    FakePumpHost host;
    EXPECT_EQ(Wait(95, 1), 1100u);
    EXPECT_EQ(g_pumps, 10);
    g_pumps = 0;
    Wait(0);
    EXPECT_EQ(g_pumps, 1);  // a zero wait still lets pending messages through
    EXPECT_EQ(MillisecondsNow(), 1110.0);
}

}  // namespace
}  // namespace zv
