// Text, number, date and version functions over 8-bit strings.
// Positions count from 1 and "not found" is 0; these functions never throw on bad input.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// Search and compare.
std::string UpperCase(const std::string& text);   // system ANSI upper-casing (Host)
// "a".."z" only, whatever the system's code page.
inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
std::string AsciiUpper(std::string text);
std::string Trim(const std::string& text);        // blanks and control characters at both ends
int PosText(const std::string& sub, const std::string& text);
int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase);
int LastPos(const std::string& sub, const std::string& text);
bool SameTextTrim(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase);
bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase);
std::string ReverseText(const std::string& text);

// Replace and cut. Texts from files and servers are replaced into each other (a program name
// into every "PROG_NAME" of a message, folders into macros), so a result that would grow past
// kMaxReplacedText (or past the text itself, if that is longer) is refused: the text comes back
// unchanged and a trace line says why.
constexpr size_t kMaxReplacedText = size_t(4) << 20;
std::string ReplaceAll(const std::string& text, const std::string& oldText,
                       const std::string& newText, int last = 0, int first = 0, bool trim = false);
std::string ReplaceAllText(const std::string& text, const std::string& oldText,
                           const std::string& newText, int last = 0, int first = 0,
                           bool trim = false);
std::string ReplaceRepeated(const std::string& text, const std::string& oldText,
                            const std::string& newText, bool trim = false);
std::string ReplaceChar(const std::string& text, char oldChar, char newChar);
std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def = "", bool trim = false);
std::string TextAfter(const std::string& text, const std::string& separator,
                      const std::string& def = "", bool ignoreCase = false, bool trim = false);
std::string KeepChars(const std::string& text, const std::string& allowed,
                      const std::string& removed = "");
std::string StripChar(const std::string& text, char ch, bool force = false, bool onlyOne = false);
std::string Unquote(const std::string& text, bool force = false);
std::string Quote(const std::string& text);
std::string ExpandEscapes(const std::string& text);

// Scrambled texts ("Scrambled=01" + key character + data). Any other text, the bare prefix
// without a key character included, is returned unchanged.
std::string Unscramble(const std::string& text);

// Numbers and fixed-width text.
// A width below -2 fills to its absolute value and cuts a longer text to width-1 characters + ".".
std::string PadLeft(const std::string& text, int width, char ch = ' ');
// Zeros go after a minus sign; the sign counts towards the width.
std::string PadZero(int64_t number, int width);
std::string IntText(int64_t number);
std::string BoolText(bool value);
std::string BoolDigit(bool value);
// Decimal integer (optional sign, surrounding blanks allowed); def when not a number or out of range.
int64_t StrToInt64Def(const std::string& text, int64_t def);
// Unsigned digits of base 2..16; def for a foreign digit, a digit the base lacks, or overflow.
int64_t HexToInt(const std::string& text, int64_t def);
int64_t BaseToInt(const std::string& text, int base, int64_t def);
// value / unit: rounded up when decimals < 1, else with 2, 3 or 4 (otherwise 1) decimals.
std::string SizeText(int64_t value, int64_t unit, int decimals, bool thousands);
std::string RandomText(int64_t low, int64_t high);

// Dates: day counts since 1899-12-30 with the day's fraction; -1 means now.
struct DateParts {
    int year, month, day, hour, minute, second, millisecond;
};
double NowDateTime();
DateParts DecodeDateTime(double value);
double EncodeDateTime(const DateParts& parts);
std::string DateText(double value);
std::string DateTimeText(double value, const std::string& separator);
std::string TimeStampText(double value, bool longYear);

// Versions.
std::string NormalizeVersion(const std::string& text, int width, int parts);

// The running program and its folders.
std::string GetExePath(bool baseNameOnly = false);
std::string FileBaseName(const std::string& path, bool allExtensions = false);
std::string ExtractFileName(const std::string& path);    // text after the last '\', '/' or ':'
std::string ExtractFilePath(const std::string& path);    // folder part with its trailing separator
// Removes one trailing backslash (paths over 2 characters), then appends one when asked; an
// empty path stays empty.
std::string NormalizeDir(const std::string& path, bool addBackslash);
std::string StripTrailingBackslash(const std::string& path);
std::string GetExeDir(bool addBackslash);
// A backslash after a double-byte lead byte is that character's trail byte and is never cut.
// No character is a lead byte until the Win32 layer installs the system's test.
using LeadByteTest = bool (*)(char);
LeadByteTest SetLeadByteTest(LeadByteTest test);
bool IsLeadByte(char c);

// Waiting: dispatches window messages through the Host seam.
void YieldX(uint32_t milliseconds);
// Pumps at least once; step 0 is duration / 10 within 1..25. Returns the low 32 bits of the
// final millisecond reading.
uint32_t Wait(int64_t duration, uint32_t step = 0);
double MillisecondsNow();

bool IsDeveloperMode();

}  // namespace zv
