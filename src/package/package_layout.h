// Byte layout of a setup package: the one definition that the stub's reader and the packager share.
//
// A package file is either the stub executable (PE image, blocks, trailer, optional Authenticode
// signature) or a volume file (blocks and trailer only):
//
//   [PE image] [head blocks] [file blocks] [74-byte trailer] [padding + signature]
//              ^ PackageStart                                ^ ImageEnd (0 = end of file)
//
// Every block is a signed 32-bit little-endian length followed by bytes. Head blocks (language,
// header, optional download) hold exactly `length` bytes. A file block with a positive length holds
// a zlib stream; zero or negative means abs(length) stored bytes. The plain content of a file block
// is an item header ("|name|date|"), one NUL byte and the file's bytes.
//
// Everything here is read and written with explicit little-endian helpers; nothing is copied from
// disk into a packed struct.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "utils/file_io.h"

namespace zv {

constexpr uint32_t kPackageSignature = 0x4A3B2C1D;
constexpr int32_t kTrailerSize = 74;
constexpr int kSpaceRequiredSlots = 9;
// A stored or computed checksum of this value switches the check off; files above the size limit
// are never summed and yield it.
constexpr uint32_t kChecksumOff = 1234;
constexpr int64_t kChecksumMaxFileSize = 51200;
constexpr int kChecksumPiece = 4096;

// ImageEnd lives in unused bytes of the DOS header: high word at 248, low word at 252.
constexpr int64_t kImageEndHighOffset = 248;
constexpr int64_t kImageEndLowOffset = 252;
// The "PE" mark is looked for at this fixed offset, not through the DOS header's pointer.
constexpr int64_t kPeMarkOffset = 256;

// Trailer field offsets.
namespace trailer_offset {
constexpr size_t Reserved0 = 0;         // 1 byte, the packager writes 1
constexpr size_t HeadBlockCount = 1;    // 1 byte, 2 or 3 (0 reads as 2)
constexpr size_t Reserved2 = 2;         // 2 bytes, 0
constexpr size_t PackageStart = 4;      // u32
constexpr size_t FileCount = 8;         // u32
constexpr size_t PackageSignature = 12; // u32
constexpr size_t PackageChecksum = 16;  // u32
constexpr size_t PackageTime = 20;      // i64, seconds since 1899-12-30 local time
constexpr size_t SpaceRequired = 28;    // 9 x u32
constexpr size_t Reserved64 = 64;       // 1 byte
constexpr size_t PackageFlags = 65;     // 1 byte, PackageFlag bits
constexpr size_t IsWebStub = 66;
constexpr size_t ConfirmDownload = 67;
constexpr size_t SaveAgentCopy = 68;
constexpr size_t IsAgent = 69;
constexpr size_t TrailerSize = 70;      // i32
constexpr size_t End = 74;
}  // namespace trailer_offset
static_assert(trailer_offset::SpaceRequired + 4 * kSpaceRequiredSlots == trailer_offset::Reserved64,
              "SpaceRequired slots must end where the reserved byte starts");
static_assert(trailer_offset::TrailerSize + 4 == trailer_offset::End, "TrailerSize is the last field");
static_assert(trailer_offset::End == size_t(kTrailerSize), "trailer is 74 bytes");

enum class PackageFlag : uint8_t {
    ShowTempNotice = 0x01,
    MoreVolumes = 0x02,
    SpannedPackage = 0x04,
    ShowActivityBar = 0x08,
    RunLogEnabled = 0x10,  // honoured only together with IsAgent
};

// Cluster sizes that select SpaceRequired[1..8]; entry 0 serves anything below 512 (and unknown).
constexpr uint32_t kSpaceRequiredClusters[kSpaceRequiredSlots] = {
    0, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};

struct PackageTrailer {
    using Bytes = std::array<uint8_t, kTrailerSize>;

    uint8_t Reserved0 = 0;
    uint8_t HeadBlockCount = 0;
    uint16_t Reserved2 = 0;
    uint32_t PackageStart = 0;
    uint32_t FileCount = 0;
    uint32_t PackageSignature = 0;
    uint32_t PackageChecksum = 0;
    int64_t PackageTime = 0;
    std::array<uint32_t, kSpaceRequiredSlots> SpaceRequired{};
    uint8_t Reserved64 = 0;
    uint8_t PackageFlags = 0;
    uint8_t IsWebStub = 0;
    uint8_t ConfirmDownload = 0;
    uint8_t SaveAgentCopy = 0;
    uint8_t IsAgent = 0;
    int32_t TrailerSize = 0;

    // What a packager starts from: reserved byte 1, two head blocks, signature, size 74.
    static PackageTrailer MakeNew();

    // Writes all 74 bytes.
    Bytes Encode() const;
    void EncodeTo(uint8_t* out) const;
    // Reads the first min(count, 74) bytes; fields beyond them stay zero. No fix-ups are applied
    // (ReadTrailer does those).
    static PackageTrailer Decode(const uint8_t* bytes, size_t count);

    bool HasSignature() const { return PackageSignature == kPackageSignature; }
    bool Has(PackageFlag flag) const { return (PackageFlags & uint8_t(flag)) != 0; }
    void Set(PackageFlag flag, bool on);

    bool operator==(const PackageTrailer& other) const;
    bool operator!=(const PackageTrailer& other) const { return !(*this == other); }
};

// ---- PE image and ImageEnd ----

// "MZ" at 0 and "PE" at 256.
bool IsPeImage(IFile& file);
bool IsPeImage(const uint8_t* data, size_t size);
// The 64-bit value at 248 (high) / 252 (low); 0 when unset or when the bytes are not there.
uint64_t ImageEnd(IFile& file);
uint64_t ImageEnd(const uint8_t* data, size_t size);
// Writes the two words; false when the buffer is shorter than 256 bytes.
bool SetImageEnd(uint8_t* data, size_t size, uint64_t value);

// Where the trailer of a file lies. `ok` is false for a damaged package: no room for a length,
// an ImageEnd beyond the end of the file, or a stated trailer length that is 4 or less or reaches
// before the start of the file.
struct TrailerLocation {
    bool ok = false;
    bool peImage = false;
    int64_t fileSize = 0;
    int64_t end = 0;      // first byte after the trailer (ImageEnd or the file size)
    int32_t length = 0;   // length stated in the trailer's last 4 bytes
    int64_t start() const { return end - length; }
};
TrailerLocation LocateTrailer(IFile& file);

// End of the package data in a file: ImageEnd for a PE image whose ImageEnd is set, else the file
// size; -1 when ImageEnd points beyond the end of the file (or cannot even hold a trailer length)
// or the size is unknown.
int64_t PackageEnd(IFile& file);

// ---- Blocks ----

constexpr size_t kBlockLengthSize = 4;

// The largest head block a stub reads into memory. The language, header and download texts are
// small; a larger stated length is damage (or a trap that asks for gigabytes before the token is
// checked), and the packager refuses to write one.
constexpr int32_t kMaxHeadBlock = 16 << 20;

// Plain length + bytes (head blocks).
void AppendHeadBlock(std::vector<uint8_t>& out, const std::string& text);
// File block: zlib stream with a positive length when `compress`, else stored with length -size.
// Returns false (and leaves `out` unchanged) when the content does not fit a 32-bit length or
// compressing fails.
bool AppendFileBlock(std::vector<uint8_t>& out, const std::vector<uint8_t>& content, bool compress,
                     int level = 9);
void AppendBlockLength(std::vector<uint8_t>& out, int32_t length);
// The zlib stream (RFC 1950) of size bytes at data; false when the level is not -1..9 or memory
// runs out. Levels mean what zlib's do: 0 stores, 9 compresses most, -1 is 6.
bool CompressZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level = 9);

// What CompressZlib does, for many blocks in a row: the compressor's state and its output buffer
// are made once and kept from block to block. One per thread. Each block's stream is the one
// CompressZlib gives for it alone.
class BlockCompressor {
public:
    explicit BlockCompressor(int level);
    ~BlockCompressor();
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;
    // The stream's length (its bytes are at Output()), or -1 as CompressZlib's false.
    int64_t Compress(const uint8_t* data, size_t size);
    const uint8_t* Output() const { return out_.data(); }

private:
    struct libdeflate_compressor* state_;
    std::vector<uint8_t> out_;
};

// Item header of a file block: "|name|date|" where date is the DOS packed date-time in decimal
// (date in the high 16 bits, time in the low 16). A trailing "*" on the name marks the main program.
std::string MakeItemHeader(const std::string& name, uint32_t dosDateTime);
// Item header, NUL, data.
std::vector<uint8_t> MakeFileBlockContent(const std::string& name, uint32_t dosDateTime,
                                          const uint8_t* data, size_t size);

// Splits plain file block content at its first NUL. Without a NUL the header is empty and the
// block carries nothing to write.
struct FileBlockContent {
    std::string header;     // the '|' list before the NUL
    size_t dataOffset = 0;  // first byte of the file's data in the content
    bool valid = false;     // a NUL was found and the header is not empty
};
FileBlockContent SplitFileBlockContent(const uint8_t* content, size_t size);

struct ItemHeader {
    std::string rawName;  // item 0 as stored, "*" included
    std::string name;     // item 0 up to its first "*" (the name to write)
    bool marked = false;  // item 0 carries a "*": the main program
    int64_t date = 0;     // item 1 as a decimal number, 0 when not a number
};
ItemHeader ParseItemHeader(const std::string& header);

// Head block texts as the packager writes them.
struct HeaderFields {
    std::string updateUrl = "http:";
    std::string infoFileName = ".info";
    std::string agentFileName = ".exe";
    std::string scrambledToken;  // ScrambleToken of the update token
    bool silentSetup = false;
    std::string Encode() const;  // "|url|info|agent|token|0|"
};
struct DownloadFields {
    std::string downloadUrl;
    std::string downloadFileName;
    bool alwaysDownload = false;
    std::string scrambledToken;
    std::string downloadSize;  // decimal bytes
    std::string Encode() const;
};
// One language: 0x01 name 0x01 key=value 0x01 ... ; the block: 0x02 lang 0x02 lang 0x02.
std::string MakeLanguageItem(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& entries);
std::string MakeLanguageBlock(const std::vector<std::string>& languageItems);

// Seals a package file whose blocks are all written: puts the trailer at `trailerAt` (the end of
// the blocks), sets ImageEnd (only for a PE image and when asked), fixes TrailerSize to 74 and
// fills PackageChecksum from the finished file (unless `checksumOff`, which stores 1234). Works on
// a file of any size: nothing is held in memory. False when a write fails; `trailer` is then
// not to be relied on, else it is the trailer written.
bool SealPackageFile(IFile& file, int64_t trailerAt, PackageTrailer& trailer, bool setImageEnd,
                     bool checksumOff = false);
// The same for a package image in memory: appends the trailer. Returns the trailer written.
PackageTrailer SealPackage(std::vector<uint8_t>& image, PackageTrailer trailer, bool setImageEnd,
                           bool checksumOff = false);

// ---- Checksum ----

// Sums 32-bit words of the file before its trailer; 1234 for files above 51200 bytes.
uint32_t PackageChecksum(IFile& file, int32_t trailerSize);
uint32_t PackageChecksum(const uint8_t* data, size_t size, int32_t trailerSize);
uint32_t PackageChecksum(const std::string& fileName, int32_t trailerSize);
// The extraction's rule: a volume passes when the sums agree or either of them is 1234.
inline bool ChecksumPasses(uint32_t computed, uint32_t stored) {
    return computed == stored || computed == kChecksumOff || stored == kChecksumOff;
}

// ---- Tokens ----

// The stored token form: hexadecimal digits shifted up by 50, wrapping random padding, a check
// byte and an XOR key. A malformed or altered token gives a random decimal number text
// ("0".."99998"), which compares unequal to any real token.
std::string UnscrambleToken(const std::string& text);
// Inverse for the packager: UnscrambleToken(ScrambleToken(t, seed)) == t for any non-empty t.
// The same seed gives the same output; each side gets 0..maxPadding (at most 254) random bytes.
std::string ScrambleToken(const std::string& token, uint32_t seed, int maxPadding = 8);

// ---- Space ----

// Index into SpaceRequired for a drive's cluster size (0 for unknown or below 512).
int SpaceRequiredEntry(uint64_t clusterSize);

}  // namespace zv
