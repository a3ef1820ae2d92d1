// Builds package files in memory for the reader's tests and the fuzz corpus, and serves them
// through the file seam under made-up names.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "utils/file_io.h"
#include "utils/platform.h"

namespace zv {
namespace testpkg {

struct FileSpec {
    std::string name;
    uint32_t date = 0;
    std::string data;
    bool compress = true;
};

// A stand-in for the stub image: "MZ" at 0, "PE" at 256, zero filled up to `size` bytes.
inline std::vector<uint8_t> FakePeImage(size_t size) {
    std::vector<uint8_t> image(size < 512 ? 512 : size, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[256] = 'P';
    image[257] = 'E';
    return image;
}

struct PackageBuilder {
    bool peImage = false;
    size_t imageSize = 512;
    bool setImageEnd = false;
    bool checksumOff = false;
    size_t signatureSize = 0;  // bytes after the trailer (8-aligned), as a code signature adds
    std::string language = MakeLanguageBlock(
        {MakeLanguageItem("English", {{"Charset", "0"}, {"FontName", "Tahoma"}, {"s0", "Setup"}})});
    std::string header = HeaderFields{}.Encode();
    bool withDownload = false;
    std::string download;
    std::vector<FileSpec> files;
    PackageTrailer trailer = PackageTrailer::MakeNew();

    // Offset of the first head block in the result.
    size_t PackageStart() const { return peImage ? (imageSize < 512 ? 512 : imageSize) : 0; }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> bytes;
        if (peImage) bytes = FakePeImage(imageSize);
        PackageTrailer t = trailer;
        t.PackageStart = uint32_t(bytes.size());
        if (withDownload && t.HeadBlockCount < 3) t.HeadBlockCount = 3;
        AppendHeadBlock(bytes, language);
        AppendHeadBlock(bytes, header);
        if (withDownload) AppendHeadBlock(bytes, download);
        for (const auto& f : files) {
            auto content = MakeFileBlockContent(
                f.name, f.date, reinterpret_cast<const uint8_t*>(f.data.data()), f.data.size());
            AppendFileBlock(bytes, content, f.compress);
        }
        t.FileCount = uint32_t(files.size());
        SealPackage(bytes, t, setImageEnd, checksumOff);
        if (signatureSize) {
            while (bytes.size() % 8) bytes.push_back(0);
            for (size_t i = 0; i < signatureSize; ++i) bytes.push_back(uint8_t(0xA5 ^ i));
        }
        return bytes;
    }
};

// Serves registered byte vectors as files through OpenFile/FileExists while alive.
class ScopedMemoryFiles {
public:
    ScopedMemoryFiles() {
        Files().clear();
        LastMode() = OpenMode::CreateWrite;
        Platform files;
        files.openFile = &Open;
        files.fileExists = &Exists;
        saved_ = SetPlatform(files);
    }
    ~ScopedMemoryFiles() {
        SetPlatform(saved_);
        Files().clear();
    }
    ScopedMemoryFiles(const ScopedMemoryFiles&) = delete;
    ScopedMemoryFiles& operator=(const ScopedMemoryFiles&) = delete;

    void Add(const std::string& path, std::vector<uint8_t> bytes) { Files()[path] = std::move(bytes); }
    static OpenMode LastOpenMode() { return LastMode(); }

private:
    static std::map<std::string, std::vector<uint8_t>>& Files() {
        static std::map<std::string, std::vector<uint8_t>> files;
        return files;
    }
    static OpenMode& LastMode() {
        static OpenMode mode = OpenMode::CreateWrite;
        return mode;
    }
    static std::unique_ptr<IFile> Open(const std::string& path, OpenMode mode) {
        LastMode() = mode;
        auto it = Files().find(path);
        if (it == Files().end()) return nullptr;
        return std::make_unique<MemoryFile>(it->second);
    }
    static bool Exists(const std::string& path) { return Files().count(path) != 0; }

    Platform saved_;
};

}  // namespace testpkg
}  // namespace zv
