#include "package_reader.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "ini_file.h"
#include "package_writer.h"
#include "package/unpack.h"
#include "utils/sub.h"

namespace zv::pack {
namespace {

constexpr int kMaxVolumes = 99999;
constexpr size_t kMaxItemHeader = 64 * 1024;
constexpr int32_t kPiece = 64 * 1024;

// Reads the trailer of one file; false (with an error) when there is no usable one.
bool ReadVolume(IFile& file, VolumeView& v, std::vector<std::string>& errors) {
    TrailerLocation loc = LocateTrailer(file);
    v.fileSize = loc.fileSize;
    v.peImage = loc.peImage;
    if (!loc.ok) {
        uint64_t end = loc.peImage ? ImageEnd(file) : 0;
        if (loc.fileSize < 4)
            errors.push_back(v.path + ": too short to hold a package");
        else if (end > uint64_t(loc.fileSize))
            errors.push_back(v.path + ": ImageEnd points past the end of the file (" + std::to_string(end) +
                             " > " + std::to_string(loc.fileSize) + " bytes): truncated");
        else
            errors.push_back(v.path + ": no package trailer (stated trailer length " +
                             std::to_string(loc.length) + " does not fit the file)");
        return false;
    }
    v.imageEnd = loc.peImage ? ImageEnd(file) : 0;
    v.packageEnd = loc.end;
    v.statedTrailerSize = loc.length;
    v.trailerStart = loc.start();
    int32_t n = std::min(loc.length, kTrailerSize);
    uint8_t bytes[kTrailerSize] = {};
    if (!ReadAt(file, v.trailerStart, bytes, n)) {
        errors.push_back(v.path + ": cannot read the trailer");
        return false;
    }
    v.trailer = PackageTrailer::Decode(bytes, size_t(n));
    if (!v.trailer.HasSignature()) {
        errors.push_back(v.path + ": bad package signature (not a package, or a damaged trailer)");
        return false;
    }
    v.computedChecksum = PackageChecksum(file, n);
    v.checksumPasses = v.computedChecksum == v.trailer.PackageChecksum ||
                       v.computedChecksum == kChecksumOff || v.trailer.PackageChecksum == kChecksumOff;
    if (!v.checksumPasses)
        errors.push_back(v.path + ": checksum mismatch (stored " + std::to_string(v.trailer.PackageChecksum) +
                         ", computed " + std::to_string(v.computedChecksum) + "): the stub would refuse it");
    if (v.statedTrailerSize != kTrailerSize)
        errors.push_back(v.path + ": trailer is " + std::to_string(v.statedTrailerSize) + " bytes, not 74");
    return true;
}

// Walks the blocks of one volume; returns them in order.
std::vector<BlockView> WalkBlocks(IFile& file, size_t index, VolumeView& v,
                                  std::vector<std::string>& errors) {
    std::vector<BlockView> blocks;
    int64_t pos = v.trailer.PackageStart;
    if (pos > v.trailerStart) {
        errors.push_back(v.path + ": PackageStart " + std::to_string(pos) + " lies past the trailer");
        return blocks;
    }
    while (pos < v.trailerStart) {
        if (v.trailerStart - pos < 4) {
            errors.push_back(Where(v, pos) + ": " + std::to_string(v.trailerStart - pos) +
                             " stray bytes before the trailer");
            break;
        }
        uint8_t len[4];
        if (!ReadAt(file, pos, len, 4)) {
            errors.push_back(Where(v, pos) + ": cannot read a block length");
            break;
        }
        BlockView b;
        b.volume = index;
        b.offset = pos;
        b.length = int32_t(GetLE32(len));
        int64_t room = v.trailerStart - pos - 4;
        if (int64_t(b.StoredSize()) > room) {
            errors.push_back(Where(v, pos) + ": block of " + std::to_string(b.StoredSize()) +
                             " bytes runs past the trailer (" + std::to_string(room) +
                             " bytes left): truncated or damaged");
            break;
        }
        blocks.push_back(b);
        pos += 4 + int64_t(b.StoredSize());
    }
    v.blockCount = int(blocks.size());
    return blocks;
}

std::string ReadHeadText(IFile& file, const BlockView& b, const VolumeView& v,
                         std::vector<std::string>& errors) {
    if (b.length < 0) {
        errors.push_back(Where(v, b.offset) + ": head block with negative length");
        return {};
    }
    std::string text(size_t(b.length), '\0');
    if (b.length > 0 && !ReadAt(file, b.offset + 4, reinterpret_cast<uint8_t*>(&text[0]), b.length))
        errors.push_back(Where(v, b.offset) + ": cannot read head block");
    return text;
}

// "<base>", first volume number and whether head blocks lead that volume, from a file name.
bool VolumeName(const std::string& path, std::string& base, int& number) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.size() - dot - 1 < 3) return false;
    std::string digits = path.substr(dot + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    base = path.substr(0, dot);
    number = std::stoi(digits);
    return number >= 1;
}

}  // namespace

std::string Where(const VolumeView& v, int64_t offset) {
    return v.path + " at offset " + std::to_string(offset);
}

PackageView ScanPackage(const std::string& path) {
    PackageView view;
    std::string base = path;
    int number = 0;
    bool volumeName = VolumeName(path, base, number);
    std::string current = path;
    bool headPending = true;  // head blocks still to be read from the walk
    for (int guard = 0; guard < kMaxVolumes; ++guard) {
        auto file = OpenFile(current, OpenMode::ReadShared);
        if (!file) {
            view.errors.push_back(view.volumes.empty() ? "cannot open " + current
                                                       : "volume missing: " + current);
            break;
        }
        VolumeView v;
        v.path = current;
        v.number = number;
        if (!ReadVolume(*file, v, view.errors)) break;
        size_t index = view.volumes.size();
        view.volumes.push_back(v);
        VolumeView& vol = view.volumes.back();
        if (index == 0) {
            view.readable = true;
            int count = vol.trailer.HeadBlockCount == 0 ? 2 : vol.trailer.HeadBlockCount;
            if (count != 2 && count != 3)
                view.errors.push_back(path + ": HeadBlockCount " + std::to_string(count) + " is not 2 or 3");
            view.headBlockCount = std::clamp(count, 2, 3);
            view.spanned = vol.peImage && vol.trailer.Has(PackageFlag::SpannedPackage);
            if (!view.spanned && volumeName && number > 1) {
                headPending = false;
                view.startsMidSet = true;
            }
        }
        std::vector<BlockView> blocks = WalkBlocks(*file, index, vol, view.errors);
        size_t first = 0;
        const bool wantHead = headPending || (view.spanned && vol.number == 1);
        if (wantHead) {
            if (int(blocks.size()) < view.headBlockCount) {
                view.errors.push_back(vol.path + ": holds " + std::to_string(blocks.size()) +
                                      " blocks, fewer than its " + std::to_string(view.headBlockCount) +
                                      " head blocks");
            }
            std::string texts[3];
            for (int i = 0; i < view.headBlockCount && size_t(i) < blocks.size(); ++i)
                texts[i] = ReadHeadText(*file, blocks[size_t(i)], vol, view.errors);
            first = std::min(blocks.size(), size_t(view.headBlockCount));
            if (headPending) {
                view.languageText = texts[0];
                view.headerText = texts[1];
                view.downloadText = texts[2];
                headPending = false;
            } else if (texts[0] != view.languageText || texts[1] != view.headerText ||
                       texts[2] != view.downloadText) {
                view.errors.push_back(vol.path + ": its head blocks differ from the stub's");
            }
        }
        if (view.spanned && vol.number == 0) {
            if (blocks.size() > first)
                view.errors.push_back(vol.path + ": the stub of a spanned package holds file blocks");
        } else {
            view.fileBlocks.insert(view.fileBlocks.end(), blocks.begin() + ptrdiff_t(first), blocks.end());
        }
        if (vol.peImage && vol.number > 0)
            view.errors.push_back(vol.path + ": a volume file must not be a PE image");
        // Which file comes next: a spanned stub continues with ".001", a volume with its successor.
        if (view.spanned && vol.number == 0) {
            if (vol.trailer.Has(PackageFlag::MoreVolumes))
                view.errors.push_back(vol.path + ": MoreVolumes is set in the stub of a spanned package");
            base = path;
            number = 1;
        } else if (vol.trailer.Has(PackageFlag::MoreVolumes)) {
            if (!volumeName && !view.spanned) {
                view.errors.push_back(vol.path + ": MoreVolumes is set, but the file is not a volume");
                break;
            }
            ++number;
        } else {
            break;
        }
        current = VolumePath(base, number);
    }
    return view;
}

IFile* BlockReader::Volume(size_t index) {
    if (openIndex_ != index) {
        open_ = OpenFile(view_.volumes[index].path, OpenMode::ReadShared);
        openIndex_ = open_ ? index : SIZE_MAX;
    }
    return open_.get();
}

BlockContent BlockReader::Read(const BlockView& block, const HeaderSink& onHeader,
                              const DataSink& onData) {
    BlockContent out;
    IFile* file = Volume(block.volume);
    if (!file || !file->Seek(block.offset + 4)) {
        out.error = "cannot read " + view_.volumes[block.volume].path;
        return out;
    }
    bool stopped = false;  // a sink said stop: not an error of the package
    // Splits the plain content at its first NUL as the extraction does.
    auto feed = [&](const uint8_t* p, size_t n) {
        if (!out.hasNul) {
            const uint8_t* nul = std::find(p, p + n, uint8_t(0));
            out.header.append(reinterpret_cast<const char*>(p), size_t(nul - p));
            if (out.header.size() > kMaxItemHeader) {
                out.error = "item header longer than 64 KB (no NUL byte?)";
                return false;
            }
            if (nul == p + n) return true;
            out.hasNul = true;
            n -= size_t(nul + 1 - p);
            p = nul + 1;
            if (onHeader && !onHeader(out.header)) stopped = true;
            if (stopped) return false;
        }
        out.dataSize += n;
        if (n && onData && !onData(p, n)) stopped = true;
        return !stopped;
    };

    if (in_.empty()) {
        in_.resize(size_t(kPiece));
        plain_.resize(size_t(kPiece));
    }
    std::vector<uint8_t>& in = in_;
    std::vector<uint8_t>& plain = plain_;
    uint64_t left = block.StoredSize();
    if (!block.Compressed()) {
        while (left > 0) {
            int32_t want = int32_t(std::min<uint64_t>(left, uint64_t(kPiece)));
            int32_t got = file->Read(in.data(), want);
            if (got <= 0) {
                out.error = "stored data ends early";
                return out;
            }
            left -= uint64_t(got);
            if (!feed(in.data(), size_t(got))) return out;
        }
        out.ok = true;
        return out;
    }

    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        out.error = "zlib cannot start";
        return out;
    }
    int rc = Z_OK;
    for (;;) {
        if (z.avail_in == 0 && left > 0) {
            int32_t got = file->Read(in.data(), int32_t(std::min<uint64_t>(left, uint64_t(kPiece))));
            if (got <= 0) {
                rc = Z_BUF_ERROR;
                break;
            }
            left -= uint64_t(got);
            z.next_in = in.data();
            z.avail_in = uInt(got);
        }
        z.next_out = plain.data();
        z.avail_out = uInt(plain.size());
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
        if (!feed(plain.data(), plain.size() - z.avail_out)) {
            inflateEnd(&z);
            return out;
        }
        if (rc == Z_STREAM_END) break;
        // No progress possible: the input is used up before the stream's end.
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && left == 0) break;
    }
    if (rc == Z_STREAM_END) {
        uint64_t extra = z.avail_in + left;
        if (extra) out.error = std::to_string(extra) + " bytes follow the end of the zlib stream";
        else out.ok = true;
    } else if (rc == Z_BUF_ERROR || rc == Z_OK) {
        out.error = "zlib stream ends early (truncated or damaged)";
    } else {
        out.error = std::string("zlib: ") + (z.msg ? z.msg : zError(rc));
    }
    inflateEnd(&z);
    return out;
}

ParsedItem ParseItem(const std::string& header) {
    ParsedItem p;
    p.item = ParseItemHeader(header);
    p.itemCount = SUB::Count(header);
    if (p.item.marked) p.engineArgs = TrimBlanks(p.item.rawName.substr(p.item.rawName.find('*') + 1));
    return p;
}

}  // namespace zv::pack
