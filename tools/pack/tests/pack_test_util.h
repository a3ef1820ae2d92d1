// Helpers shared by the packager tests: a self-removing folder, small file I/O, a stub template.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zv::pack::test {

class TempDir {
public:
    TempDir() {
        static int counter = 0;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("zvpack_" + std::to_string(std::time(nullptr)) + "_" + std::to_string(++counter) +
                            "_" + std::to_string(std::rand()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }
    std::string operator+(const std::string& suffix) const { return path_.string() + suffix; }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "MZ", "PE" at 256 and a PE32 optional header with an empty certificate table.
inline std::string FakeStub(size_t size = 1024) {
    std::string s(size, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    s[0x3C] = char(0x00);
    s[0x3D] = char(0x01);
    s[256] = 'P';
    s[257] = 'E';
    s[280] = char(0x0b);
    s[281] = char(0x01);
    s[280 + 92] = 16;
    return s;
}

// Paths compare equal whichever separators joined them.
inline std::string Slashes(std::string path) {
    for (auto& c : path)
        if (c == '\\') c = '/';
    return path;
}

// Pins local time to UTC so that dates in packages are the same everywhere.
inline void UseUtc() {
#ifdef _WIN32
    _putenv("TZ=UTC0");
    _tzset();
#else
    setenv("TZ", "UTC0", 1);
    tzset();
#endif
}

inline void SetMtime(const std::string& path, int64_t unixSeconds);

}  // namespace zv::pack::test

#include "pack_platform.h"

inline void zv::pack::test::SetMtime(const std::string& path, int64_t unixSeconds) {
    zv::pack::SetModifiedTime(path, unixSeconds);
}

#include <sstream>

#include "pack_cli.h"

namespace zv::pack::test {

// One run of the command line, as the process would see it, with what it printed.
struct CliRun {
    int code;
    std::string out, err;
};

inline CliRun Cli(std::vector<std::string> args, CliEnvironment env = {}) {
    std::ostringstream out, err;
    int code = RunCli(args, out, err, env);
    return {code, out.str(), err.str()};
}

}  // namespace zv::pack::test
