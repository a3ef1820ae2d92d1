#include "package/zlib_open.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "utils/text.h"

namespace zv {
namespace {

std::string ZLibText(int code) {
    const char* text = zError(code);
    return text && *text ? text : "zlib error " + IntText(code);
}

// inflateEnd runs on every way out.
class InflateStream {
public:
    InflateStream() {
        std::memset(&z_, 0, sizeof z_);
        initCode_ = inflateInit(&z_);
    }
    ~InflateStream() {
        if (initCode_ == Z_OK) inflateEnd(&z_);
    }
    int initCode() const { return initCode_; }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    z_stream* operator->() { return &z_; }
    z_stream* get() { return &z_; }

private:
    z_stream z_;
    int initCode_;
};

InflateReport Damaged(InflateReport report, int code) {
    report.outcome = InflateOutcome::Damaged;
    report.error = ZLibText(code);
    return report;
}

}  // namespace

ZLibOpen::ZLibOpen()
    : in_(new uint8_t[size_t(kBlockReadPiece)]), out_(new uint8_t[kInflateChunk]) {}

ZLibOpen::~ZLibOpen() = default;

InflateReport ZLibOpen::Inflate(IFile& source, int64_t compressedSize, const InflateSink& sink,
                                const std::function<void()>& pump) {
    InflateReport report;
    InflateStream z;
    if (z.initCode() != Z_OK) return Damaged(report, z.initCode());
    int64_t remaining = std::max<int64_t>(compressedSize, 0);
    for (;;) {
        if (z->avail_in == 0 && remaining > 0) {
            int32_t want = int32_t(std::min<int64_t>(remaining, kBlockReadPiece));
            int32_t got = source.Read(in_.get(), want);
            if (got <= 0) {
                report.outcome = InflateOutcome::SourceEnded;
                return report;
            }
            remaining -= got;
            report.compressedRead += got;
            z->next_in = in_.get();
            z->avail_in = uInt(got);
        }
        z->next_out = out_.get();
        z->avail_out = uInt(kInflateChunk);
        int rc = inflate(z.get(), Z_NO_FLUSH);
        // A stream that wants a preset dictionary can never make progress here; taking it as
        // success would spin for ever.
        if (rc == Z_NEED_DICT) return Damaged(report, rc);
        // Z_BUF_ERROR with input left cannot happen (output room is always there), so it means
        // the block's bytes ran out before the stream's end mark.
        if (rc < 0) return Damaged(report, rc);
        size_t produced = kInflateChunk - z->avail_out;
        if (produced > 0) {
            report.inflated += int64_t(produced);
            if (sink && !sink(out_.get(), produced)) {
                report.outcome = InflateOutcome::Stopped;
                return report;
            }
        }
        if (rc == Z_STREAM_END) {
            report.outcome = InflateOutcome::StreamEnd;
            report.trailing = remaining + int64_t(z->avail_in);
            return report;
        }
        if (pump) pump();
    }
}

std::string ZLibInflateBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    MemoryFile source(std::vector<uint8_t>(data, data + size));
    ZLibOpen inflater;
    out.clear();
    InflateReport r = inflater.Inflate(
        source, int64_t(size),
        [&out](const uint8_t* p, size_t n) {
            out.insert(out.end(), p, p + n);
            return true;
        },
        nullptr);
    if (r.outcome == InflateOutcome::SourceEnded) return ZLibText(Z_BUF_ERROR);
    return r.error;
}

}  // namespace zv
