#include "rundir/run_time_dir.h"

#include <cmath>

#include "rundir/shell_dir.h"
#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/text.h"

namespace zv {
namespace {

std::string g_installDir, g_commonDir, g_auxDir;

constexpr double kFirstOf2000 = 36526.0;   // day count of 2000-01-01

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool Has(const std::string& text, const std::string& macro) { return PosText(macro, text) > 0; }

// Where a macro's value comes from: a shell or system folder, a function, a text. It is asked
// for only when the macro occurs: some shell folders are created by the system when asked for.
class Value {
public:
    Value(std::string (*folder)(bool)) : folder_(folder) {}
    Value(std::string (*call)()) : call_(call) {}
    Value(const char* literal) : literal_(literal) {}
    explicit Value(const std::string* text) : text_(text) {}  // read when asked for
    std::string operator()() const {
        if (folder_) return folder_(false);
        if (call_) return call_();
        if (text_) return *text_;
        return literal_ ? literal_ : "";
    }

private:
    std::string (*folder_)(bool) = nullptr;
    std::string (*call_)() = nullptr;
    const char* literal_ = nullptr;
    const std::string* text_ = nullptr;
};

void Plain(std::string& text, const std::string& macro, const Value& value) {
    if (Has(text, macro)) text = ReplaceAllText(text, macro, value());
}

void Suffix(std::string& text, const std::string& macro, const Value& value,
            const std::string& suffix) {
    if (Has(text, macro)) text = ReplaceDirMacro(text, macro, value(), suffix);
}

Value Folder(std::string (*folder)(bool)) { return Value(folder); }
Value Text(const std::string& text) { return Value(&text); }
Value Text(const char* literal) { return Value(literal); }

std::string TempDir() { return NormalizeDir(Host().tempPath(), false); }

std::string ExpandDateMacro(const std::string& text) {
    const int at = PosText("<Date=", text);
    if (at == 0) return text;
    const size_t codeAt = size_t(at - 1) + 6;
    if (codeAt >= text.size() || text.find('>', codeAt) == std::string::npos) return text;
    const char code = text[codeAt];
    if (code != '#' && (code < '0' || code > '7')) return text;
    std::string out = text;
    out.replace(size_t(at - 1), 8, DateMacroText(code, DecodeDateTime(NowDateTime())));
    return out;
}

void ExpandValueMacros(std::string& text) {
    const Platform& host = Host();
    Plain(text, "<LoggedUserName>", host.loggedUserName);
    Plain(text, "<UserName>", host.userName);
    Plain(text, "<CompanyName>", host.companyName);
    Plain(text, "<ComputerName>", host.computerName);
    Plain(text, "<CurrentDomainName>", host.domainName);
    Plain(text, "<LastExecutableExitCode>", Text("0"));
    Plain(text, "<ReqFreeDiskSpaceMB>", Text("0"));
    // These exist only while the setup engine runs.
    for (const char* macro : {"<EnteredUserName>", "<EnteredCompanyName>",
                              "<EnteredStartProgramMenu>", "<VendorCompanyName>", "<ProjectName>",
                              "<ProgramDescriptiveName>", "<ProgramVersion>", "<SelectedLanguage>"})
        Plain(text, macro, Text(""));
}

void ExpandFolderMacros(std::string& text, const std::string& suffix) {
    const std::string checkpoint = text;
    Plain(text, "<UnInstallExePath>", Text(""));
    if (Has(text, "<RunTimeDir_"))
        for (int i = 1; i <= 8; ++i)
            Suffix(text, "<RunTimeDir_" + IntText(i) + ">", Text(""), suffix);
    Suffix(text, "<Application Folder>", Text(g_installDir), suffix);
    Suffix(text, "<Common Folder>", Text(g_commonDir), suffix);
    Suffix(text, "<Auxiliary Folder>", Text(g_auxDir), suffix);
    Suffix(text, "<Windows Directory>", Folder(&WinDir), suffix);
    Suffix(text, "<System Directory>", Folder(&WinSysDir), suffix);
    Suffix(text, "<System16 Directory>", Folder(&WinSys16Dir), suffix);
    // The long names already placed the install folders; the short ones would place them twice.
    if (text != checkpoint)
        for (const char* macro : {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"})
            Plain(text, macro, Text(""));
    Plain(text, "<AbsoluteDir>", Text(""));
    Suffix(text, "<InstallDir>", Text(g_installDir), suffix);
    Suffix(text, "<InstallCommonDir>", Text(g_commonDir), suffix);
    Suffix(text, "<InstallAuxDir>", Text(g_auxDir), suffix);
    Plain(text, "<AbsoluteDir>", Text(""));
    Suffix(text, "<WinDir>", Folder(&WinDir), suffix);
    Suffix(text, "<WinSysDir>", Folder(&WinSysDir), suffix);
    Suffix(text, "<WinSys32Dir>", Folder(&WinSysDir), suffix);
    Suffix(text, "<WinSys16Dir>", Folder(&WinSys16Dir), suffix);
    const struct {
        const char* drive;
        const char* disk;
        Value folder;
    } drives[] = {
        {"<InstallDrive>", "<InstallDisk>", Text(g_installDir)},
        {"<WinDrive>", "<WinDisk>", Folder(&WinDir)},
        {"<WinSysDrive>", "<WinSysDisk>", Folder(&WinSysDir)},
        {"<OriginDrive>", "<OriginDisk>", Value(&OriginDir)},
    };
    for (const auto& d : drives)
        if (Has(text, d.drive)) text = ReplaceAllText(text, d.drive, d.folder().substr(0, 3));
    for (const auto& d : drives)
        if (Has(text, d.disk)) text = ReplaceAllText(text, d.disk, d.folder().substr(0, 2));
    const struct {
        const char* macro;
        Value folder;
    } rows[] = {
        {"<StartMenuDir>", Folder(&StartMenuDir)},
        {"<ProgramFilesDir>", Folder(&ProgramFilesDir)},
        {"<CommonFilesDir>", Folder(&CommonFilesDir)},
        {"<FontDir>", Folder(&FontDir)},
        {"<SrcDir>", Folder(&GetExeDir)},
        {"<OriginDir>", Value(&OriginDir)},
        {"<TempDir>", Value(&TempDir)},
        {"<ServiceDir>", Folder(&GetExeDir)},
        {"<UserDir>", Folder(&UserDir)},
        {"<UserAppDataDir>", Folder(&UserAppDataDir)},
        {"<UserLocalAppDataDir>", Folder(&UserLocalAppDataDir)},
        {"<MyDocumentsDir>", Folder(&MyDocumentsDir)},
        {"<UserStartMenuDir>", Folder(&UserStartMenuDir)},
        {"<UserStartProgramMenuDir>", Folder(&UserStartProgramMenuDir)},
        {"<UserDesktopDir>", Folder(&UserDesktopDir)},
        {"<DocumentsAndSettingsDir>", Folder(&DocumentsAndSettingsDir)},
        {"<AllUsersDir>", Folder(&AllUsersDir)},
        {"<AllUsersAppDataDir>", Folder(&AllUsersAppDataDir)},
        {"<AllUsersDocumentsDir>", Folder(&AllUsersDocumentsDir)},
        {"<AllUsersStartMenuDir>", Folder(&AllUsersStartMenuDir)},
        {"<AllUsersStartProgramMenuDir>", Folder(&AllUsersStartProgramMenuDir)},
        {"<AllUsersDesktopDir>", Folder(&AllUsersDesktopDir)},
    };
    for (const auto& row : rows) Suffix(text, row.macro, row.folder, suffix);
    if (text != checkpoint) text = CollapseBackslashes(text);
}

bool HasDots(const std::string& text) {
    return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

std::string ResolveDots(const std::string& text) {
    if (!HasDots(text)) return text;
    if ((text[0] == ',' || text[0] == '|') && SUB::Count(text) > 0) {
        // Split once and joined once: a list of thousands of items (from a hostile file) must not
        // be split and rebuilt again for each of them.
        std::vector<std::string> items = SUB::Items(text);
        bool changed = false;
        for (std::string& item : items) {
            if (!HasDots(item)) continue;
            item = Host().fullPath(item);
            changed = true;
        }
        return changed ? SUB::JoinItems(items, text[0]) : text;
    }
    return Host().fullPath(text);
}

}  // namespace

void SetInstallDirs(const std::string& installDir, const std::string& commonDir,
                    const std::string& auxDir) {
    g_installDir = installDir;
    g_commonDir = commonDir;
    g_auxDir = auxDir;
}

std::string ReplaceDirMacro(const std::string& text, const std::string& macro,
                            const std::string& folder, const std::string& suffix) {
    const int at = PosText(macro, text);
    if (at == 0) return text;
    const size_t after = size_t(at - 1) + macro.size();
    const char first = text.front();
    const bool endsText = after >= text.size();
    const bool dropSuffix =
        endsText || text[after] == ' ' ||
        (text[after] == first && text.back() == first && first != '<' && !IsAsciiLetter(first));
    return ReplaceAllText(text, macro, dropSuffix ? folder : folder + suffix);
}

std::string ExpandMacros(const std::string& text, const std::string& folderSuffix,
                         bool resolveDots, bool withFolders) {
    std::string result = text;
    if (text.find('<') != std::string::npos) {
        result = ExpandDateMacro(result);
        ExpandValueMacros(result);
        if (withFolders) ExpandFolderMacros(result, folderSuffix);
    }
    return resolveDots ? ResolveDots(result) : result;
}

std::string CollapseBackslashes(const std::string& path) {
    if (path.size() <= 2) return path;
    std::string s = path;
    const char first = s.front();
    // Pairs start at 0-based index 1 up to length - 3: the first character and the last pair
    // are never touched, so a UNC path keeps its two leading backslashes.
    for (size_t j = s.size() - 3 + 1; j-- > 1;) {
        if (s[j] != '\\' || s[j + 1] != '\\') continue;
        const char before = s[j - 1];
        if (IsLeadByte(before)) continue;
        if (s.front() == s.back() && before == first) continue;
        s.erase(j, 1);
    }
    return s;
}

std::string DateMacroText(char code, const DateParts& now) {
    const std::string d(1, Host().dateSeparator());
    const std::string t(1, Host().timeSeparator());
    const std::string dd = PadZero(now.day, 2), mm = PadZero(now.month, 2);
    const std::string yy = PadZero(now.year % 100, 2), yyyy = PadZero(now.year, 4);
    switch (code) {
        case '#': return dd + d + Host().longMonthName(now.month) + d + yyyy;
        case '0': {
            const double days = std::fabs(EncodeDateTime(now) - kFirstOf2000);
            return IntText(int64_t(std::floor(days)));
        }
        case '1': return dd + "-" + mm + "-" + yy;
        case '2': return mm + "-" + dd + "-" + yy;
        case '3': return yy + "-" + mm + "-" + dd;
        case '4': return dd + "-" + mm + "-" + yyyy;
        case '5': return mm + "-" + dd + "-" + yyyy;
        case '6': return yyyy + "-" + mm + "-" + dd;
        case '7':
            return yyyy + "-" + mm + "-" + dd + " " + PadZero(now.hour, 2) + t +
                   PadZero(now.minute, 2) + t + PadZero(now.second, 2);
        default: return "";
    }
}

}  // namespace zv
