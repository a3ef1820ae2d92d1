#include "package_writer.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "pack_clock.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "package/unpack.h"
#include "utils/file_io.h"
#include "utils/text.h"

namespace zv::pack {
namespace {

constexpr uint64_t kMaxStubSize = 256ull << 20;

// Where SpaceRequired reached its 32-bit ceiling: "in plain bytes", "on drives with 65536-byte
// clusters", ...; empty when nowhere. Many small files reach it for large clusters only.
std::string ClampedSlots(const std::array<uint32_t, kSpaceRequiredSlots>& space) {
    std::string plain, clusters;
    for (int i = 0; i < kSpaceRequiredSlots; ++i) {
        if (space[size_t(i)] != UINT32_MAX) continue;
        if (kSpaceRequiredClusters[i] == 0) plain = "in plain bytes";
        else clusters += (clusters.empty() ? "" : ", ") + std::to_string(kSpaceRequiredClusters[i]);
    }
    if (!clusters.empty()) clusters = "on drives with " + clusters + "-byte clusters";
    return plain.empty() ? clusters : clusters.empty() ? plain : plain + " and " + clusters;
}
// A piece smaller than this is not worth a block at the end of a volume.
constexpr uint64_t kSmallestPiece = 512;

void WriteAll(IFile& file, const uint8_t* data, size_t size, const std::string& path) {
    while (size > 0) {
        int32_t chunk = int32_t(std::min<size_t>(size, 1u << 30));
        if (file.Write(data, chunk) != chunk) throw PackError("cannot write " + path + ": " + LastSystemError());
        data += chunk;
        size -= size_t(chunk);
    }
}

std::vector<uint8_t> ReadStub(const std::string& path) {
    PathInfo info = StatPath(path);
    if (!info.exists) throw PackError("stub template not found: " + path);
    if (!info.isRegularFile)
        throw PackError("stub template " + path + " is " +
                        (info.isDirectory ? std::string("a folder") : std::string("not a regular file")));
    if (info.size > kMaxStubSize) throw PackError("stub template is too large: " + path);
    auto file = OpenFile(path, OpenMode::ReadShared);
    std::vector<uint8_t> bytes(size_t(info.size));
    if (!file || (info.size && file->Read(bytes.data(), int32_t(bytes.size())) != int32_t(bytes.size())))
        throw PackError("cannot read stub template: " + path);
    return bytes;
}

bool IsPackageVolume(const std::string& path) {
    auto file = OpenFile(path, OpenMode::ReadShared);
    if (!file) return false;
    TrailerLocation loc = LocateTrailer(*file);
    uint8_t bytes[kTrailerSize];
    if (!loc.ok || loc.peImage || loc.length < kTrailerSize || !file->Seek(loc.start()) ||
        file->Read(bytes, kTrailerSize) != kTrailerSize)
        return false;
    return PackageTrailer::Decode(bytes, kTrailerSize).HasSignature();
}

// Reads one source file front to back; a piece can be looked at before it is taken.
class SourceReader {
public:
    SourceReader(const PackFile& f) : f_(f), file_(OpenFile(f.source, OpenMode::ReadShared)) {
        if (!file_) throw PackError("cannot open " + f.source);
    }
    uint64_t Remaining() const { return f_.size - taken_; }
    // At least min(count, Remaining()) bytes at the front of buffer().
    const uint8_t* Peek(uint64_t count) {
        count = std::min(count, Remaining());
        while (buffer_.size() < count) {
            size_t have = buffer_.size();
            buffer_.resize(size_t(count));
            int32_t want = int32_t(std::min<uint64_t>(count - have, 1u << 30));
            int32_t got = file_->Read(buffer_.data() + have, want);
            if (got <= 0) throw PackError(f_.source + " became shorter while it was packed");
            buffer_.resize(have + size_t(got));
        }
        return buffer_.data();
    }
    void Take(uint64_t count) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(count));
        taken_ += count;
        if (Remaining() == 0) {
            uint8_t extra;
            if (file_->Read(&extra, 1) > 0) throw PackError(f_.source + " grew while it was packed");
        }
    }

private:
    const PackFile& f_;
    std::unique_ptr<IFile> file_;
    std::vector<uint8_t> buffer_;
    uint64_t taken_ = 0;
};

struct OutputFile {
    std::string path;       // final name
    std::string tempPath;   // written here, renamed at the end
    int64_t trailerAt = 0;  // where its trailer goes
    bool peImage = false;
    bool moreVolumes = false;
};

class Writer {
public:
    Writer(const PackageDescription& d, const BuildOptions& o) : d_(d), o_(o) {}
    ~Writer() {
        file_.reset();  // Windows deletes no open file
        if (!finished_)
            for (const auto& out : outputs_) RemoveFileQuietly(out.tempPath);
    }
    BuildResult Run();

private:
    void PrepareHead(const std::vector<uint8_t>& stub);
    void CheckNotAnInput(const std::string& path) const;
    void OpenOutput(const std::string& path, bool peImage);
    void CloseOutput();
    void Write(const uint8_t* data, size_t size);
    uint64_t Room() const;  // bytes the next block may take, length field included
    void NextVolume();
    void WriteFile(const PackFile& f);
    void WriteFilesInParallel(unsigned threads);
    // The block of one piece, given as its plain content (item header, NUL, data): compressed
    // when that makes it smaller, else stored.
    std::vector<uint8_t> EncodeBlock(const std::vector<uint8_t>& plain, BlockCompressor& compressor) const;
    void Finish(OutputFile& out, PackageTrailer trailer);
    uint32_t ItemDate(const PackFile& f) const {
        return DosDateTimeFromUnix(o_.clampDates ? std::min(f.modified, o_.now) : f.modified);
    }

    const PackageDescription& d_;
    const BuildOptions& o_;
    std::string outputPath_;
    bool spanned_ = false;
    uint64_t blockLimit_ = kMaxBlockSize;
    std::vector<uint8_t> head_;  // the head blocks, ready to write
    BlockCompressor compressor_{d_.level};  // for blocks written on this thread
    std::vector<uint8_t> plain_;  // the piece being written: header and data, kept between blocks
    PackageTrailer trailer_ = PackageTrailer::MakeNew();
    std::vector<OutputFile> outputs_;
    std::unique_ptr<IFile> file_;
    uint64_t position_ = 0;
    int volume_ = 0;
    bool volumeHasFiles_ = false;
    uint32_t fileBlocks_ = 0;
    uint64_t done_bytes_ = 0, total_bytes_ = 0;
    double ratio_ = 1.0;  // packed/plain of the last block: a guess for the next one
    bool finished_ = false;
    std::vector<std::string> warnings_;
};

void Writer::PrepareHead(const std::vector<uint8_t>& stub) {
    InputHash hash;
    hash.Add(d_.text);
    hash.Add(stub.data(), stub.size());
    for (const auto& lang : d_.languages) {
        hash.Add(lang.name);
        for (const auto& e : lang.entries) hash.Add(e.first + "=" + e.second);
    }
    for (const auto& f : d_.files) {
        hash.Add(f.ItemName());
        hash.Add(f.size);
        hash.Add(ItemDate(f));
    }
    hash.Add(uint64_t(o_.now));
    SeededRandom random(hash.Value());
    auto seed = [&random] { return uint32_t(random.Next()); };

    std::vector<std::string> items;
    for (const auto& lang : d_.languages) items.push_back(MakeLanguageItem(lang.name, lang.entries));
    const std::string languages = MakeLanguageBlock(items);
    // The stub reads no larger head block (it would take it for damage).
    if (languages.size() > size_t(kMaxHeadBlock))
        throw PackError("the language texts take " + std::to_string(languages.size()) +
                        " bytes, more than the " + std::to_string(kMaxHeadBlock >> 20) +
                        " MB a package can carry");
    AppendHeadBlock(head_, languages);

    HeaderFields header;
    header.updateUrl = d_.updateUrl;
    header.infoFileName = d_.infoFileName;
    header.agentFileName = d_.agentFileName;
    std::string token = d_.updateToken.empty() ? random.LowercaseLetters(50) : d_.updateToken;
    header.scrambledToken = ScrambleToken(token, seed());
    header.silentSetup = d_.silentSetup;
    AppendHeadBlock(head_, header.Encode());

    if (d_.hasDownload) {
        DownloadFields download;
        download.downloadUrl = d_.downloadUrl;
        download.downloadFileName = d_.downloadFileName;
        download.alwaysDownload = d_.alwaysDownload;
        download.scrambledToken = ScrambleToken(d_.downloadToken, seed());
        download.downloadSize = std::to_string(d_.downloadSize);
        AppendHeadBlock(head_, download.Encode());
    }
}

void Writer::CheckNotAnInput(const std::string& path) const {
    auto check = [&](const std::string& input, const char* what) {
        if (!input.empty() && SamePath(path, input))
            throw PackError("the output " + path + " would overwrite " + what + " " + input);
    };
    check(d_.path, "the description");
    check(o_.stub.empty() ? d_.stub : o_.stub, "the stub template");
    check(d_.setupFile, "the setup file");
    for (const auto& lang : d_.languages) check(lang.source, "the language file");
    for (const auto& f : d_.files) check(f.source, "the source file");
}

void Writer::OpenOutput(const std::string& path, bool peImage) {
    CheckNotAnInput(path);
    OutputFile out;
    out.path = path;
    out.peImage = peImage;
    // A fresh name, created exclusively: a link or anything else already standing at a
    // predictable temporary name is never written through.
    NewFile created = CreateUniqueFile(ParentFolder(path), BaseName(path) + ".");
    if (!created.file) throw PackError("cannot create a temporary file beside " + path + ": " + created.error);
    std::fclose(created.file);
    out.tempPath = created.path;
    outputs_.push_back(out);
    file_ = OpenFile(out.tempPath, OpenMode::CreateWrite);
    if (!file_) throw PackError("cannot create " + out.tempPath + ": " + LastSystemError());
    position_ = 0;
    volumeHasFiles_ = false;
}

void Writer::CloseOutput() {
    OutputFile& out = outputs_.back();
    out.trailerAt = int64_t(position_);
    uint8_t placeholder[kTrailerSize] = {};
    Write(placeholder, sizeof placeholder);
    file_.reset();
}

void Writer::Write(const uint8_t* data, size_t size) {
    WriteAll(*file_, data, size, outputs_.back().tempPath);
    position_ += size;
}

uint64_t Writer::Room() const {
    if (!spanned_) return UINT64_MAX;
    uint64_t used = position_ + kTrailerSize;
    return used < d_.volumeSize ? d_.volumeSize - used : 0;
}

void Writer::NextVolume() {
    if (spanned_ && volume_ > 0 && !volumeHasFiles_)
        throw PackError("VolumeSize " + std::to_string(d_.volumeSize) +
                        " is too small to hold a piece of a file");
    if (volume_ > 0) {
        outputs_.back().moreVolumes = true;
        CloseOutput();
    }
    ++volume_;
    OpenOutput(VolumePath(outputPath_, volume_), false);
    if (volume_ == 1) {
        if (head_.size() + 4 + kSmallestPiece + kTrailerSize > d_.volumeSize)
            throw PackError("VolumeSize " + std::to_string(d_.volumeSize) +
                            " is too small: the first volume needs room for the head blocks (" +
                            std::to_string(head_.size()) + " bytes) and a file piece");
        Write(head_.data(), head_.size());
    }
}

std::vector<uint8_t> Writer::EncodeBlock(const std::vector<uint8_t>& plain,
                                         BlockCompressor& compressor) const {
    if (plain.size() > size_t(INT32_MAX)) throw PackError("a block is too large");
    std::vector<uint8_t> block;
    if (d_.compress) {
        const int64_t packed = compressor.Compress(plain.data(), plain.size());
        if (packed < 0) throw PackError("cannot compress a block (out of memory?)");
        // Data that does not shrink is stored: the stub takes either form.
        if (uint64_t(packed) < plain.size()) {
            block.reserve(4 + size_t(packed));
            AppendBlockLength(block, int32_t(packed));
            block.insert(block.end(), compressor.Output(), compressor.Output() + packed);
            return block;
        }
    }
    block.reserve(4 + plain.size());
    AppendBlockLength(block, -int32_t(plain.size()));
    block.insert(block.end(), plain.begin(), plain.end());
    return block;
}

void Writer::WriteFile(const PackFile& f) {
    SourceReader source(f);
    const uint32_t date = ItemDate(f);
    const std::string header = MakeItemHeader(f.ItemName(), date) + std::string(1, '\0');
    const uint64_t headerSize = header.size();
    auto encode = [&](uint64_t count) {
        const uint8_t* data = source.Peek(count);
        plain_.assign(header.begin(), header.end());
        plain_.insert(plain_.end(), data, data + count);
        return EncodeBlock(plain_, compressor_);
    };
    bool first = true;
    while (first || source.Remaining() > 0) {
        uint64_t remaining = source.Remaining();
        uint64_t room = Room();
        if (room < 4 + headerSize + std::min(remaining, kSmallestPiece)) {
            NextVolume();
            continue;
        }
        const uint64_t fits = room - 4 - headerSize;  // plain bytes that fit when stored
        const uint64_t cap = std::min(remaining, blockLimit_);
        uint64_t want = spanned_ ? std::min<uint64_t>(cap, uint64_t(double(fits) / ratio_)) : cap;
        // In a volume, aim the block at the room left: shrink a piece that came out too big, grow
        // one that compressed well, and keep the largest that fitted.
        std::vector<uint8_t> block;
        uint64_t taken = 0;
        for (int attempt = 0; attempt < 8; ++attempt) {
            want = std::clamp<uint64_t>(want, std::min<uint64_t>(cap, 1), cap);
            std::vector<uint8_t> candidate = encode(want);
            const double scale = double(room - 4) / double(candidate.size() - 4);
            if (candidate.size() <= room) {
                if (want > taken || block.empty()) {
                    block = std::move(candidate);
                    taken = want;
                }
                if (!spanned_ || want == cap || scale < 1.03) break;
                uint64_t grown = uint64_t(double(want) * scale * 0.98);
                if (grown <= want) break;
                want = grown;
            } else {
                if (!block.empty()) break;
                want = uint64_t(double(want) * std::min(scale * 0.95, 0.95));
            }
        }
        if (block.empty()) {  // stored, it always fits
            taken = std::min(cap, fits);
            block = encode(taken);
        }
        Write(block.data(), block.size());
        ratio_ = std::clamp(double(block.size() - 4) / double(taken + headerSize), 0.01, 1.0);
        source.Take(taken);
        first = false;
        volumeHasFiles_ = true;
        ++fileBlocks_;
        done_bytes_ += taken;
        if (o_.progress) o_.progress(done_bytes_, total_bytes_);
    }
}

// Without volumes every block is cut at the block limit and is its own zlib stream, so blocks can
// be compressed on every core. A bounded window of them is in flight (by count and by input
// bytes); they are written in order, so the output is the same as from one thread.
struct BlockJob {
    const PackFile* file = nullptr;
    uint32_t date = 0;
    uint64_t offset = 0, size = 0;
    bool last = false;  // the file's last piece: nothing may follow it
    std::vector<uint8_t> block;
    std::exception_ptr error;
    bool done = false;
};

// The piece's plain content: the header, then the piece's bytes from its file.
void ReadPiece(const BlockJob& job, const std::string& header, std::vector<uint8_t>& data) {
    const PackFile& f = *job.file;
    auto file = OpenFile(f.source, OpenMode::ReadShared);
    if (!file) throw PackError("cannot open " + f.source);
    if (job.offset && !file->Seek(int64_t(job.offset)))
        throw PackError(f.source + " became shorter while it was packed");
    data.assign(header.begin(), header.end());
    data.resize(header.size() + size_t(job.size));
    for (size_t have = header.size(); have < data.size();) {
        int32_t want = int32_t(std::min<size_t>(data.size() - have, 1u << 30));
        int32_t got = file->Read(data.data() + have, want);
        if (got <= 0) throw PackError(f.source + " became shorter while it was packed");
        have += size_t(got);
    }
    uint8_t extra;
    if (job.last && file->Read(&extra, 1) > 0) throw PackError(f.source + " grew while it was packed");
}

class BlockPool {
public:
    // Reads and encodes one piece; plain and the compressor are the worker's, kept between pieces.
    using Encoder = std::function<std::vector<uint8_t>(const BlockJob&, std::vector<uint8_t>& plain,
                                                       BlockCompressor& compressor)>;
    BlockPool(unsigned threads, int level, const Encoder& encode) : level_(level), encode_(encode) {
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    }
    ~BlockPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_) t.join();
    }
    void Submit(BlockJob* job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_.push_back(job);
        }
        wake_.notify_one();
    }
    void WaitFor(const BlockJob& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [&job] { return job.done; });
    }

private:
    void Work() {
        // The piece's content and the compressor, both kept for the next piece.
        std::vector<uint8_t> plain;
        BlockCompressor compressor(level_);
        for (;;) {
            BlockJob* job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
                if (stop_) return;
                job = pending_.front();
                pending_.pop_front();
            }
            try {
                job->block = encode_(*job, plain, compressor);
            } catch (...) {
                job->error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                job->done = true;
            }
            finished_.notify_all();
        }
    }

    int level_;
    Encoder encode_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::deque<BlockJob*> pending_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

void Writer::WriteFilesInParallel(unsigned threads) {
    constexpr uint64_t kBytesInFlight = 256ull << 20;
    const size_t maxJobs = size_t(threads) * 4;
    // Declared before the pool, so that the workers are gone before the jobs they may still hold.
    std::deque<std::unique_ptr<BlockJob>> window;
    BlockPool pool(threads, d_.level, [this](const BlockJob& job, std::vector<uint8_t>& plain,
                                             BlockCompressor& compressor) {
        ReadPiece(job, MakeItemHeader(job.file->ItemName(), job.date) + std::string(1, '\0'), plain);
        return EncodeBlock(plain, compressor);
    });
    // The pieces in file order: a file is cut at the block limit; an empty file is one empty piece.
    size_t fileIndex = 0;
    uint64_t offset = 0;
    auto nextPiece = [&](BlockJob& job) {
        const PackFile& f = d_.files[fileIndex];
        job.file = &f;
        job.date = ItemDate(f);
        job.offset = offset;
        job.size = std::min(f.size - offset, blockLimit_);
        offset += job.size;
        job.last = offset == f.size;
        if (job.last) {
            ++fileIndex;
            offset = 0;
        }
    };
    uint64_t inFlight = 0;
    while (fileIndex < d_.files.size() || !window.empty()) {
        while (fileIndex < d_.files.size() && window.size() < maxJobs) {
            auto job = std::make_unique<BlockJob>();
            nextPiece(*job);
            if (!window.empty() && inFlight + job->size > kBytesInFlight) {
                // Put the piece back: it starts the next round.
                if (job->last) --fileIndex;
                offset = job->offset;
                break;
            }
            inFlight += job->size;
            pool.Submit(job.get());
            window.push_back(std::move(job));
        }
        BlockJob& front = *window.front();
        pool.WaitFor(front);
        if (front.error) std::rethrow_exception(front.error);
        Write(front.block.data(), front.block.size());
        volumeHasFiles_ = true;
        ++fileBlocks_;
        done_bytes_ += front.size;
        inFlight -= front.size;
        if (o_.progress) o_.progress(done_bytes_, total_bytes_);
        window.pop_front();
    }
}

void Writer::Finish(OutputFile& out, PackageTrailer trailer) {
    trailer.FileCount = fileBlocks_;
    trailer.Set(PackageFlag::MoreVolumes, out.moreVolumes);
    auto file = OpenFile(out.tempPath, OpenMode::ReadWrite);
    if (!file) throw PackError("cannot reopen " + out.tempPath);
    if (!SealPackageFile(*file, out.trailerAt, trailer, out.peImage))
        throw PackError("cannot write " + out.tempPath + ": " + LastSystemError());
    const PackageTrailer::Bytes bytes = trailer.Encode();
    file.reset();
    // Buffered bytes may still fail when the file is closed, and closing reports nothing: read
    // the end back rather than call a short file a package.
    auto check = OpenFile(out.tempPath, OpenMode::ReadShared);
    PackageTrailer::Bytes back{};
    if (!check || check->Size() != out.trailerAt + kTrailerSize || !check->Seek(out.trailerAt) ||
        check->Read(back.data(), kTrailerSize) != kTrailerSize || back != bytes)
        throw PackError("cannot write " + out.tempPath + " (disk full?)");
}

BuildResult Writer::Run() {
    outputPath_ = o_.output.empty() ? d_.output : o_.output;
    const std::string stubPath = o_.stub.empty() ? d_.stub : o_.stub;
    spanned_ = d_.volumeSize > 0;
    if (d_.blockSize > kMaxBlockSize) throw PackError("BlockSize must be at most 1G");
    blockLimit_ = d_.blockSize ? d_.blockSize : kMaxBlockSize;
    if (SamePath(outputPath_, stubPath))
        throw PackError("the output would overwrite the stub template " + stubPath);

    std::vector<uint8_t> stub = ReadStub(stubPath);
    const std::string outFolder = ParentFolder(outputPath_);
    if (!outFolder.empty() && !MakeFolders(outFolder)) throw PackError("cannot create folder " + outFolder);
    std::vector<std::string> problems = StubTemplateProblems(stub);
    if (!problems.empty() && !o_.force)
        throw PackError("stub template " + stubPath + ": " + problems.front() + " (--force packs it anyway)");
    const bool peImage = IsPeImage(stub.data(), stub.size());
    PrepareHead(stub);

    std::vector<uint64_t> sizes;
    for (const auto& f : d_.files) {
        sizes.push_back(f.size);
        total_bytes_ += f.size;
    }
    trailer_.SpaceRequired = ComputeSpaceRequired(sizes);
    if (std::string slots = ClampedSlots(trailer_.SpaceRequired); !slots.empty())
        warnings_.push_back("the files take 4 GB or more " + slots +
                            ": SpaceRequired says 4 GB - 1 there");
    trailer_.HeadBlockCount = uint8_t(d_.hasDownload ? 3 : 2);
    trailer_.PackageTime = PackageTimeFromUnix(o_.now);
    trailer_.Set(PackageFlag::ShowTempNotice, d_.showTempNotice);
    trailer_.Set(PackageFlag::SpannedPackage, spanned_);
    trailer_.Set(PackageFlag::ShowActivityBar, d_.showActivityBar);
    trailer_.Set(PackageFlag::RunLogEnabled, d_.runLog);
    trailer_.IsWebStub = d_.webStub;
    trailer_.ConfirmDownload = d_.confirmDownload;
    trailer_.SaveAgentCopy = d_.saveAgentCopy;
    trailer_.IsAgent = d_.agent;

    // The stub file: image and head blocks, and the file blocks unless they go to volumes.
    OpenOutput(outputPath_, peImage);
    Write(stub.data(), stub.size());
    Write(head_.data(), head_.size());
    if (!spanned_) {
        unsigned threads = o_.threads > 0 ? unsigned(o_.threads) : std::thread::hardware_concurrency();
        if (threads > 1 && d_.compress) {
            WriteFilesInParallel(std::min(threads, 64u));
        } else {
            for (const auto& f : d_.files) WriteFile(f);
        }
    }
    CloseOutput();
    if (spanned_) {
        NextVolume();
        for (const auto& f : d_.files) WriteFile(f);
        CloseOutput();
    }

    BuildResult result;
    for (size_t i = 0; i < outputs_.size(); ++i) {
        PackageTrailer t = trailer_;
        t.PackageStart = i == 0 ? uint32_t(stub.size()) : 0;
        Finish(outputs_[i], t);
        if (i == 0) {
            result.trailer = t;
            result.trailer.FileCount = fileBlocks_;
        }
    }
    for (auto& out : outputs_) {
        if (!MoveOver(out.tempPath, out.path)) throw PackError("cannot write " + out.path);
        result.outputs.push_back(out.path);
    }
    finished_ = true;
    // Volumes left over from an earlier, longer build of the same output would look like part
    // of this package to anyone listing the folder.
    for (int n = spanned_ ? volume_ + 1 : 1; IsPackageVolume(VolumePath(outputPath_, n)); ++n)
        RemoveFileQuietly(VolumePath(outputPath_, n));
    result.fileBlocks = fileBlocks_;
    result.inputBytes = total_bytes_;
    result.warnings = warnings_;
    return result;
}

}  // namespace

std::array<uint32_t, kSpaceRequiredSlots> ComputeSpaceRequired(const std::vector<uint64_t>& sizes,
                                                                bool* clamped) {
    std::array<uint32_t, kSpaceRequiredSlots> out{};
    for (int i = 0; i < kSpaceRequiredSlots; ++i) {
        uint64_t cluster = kSpaceRequiredClusters[i];
        uint64_t sum = 0;
        for (uint64_t s : sizes) sum += cluster ? (s + cluster - 1) / cluster * cluster : s;
        if (sum > UINT32_MAX && clamped) *clamped = true;
        out[size_t(i)] = uint32_t(std::min<uint64_t>(sum, UINT32_MAX));
    }
    return out;
}

std::vector<std::string> StubTemplateProblems(const std::vector<uint8_t>& stub) {
    std::vector<std::string> problems;
    if (!IsPeImage(stub.data(), stub.size())) {
        problems.push_back("no PE header at offset 256 (bytes 0..1 must be \"MZ\", 256..257 \"PE\")");
        return problems;
    }
    if (ImageEnd(stub.data(), stub.size()) != 0) {
        problems.push_back("it already carries a package (ImageEnd is set); use the bare stub");
    } else {
        for (size_t i = kImageEndHighOffset; i < kImageEndLowOffset + 4; ++i)
            if (stub[i] != 0) {
                problems.push_back("bytes 248..255 are in use");
                break;
            }
    }
    // The certificate table (data directory 4): anything appended to a signed image breaks it.
    const size_t opt = kPeMarkOffset + 24;
    if (stub.size() >= opt + 2) {
        uint16_t magic = GetLE16(&stub[opt]);
        size_t dirs = magic == 0x20b ? opt + 112 : opt + 96;
        size_t count = magic == 0x20b ? opt + 108 : opt + 92;
        if (stub.size() >= dirs + 5 * 8 && GetLE32(&stub[count]) > 4 && GetLE32(&stub[dirs + 4 * 8 + 4]) != 0)
            problems.push_back("it is signed; sign the finished package instead");
    }
    return problems;
}

BuildResult BuildPackage(const PackageDescription& description, const BuildOptions& options) {
    Writer writer(description, options);
    return writer.Run();
}

}  // namespace zv::pack
