#include "package/package_layout.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "utils/sub.h"
#include "utils/text.h"

namespace zv {
namespace {

// Read-only IFile over caller-owned bytes, so the checksum has one routine for files and memory.
class ByteView : public IFile {
public:
    ByteView(const uint8_t* data, size_t size) : data_(data), size_(int64_t(size)) {}
    int64_t Size() override { return size_; }
    bool Seek(int64_t position) override {
        if (position < 0) return false;
        pos_ = position;
        return true;
    }
    int64_t Position() override { return pos_; }
    int32_t Read(void* buffer, int32_t count) override {
        if (count <= 0 || pos_ >= size_) return 0;
        int64_t n = std::min<int64_t>(count, size_ - pos_);
        std::memcpy(buffer, data_ + pos_, size_t(n));
        pos_ += n;
        return int32_t(n);
    }
    int32_t Write(const void*, int32_t) override { return -1; }

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t pos_ = 0;
};

uint32_t FreshSeed() {
    static uint32_t counter = 0;
    auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    return uint32_t(uint64_t(ticks) ^ (uint64_t(ticks) >> 32)) ^ (++counter * 0x9E3779B9u);
}

// A number from 0 to 99998 that no caller can foresee, so that a failure matches no token.
std::string FailureToken() { return IntText(FreshSeed() % 99999u); }

}  // namespace

// ---- Trailer ----

PackageTrailer PackageTrailer::MakeNew() {
    PackageTrailer t;
    t.Reserved0 = 1;
    t.HeadBlockCount = 2;
    t.PackageSignature = kPackageSignature;
    t.TrailerSize = kTrailerSize;
    return t;
}

void PackageTrailer::EncodeTo(uint8_t* out) const {
    namespace o = trailer_offset;
    std::memset(out, 0, kTrailerSize);
    out[o::Reserved0] = Reserved0;
    out[o::HeadBlockCount] = HeadBlockCount;
    SetLE16(out + o::Reserved2, Reserved2);
    SetLE32(out + o::PackageStart, PackageStart);
    SetLE32(out + o::FileCount, FileCount);
    SetLE32(out + o::PackageSignature, PackageSignature);
    SetLE32(out + o::PackageChecksum, PackageChecksum);
    SetLE64(out + o::PackageTime, uint64_t(PackageTime));
    for (int i = 0; i < kSpaceRequiredSlots; ++i)
        SetLE32(out + o::SpaceRequired + 4 * i, SpaceRequired[i]);
    out[o::Reserved64] = Reserved64;
    out[o::PackageFlags] = PackageFlags;
    out[o::IsWebStub] = IsWebStub;
    out[o::ConfirmDownload] = ConfirmDownload;
    out[o::SaveAgentCopy] = SaveAgentCopy;
    out[o::IsAgent] = IsAgent;
    SetLE32(out + o::TrailerSize, uint32_t(TrailerSize));
}

PackageTrailer::Bytes PackageTrailer::Encode() const {
    Bytes b{};
    EncodeTo(b.data());
    return b;
}

PackageTrailer PackageTrailer::Decode(const uint8_t* bytes, size_t count) {
    namespace o = trailer_offset;
    uint8_t b[kTrailerSize] = {};
    if (bytes) std::memcpy(b, bytes, std::min<size_t>(count, kTrailerSize));
    PackageTrailer t;
    t.Reserved0 = b[o::Reserved0];
    t.HeadBlockCount = b[o::HeadBlockCount];
    t.Reserved2 = GetLE16(b + o::Reserved2);
    t.PackageStart = GetLE32(b + o::PackageStart);
    t.FileCount = GetLE32(b + o::FileCount);
    t.PackageSignature = GetLE32(b + o::PackageSignature);
    t.PackageChecksum = GetLE32(b + o::PackageChecksum);
    t.PackageTime = int64_t(GetLE64(b + o::PackageTime));
    for (int i = 0; i < kSpaceRequiredSlots; ++i)
        t.SpaceRequired[i] = GetLE32(b + o::SpaceRequired + 4 * i);
    t.Reserved64 = b[o::Reserved64];
    t.PackageFlags = b[o::PackageFlags];
    t.IsWebStub = b[o::IsWebStub];
    t.ConfirmDownload = b[o::ConfirmDownload];
    t.SaveAgentCopy = b[o::SaveAgentCopy];
    t.IsAgent = b[o::IsAgent];
    t.TrailerSize = int32_t(GetLE32(b + o::TrailerSize));
    return t;
}

void PackageTrailer::Set(PackageFlag flag, bool on) {
    if (on)
        PackageFlags = uint8_t(PackageFlags | uint8_t(flag));
    else
        PackageFlags = uint8_t(PackageFlags & ~uint8_t(flag));
}

bool PackageTrailer::operator==(const PackageTrailer& other) const {
    return Encode() == other.Encode();
}

// ---- PE image and ImageEnd ----

bool IsPeImage(IFile& file) {
    uint8_t mark[2];
    if (!ReadAt(file, 0, mark, 2) || mark[0] != 'M' || mark[1] != 'Z') return false;
    return ReadAt(file, kPeMarkOffset, mark, 2) && mark[0] == 'P' && mark[1] == 'E';
}

bool IsPeImage(const uint8_t* data, size_t size) {
    ByteView view(data, size);
    return IsPeImage(view);
}

uint64_t ImageEnd(IFile& file) {
    uint8_t words[8];
    if (!ReadAt(file, kImageEndHighOffset, words, 8)) return 0;
    return uint64_t(GetLE32(words)) << 32 | GetLE32(words + 4);
}

uint64_t ImageEnd(const uint8_t* data, size_t size) {
    ByteView view(data, size);
    return ImageEnd(view);
}

bool SetImageEnd(uint8_t* data, size_t size, uint64_t value) {
    if (!data || size < size_t(kImageEndLowOffset + 4)) return false;
    SetLE32(data + kImageEndHighOffset, uint32_t(value >> 32));
    SetLE32(data + kImageEndLowOffset, uint32_t(value));
    return true;
}

TrailerLocation LocateTrailer(IFile& file) {
    TrailerLocation loc;
    loc.fileSize = file.Size();
    if (loc.fileSize < 4) return loc;
    loc.peImage = IsPeImage(file);
    loc.end = loc.fileSize;
    if (loc.peImage) {
        uint64_t e = ImageEnd(file);
        if (e > 0) {
            // An ImageEnd past the end of the file cannot be trusted for anything.
            if (e > uint64_t(loc.fileSize) || e < 4) return loc;
            loc.end = int64_t(e);
        }
    }
    uint8_t len[4];
    if (!ReadAt(file, loc.end - 4, len, 4)) return loc;
    loc.length = int32_t(GetLE32(len));
    // A trailer must hold more than its own length field and lie inside the file.
    if (loc.length <= 4 || loc.length > loc.end) return loc;
    loc.ok = true;
    return loc;
}

int64_t PackageEnd(IFile& file) {
    int64_t size = file.Size();
    if (size < 0) return -1;
    if (!IsPeImage(file)) return size;
    uint64_t e = ImageEnd(file);
    if (e == 0) return size;
    return e >= 4 && e <= uint64_t(size) ? int64_t(e) : -1;
}

// ---- Blocks ----

FileBlockContent SplitFileBlockContent(const uint8_t* content, size_t size) {
    FileBlockContent r;
    if (!content || size == 0) return r;
    const void* nul = std::memchr(content, 0, size);
    if (!nul) return r;
    size_t at = size_t(static_cast<const uint8_t*>(nul) - content);
    r.header.assign(reinterpret_cast<const char*>(content), at);
    r.dataOffset = at + 1;
    r.valid = !r.header.empty();
    return r;
}

ItemHeader ParseItemHeader(const std::string& header) {
    ItemHeader h;
    h.rawName = SUB::GetItem(header, 0);
    size_t star = h.rawName.find('*');
    h.marked = star != std::string::npos;
    h.name = h.marked ? h.rawName.substr(0, star) : h.rawName;
    h.date = StrToInt64Def(SUB::GetItem(header, 1), 0);
    return h;
}

// ---- Checksum ----

uint32_t PackageChecksum(IFile& file, int32_t trailerSize) {
    int64_t remaining = file.Size();
    if (remaining < 0) return 0;
    if (remaining > kChecksumMaxFileSize) return kChecksumOff;

    // Only the low word of ImageEnd counts here; a set word also skips the first 512 bytes, which
    // hold the ImageEnd words themselves.
    uint32_t endWord = 0;
    uint8_t w[4];
    if (IsPeImage(file) && ReadAt(file, kImageEndLowOffset, w, 4)) endWord = GetLE32(w);
    if (endWord > 0) remaining = endWord;
    remaining -= trailerSize;
    int64_t start = 0;
    if (endWord > 0) {
        remaining -= 512;
        start = 512;
    }
    uint32_t sum = 0;
    if (!file.Seek(start)) return sum;
    uint8_t piece[kChecksumPiece];
    for (;;) {
        int32_t got = file.Read(piece, kChecksumPiece);
        if (got < 0) got = 0;
        for (int32_t i = 0; i + 4 <= got; i += 4) {
            remaining -= 4;
            if (remaining > 4) sum += GetLE32(piece + i);
        }
        if (remaining > 4) sum += kChecksumOff;
        if (got < kChecksumPiece) break;
    }
    return sum;
}

uint32_t PackageChecksum(const uint8_t* data, size_t size, int32_t trailerSize) {
    ByteView view(data, size);
    return PackageChecksum(view, trailerSize);
}

uint32_t PackageChecksum(const std::string& fileName, int32_t trailerSize) {
    auto file = OpenFile(fileName, OpenMode::ReadShared);
    if (!file) return 0;
    return PackageChecksum(*file, trailerSize);
}

// ---- Tokens ----

std::string UnscrambleToken(const std::string& text) {
    std::string failure = FailureToken();
    std::string shifted(text);
    for (char& c : shifted) c = char(uint8_t(uint8_t(c) - 50));
    std::vector<uint8_t> b;
    b.reserve(shifted.size() / 2 + 1);
    for (size_t i = 0; i < shifted.size(); i += 2)
        b.push_back(uint8_t(HexToInt(shifted.substr(i, 2), -1) & 0xFF));
    size_t n = b.size();
    if (n <= 4) return failure;

    uint8_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        if (i != n - 2) sum = uint8_t(sum + b[i]);
    if (sum != b[n - 2]) return failure;

    uint8_t key = uint8_t(b[0] ^ b[n - 1]);
    for (size_t i = 1; i <= n - 2; ++i) b[i] ^= key;
    int64_t padding = b[1];
    int64_t tail = b[2];
    int64_t count = int64_t(n) - padding - tail - 4;
    // Lengths that point outside the bytes (or leave nothing) mean the token was altered; an
    // empty result would compare equal to another broken token.
    if (count <= 0) return failure;
    return std::string(reinterpret_cast<const char*>(b.data()) + padding + 3, size_t(count));
}

// ---- Space ----

int SpaceRequiredEntry(uint64_t clusterSize) {
    int entry = 0;
    for (int i = 1; i < kSpaceRequiredSlots; ++i)
        if (clusterSize >= kSpaceRequiredClusters[i]) entry = i;
    return entry;
}

}  // namespace zv
