#include "package/block_walk.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "utils/text.h"

namespace zv {

bool BlockWalk::Fail(const std::string& what) {
    error_ = what;
    errorAt_ = position_;
    return false;
}

bool BlockWalk::Next(BlockRef& block) {
    if (!error_.empty() || position_ == limit_) return false;
    if (position_ > limit_)
        return Fail("PackageStart " + IntText(position_) + " lies past the trailer");
    const int64_t left = limit_ - position_;
    if (left < 4)
        return Fail("package ends inside a block: " + IntText(left) +
                    " stray bytes before the trailer");
    uint8_t length[4];
    if (!ReadAt(file_, position_, length, 4))
        return Fail("package ends inside a block: cannot read a block length");
    block.offset = position_;
    block.length = int32_t(GetLE32(length));
    if (int64_t(block.StoredSize()) > left - 4)
        return Fail("block of " + IntText(block.StoredSize()) +
                    " bytes runs past the trailer (" + IntText(left - 4) +
                    " bytes left): truncated or damaged");
    position_ = block.End();
    return true;
}

namespace {

// Splits plain block content at its first NUL and hands each side to its sink.
class ContentSplitter {
public:
    ContentSplitter(BlockContent& out, const HeaderSink& onHeader, const DataSink& onData)
        : out_(out), onHeader_(onHeader), onData_(onData) {}

    bool Feed(const uint8_t* p, size_t n) {
        if (!out_.hasNul) {
            const void* nul = std::memchr(p, 0, n);
            const size_t headerBytes = nul ? size_t(static_cast<const uint8_t*>(nul) - p) : n;
            // Past the limit the text is no item header; a block that never reaches a NUL names
            // nothing and is skipped as a whole, one whose NUL comes that late is damaged.
            if (!overlong_) out_.header.append(reinterpret_cast<const char*>(p), headerBytes);
            if (out_.header.size() > kMaxItemHeader) {
                overlong_ = true;
                out_.header.clear();
            }
            if (!nul) return true;
            if (overlong_) {
                out_.error = "item header longer than " + IntText(kMaxItemHeader / 1024) +
                             " KB";
                return false;
            }
            out_.hasNul = true;
            p += headerBytes + 1;
            n -= headerBytes + 1;
            if (onHeader_ && !onHeader_(out_.header)) return Stop();
        }
        out_.dataSize += n;
        if (n && onData_ && !onData_(p, n)) return Stop();
        return true;
    }

private:
    bool Stop() {
        out_.stopped = true;
        return false;
    }
    BlockContent& out_;
    bool overlong_ = false;
    const HeaderSink& onHeader_;
    const DataSink& onData_;
};

constexpr const char* kEndsInside = "package ends inside a block";

}  // namespace

BlockContent FileBlockReader::Read(IFile& file, const BlockRef& block, const HeaderSink& onHeader,
                                   const DataSink& onData) {
    BlockContent out;
    ContentSplitter splitter(out, onHeader, onData);
    if (!file.Seek(block.offset + 4)) {
        out.error = kEndsInside;
        return out;
    }
    const int64_t size = int64_t(block.StoredSize());
    if (block.Compressed()) {
        const InflateReport report = inflater_.Inflate(
            file, size, [&splitter](const uint8_t* p, size_t n) { return splitter.Feed(p, n); },
            pump_);
        if (report.outcome == InflateOutcome::Damaged) {
            out.error = "damaged compressed block (zlib: " + report.error + ")";
            return out;
        }
        if (report.outcome == InflateOutcome::SourceEnded) out.error = kEndsInside;
        if (report.outcome != InflateOutcome::StreamEnd) return out;
        out.trailingBytes = uint64_t(report.trailing);
    } else {
        // One piece buffer for the reader's life, allocated on first use and never cleared.
        if (!piece_) piece_.reset(new uint8_t[size_t(kBlockReadPiece)]);
        for (int64_t left = size; left > 0;) {
            const int32_t got =
                file.Read(piece_.get(), int32_t(std::min<int64_t>(left, kBlockReadPiece)));
            if (got <= 0) {
                out.error = kEndsInside;
                return out;
            }
            left -= got;
            if (!splitter.Feed(piece_.get(), size_t(got))) return out;
            if (pump_) pump_();
        }
    }
    out.ok = true;
    return out;
}

}  // namespace zv
