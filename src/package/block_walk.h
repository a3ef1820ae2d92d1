// Reading the blocks of one package file, shared by the stub's extraction and the packager's
// info/list/verify/extract: the walk from PackageStart to the trailer with every stated length
// checked before anything is read, and the plain content of a file block (stored or inflated)
// split into its item header and the file's bytes, streamed in bounded pieces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "package/zlib_open.h"
#include "utils/file_io.h"

namespace zv {

// An item header is "|name|date|" (a main program may carry engine arguments after its "*");
// anything this long without its NUL is not one. The packager refuses to write a longer one.
constexpr size_t kMaxItemHeader = 32 * 1024;

struct BlockRef {
    int64_t offset = 0;  // of the block's length field
    int32_t length = 0;  // as stored: > 0 a zlib stream, <= 0 stored bytes
    bool Compressed() const { return length > 0; }
    uint32_t StoredSize() const { return length > 0 ? uint32_t(length) : 0u - uint32_t(length); }
    int64_t End() const { return offset + 4 + int64_t(StoredSize()); }
};

// The blocks of one file between `start` (PackageStart) and `limit` (where the trailer starts).
class BlockWalk {
public:
    BlockWalk(IFile& file, int64_t start, int64_t limit)
        : file_(file), position_(start), limit_(limit) {}
    // The next block; false at the trailer, or on damage, when error() says what and errorAt()
    // where.
    bool Next(BlockRef& block);
    const std::string& error() const { return error_; }
    int64_t errorAt() const { return errorAt_; }
    int64_t position() const { return position_; }

private:
    bool Fail(const std::string& what);

    IFile& file_;
    int64_t position_;
    const int64_t limit_;
    std::string error_;
    int64_t errorAt_ = 0;
};

struct BlockContent {
    bool ok = false;        // read to its end, undamaged
    bool stopped = false;   // a sink asked to stop (not damage)
    std::string error;      // what was wrong when neither
    std::string header;     // item header: the text before the first NUL
    bool hasNul = false;    // without a NUL the block names nothing
    uint64_t dataSize = 0;  // file bytes after the NUL (up to where reading stopped)
    uint64_t trailingBytes = 0;  // block bytes after the end of its zlib stream
};
// Either returns false to stop reading the block.
using HeaderSink = std::function<bool(const std::string& header)>;
using DataSink = std::function<bool(const uint8_t* data, size_t size)>;

// Reads file blocks one after the other with one set of buffers.
class FileBlockReader {
public:
    // `pump` (may be empty) runs between pieces so that window messages keep flowing.
    explicit FileBlockReader(std::function<void()> pump = {}) : pump_(std::move(pump)) {}
    // `onHeader` sees the item header once its NUL is reached, `onData` the bytes after it.
    BlockContent Read(IFile& file, const BlockRef& block, const HeaderSink& onHeader,
                      const DataSink& onData);

private:
    ZLibOpen inflater_;
    std::unique_ptr<uint8_t[]> piece_;
    std::function<void()> pump_;
};

}  // namespace zv
