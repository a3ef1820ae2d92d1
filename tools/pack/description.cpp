#include "description.h"

#include <climits>
#include <cstdio>
#include <map>
#include <set>

#include "ini_file.h"
#include "package/block_walk.h"
#include "package/package_layout.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"

namespace zv::pack {
namespace {

constexpr uint64_t kMaxTextFile = 16ull << 20;

class Reader {
public:
    Reader(const IniDocument& doc, PackageDescription& d) : doc_(doc), d_(d) {}

    [[noreturn]] void Fail(const IniEntry& e, const std::string& why) const {
        throw PackError(doc_.sourceName + ":" + std::to_string(e.lineNumber) + ": " + why);
    }
    [[noreturn]] void FailSection(const IniSection& s, const std::string& why) const {
        throw PackError(doc_.sourceName + ":" + std::to_string(s.lineNumber) + ": " + why);
    }

    bool Flag(const IniEntry& e) const {
        if (e.value == "1") return true;
        if (e.value == "0") return false;
        Fail(e, e.key + " must be 0 or 1, not \"" + e.value + "\"");
    }

    // A value that goes into a '|' list of a head block.
    std::string ListValue(const IniEntry& e, bool required = false) const {
        if (e.value.find_first_of(std::string("|\0\x01\x02", 4)) != std::string::npos)
            Fail(e, e.key + " must not contain '|' or control bytes 0, 1, 2");
        if (required && e.value.empty()) Fail(e, e.key + " must not be empty");
        return e.value;
    }

    std::string PlainName(const IniEntry& e) const {
        std::string problem = PlainFileNameProblem(e.value);
        if (!problem.empty()) Fail(e, e.key + " \"" + e.value + "\" is not a plain file name: " + problem);
        return e.value;
    }

    std::string Token(const IniEntry& e) const {
        if (e.value.empty()) Fail(e, "Token must not be empty");
        return e.value;
    }

    // Calls `handle(key, entry)` for each entry; rejects unknown and repeated keys.
    template <class Handler>
    void Keys(const IniSection& s, std::initializer_list<const char*> known, Handler handle) const {
        std::set<std::string> seen;
        for (const auto& e : s.entries) {
            std::string key;
            for (const char* k : known)
                if (EqualsIgnoreCase(e.key, k)) key = k;
            if (key.empty()) Fail(e, "unknown key \"" + e.key + "\" in [" + s.name + "]");
            if (!seen.insert(key).second) Fail(e, key + " is given twice");
            handle(key, e);
        }
    }

    void Package(const IniSection& s);
    void Update(const IniSection& s);
    void Download(const IniSection& s);
    void Languages(const IniSection& s);
    void Files(const IniSection& s);

private:
    void AddFile(const IniEntry& e, PackFile f, std::map<std::string, int>& names);
    void AddFolder(const IniEntry& e, const std::string& folder, const std::string& pattern,
                   std::map<std::string, int>& names);

    const IniDocument& doc_;
    PackageDescription& d_;
};

void Reader::Package(const IniSection& s) {
    Keys(s, {"Stub", "Output", "Compression", "Level", "VolumeSize", "BlockSize", "ShowTempNotice",
             "ShowActivityBar", "RunLog", "WebStub", "ConfirmDownload", "SaveAgentCopy", "Agent",
             "SilentSetup"},
         [&](const std::string& key, const IniEntry& e) {
             if (key == "Stub" || key == "Output") {
                 if (e.value.empty()) Fail(e, key + " must not be empty");
                 (key == "Stub" ? d_.stub : d_.output) = JoinPath(d_.folder, e.value);
             } else if (key == "Compression") {
                 if (EqualsIgnoreCase(e.value, "zlib")) d_.compress = true;
                 else if (EqualsIgnoreCase(e.value, "store")) d_.compress = false;
                 else Fail(e, "Compression must be zlib or store, not \"" + e.value + "\"");
             } else if (key == "Level") {
                 if (e.value.size() != 1 || e.value[0] < '0' || e.value[0] > '9')
                     Fail(e, "Level must be a digit 0..9");
                 d_.level = e.value[0] - '0';
             } else if (key == "VolumeSize" || key == "BlockSize") {
                 uint64_t v = 0;
                 if (!ParseByteSize(e.value, v))
                     Fail(e, key + " must be a byte count (K, M or G may follow), not \"" + e.value + "\"");
                 (key == "VolumeSize" ? d_.volumeSize : d_.blockSize) = v;
             } else {
                 bool v = Flag(e);
                 if (key == "ShowTempNotice") d_.showTempNotice = v;
                 else if (key == "ShowActivityBar") d_.showActivityBar = v;
                 else if (key == "RunLog") d_.runLog = v;
                 else if (key == "WebStub") d_.webStub = v;
                 else if (key == "ConfirmDownload") d_.confirmDownload = v;
                 else if (key == "SaveAgentCopy") d_.saveAgentCopy = v;
                 else if (key == "Agent") d_.agent = v;
                 else d_.silentSetup = v;
             }
         });
}

void Reader::Update(const IniSection& s) {
    Keys(s, {"UpdateUrl", "InfoFileName", "AgentFileName", "Token"},
         [&](const std::string& key, const IniEntry& e) {
             if (key == "UpdateUrl") d_.updateUrl = ListValue(e);
             else if (key == "InfoFileName") d_.infoFileName = ListValue(e);
             // The agent's name becomes a file in the setup folder and beside the program.
             else if (key == "AgentFileName") d_.agentFileName = PlainName(e);
             else d_.updateToken = Token(e);
         });
}

void Reader::Download(const IniSection& s) {
    d_.hasDownload = true;
    bool haveSize = false;
    const IniEntry* tokenEntry = nullptr;
    Keys(s, {"Url", "FileName", "AlwaysDownload", "Token", "SetupFile", "Size"},
         [&](const std::string& key, const IniEntry& e) {
             if (key == "Url") d_.downloadUrl = ListValue(e, true);
             else if (key == "FileName") d_.downloadFileName = PlainName(e);
             else if (key == "AlwaysDownload") d_.alwaysDownload = Flag(e);
             else if (key == "Token") {
                 d_.downloadToken = Token(e);
                 tokenEntry = &e;
             }
             else if (key == "SetupFile") d_.setupFile = JoinPath(d_.folder, e.value);
             else {
                 if (!ParseByteSize(e.value, d_.downloadSize)) Fail(e, "Size must be a byte count");
                 haveSize = true;
             }
         });
    if (d_.downloadUrl.empty()) FailSection(s, "[Download] needs Url");
    if (d_.downloadFileName.empty()) FailSection(s, "[Download] needs FileName");
    if (haveSize == !d_.setupFile.empty())
        FailSection(s, "[Download] needs exactly one of SetupFile and Size");
    if (d_.setupFile.empty()) {
        if (!tokenEntry) FailSection(s, "[Download] needs Token when no SetupFile is given");
        return;
    }
    PathInfo info = StatPath(d_.setupFile);
    if (!info.isRegularFile) FailSection(s, "setup file not found: " + d_.setupFile);
    d_.downloadSize = info.size;
    // The web stub accepts the downloaded file only when both carry the same download token.
    TGFileInfo setup(d_.setupFile);
    std::string carried;
    if (setup.Trailer().HasSignature() && !setup.DownloadText().empty()) {
        carried = setup.DownloadToken(true);
        // A damaged token unscrambles to a fresh random number each time.
        if (carried != setup.DownloadToken(true))
            FailSection(s, "the download token of " + d_.setupFile + " is damaged");
    }
    if (carried.empty() && !tokenEntry)
        FailSection(s, d_.setupFile + " carries no download token; give Token here and in its own "
                       "[Download] section");
    if (tokenEntry && !carried.empty() && carried != d_.downloadToken)
        Fail(*tokenEntry, "Token differs from the download token of " + d_.setupFile +
                              ": the web stub would refuse it");
    if (!tokenEntry) d_.downloadToken = carried;
}

void Reader::Languages(const IniSection& s) {
    std::set<std::string> seen;
    for (const auto& e : s.entries) {
        if (e.key.find_first_of(std::string("\0\x01\x02", 3)) != std::string::npos)
            Fail(e, "a language name must not contain the bytes 0, 1 or 2");
        if (!seen.insert(LowerAscii(e.key)).second) Fail(e, "language " + e.key + " is given twice");
        if (e.value.empty()) Fail(e, "language " + e.key + " names no file");
        std::string file = JoinPath(d_.folder, e.value);
        std::string text;
        try {
            text = ReadTextFile(file, "language file");
        } catch (const PackError& x) {
            Fail(e, x.what());
        }
        d_.languages.push_back(ParseLanguageFile(e.key, text, file));
        d_.languages.back().source = file;
    }
}

void Reader::AddFile(const IniEntry& e, PackFile f, std::map<std::string, int>& names) {
    std::string problem = PlainFileNameProblem(f.name);
    if (!problem.empty()) Fail(e, "\"" + f.name + "\" is not a plain file name: " + problem);
    auto [it, fresh] = names.emplace(LowerAscii(f.name), e.lineNumber);
    if (!fresh)
        Fail(e, "\"" + f.name + "\" is already in the package (line " + std::to_string(it->second) +
                    "); Windows file names ignore letter case");
    PathInfo info = StatPath(f.source);
    if (!info.isRegularFile) Fail(e, "not a regular file: " + f.source);
    f.size = info.size;
    f.modified = info.modified;
    d_.files.push_back(std::move(f));
}

void Reader::AddFolder(const IniEntry& e, const std::string& folder, const std::string& pattern,
                       std::map<std::string, int>& names) {
    bool ok = false;
    std::vector<std::string> entries = ListFolder(folder.empty() ? "." : folder, ok);
    if (!ok) Fail(e, "cannot read folder " + folder);
#ifdef _WIN32
    const bool ignoreCase = true;
#else
    const bool ignoreCase = false;
#endif
    int added = 0;
    for (const auto& name : entries) {
        if (!pattern.empty() && !WildcardMatch(pattern, name, ignoreCase)) continue;
        std::string source = JoinPath(folder, name);
        PathInfo info = StatPath(source);
        if (info.isDirectory) {
            d_.warnings.push_back(doc_.sourceName + ":" + std::to_string(e.lineNumber) +
                                  ": subfolder skipped (packages hold no folders): " + source);
            continue;
        }
        PackFile f;
        f.name = name;
        f.source = source;
        AddFile(e, std::move(f), names);
        ++added;
    }
    if (added == 0) Fail(e, "\"" + e.value + "\" adds no files");
}

void Reader::Files(const IniSection& s) {
    std::map<std::string, int> names;
    for (const auto& e : s.entries) {
        // Engine arguments may hold '=' themselves ("Engine.exe* /x=a=path"), so a main-program
        // line is split at its last '='.
        size_t eq = e.line.find('=');
        bool main = e.line.substr(0, eq).find('*') != std::string::npos;
        if (main) eq = e.line.rfind('=');
        std::string entry = TrimBlanks(e.line.substr(0, eq));
        std::string path = Unquoted(TrimBlanks(e.line.substr(eq + 1)));
        if (path.empty()) Fail(e, "no path after '='");
        PackFile f;
        if (main) {
            size_t star = entry.find('*');
            f.mainProgram = true;
            f.name = TrimBlanks(entry.substr(0, star));
            f.engineArgs = TrimBlanks(entry.substr(star + 1));
            if (f.engineArgs.find_first_of(std::string("|\0", 2)) != std::string::npos)
                Fail(e, "engine arguments must not contain '|'");
            for (unsigned char c : f.engineArgs)
                if (c < 32) Fail(e, "engine arguments must not contain control characters");
            if (MakeItemHeader(f.name + "* " + f.engineArgs, UINT32_MAX).size() > kMaxItemHeader)
                Fail(e, "engine arguments are too long: the stub reads at most " +
                            std::to_string(kMaxItemHeader) + " bytes of an item header");
        } else {
            f.name = entry;
        }
        std::string full = JoinPath(d_.folder, path);
        std::string leaf = BaseName(full);
        bool wildcard = HasWildcard(leaf);
        if (HasWildcard(ParentFolder(full))) Fail(e, "wildcards are allowed in the last path part only");
        PathInfo info = StatPath(full);
        if (wildcard || info.isDirectory) {
            if (main) Fail(e, "the main program must be one file, not a folder or a wildcard");
            AddFolder(e, wildcard ? ParentFolder(full) : full, wildcard ? leaf : "", names);
            continue;
        }
        if (!info.exists) Fail(e, "file not found: " + full);
        f.source = full;
        AddFile(e, std::move(f), names);
    }
    int mains = 0;
    for (const auto& f : d_.files) mains += f.mainProgram ? 1 : 0;
    if (mains > 1) FailSection(s, "more than one main program (name ending in \"*\") in [Files]");
}

}  // namespace

std::string PackFile::ItemName() const {
    if (!mainProgram) return name;
    return engineArgs.empty() ? name + "*" : name + "* " + engineArgs;
}

std::string ReadTextFile(const std::string& path, const std::string& what) {
    PathInfo info = StatPath(path);
    if (!info.isRegularFile) throw PackError(what + " not found: " + path);
    if (info.size > kMaxTextFile) throw PackError(what + " is too large: " + path);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw PackError("cannot open " + what + ": " + path);
    std::string text(size_t(info.size), '\0');
    size_t got = std::fread(&text[0], 1, text.size(), f);
    std::fclose(f);
    if (got != text.size()) throw PackError("cannot read " + what + ": " + path);
    return text;
}

PackLanguage ParseLanguageFile(const std::string& name, const std::string& text,
                               const std::string& sourceName) {
    PackLanguage lang;
    lang.name = name;
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string where = sourceName + ":" + std::to_string(i + 1) + ": ";
        std::string line = TrimBlanks(lines[i]);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.find_first_of(std::string("\0\x01\x02", 3)) != std::string::npos)
            throw PackError(where + "language texts must not contain the bytes 0, 1 or 2");
        size_t eq = line.find('=');
        if (eq == std::string::npos) throw PackError(where + "expected key=value");
        std::string key = TrimBlanks(line.substr(0, eq));
        if (key.empty()) throw PackError(where + "empty key");
        lang.entries.emplace_back(key, TrimBlanks(line.substr(eq + 1)));
    }
    return lang;
}

PackageDescription ParseDescription(const std::string& text, const std::string& iniPath) {
    PackageDescription d;
    d.path = iniPath;
    d.folder = ParentFolder(iniPath);
    d.text = text;
    IniDocument doc = ParseIni(text, iniPath);
    Reader r(doc, d);
    static const char* const kSections[] = {"Package", "Update", "Download", "Languages", "Files"};
    for (const auto& s : doc.sections) {
        bool known = false;
        for (const char* k : kSections) known = known || EqualsIgnoreCase(s.name, k);
        if (!known) r.FailSection(s, "unknown section [" + s.name + "]");
    }
    if (auto* s = doc.Find("Package")) r.Package(*s);
    if (auto* s = doc.Find("Update")) r.Update(*s);
    if (auto* s = doc.Find("Download")) r.Download(*s);
    if (auto* s = doc.Find("Languages")) r.Languages(*s);
    if (auto* s = doc.Find("Files")) r.Files(*s);

    if (d.stub.empty()) d.stub = JoinPath(ParentFolder(ExecutablePath()), "stub.exe");
    if (d.output.empty()) {
        std::string base = iniPath;
        size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > base.find_last_of("/\\") + 1) base.erase(dot);
        d.output = base + ".exe";
    }
    if (d.webStub && !d.hasDownload) throw PackError(iniPath + ": WebStub=1 needs a [Download] section");
    if (d.webStub && d.volumeSize > 0) throw PackError(iniPath + ": a web stub cannot be spanned");
    if (d.webStub && !d.files.empty())
        d.warnings.push_back(iniPath + ": a web stub does not extract its own [Files]");
    if (!d.webStub && !d.files.empty()) {
        bool main = false;
        for (const auto& f : d.files) main = main || f.mainProgram;
        if (!main)
            d.warnings.push_back(iniPath + ": no main program (a [Files] name ending in \"*\"): "
                                           "the stub will extract the files and start nothing");
    }
    if (d.saveAgentCopy && d.volumeSize > 0)
        d.warnings.push_back(iniPath + ": SaveAgentCopy in a spanned package copies the first "
                                       "volume, which holds no stub program");
    // The agent that SaveAgentCopy writes keeps the package's flags, so it logs as well.
    if (d.runLog && !d.agent && !d.saveAgentCopy)
        d.warnings.push_back(iniPath + ": RunLog takes effect only in an agent (Agent=1 or "
                                       "SaveAgentCopy=1)");
    return d;
}

PackageDescription LoadDescription(const std::string& iniPath) {
    return ParseDescription(ReadTextFile(iniPath, "description"), iniPath);
}

}  // namespace zv::pack
