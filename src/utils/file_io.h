// File seam: the package reader and the extraction engine read and write through IFile, so that
// they run natively (stdio) in tests and fuzzers, and on the Win32 API in the stub.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv {

class IFile {
public:
    virtual ~IFile() = default;
    virtual int64_t Size() = 0;                      // -1 when unknown
    virtual bool Seek(int64_t position) = 0;         // absolute; false when it fails
    virtual int64_t Position() = 0;
    virtual int32_t Read(void* buffer, int32_t count) = 0;          // bytes read, 0 at end, -1 error
    virtual int32_t Write(const void* buffer, int32_t count) = 0;   // bytes written, -1 error
    // The system's handle of the open file, where there is one (a Win32 HANDLE), else null.
    virtual void* SystemHandle() { return nullptr; }
};

enum class OpenMode { ReadShared, CreateWrite, AppendWrite, ReadWrite };

// Opens a file through the platform (utils/platform.h): stdio natively, Win32 in the program.
std::unique_ptr<IFile> OpenFile(const std::string& path, OpenMode mode);
bool FileExists(const std::string& path);

// Reads exactly count bytes from the current position (false on a short read or an error), and
// the same after seeking to position.
bool ReadExactly(IFile& file, void* buffer, int64_t count);
bool ReadAt(IFile& file, int64_t position, void* buffer, int64_t count);

// In-memory file (tests, fuzzers, the agent copy built in memory).
class MemoryFile : public IFile {
public:
    MemoryFile() = default;
    explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
    bool Seek(int64_t position) override;
    int64_t Position() override { return pos_; }
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int64_t pos_ = 0;
};

// Little-endian helpers for on-disk layouts.
inline uint32_t GetLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint64_t GetLE64(const uint8_t* p) { return GetLE32(p) | uint64_t(GetLE32(p + 4)) << 32; }
inline void SetLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void SetLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void SetLE64(uint8_t* p, uint64_t v) { SetLE32(p, uint32_t(v)); SetLE32(p + 4, uint32_t(v >> 32)); }

}  // namespace zv
