#include "package/unpack.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "package/block_walk.h"
#include "package/entry_name.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "package/zlib_open.h"
#include "utils/platform.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace {

constexpr uint32_t kWaitAfterPrompt = 500;
// Pending window messages run at least this often while blocks are read and inflated. Far below
// what a user notices, yet it spares thousands of message-queue calls per package (each one costs
// tens of microseconds under Wine, a tenth of the whole extraction time).
constexpr double kPumpInterval = 10.0;

std::atomic<int> g_writeFailures{0};

std::string JoinPath(const std::string& folder, const std::string& name) {
    const char sep = Host().pathSeparator;
    if (!folder.empty() && (folder.back() == sep || folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + sep + name;
}

// The plain content of one file block arrives here in pieces: the item header up to the first
// NUL, then the file's bytes, which go straight to the destination file.
class FileBlockWriter {
public:
    FileBlockWriter(const ExtractOptions& options, const ExtractUi& ui, ExtractResult& result)
        : options_(options), ui_(ui), result_(result) {}

    // The item header, once its NUL was read; false when the block names nothing to write or
    // names it unsafely (then damage() says why).
    bool OnHeader(const std::string& header) {
        StartFile(header);
        return state_ == State::Data;
    }
    bool OnData(const uint8_t* data, size_t size) {
        WriteData(data, size);
        return true;
    }

    // Why the package must not be used, when the header named an unsafe path.
    const std::string& damage() const { return damage_; }

    // Called once the whole block was read.
    void Finish() {
        if (state_ != State::Data) return;
        if (failed_) {
            file_.reset();
            ReportWriteFailure();
            return;
        }
        ++result_.filesWritten;
        // The date field is a 32-bit value; anything outside that range is not a date.
        const Platform& fs = Host();
        if (date_ != 0 && date_ >= INT32_MIN && date_ <= int64_t(UINT32_MAX) &&
            !fs.setOpenFileDate(*file_, uint32_t(date_))) {
            file_.reset();
            fs.setFileDate(path_, uint32_t(date_));
        }
        file_.reset();
    }

private:
    enum class State { Header, Data, Skip };

    void StartFile(const std::string& header) {
        // An empty item header names nothing; such a block carries nothing to write.
        if (header.empty()) {
            state_ = State::Skip;
            return;
        }
        ItemHeader item = ParseItemHeader(header);
        if (header.find('*') != std::string::npos) result_.mainFile = header;
        if (item.marked) result_.mainFile = item.rawName;
        if (std::string problem = EntryNameProblem(item.name); !problem.empty()) {
            damage_ = "unsafe entry name \"" + item.name + "\": " + problem;
            state_ = State::Skip;
            return;
        }
        date_ = item.date;
        path_ = JoinPath(options_.destination, item.name);
        if (!FileExists(path_) && ui_.progress) ui_.progress(1, 0, 0, "", 1, 0);
        file_ = OpenFile(path_, OpenMode::AppendWrite);
        if (!file_) Fail();
        state_ = State::Data;
    }

    void WriteData(const uint8_t* data, size_t size) {
        dataLength_ += int64_t(size);
        // After a failed write the rest of the block is still consumed, so that the report can
        // say how much data the block held.
        if (failed_ || size == 0) return;
        if (file_->Write(data, int32_t(size)) != int32_t(size)) Fail();
    }

    void Fail() {
        failed_ = true;
        errorText_ = Host().lastErrorText();
        file_.reset();
    }

    void ReportWriteFailure() {
        if (g_writeFailures.fetch_add(1) != 0 || !ui_.errorBox) return;
        const Platform& fs = Host();
        const int64_t fileSize = std::max<int64_t>(fs.fileSize(path_), 0);
        const int64_t freeBytes = std::max<int64_t>(fs.freeSpace(path_), 0);
        ui_.errorBox(path_ + "<P><P>Unable to save Extracted File!<P><P>" + errorText_ + "<P>" +
                     "  Data Size: <T>" + IntText(dataLength_) + " Bytes<P>" +
                     "  File Size:  <T>" + IntText(fileSize) + " Bytes<P>" +
                     "  Bytes Free: <T>" + IntText(freeBytes) + " Bytes");
    }

    const ExtractOptions& options_;
    const ExtractUi& ui_;
    ExtractResult& result_;
    State state_ = State::Header;
    std::string path_;
    int64_t date_ = 0;
    std::unique_ptr<IFile> file_;
    bool failed_ = false;
    std::string errorText_;
    std::string damage_;
    int64_t dataLength_ = 0;
};

class Extraction {
public:
    Extraction(const ExtractOptions& options, const ExtractUi& ui) : options_(options), ui_(ui) {}

    ExtractResult Run();

private:
    // These return false when the run must stop; Damage() says why when the package is to blame.
    bool ExtractVolume(bool first);
    bool BlockLoop(IFile& file, int64_t position, int64_t limit);
    bool FileBlock(IFile& file, const BlockRef& block);
    bool WriteAgentCopy(IFile& file);
    bool NextVolume();
    // Ends the run: the package is damaged or hostile.
    bool Damage(const std::string& what) {
        result_.damaged = true;
        result_.damage = what;
        return false;
    }
    void Progress(int kind, int64_t high) {
        if (ui_.progress)
            ui_.progress(kind, 0, uint16_t(std::min<int64_t>(std::max<int64_t>(high, 0), 0xFFFF)),
                         "", 1, 0);
    }
    void Pump() {
        if (!ui_.pump) return;
        const double now = Host().milliseconds();
        if (now - lastPump_ < kPumpInterval && now >= lastPump_) return;
        lastPump_ = now;
        ui_.pump();
    }

    const ExtractOptions& options_;
    const ExtractUi& ui_;
    ExtractResult result_;
    FileBlockReader reader_{[this] { Pump(); }};
    std::string current_;
    int volume_ = 1;
    int64_t blockCounter_ = 0;
    int64_t headEnd_ = 0;
    PackageTrailer trailer_;
    bool answer_ = true;
    double lastPump_ = -1e300;  // the first call always pumps
};

ExtractResult Extraction::Run() {
    const double started = Host().milliseconds();
    const std::string baseName = VolumeBaseName(options_.packageFile);
    current_ = options_.packageFile;
    Progress(0, 0);
    for (;;) {
        trailer_ = PackageTrailer{};
        if (FileExists(current_) && !ExtractVolume(volume_ == 1)) break;
        if (!trailer_.Has(PackageFlag::MoreVolumes)) break;
        if (ui_.suppressAutoPlay) ui_.suppressAutoPlay();
        ++volume_;
        current_ = VolumePath(baseName, volume_);
        if (!NextVolume()) break;
    }
    if (!answer_) {
        result_.cancelled = true;
        result_.mainFile.clear();
    }
    if (result_.damaged) {
        // Nothing from a damaged package may be started.
        result_.mainFile.clear();
        TraceOut().Write("ExtractPackage: damaged package ").Write(current_).Write(": ")
            .WriteLine(result_.damage);
    }
    const int64_t elapsed = int64_t(Host().milliseconds() - started);
    TraceOut().Write("UnCompressTime: ").Write(elapsed).Write(" MS").WriteLine();
    TraceOut().WriteLine();
    if (ui_.wait) ui_.wait(kWaitAfterPrompt);
    return result_;
}

// False when the volume failed the checksum (the run stops before opening it) or is damaged.
bool Extraction::ExtractVolume(bool first) {
    ReadTrailer(current_, trailer_);
    if (first) TraceOut().Write("FileInfo.FilesCount=").Write(trailer_.FileCount).WriteLine();
    result_.checksumOk = ChecksumPasses(PackageChecksum(current_, trailer_.TrailerSize),
                                        trailer_.PackageChecksum);
    if (!result_.checksumOk) return false;

    std::unique_ptr<IFile> file = OpenFile(current_, OpenMode::ReadShared);
    if (!file) return Damage("cannot open " + current_);
    const int64_t volumeLength = PackageEnd(*file);
    TraceOut().Write("FileLen=").Write(volumeLength).WriteLine();
    if (!trailer_.HasSignature()) {
        // A later volume was asked for by the one before it; without its trailer the rest of the
        // package is missing, and half a package must not be installed.
        if (!first) return Damage("volume holds no package");
        return true;
    }

    const TrailerLocation location = LocateTrailer(*file);
    if (!location.ok || volumeLength < 0) return Damage("no trailer");
    if (first) Progress(0, trailer_.FileCount);
    if (!Host().createFolders(options_.destination) && ui_.errorBox)
        ui_.errorBox(options_.destination + "<P><P>Unable to create Directory!<P><P>" +
                     Host().lastErrorText());
    const int64_t position = trailer_.PackageStart;
    if (position > location.start()) return Damage("package start lies past the trailer");
    if (!BlockLoop(*file, position, location.start())) return false;
    if (first && blockCounter_ < trailer_.HeadBlockCount)
        return Damage("package ends before its head blocks");

    const std::string& name = options_.packageFile;
    if (first && !ExtractFileName(options_.agentName).empty() &&
        (EndsWith(".exe", name, true) || EndsWith(".exe.001", name, true)))
        return WriteAgentCopy(*file);
    return true;
}

// Blocks follow each other up to the trailer; every stated length is checked against it before
// anything is read.
bool Extraction::BlockLoop(IFile& file, int64_t position, int64_t limit) {
    BlockWalk walk(file, position, limit);
    BlockRef block;
    for (;;) {
        Pump();
        if (!walk.Next(block)) break;
        ++blockCounter_;
        if (blockCounter_ > trailer_.HeadBlockCount && !FileBlock(file, block)) return false;
        if (blockCounter_ == trailer_.HeadBlockCount) headEnd_ = block.End();
    }
    if (!walk.error().empty()) return Damage(walk.error());
    return true;
}

bool Extraction::FileBlock(IFile& file, const BlockRef& block) {
    FileBlockWriter writer(options_, ui_, result_);
    BlockContent content = reader_.Read(
        file, block, [&writer](const std::string& header) { return writer.OnHeader(header); },
        [&writer](const uint8_t* p, size_t n) { return writer.OnData(p, n); });
    if (!writer.damage().empty()) return Damage(writer.damage());
    if (!content.ok && !content.stopped) return Damage(content.error);
    writer.Finish();
    return true;
}

// The stub image and head blocks with an agent trailer: a copy of the stub that carries no files.
bool Extraction::WriteAgentCopy(IFile& file) {
    const std::string name = ExtractFileName(options_.agentName);
    if (!IsSafeEntryName(name)) return Damage("unsafe agent file name \"" + name + "\"");
    PackageTrailer agent = trailer_;  // the first volume's, read from this file
    agent.IsAgent = 1;
    agent.TrailerSize = kTrailerSize;

    const std::string path = JoinPath(options_.destination, name);
    std::unique_ptr<IFile> out = OpenFile(path, OpenMode::CreateWrite);
    bool written = out != nullptr && file.Seek(0);
    std::vector<uint8_t> piece(kBlockReadPiece);
    for (int64_t at = 0; written && at < headEnd_;) {
        int32_t got = file.Read(piece.data(), int32_t(std::min<int64_t>(headEnd_ - at, kBlockReadPiece)));
        if (got <= 0) return Damage("package ends inside a block");
        // The copy has no file blocks, so the word that says where the package ends must go.
        for (int64_t i = std::max<int64_t>(at, kImageEndLowOffset);
             i < std::min<int64_t>(at + got, kImageEndLowOffset + 4); ++i)
            piece[size_t(i - at)] = 0;
        written = out->Write(piece.data(), got) == got;
        at += got;
    }
    const PackageTrailer::Bytes bytes = agent.Encode();
    written = written && out->Write(bytes.data(), kTrailerSize) == kTrailerSize;
    out.reset();
    if (!written) {
        if (g_writeFailures.fetch_add(1) == 0 && ui_.errorBox)
            ui_.errorBox(path + "<P><P>Unable to save Extracted File!<P><P>" +
                         Host().lastErrorText());
        return true;
    }
    Host().copyFileDate(options_.packageFile, path);
    TraceOut().Write(int64_t(Host().processId())).Write(" New AU-Agent: ")
        .WriteLine(path);
    return true;
}

// Asks for the disk of the next volume when needed; false when the user cancelled.
bool Extraction::NextVolume() {
    if (options_.alwaysPrompt || !FileExists(current_)) {
        if (ui_.ejectCD) ui_.ejectCD(current_);
        const std::string text =
            ReplaceAll(options_.diskPrompt, "<DISK_NUM>", IntText(volume_));
        do {
            answer_ = ui_.diskPrompt && ui_.diskPrompt(text, options_.promptCaption,
                                                       options_.buttonTexts, options_.charset);
            if (ui_.wait) ui_.wait(kWaitAfterPrompt);
        } while (answer_ && !FileExists(current_));
    }
    Progress(1, 0);
    return answer_;
}

}  // namespace

ExtractResult ExtractPackage(const ExtractOptions& options, const ExtractUi& ui) {
    Extraction extraction(options, ui);
    return extraction.Run();
}

std::string VolumeBaseName(const std::string& packageFile) {
    const std::string first = ".001";
    if (packageFile.size() >= first.size() &&
        packageFile.compare(packageFile.size() - first.size(), first.size(), first) == 0)
        return packageFile.substr(0, packageFile.size() - first.size());
    return packageFile;
}

std::string VolumePath(const std::string& baseName, int volume) {
    return baseName + "." + PadZero(volume, 3);
}

int ExtractWriteFailures() { return g_writeFailures.load(); }
void ResetExtractWriteFailures() { g_writeFailures = 0; }

}  // namespace zv
