// Writing half of the package layout: what the packager (and the test builders) use to lay out
// blocks, head texts, trailers and tokens. Kept apart from the reader so the stub does not link
// the deflate code.
#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>

#include "package/package_layout.h"

namespace zv {

void AppendBlockLength(std::vector<uint8_t>& out, int32_t length) {
    uint8_t b[4];
    SetLE32(b, uint32_t(length));
    out.insert(out.end(), b, b + 4);
}

void AppendHeadBlock(std::vector<uint8_t>& out, const std::string& text) {
    AppendBlockLength(out, int32_t(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

namespace {
// zlib's levels, -1 for its default included; libdeflate's go on to 12, which take far longer.
struct libdeflate_compressor* NewCompressor(int level) {
    if (level == -1) level = 6;
    return level >= 0 && level <= 9 ? libdeflate_alloc_compressor(level) : nullptr;
}
}  // namespace

BlockCompressor::BlockCompressor(int level) : state_(NewCompressor(level)) {}

BlockCompressor::~BlockCompressor() { libdeflate_free_compressor(state_); }

int64_t BlockCompressor::Compress(const uint8_t* data, size_t size) {
    if (!state_ || size > SIZE_MAX / 2 || size > uint64_t(INT64_MAX) / 2) return -1;
    const size_t bound = libdeflate_zlib_compress_bound(state_, size);
    if (out_.size() < bound) out_.resize(bound);
    static const uint8_t empty = 0;
    const size_t length =
        libdeflate_zlib_compress(state_, size ? data : &empty, size, out_.data(), out_.size());
    return length ? int64_t(length) : -1;  // 0: did not fit the bound, which cannot happen
}

bool CompressZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level) {
    BlockCompressor compressor(level);
    const int64_t length = compressor.Compress(data, size);
    if (length < 0) return false;
    out.assign(compressor.Output(), compressor.Output() + length);
    return true;
}

bool AppendFileBlock(std::vector<uint8_t>& out, const std::vector<uint8_t>& content, bool compress,
                     int level) {
    if (content.size() > size_t(INT32_MAX)) return false;
    if (!compress) {
        AppendBlockLength(out, -int32_t(content.size()));
        out.insert(out.end(), content.begin(), content.end());
        return true;
    }
    std::vector<uint8_t> packed;
    if (!CompressZlib(content.data(), content.size(), packed, level)) return false;
    if (packed.empty() || packed.size() > size_t(INT32_MAX)) return false;
    AppendBlockLength(out, int32_t(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    return true;
}

std::string MakeItemHeader(const std::string& name, uint32_t dosDateTime) {
    return "|" + name + "|" + std::to_string(dosDateTime) + "|";
}

std::vector<uint8_t> MakeFileBlockContent(const std::string& name, uint32_t dosDateTime,
                                          const uint8_t* data, size_t size) {
    std::string header = MakeItemHeader(name, dosDateTime);
    std::vector<uint8_t> content(header.begin(), header.end());
    content.push_back(0);
    if (size) content.insert(content.end(), data, data + size);
    return content;
}

std::string HeaderFields::Encode() const {
    return "|" + updateUrl + "|" + infoFileName + "|" + agentFileName + "|" + scrambledToken + "|" +
           (silentSetup ? "1" : "0") + "|";
}

std::string DownloadFields::Encode() const {
    return "|" + downloadUrl + "|" + downloadFileName + "|" + (alwaysDownload ? "1" : "0") + "|" +
           scrambledToken + "|" + downloadSize + "|";
}

std::string MakeLanguageItem(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string item = "\x01" + name + "\x01";
    for (const auto& e : entries) item += e.first + "=" + e.second + "\x01";
    return item;
}

std::string MakeLanguageBlock(const std::vector<std::string>& languageItems) {
    if (languageItems.empty()) return "";
    std::string block = "\x02";
    for (const auto& item : languageItems) block += item + "\x02";
    return block;
}

bool SealPackageFile(IFile& file, int64_t trailerAt, PackageTrailer& trailer, bool setImageEnd,
                     bool checksumOff) {
    trailer.TrailerSize = kTrailerSize;
    trailer.PackageChecksum = 0;
    PackageTrailer::Bytes bytes = trailer.Encode();
    if (!file.Seek(trailerAt) || file.Write(bytes.data(), kTrailerSize) != kTrailerSize) return false;
    if (setImageEnd && IsPeImage(file)) {
        uint8_t words[8];
        const uint64_t end = uint64_t(trailerAt) + kTrailerSize;
        SetLE32(words, uint32_t(end >> 32));
        SetLE32(words + 4, uint32_t(end));
        if (!file.Seek(kImageEndHighOffset) || file.Write(words, 8) != 8) return false;
    }
    // The sum covers the finished file, ImageEnd and a zero checksum field included.
    trailer.PackageChecksum = checksumOff ? kChecksumOff : PackageChecksum(file, kTrailerSize);
    bytes = trailer.Encode();
    return file.Seek(trailerAt) && file.Write(bytes.data(), kTrailerSize) == kTrailerSize;
}

PackageTrailer SealPackage(std::vector<uint8_t>& image, PackageTrailer trailer, bool setImageEnd,
                           bool checksumOff) {
    const int64_t at = int64_t(image.size());
    MemoryFile file(std::move(image));
    SealPackageFile(file, at, trailer, setImageEnd, checksumOff);
    image = file.Bytes();
    return trailer;
}

std::string ScrambleToken(const std::string& token, uint32_t seed, int maxPadding) {
    maxPadding = std::max(0, std::min(maxPadding, 254));
    std::mt19937 rng(seed);
    auto randomByte = [&rng] { return uint8_t(rng() & 0xFF); };
    auto randomUpTo = [&rng](int high) { return int(rng() % uint32_t(high + 1)); };

    int padding = randomUpTo(maxPadding);
    int tail = randomUpTo(maxPadding);  // bytes between the token and the check byte
    uint8_t first = randomByte();
    uint8_t last = randomByte();
    uint8_t key = uint8_t(first ^ last);

    std::vector<uint8_t> plain;
    plain.push_back(uint8_t(padding));
    plain.push_back(uint8_t(tail + 1));  // the stored tail length counts the check byte
    for (int i = 0; i < padding; ++i) plain.push_back(randomByte());
    plain.insert(plain.end(), token.begin(), token.end());
    for (int i = 0; i < tail; ++i) plain.push_back(randomByte());

    std::vector<uint8_t> b;
    b.push_back(first);
    for (uint8_t c : plain) b.push_back(uint8_t(c ^ key));
    uint8_t check = 0;
    for (uint8_t c : b) check = uint8_t(check + c);
    check = uint8_t(check + last);
    b.push_back(check);
    b.push_back(last);

    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(b.size() * 2);
    for (uint8_t c : b) {
        out += char(kHex[c >> 4] + 50);
        out += char(kHex[c & 15] + 50);
    }
    return out;
}

}  // namespace zv
