// Inflating one file block: a zlib stream (RFC 1950) read in 64 KB pieces from a package file and
// handed out in bounded chunks, so that neither the compressed block nor its content is ever held
// whole in memory (a block may carry hundreds of megabytes; the stub is a 32-bit process).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/unpack.h"
#include "utils/file_io.h"

namespace zv {

constexpr int32_t kBlockReadPiece = 64 * 1024;     // compressed bytes per read
constexpr size_t kInflateChunk = 256 * 1024;        // inflated bytes per round

// Receives inflated bytes in order; returning false stops inflating (the rest is not read).
using InflateSink = std::function<bool(const uint8_t* data, size_t size)>;

enum class InflateOutcome {
    StreamEnd,    // the stream's end mark was reached
    Stopped,      // the sink asked to stop
    SourceEnded,  // the file gave no more bytes before `compressedSize` was read
    Damaged,      // zlib refused the stream; `error` holds its text
};

struct InflateReport {
    InflateOutcome outcome = InflateOutcome::StreamEnd;
    int64_t compressedRead = 0;
    int64_t inflated = 0;
    // Block bytes after the stream's end mark (read or not); a packager never writes any.
    int64_t trailing = 0;
    std::string error;  // with Damaged
};

// Reusable buffers for many blocks (one allocation per extraction run rather than per block).
class ZLibOpen {
public:
    ZLibOpen();
    ~ZLibOpen();
    ZLibOpen(const ZLibOpen&) = delete;
    ZLibOpen& operator=(const ZLibOpen&) = delete;

    // Inflates the stream of `compressedSize` bytes at the current position of `source`.
    // `pump` (may be empty) runs between rounds so that window messages keep flowing.
    // A damaged stream ends with Damaged and zlib's text: a negative zlib code ("data error"),
    // or a stream that asks for a preset dictionary ("need dictionary"). Bytes after the end mark
    // are not read.
    InflateReport Inflate(IFile& source, int64_t compressedSize, const InflateSink& sink,
                          const std::function<void()>& pump);

private:
    std::unique_ptr<uint8_t[]> in_;
    std::unique_ptr<uint8_t[]> out_;
};

// Whole-buffer convenience (tests, tools): inflates `data` into `out`. Returns zlib's text for a
// damaged stream, "buffer error" for one whose bytes run out before its end mark, else "".
std::string ZLibInflateBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

}  // namespace zv
