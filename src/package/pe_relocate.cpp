#include "package/pe_relocate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "utils/file_io.h"

namespace zv {
namespace {

constexpr size_t kDosHeaderSize = 0x40;
constexpr size_t kLfanewOffset = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kBoundImportDirectory = 11;

std::string Hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

// Where the pieces of the NT headers lie, once they have been checked against the file size.
struct PeHeaders {
    size_t lfanew = 0;
    size_t length = 0;              // signature + file header + optional header + section table
    size_t optionalOffset = 0;      // relative to lfanew
    uint32_t sizeOfHeaders = 0;
    uint32_t firstRawData = 0;      // lowest file offset of any section's data, 0 when none
    uint32_t checksum = 0;
    uint32_t securitySize = 0;
    uint32_t boundImportSize = 0;
};

bool Fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

bool ParseHeaders(const std::vector<uint8_t>& image, PeHeaders& h, std::string* error) {
    const size_t size = image.size();
    const uint8_t* p = image.data();
    if (size < kDosHeaderSize) return Fail(error, "file too short for a DOS header");
    if (p[0] != 'M' || p[1] != 'Z') return Fail(error, "not an executable: no \"MZ\" at offset 0");

    h.lfanew = GetLE32(p + kLfanewOffset);
    if (h.lfanew < kDosHeaderSize)
        return Fail(error, "e_lfanew " + Hex(h.lfanew) + " points into the DOS header");
    if (h.lfanew > size || size - h.lfanew < 4 + kFileHeaderSize)
        return Fail(error, "e_lfanew " + Hex(h.lfanew) + " points past the end of the file");
    const uint8_t* nt = p + h.lfanew;
    if (std::memcmp(nt, "PE\0\0", 4) != 0)
        return Fail(error, "no \"PE\" signature at e_lfanew " + Hex(h.lfanew));

    const size_t sections = GetLE16(nt + 4 + 2);
    const size_t optionalSize = GetLE16(nt + 4 + 16);
    h.optionalOffset = 4 + kFileHeaderSize;
    h.length = h.optionalOffset + optionalSize + sections * kSectionHeaderSize;
    if (size - h.lfanew < h.length)
        return Fail(error, "section table runs past the end of the file");

    const uint8_t* opt = nt + h.optionalOffset;
    if (optionalSize < 2) return Fail(error, "optional header missing");
    const uint16_t magic = GetLE16(opt);
    size_t directoriesAt = 0;
    if (magic == kMagicPe32) directoriesAt = 96;
    else if (magic == kMagicPe32Plus) directoriesAt = 112;
    else return Fail(error, "unknown optional header magic " + Hex(magic));
    if (optionalSize < directoriesAt) return Fail(error, "optional header too short");

    h.sizeOfHeaders = GetLE32(opt + 60);
    h.checksum = GetLE32(opt + 64);
    const uint32_t directories = GetLE32(opt + directoriesAt - 4);
    auto directorySize = [&](uint32_t index) -> uint32_t {
        const size_t at = directoriesAt + size_t(index) * 8;
        if (index >= directories || at + 8 > optionalSize) return 0;
        return GetLE32(opt + at + 4);
    };
    h.securitySize = directorySize(kSecurityDirectory);
    h.boundImportSize = directorySize(kBoundImportDirectory);

    const uint8_t* table = opt + optionalSize;
    for (size_t i = 0; i < sections; ++i) {
        const uint8_t* s = table + i * kSectionHeaderSize;
        const uint32_t rawSize = GetLE32(s + 16);
        const uint32_t rawPointer = GetLE32(s + 20);
        if (rawSize == 0 || rawPointer == 0) continue;
        if (h.firstRawData == 0 || rawPointer < h.firstRawData) h.firstRawData = rawPointer;
    }
    return true;
}

bool AllZero(const std::vector<uint8_t>& image, size_t from, size_t to) {
    return std::all_of(image.begin() + from, image.begin() + to, [](uint8_t b) { return b == 0; });
}

}  // namespace

uint32_t PeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset) {
    uint64_t sum = 0;
    const size_t size = image.size();
    for (size_t i = 0; i < size; i += 2) {
        if (i >= checksumOffset && i < checksumOffset + 4) continue;
        uint32_t word = image[i];
        if (i + 1 < size) word |= uint32_t(image[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}

bool RelocatePeHeaders(std::vector<uint8_t>& image, std::string* error) {
    PeHeaders h;
    if (!ParseHeaders(image, h, error)) return false;
    if (h.lfanew == kPeHeaderOffset) return true;

    // A signature covers the header bytes, and a bound import table is addressed inside the
    // header area; moving either would break the image silently.
    if (h.securitySize != 0)
        return Fail(error, "image is signed; move the headers before signing it");
    if (h.boundImportSize != 0)
        return Fail(error, "image has a bound import table in its header area");

    const size_t oldEnd = h.lfanew + h.length;
    const size_t newEnd = kPeHeaderOffset + h.length;
    size_t room = h.sizeOfHeaders;
    if (h.firstRawData != 0) room = std::min<size_t>(room, h.firstRawData);
    room = std::min(room, image.size());
    if (newEnd > room)
        return Fail(error, "headers need " + Hex(newEnd) + " bytes when moved to " +
                               Hex(kPeHeaderOffset) + " but only " + Hex(room) +
                               " are free before the first section (SizeOfHeaders " +
                               Hex(h.sizeOfHeaders) + ")");
    // Bytes behind the section table that the move would overwrite must be padding.
    if (newEnd > oldEnd && !AllZero(image, oldEnd, newEnd))
        return Fail(error, "bytes between the section table and " + Hex(newEnd) +
                               " are in use; cannot move the headers over them");

    std::vector<uint8_t> out = image;
    std::memmove(out.data() + kPeHeaderOffset, image.data() + h.lfanew, h.length);
    // The DOS stub is kept up to ImageEnd's slot; everything between it and the headers, and
    // whatever the move left behind the headers, is cleared.
    const size_t stubEnd = std::min<size_t>(h.lfanew, size_t(kImageEndHighOffset));
    std::fill(out.begin() + stubEnd, out.begin() + kPeHeaderOffset, 0);
    if (oldEnd > newEnd) std::fill(out.begin() + newEnd, out.begin() + oldEnd, 0);
    SetLE32(out.data() + kLfanewOffset, kPeHeaderOffset);

    if (h.checksum != 0) {
        const size_t checksumAt = kPeHeaderOffset + h.optionalOffset + 64;
        SetLE32(out.data() + checksumAt, PeChecksum(out, checksumAt));
    }
    image.swap(out);
    return true;
}

}  // namespace zv
