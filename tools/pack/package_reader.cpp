#include "package_reader.h"

#include <algorithm>
#include <climits>

#include "ini_file.h"
#include "package_writer.h"
#include "package/unpack.h"
#include "utils/sub.h"

namespace zv::pack {
namespace {

constexpr int kMaxVolumes = 99999;

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
    v.checksumPasses = ChecksumPasses(v.computedChecksum, v.trailer.PackageChecksum);
    if (!v.checksumPasses)
        errors.push_back(v.path + ": checksum mismatch (stored " + std::to_string(v.trailer.PackageChecksum) +
                         ", computed " + std::to_string(v.computedChecksum) + "): the stub would refuse it");
    if (v.statedTrailerSize != kTrailerSize)
        errors.push_back(v.path + ": trailer is " + std::to_string(v.statedTrailerSize) + " bytes, not 74");
    return true;
}

// Walks the blocks of one volume with the stub's walk; returns them in order.
std::vector<BlockView> WalkBlocks(IFile& file, size_t index, VolumeView& v,
                                  std::vector<std::string>& errors) {
    std::vector<BlockView> blocks;
    BlockWalk walk(file, v.trailer.PackageStart, v.trailerStart);
    BlockView b;
    b.volume = index;
    while (walk.Next(b)) blocks.push_back(b);
    if (!walk.error().empty()) errors.push_back(Where(v, walk.errorAt()) + ": " + walk.error());
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
    IFile* file = Volume(block.volume);
    if (!file) {
        BlockContent out;
        out.error = "cannot read " + view_.volumes[block.volume].path;
        return out;
    }
    BlockContent out = reader_.Read(*file, block, onHeader, onData);
    if (out.ok && out.trailingBytes) {
        out.ok = false;
        out.error = std::to_string(out.trailingBytes) + " bytes follow the end of the zlib stream";
    }
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
