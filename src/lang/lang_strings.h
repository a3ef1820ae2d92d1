// User-visible texts looked up by key in a package's language block, with the default of every
// key in one table so that a package without texts still speaks English.
//
// A language block is a self-delimited list (separator 0x02) of sections; a section is a
// self-delimited list (separator 0x01) whose item 0 is the language name and whose further items
// are key=value entries. These functions take the block's text; the package reader forwards it.
#pragma once
#include <string>

namespace zv {

constexpr char kLangBlockSeparator = '\x02';
constexpr char kLangSectionSeparator = '\x01';

// One key of the language block with the text used when the package does not carry it.
struct LangText {
    const char* key;
    const char* defaultText;
};

// Placeholders in these texts ("<DRIVE>", "<SPACE_REQ>", "<SPACE_AVAIL>", "<DISK_NUM>",
// "<SIZE>") are filled by the caller before the text is shown.
namespace lang {
inline constexpr LangText kWindowTitle{"s0", "Zolvex Installation Suite"};
inline constexpr LangText kExtracting{"s1", "Extracting Files..."};
inline constexpr LangText kTempDrive{"s2", "Zolvex will extract files to your Temp Drive (<DRIVE>)<P>"};
inline constexpr LangText kTempDriveLow{"s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>"};
inline constexpr LangText kSpaceRequired{
    "s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>"};
inline constexpr LangText kSpaceAvailable{
    "s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>"};
inline constexpr LangText kContinueSetup{"s6", "<P>Continue with Setup?<P>"};
inline constexpr LangText kBadCrc{
    "s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."};
inline constexpr LangText kInsertDisk{
    "s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue"};
inline constexpr LangText kDownloading{"s10", "Downloading File..."};
inline constexpr LangText kDownloadConfirm{
    "s11",
    "<b>INTERNET DOWNLOAD</b><p><p>Zolvex will download the Setup File from the Internet...<p>"
    "Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p>"
    "<P>Size: <SIZE> MB<P>"};
inline constexpr LangText kNoConnection{"s12",
                                        "No valid Internet Connection.<p>Can not Download File!"};
inline constexpr LangText kButtonCaptions{"BtnText",
                                          "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"};
inline constexpr LangText kConfirmTitle{"Confirm", "Confirm"};
inline constexpr LangText kAttentionTitle{"Attention", "Attention"};
inline constexpr LangText kErrorTitle{"Error", "Error"};
inline constexpr LangText kCharset{"Charset", "0"};
inline constexpr LangText kFontSize{"FontSize", "8"};
inline constexpr LangText kFontName{"FontName", "Tahoma"};

// Every key above, in the order of the language block a packager writes.
inline constexpr LangText kAll[] = {
    kCharset,       kFontSize,       kFontName,      kWindowTitle,    kExtracting,
    kTempDrive,     kTempDriveLow,   kSpaceRequired, kSpaceAvailable, kContinueSetup,
    kBadCrc,        kInsertDisk,     kDownloading,   kDownloadConfirm, kNoConnection,
    kButtonCaptions, kAttentionTitle, kConfirmTitle, kErrorTitle};
}  // namespace lang

// The section named like language (blanks trimmed, case ignored); a block with exactly one
// section gives that section whatever its name; otherwise "*" (no section applies).
std::string FindLangSection(const std::string& block, const std::string& language);

// The section for a user whose language is named userLanguage: that language's section, else the
// English one, else "*".
std::string ChooseLangSection(const std::string& block, const std::string& userLanguage);

// The section chosen for this process. Chosen on the first call from the block given then and the
// thread's language (GetCurrentLanguageName), and kept for every later call whatever block
// those pass. "*" when no section applies.
const std::string& CurrentLangSection(const std::string& block);

// Forgets the chosen section (tests only).
void ResetLangSectionForTesting();

// Value of key in one section (case-insensitive key; an entry present with an empty value gives
// ""); def when the key is absent or the section is "*" or empty.
std::string GetSectionString(const std::string& section, const std::string& key,
                             const std::string& def);

// Lookups through the process's chosen section.
std::string GetLangString(const std::string& block, const std::string& key,
                          const std::string& def);
inline std::string GetLangString(const std::string& block, const LangText& text) {
    return GetLangString(block, text.key, text.defaultText);
}
// "Charset" as an integer; 0 when it is not one.
int GetLangCharset(const std::string& block);
// "FontSize" in points; 8 when it is not an integer.
int GetLangFontSize(const std::string& block);
// "FontName"; "Tahoma" when absent, "" when present and empty.
std::string GetLangFontName(const std::string& block);

}  // namespace zv
