#include "utils/file_io.h"

#include <algorithm>
#include <cstring>

#include "utils/platform.h"

namespace zv {

std::unique_ptr<IFile> OpenFile(const std::string& path, OpenMode mode) {
    return Host().openFile(path, mode);
}
bool FileExists(const std::string& path) { return Host().fileExists(path); }

bool ReadExactly(IFile& file, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const int32_t piece = int32_t(count < (1 << 20) ? count : (1 << 20));
        const int32_t n = file.Read(p, piece);
        if (n <= 0) return false;
        p += n;
        count -= n;
    }
    return true;
}

bool ReadAt(IFile& file, int64_t position, void* buffer, int64_t count) {
    return file.Seek(position) && ReadExactly(file, buffer, count);
}

bool MemoryFile::Seek(int64_t position) {
    if (position < 0) return false;
    pos_ = position;
    return true;
}

int32_t MemoryFile::Read(void* buffer, int32_t count) {
    if (count <= 0 || pos_ >= Size()) return 0;
    int64_t n = std::min<int64_t>(count, Size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, size_t(n));
    pos_ += n;
    return int32_t(n);
}

int32_t MemoryFile::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (pos_ + count > Size()) bytes_.resize(size_t(pos_ + count));
    std::memcpy(bytes_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    return count;
}

}  // namespace zv
