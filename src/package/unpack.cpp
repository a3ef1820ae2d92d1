#include "package/unpack.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "package/extract_fs.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "package/zlib_open.h"
#include "utils/host_env.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace {

// An item header is "|name|date|"; anything this long without its NUL is not one.
constexpr size_t kMaxItemHeader = 32 * 1024;
constexpr uint32_t kWaitAfterPrompt = 500;
// Pending window messages run at least this often while blocks are read and inflated. Far below
// what a user notices, yet it spares thousands of message-queue calls per package (each one costs
// tens of microseconds under Wine, a tenth of the whole extraction time).
constexpr double kPumpInterval = 10.0;

std::atomic<int> g_writeFailures{0};

// Ends the run: the package is damaged or hostile. Caught in ExtractPackage only.
struct PackageDamage {
    std::string what;
};

std::string JoinPath(const std::string& folder, const std::string& name) {
    const char sep = ExtractFileSystem().separator;
    if (!folder.empty() && (folder.back() == sep || folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + sep + name;
}

bool IsDeviceName(const std::string& name) {
    // Windows maps these to devices whatever the extension ("NUL.txt") and trailing blanks.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    stem = AsciiUpper(stem);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$")
        return true;
    if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
        return false;
    const unsigned char digit = static_cast<unsigned char>(stem[3]);
    // The ANSI superscript digits 1, 2 and 3 name the same ports.
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// The plain content of one file block arrives here in pieces: the item header up to the first
// NUL, then the file's bytes, which go straight to the destination file.
class FileBlockWriter {
public:
    FileBlockWriter(const ExtractOptions& options, const ExtractUi& ui, ExtractResult& result)
        : options_(options), ui_(ui), result_(result) {}

    bool Consume(const uint8_t* data, size_t size) {
        if (state_ == State::Header || state_ == State::Overlong) {
            const void* nul = std::memchr(data, 0, size);
            size_t headerBytes = nul ? size_t(static_cast<const uint8_t*>(nul) - data) : size;
            if (state_ == State::Header) {
                header_.append(reinterpret_cast<const char*>(data), headerBytes);
                if (header_.size() > kMaxItemHeader) state_ = State::Overlong;
            }
            if (!nul) return true;
            if (state_ == State::Overlong) throw PackageDamage{"item header too long"};
            StartFile();
            data += headerBytes + 1;
            size -= headerBytes + 1;
        }
        if (state_ == State::Data) WriteData(data, size);
        // A block that names nothing need not be inflated any further.
        return state_ != State::Skip;
    }

    // Called once the whole block went through Consume.
    void Finish() {
        if (state_ != State::Data) return;
        if (failed_) {
            file_.reset();
            ReportWriteFailure();
            return;
        }
        ++result_.filesWritten;
        // The date field is a 32-bit value; anything outside that range is not a date.
        const ExtractFs& fs = ExtractFileSystem();
        if (date_ != 0 && date_ >= INT32_MIN && date_ <= int64_t(UINT32_MAX) &&
            !fs.setOpenFileDosDate(*file_, uint32_t(date_))) {
            file_.reset();
            fs.setDosDate(path_, uint32_t(date_));
        }
        file_.reset();
    }

private:
    enum class State { Header, Overlong, Data, Skip };

    void StartFile() {
        // An empty item header names nothing; such a block carries nothing to write.
        if (header_.empty()) {
            state_ = State::Skip;
            return;
        }
        ItemHeader item = ParseItemHeader(header_);
        if (header_.find('*') != std::string::npos) result_.mainFile = header_;
        if (item.marked) result_.mainFile = item.rawName;
        if (!IsSafeEntryName(item.name)) throw PackageDamage{"unsafe entry name \"" + item.name + "\""};
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
        errorText_ = ExtractFileSystem().lastErrorText();
        file_.reset();
    }

    void ReportWriteFailure() {
        if (g_writeFailures.fetch_add(1) != 0 || !ui_.errorBox) return;
        const ExtractFs& fs = ExtractFileSystem();
        const int64_t fileSize = std::max<int64_t>(fs.fileSize(path_), 0);
        const int64_t freeBytes = std::max<int64_t>(fs.freeSpace(path_), 0);
        ui_.errorBox(path_ + "<P><P>Unable to save Extracted File!<P><P>" + errorText_ + "<P>" +
                     "  Data Size: <T>" + std::to_string(dataLength_) + " Bytes<P>" +
                     "  File Size:  <T>" + std::to_string(fileSize) + " Bytes<P>" +
                     "  Bytes Free: <T>" + std::to_string(freeBytes) + " Bytes");
    }

    const ExtractOptions& options_;
    const ExtractUi& ui_;
    ExtractResult& result_;
    State state_ = State::Header;
    std::string header_;
    std::string path_;
    int64_t date_ = 0;
    std::unique_ptr<IFile> file_;
    bool failed_ = false;
    std::string errorText_;
    int64_t dataLength_ = 0;
};

class Extraction {
public:
    Extraction(const ExtractOptions& options, const ExtractUi& ui) : options_(options), ui_(ui) {}

    ExtractResult Run();

private:
    bool ExtractVolume(bool first);
    void BlockLoop(IFile& file, int64_t position, int64_t limit);
    void FileBlock(IFile& file, bool compressed, int64_t size);
    void WriteAgentCopy(IFile& file);
    bool NextVolume();
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
    ZLibOpen inflater_;
    std::string current_;
    int volume_ = 1;
    int64_t blockCounter_ = 0;
    int64_t headEnd_ = 0;
    PackageTrailer trailer_;
    bool answer_ = true;
    double lastPump_ = -1e300;  // the first call always pumps
    const std::function<void()> pump_ = [this] { Pump(); };
};

ExtractResult Extraction::Run() {
    const double started = Host().milliseconds();
    const std::string baseName = VolumeBaseName(options_.packageFile);
    current_ = options_.packageFile;
    Progress(0, 0);
    try {
        for (;;) {
            trailer_ = PackageTrailer{};
            if (FileExists(current_) && !ExtractVolume(volume_ == 1)) break;
            if (!trailer_.Has(PackageFlag::MoreVolumes)) break;
            if (ui_.suppressAutoPlay) ui_.suppressAutoPlay();
            ++volume_;
            current_ = VolumePath(baseName, volume_);
            if (!NextVolume()) break;
        }
    } catch (const PackageDamage& damage) {
        result_.damaged = true;
        result_.damage = damage.what;
    } catch (const EZLibError& e) {
        result_.damaged = true;
        result_.damage = std::string("damaged compressed block: ") + e.what();
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

// False when the volume failed the checksum: the run stops before opening it.
bool Extraction::ExtractVolume(bool first) {
    ReadTrailer(current_, trailer_);
    if (first) TraceOut().Write("FileInfo.FilesCount=").Write(trailer_.FileCount).WriteLine();
    const uint32_t computed = PackageChecksum(current_, trailer_.TrailerSize);
    result_.checksumOk = computed == trailer_.PackageChecksum || computed == kChecksumOff ||
                         trailer_.PackageChecksum == kChecksumOff;
    if (!result_.checksumOk) return false;

    std::unique_ptr<IFile> file = OpenFile(current_, OpenMode::ReadShared);
    if (!file) throw PackageDamage{"cannot open " + current_};
    const int64_t volumeLength = PackageEnd(*file);
    TraceOut().Write("FileLen=").Write(volumeLength).WriteLine();
    if (!trailer_.HasSignature()) {
        // A later volume was asked for by the one before it; without its trailer the rest of the
        // package is missing, and half a package must not be installed.
        if (!first) throw PackageDamage{"volume holds no package"};
        return true;
    }

    const TrailerLocation location = LocateTrailer(*file);
    if (!location.ok || volumeLength < 0) throw PackageDamage{"no trailer"};
    if (first) Progress(0, trailer_.FileCount);
    if (!ExtractFileSystem().createFolders(options_.destination) && ui_.errorBox)
        ui_.errorBox(options_.destination + "<P><P>Unable to create Directory!<P><P>" +
                     ExtractFileSystem().lastErrorText());
    const int64_t position = trailer_.PackageStart;
    if (position > location.start()) throw PackageDamage{"package start lies past the trailer"};
    BlockLoop(*file, position, location.start());
    if (first && blockCounter_ < trailer_.HeadBlockCount)
        throw PackageDamage{"package ends before its head blocks"};

    const std::string& name = options_.packageFile;
    if (first && !ExtractFileName(options_.agentName).empty() &&
        (EndsWith(".exe", name, true) || EndsWith(".exe.001", name, true)))
        WriteAgentCopy(*file);
    return true;
}

// Blocks follow each other up to the trailer; every stated length is checked against it before
// anything is read.
void Extraction::BlockLoop(IFile& file, int64_t position, int64_t limit) {
    while (position < limit) {
        Pump();
        uint8_t lengthBytes[4];
        if (limit - position < int64_t(kBlockLengthSize) || !file.Seek(position) ||
            file.Read(lengthBytes, 4) != 4)
            throw PackageDamage{"package ends inside a block"};
        const int32_t length = int32_t(GetLE32(lengthBytes));
        const int64_t size = length < 0 ? -int64_t(length) : int64_t(length);
        if (size > limit - position - int64_t(kBlockLengthSize))
            throw PackageDamage{"block runs past the end of the volume"};
        ++blockCounter_;
        if (blockCounter_ > trailer_.HeadBlockCount) FileBlock(file, length > 0, size);
        position += int64_t(kBlockLengthSize) + size;
        if (blockCounter_ == trailer_.HeadBlockCount) headEnd_ = position;
    }
}

void Extraction::FileBlock(IFile& file, bool compressed, int64_t size) {
    FileBlockWriter writer(options_, ui_, result_);
    if (compressed) {
        InflateReport report = inflater_.Inflate(
            file, size, [&writer](const uint8_t* p, size_t n) { return writer.Consume(p, n); },
            pump_);
        if (report.outcome == InflateOutcome::SourceEnded)
            throw PackageDamage{"package ends inside a block"};
    } else {
        std::vector<uint8_t> piece(size_t(std::min<int64_t>(size, kBlockReadPiece)));
        for (int64_t left = size; left > 0;) {
            int32_t got = file.Read(piece.data(), int32_t(std::min<int64_t>(left, kBlockReadPiece)));
            if (got <= 0) throw PackageDamage{"package ends inside a block"};
            writer.Consume(piece.data(), size_t(got));
            left -= got;
            Pump();
        }
    }
    writer.Finish();
}

// The stub image and head blocks with an agent trailer: a copy of the stub that carries no files.
void Extraction::WriteAgentCopy(IFile& file) {
    const std::string name = ExtractFileName(options_.agentName);
    if (!IsSafeEntryName(name)) throw PackageDamage{"unsafe agent file name \"" + name + "\""};
    PackageTrailer agent = trailer_;  // the first volume's, read from this file
    agent.IsAgent = 1;
    agent.TrailerSize = kTrailerSize;

    const std::string path = JoinPath(options_.destination, name);
    std::unique_ptr<IFile> out = OpenFile(path, OpenMode::CreateWrite);
    bool written = out != nullptr && file.Seek(0);
    std::vector<uint8_t> piece(kBlockReadPiece);
    for (int64_t at = 0; written && at < headEnd_;) {
        int32_t got = file.Read(piece.data(), int32_t(std::min<int64_t>(headEnd_ - at, kBlockReadPiece)));
        if (got <= 0) throw PackageDamage{"package ends inside a block"};
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
                         ExtractFileSystem().lastErrorText());
        return;
    }
    ExtractFileSystem().copyFileDate(options_.packageFile, path);
    TraceOut().Write(int64_t(ExtractFileSystem().processId())).Write(" New AU-Agent: ")
        .WriteLine(path);
}

// Asks for the disk of the next volume when needed; false when the user cancelled.
bool Extraction::NextVolume() {
    if (options_.alwaysPrompt || !FileExists(current_)) {
        if (ui_.ejectCD) ui_.ejectCD(current_);
        const std::string text =
            ReplaceAll(options_.diskPrompt, "<DISK_NUM>", std::to_string(volume_));
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

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    // Windows drops trailing dots and blanks, so "a." would land on "a" (and ". ." on the folder).
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsDeviceName(name);
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
