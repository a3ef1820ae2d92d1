// Writing half of the package layout: what the packager (and the test builders) use to lay out
// blocks, head texts, trailers and tokens. Kept apart from the reader so the stub does not link
// the deflate code.
#include <zlib.h>

#include <algorithm>
#include <climits>
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

bool CompressZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level) {
    if (size > ULONG_MAX / 2) return false;
    uLongf bound = compressBound(uLong(size));
    std::vector<uint8_t> buf(bound);
    static const uint8_t empty = 0;
    if (compress2(buf.data(), &bound, size ? data : &empty, uLong(size), level) != Z_OK)
        return false;
    buf.resize(bound);
    out = std::move(buf);
    return true;
}

int64_t CompressZlibParts(const uint8_t* head, size_t headSize, const uint8_t* data, size_t size,
                          int level, std::vector<uint8_t>& scratch) {
    if (size > ULONG_MAX / 2 || headSize > ULONG_MAX / 2 - size) return -1;
    const uLong bound = compressBound(uLong(headSize + size));
    if (scratch.size() < bound) scratch.resize(bound);
    z_stream z = {};
    if (deflateInit(&z, level) != Z_OK) return -1;
    static uint8_t empty = 0;
    z.next_out = scratch.data();
    z.avail_out = uInt(bound);
    z.next_in = headSize ? const_cast<uint8_t*>(head) : &empty;
    z.avail_in = uInt(headSize);
    int rc = deflate(&z, Z_NO_FLUSH);
    if (rc == Z_OK) {
        z.next_in = size ? const_cast<uint8_t*>(data) : &empty;
        z.avail_in = uInt(size);
        rc = deflate(&z, Z_FINISH);
    }
    const int64_t length = int64_t(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? length : -1;
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
