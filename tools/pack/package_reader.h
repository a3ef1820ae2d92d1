// Reads a package back the way the stub's extraction walks it: trailer (through ImageEnd in a PE
// file), head blocks, file blocks volume by volume. Problems are collected, not thrown, so that
// `verify` can name all of them.
#pragma once
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/block_walk.h"
#include "package/package_layout.h"
#include "utils/file_io.h"

namespace zv::pack {

struct VolumeView {
    std::string path;
    int number = 0;             // 0: the stub file of a spanned package; 1.. volume files
    bool peImage = false;
    int64_t fileSize = 0;
    uint64_t imageEnd = 0;      // as stored at 248/252 (PE images only)
    int64_t packageEnd = 0;     // ImageEnd, or the file size when unset / not a PE image
    int64_t trailerStart = 0;
    int32_t statedTrailerSize = 0;
    PackageTrailer trailer;     // as stored
    uint32_t computedChecksum = 0;
    bool checksumPasses = false;  // the extraction's rule: equal, or either is 1234
    int blockCount = 0;
};

// "<volume path> at offset <n>", the place an error message names.
std::string Where(const VolumeView& v, int64_t offset);

struct BlockView : BlockRef {
    size_t volume = 0;   // index into PackageView::volumes
};

struct PackageView {
    std::vector<VolumeView> volumes;
    bool spanned = false;     // the stub file holds head blocks only; files lie in volumes
    int headBlockCount = 0;
    std::string languageText, headerText, downloadText;
    std::vector<BlockView> fileBlocks;
    std::vector<std::string> errors;
    bool readable = false;    // trailer and signature found: the rest is worth a look
    // The walk began at a later volume of an unspanned set: its head blocks, and the start of the
    // first file, lie in a volume before it.
    bool startsMidSet = false;

    const PackageTrailer& Trailer() const { return volumes.front().trailer; }
};

PackageView ScanPackage(const std::string& path);

// Reads (and for zlib blocks inflates) file blocks with the stub's own reader, opening each
// volume as its blocks come up. Bytes after the end of a zlib stream, which the stub skips, make
// the block fail here: a packager never writes them.
class BlockReader {
public:
    explicit BlockReader(const PackageView& view) : view_(view) {}
    BlockContent Read(const BlockView& block, const HeaderSink& onHeader = nullptr,
                      const DataSink& onData = nullptr);

private:
    IFile* Volume(size_t index);
    const PackageView& view_;
    FileBlockReader reader_;
    size_t openIndex_ = SIZE_MAX;
    std::unique_ptr<IFile> open_;
};

// Splits the header of a file block the way the stub does; `plain` false when item 0 is empty.
struct ParsedItem {
    ItemHeader item;
    std::string engineArgs;  // text after the "*", trimmed
    int itemCount = 0;
};
ParsedItem ParseItem(const std::string& header);

}  // namespace zv::pack
