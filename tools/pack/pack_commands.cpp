#include "pack_commands.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "pack_clock.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "package/gfile_info.h"
#include "package_reader.h"
#include "package_writer.h"
#include "progress_bar.h"
#include "utils/sub.h"

namespace zv::pack {
namespace {

std::string DateText(int64_t date) {
    CivilTime t;
    if (date == 0) return "- -";
    if (date < 0 || date > int64_t(UINT32_MAX) || !CivilFromDosDateTime(uint32_t(date), t))
        return "invalid(" + std::to_string(date) + ") -";
    return FormatCivil(t);
}

// A token whose check fails unscrambles to a fresh random number on every call.
template <class Get>
std::string TokenText(Get get) {
    std::string a = get(), b = get();
    return a == b ? a : "(damaged token)";
}

bool Open(const std::string& path, PackageView& view, std::ostream& err) {
    view = ScanPackage(path);
    if (view.readable) return true;
    for (const auto& e : view.errors) err << "error: " << Printable(e) << "\n";
    return false;
}

int ReportErrors(const std::vector<std::string>& errors, std::ostream& err) {
    for (const auto& e : errors) err << "error: " << Printable(e) << "\n";
    return errors.empty() ? 0 : 1;
}

std::vector<std::string> LanguageProblems(const std::string& text) {
    std::vector<std::string> problems;
    if (text.empty()) return problems;
    if (text.size() < 2 || text.front() != '\x02' || text.back() != '\x02') {
        problems.push_back("language block does not start and end with byte 2");
        return problems;
    }
    for (const auto& lang : SUB::Items(text)) {
        if (lang.size() < 2 || lang.front() != '\x01' || lang.back() != '\x01') {
            problems.push_back("a language does not start and end with byte 1");
            continue;
        }
        std::vector<std::string> items = SUB::Items(lang);
        if (items.empty() || items[0].empty()) problems.push_back("a language has no name");
        for (size_t i = 1; i < items.size(); ++i)
            if (items[i].find('=') == std::string::npos)
                problems.push_back("language " + items[0] + ": entry \"" + items[i] + "\" is not key=value");
    }
    return problems;
}

void CheckList(const std::string& what, const std::string& text, int items, std::vector<std::string>& errors) {
    if (text.size() < 2 || text.front() != '|' || text.back() != '|' || SUB::Count(text) != items)
        errors.push_back(what + " block is not a '|' list of " + std::to_string(items) + " items");
}

void PrintVolumes(const PackageView& view, std::ostream& out) {
    for (const auto& v : view.volumes) {
        out << "Volume " << v.number << ": " << v.path << " (" << v.fileSize << " bytes"
            << (v.peImage ? ", PE image" : "") << ", " << v.blockCount << " blocks";
        if (v.trailer.Has(PackageFlag::MoreVolumes)) out << ", more volumes follow";
        out << ")\n";
        if (v.peImage) {
            out << "  ImageEnd: " << v.imageEnd << "\n";
            if (v.fileSize > v.packageEnd)
                out << "  After the package: " << v.fileSize - v.packageEnd
                    << " bytes (padding and signature)\n";
        }
        out << "  PackageChecksum: " << v.trailer.PackageChecksum << " (computed " << v.computedChecksum
            << (v.checksumPasses ? ", passes" : ", FAILS") << ")\n";
    }
}

}  // namespace

int InfoCommand(const std::string& path, std::ostream& out, std::ostream& err) {
    PackageView view;
    if (!Open(path, view, err)) return 1;
    const PackageTrailer& t = view.Trailer();
    PrintVolumes(view, out);
    out << "HeadBlockCount: " << int(t.HeadBlockCount) << "\n"
        << "PackageStart: " << t.PackageStart << "\n"
        << "FileCount: " << t.FileCount << "\n"
        << "PackageSignature: 0x4A3B2C1D\n"
        << "PackageChecksum: " << t.PackageChecksum << "\n"
        << "PackageTime: " << t.PackageTime << " ("
        << (PackageTimeInRange(t.PackageTime) ? FormatCivil(CivilFromPackageTime(t.PackageTime)) + " local"
                                              : std::string("out of range"))
        << ")\n"
        << "SpaceRequired:";
    for (uint32_t s : t.SpaceRequired) out << " " << s;
    out << "\n"
        << "ShowTempNotice: " << t.Has(PackageFlag::ShowTempNotice) << "\n"
        << "MoreVolumes: " << t.Has(PackageFlag::MoreVolumes) << "\n"
        << "SpannedPackage: " << t.Has(PackageFlag::SpannedPackage) << "\n"
        << "ShowActivityBar: " << t.Has(PackageFlag::ShowActivityBar) << "\n"
        << "RunLogEnabled: " << t.Has(PackageFlag::RunLogEnabled) << "\n"
        << "IsWebStub: " << int(t.IsWebStub) << "\n"
        << "ConfirmDownload: " << int(t.ConfirmDownload) << "\n"
        << "SaveAgentCopy: " << int(t.SaveAgentCopy) << "\n"
        << "IsAgent: " << int(t.IsAgent) << "\n"
        << "TrailerSize: " << t.TrailerSize << "\n";

    // The head items as the stub's own reader gives them out.
    TGFileInfo info(view.volumes.front().path);
    out << "UpdateUrl: " << Printable(info.UpdateUrl()) << "\n"
        << "InfoFileName: " << Printable(info.InfoFileName()) << "\n"
        << "OriginalFileName: " << Printable(info.OriginalFileName()) << "\n"
        << "AgentFileName: " << Printable(info.AgentFileName()) << "\n"
        << "UpdateToken: " << Printable(TokenText([&] { return info.UpdateToken(true); })) << "\n"
        << "SilentSetup: " << info.SilentSetup() << "\n";
    if (view.headBlockCount > 2) {
        out << "DownloadUrl: " << Printable(info.DownloadUrl()) << "\n"
            << "DownloadFileName: " << Printable(info.DownloadFileName()) << "\n"
            << "AlwaysDownload: " << info.AlwaysDownload() << "\n"
            << "DownloadToken: " << Printable(TokenText([&] { return info.DownloadToken(true); })) << "\n"
            << "DownloadSize: " << Printable(info.DownloadSize()) << "\n";
    }
    std::vector<std::string> languages = SUB::Items(view.languageText);
    out << "Languages: " << languages.size() << "\n";
    for (const auto& lang : languages) {
        std::vector<std::string> items = SUB::Items(lang);
        out << "[" << Printable(items.empty() ? std::string() : items[0]) << "]\n";
        for (size_t i = 1; i < items.size(); ++i) out << "  " << Printable(items[i]) << "\n";
    }
    return ReportErrors(view.errors, err);
}

int ListCommand(const std::string& path, std::ostream& out, std::ostream& err) {
    PackageView view;
    if (!Open(path, view, err)) return 1;
    BlockReader reader(view);
    std::vector<std::string> errors = view.errors;
    uint64_t plain = 0, stored = 0;
    std::set<std::string> names;
    out << "Name\tDate\tSize\tStored\tMethod\tVolume\n";
    for (const auto& b : view.fileBlocks) {
        BlockContent c = reader.Read(b, nullptr);
        const VolumeView& v = view.volumes[b.volume];
        if (!c.ok) errors.push_back(Where(v, b.offset) + ": " + c.error);
        ItemHeader item = ParseItemHeader(c.header);
        names.insert(item.name);
        out << Printable(item.rawName) << "\t" << DateText(item.date) << "\t" << c.dataSize << "\t" << b.StoredSize()
            << "\t" << (b.Compressed() ? "zlib" : "store") << "\t" << v.number << "\n";
        plain += c.dataSize;
        stored += b.StoredSize();
    }
    out << names.size() << " files in " << view.fileBlocks.size() << " blocks, " << plain << " bytes, "
        << stored << " stored\n";
    return ReportErrors(errors, err);
}

int VerifyCommand(const std::string& path, std::ostream& out, std::ostream& err, const ReadOptions& options) {
    PackageView view;
    if (!Open(path, view, err)) return 1;
    std::vector<std::string> errors = view.errors;
    const PackageTrailer& t = view.Trailer();

    for (const auto& p : LanguageProblems(view.languageText)) errors.push_back(p);
    CheckList("header", view.headerText, 5, errors);
    auto checkToken = [&](const std::string& what, const std::string& stored) {
        if (TokenText([&] { return UnscrambleToken(stored); }) == "(damaged token)")
            errors.push_back(what + " is damaged: it does not unscramble");
    };
    checkToken("UpdateToken", SUB::GetItem(view.headerText, 3));
    if (view.headBlockCount > 2) {
        CheckList("download", view.downloadText, 5, errors);
        checkToken("DownloadToken", SUB::GetItem(view.downloadText, 3));
        std::string size = SUB::GetItem(view.downloadText, 4);
        if (size.empty() || size.find_first_not_of("0123456789") != std::string::npos)
            errors.push_back("DownloadSize \"" + size + "\" is not a decimal number");
    } else if (t.IsWebStub) {
        errors.push_back("a web stub without a download block");
    }
    if (t.FileCount != view.fileBlocks.size())
        errors.push_back("FileCount is " + std::to_string(t.FileCount) + " but the package holds " +
                         std::to_string(view.fileBlocks.size()) + " file blocks");

    uint64_t total = 0;
    for (const auto& b : view.fileBlocks) total += b.StoredSize();
    ProgressBar bar(err, options.progress, "verify");
    BlockReader reader(view);
    std::vector<uint64_t> sizes;
    std::map<std::string, size_t> seen;  // lower-case name -> index in sizes
    std::string previous;
    std::set<std::string> mains;
    uint64_t done = 0;
    for (const auto& b : view.fileBlocks) {
        const VolumeView& v = view.volumes[b.volume];
        std::string where = Where(v, b.offset) + ": ";
        BlockContent c = reader.Read(b, nullptr);
        bar.Update(done += b.StoredSize(), total);
        if (!c.ok) {
            errors.push_back(where + c.error);
            continue;
        }
        if (!c.hasNul || c.header.empty()) {
            errors.push_back(where + "file block holds no item header");
            continue;
        }
        ParsedItem p = ParseItem(c.header);
        if (c.header.front() != '|' || c.header.back() != '|' || p.itemCount != 2)
            errors.push_back(where + "item header \"" + c.header + "\" is not a '|' list of 2 items");
        std::string problem = PlainFileNameProblem(p.item.name);
        if (!problem.empty()) errors.push_back(where + "unsafe file name \"" + p.item.name + "\": " + problem);
        CivilTime when;
        std::string date = SUB::GetItem(c.header, 1);
        if (date.empty() || date.find_first_not_of("0123456789") != std::string::npos ||
            (p.item.date != 0 && (p.item.date > int64_t(UINT32_MAX) ||
                                  !CivilFromDosDateTime(uint32_t(p.item.date), when))))
            errors.push_back(where + "\"" + date + "\" is not a DOS date-time");
        if (p.item.marked) mains.insert(p.item.name);
        std::string key = LowerAscii(p.item.name);
        auto it = seen.find(key);
        if (it == seen.end()) {
            seen.emplace(key, sizes.size());
            sizes.push_back(c.dataSize);
        } else {
            if (key != previous)
                errors.push_back(where + "\"" + p.item.name + "\" appears again after other files");
            sizes[it->second] += c.dataSize;
        }
        previous = key;
    }
    bar.Finish();
    if (mains.size() > 1) errors.push_back("more than one main program is marked with \"*\"");
    if (errors.empty()) {
        auto space = ComputeSpaceRequired(sizes);
        for (int i = 0; i < kSpaceRequiredSlots; ++i)
            if (space[size_t(i)] != t.SpaceRequired[size_t(i)])
                errors.push_back("SpaceRequired[" + std::to_string(i) + "] is " +
                                 std::to_string(t.SpaceRequired[size_t(i)]) + ", the files need " +
                                 std::to_string(space[size_t(i)]));
    }
    if (!errors.empty()) return ReportErrors(errors, err);
    out << "OK: " << sizes.size() << " files in " << view.fileBlocks.size() << " blocks, "
        << view.volumes.size() << (view.volumes.size() == 1 ? " file" : " files") << "\n";
    return 0;
}

}  // namespace zv::pack
