#include "utils/file_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "utils/platform.h"

namespace zv {
namespace {

#ifdef _WIN32
#define ZV_FSEEK _fseeki64
#define ZV_FTELL _ftelli64
#else
#define ZV_FSEEK fseeko
#define ZV_FTELL ftello
#endif

class StdioFile : public IFile {
public:
    explicit StdioFile(FILE* f) : f_(f) {}
    ~StdioFile() override { std::fclose(f_); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    int64_t Size() override {
        int64_t here = ZV_FTELL(f_);
        if (ZV_FSEEK(f_, 0, SEEK_END) != 0) return -1;
        int64_t size = ZV_FTELL(f_);
        ZV_FSEEK(f_, here, SEEK_SET);
        return size;
    }
    bool Seek(int64_t position) override {
        return position >= 0 && ZV_FSEEK(f_, position, SEEK_SET) == 0;
    }
    int64_t Position() override { return ZV_FTELL(f_); }
    int32_t Read(void* buffer, int32_t count) override {
        if (count <= 0) return 0;
        size_t n = std::fread(buffer, 1, size_t(count), f_);
        if (n == 0 && std::ferror(f_)) return -1;
        return int32_t(n);
    }
    int32_t Write(const void* buffer, int32_t count) override {
        if (count <= 0) return 0;
        size_t n = std::fwrite(buffer, 1, size_t(count), f_);
        if (n != size_t(count)) return n == 0 ? -1 : int32_t(n);
        return int32_t(n);
    }

private:
    FILE* f_;
};

}  // namespace

std::unique_ptr<IFile> OpenStdioFile(const std::string& path, OpenMode mode) {
    const char* m = "rb";
    switch (mode) {
        case OpenMode::ReadShared: m = "rb"; break;
        case OpenMode::CreateWrite: m = "wb"; break;
        case OpenMode::AppendWrite: m = "ab"; break;
        case OpenMode::ReadWrite: m = "r+b"; break;
    }
    FILE* f = std::fopen(path.c_str(), m);
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(f);
}

bool StdioFileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IFDIR);
}

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
