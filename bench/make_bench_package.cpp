// Host tool for the extraction benchmark: writes a deterministic mixed payload, packs a folder
// into a package (one zlib block per file), and makes a package with one big file.
//   make_bench_package payload DIR MEGABYTES
//   make_bench_package pack DIR OUT.pkg
//   make_bench_package big OUT.pkg MEGABYTES
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/package_layout.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Rng {
    uint64_t s;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return uint32_t(s >> 16);
    }
};

// Text-like content: words from a small vocabulary, in lines; compresses about 3:1.
Bytes MakeText(size_t size, uint64_t seed) {
    static const char* kWords[] = {
        "install", "setup", "file", "version", "update", "agent", "package", "volume", "engine",
        "folder", "the", "of", "and", "to", "a", "is", "in", "for", "windows", "registry",
        "value", "key", "data", "error", "message", "user", "program", "system", "temporary",
        "copy", "extract", "archive", "stream", "block", "header", "trailer", "token", "disk"};
    Rng r{seed * 0x9E3779B97F4A7C15ull + 1};
    Bytes out;
    out.reserve(size + 32);
    while (out.size() < size) {
        int words = 4 + int(r.Next() % 12);
        for (int i = 0; i < words; ++i) {
            const char* w = kWords[r.Next() % (sizeof kWords / sizeof *kWords)];
            out.insert(out.end(), w, w + std::char_traits<char>::length(w));
            if (r.Next() % 7 == 0) {
                std::string n = std::to_string(r.Next() % 100000);
                out.insert(out.end(), n.begin(), n.end());
            }
            out.push_back(' ');
        }
        out.push_back('\r');
        out.push_back('\n');
    }
    out.resize(size);
    return out;
}

// Already-compressed media: incompressible noise.
Bytes MakeNoise(size_t size, uint64_t seed) {
    Rng r{seed * 0xD1B54A32D192ED03ull + 7};
    Bytes out(size);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t v = r.Next();
        out[i] = uint8_t(v);
        out[i + 1] = uint8_t(v >> 8);
        out[i + 2] = uint8_t(v >> 16);
        out[i + 3] = uint8_t(v >> 24);
    }
    return out;
}

// Program-like binary: records of counters, small numbers, runs of zeros and some noise.
Bytes MakeBinary(size_t size, uint64_t seed) {
    Rng r{seed * 0x94D049BB133111EBull + 3};
    Bytes out;
    out.reserve(size + 64);
    uint32_t counter = 0;
    while (out.size() < size) {
        uint32_t kind = r.Next() % 4;
        if (kind == 0) {
            out.insert(out.end(), 8 + r.Next() % 40, 0);
        } else if (kind == 1) {
            for (int i = 0; i < 8; ++i) {
                uint32_t v = counter++ * 16;
                for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
            }
        } else if (kind == 2) {
            for (int i = 0; i < 16; ++i) out.push_back(uint8_t(r.Next() % 16));
        } else {
            for (int i = 0; i < 12; ++i) out.push_back(uint8_t(r.Next()));
        }
    }
    out.resize(size);
    return out;
}

bool WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Payload(const fs::path& dir, size_t megabytes) {
    fs::create_directories(dir);
    // 1/2 in 16 MB files, 3/16 in 4 MB, 3/16 in 1 MB, 1/8 in 64 KB (scaled to the total).
    struct Group {
        size_t fileSize;
        size_t share16;  // sixteenths of the total
    } groups[] = {{16u << 20, 8}, {4u << 20, 3}, {1u << 20, 3}, {64u << 10, 2}};
    const size_t total = megabytes << 20;
    int index = 0;
    size_t written = 0;
    for (const auto& g : groups) {
        size_t count = std::max<size_t>(1, total * g.share16 / 16 / g.fileSize);
        for (size_t i = 0; i < count; ++i, ++index) {
            Bytes data = index % 3 == 0   ? MakeText(g.fileSize, uint64_t(index))
                         : index % 3 == 1 ? MakeBinary(g.fileSize, uint64_t(index))
                                          : MakeNoise(g.fileSize, uint64_t(index));
            char name[32];
            std::snprintf(name, sizeof name, "file%04d.%s", index,
                          index % 3 == 0 ? "txt" : index % 3 == 1 ? "dll" : "cab");
            if (!WriteAll(dir / name, data)) return 1;
            written += data.size();
        }
    }
    std::printf("payload: %d files, %zu bytes\n", index, written);
    return 0;
}

zv::PackageTrailer NewTrailer() { return zv::PackageTrailer::MakeNew(); }

void AppendHeads(Bytes& image) {
    zv::AppendHeadBlock(image, zv::MakeLanguageBlock({zv::MakeLanguageItem("English", {})}));
    zv::AppendHeadBlock(image, zv::HeaderFields{}.Encode());
}

bool AppendFile(Bytes& image, const std::string& name, const Bytes& data, int level) {
    Bytes content = zv::MakeFileBlockContent(name, 0x52AB5A00u, data.data(), data.size());
    return zv::AppendFileBlock(image, content, true, level);
}

bool Seal(Bytes& image, uint32_t files, const fs::path& out) {
    zv::PackageTrailer t = NewTrailer();
    t.FileCount = files;
    zv::SealPackage(image, t, false);
    return WriteAll(out, image);
}

int Pack(const fs::path& dir, const fs::path& out) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    Bytes image;
    AppendHeads(image);
    for (const auto& f : files)
        if (!AppendFile(image, f.filename().string(), ReadAll(f), 9)) return 1;
    if (!Seal(image, uint32_t(files.size()), out)) return 1;
    std::printf("package: %zu files, %zu bytes\n", files.size(), image.size());
    return 0;
}

int Big(const fs::path& out, size_t megabytes) {
    // Half text, half noise, so that both inflate paths (long copies, stored runs) take part.
    const size_t half = (megabytes << 20) / 2;
    Bytes data = MakeText(half, 1);
    Bytes noise = MakeNoise((megabytes << 20) - half, 2);
    data.insert(data.end(), noise.begin(), noise.end());
    noise = Bytes();
    Bytes image;
    AppendHeads(image);
    if (!AppendFile(image, "Big.bin", data, 1)) return 1;
    if (!Seal(image, 1, out)) return 1;
    std::printf("big package: %zu bytes of data, %zu bytes\n", data.size(), image.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "payload" && argc == 4) return Payload(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (mode == "pack" && argc == 4) return Pack(argv[2], argv[3]);
    if (mode == "big" && argc == 4) return Big(argv[2], std::strtoul(argv[3], nullptr, 10));
    std::fprintf(stderr,
                 "usage: %s payload DIR MB | pack DIR OUT.pkg | big OUT.pkg MB\n", argv[0]);
    return 2;
}
