// Extraction benchmark program (Windows): extracts a package with the stub's engine or with a
// plain zlib inflate-and-write loop, and reports the time taken and the process's peak memory.
//   extract_bench engine PACKAGE DEST
//   extract_bench plain PACKAGE DEST
//   extract_bench idle          (memory of the process doing nothing, for comparison)
#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "package/unpack.h"
#include "stub/win/win32_platform.h"
#include "utils/platform.h"
#include "utils/win/dll_loader.h"

namespace {

double Milliseconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

void PrintMemory() {
    using Fn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    Fn get = zv::SystemFunction<Fn>("psapi.dll", "GetProcessMemoryInfo");
    if (!get) get = zv::SystemFunction<Fn>("kernel32.dll", "K32GetProcessMemoryInfo");
    PROCESS_MEMORY_COUNTERS pmc;
    std::memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    if (!get || !get(GetCurrentProcess(), &pmc, sizeof pmc)) {
        std::printf("peak_working_set_kb=-1\npeak_pagefile_kb=-1\n");
        return;
    }
    std::printf("peak_working_set_kb=%lu\npeak_pagefile_kb=%lu\n",
                static_cast<unsigned long>(pmc.PeakWorkingSetSize / 1024),
                static_cast<unsigned long>(pmc.PeakPagefileUsage / 1024));
}

int Engine(const std::string& package, const std::string& dest) {
    zv::InstallWin32Platform();
    zv::ExtractOptions o;
    o.packageFile = package;
    o.destination = dest;
    zv::ExtractUi ui;
    int steps = 0;
    ui.progress = [&steps](int kind, int32_t, uint16_t, const std::string&, int32_t, int32_t) {
        steps += kind == 1;
    };
    ui.pump = [] { zv::Host().pumpMessages(); };
    ui.errorBox = [](const std::string& text) { std::printf("error box: %s\n", text.c_str()); };
    const double start = Milliseconds();
    zv::ExtractResult r = zv::ExtractPackage(o, ui);
    const double elapsed = Milliseconds() - start;
    std::printf("files=%d damaged=%d %s\nelapsed_ms=%.0f\n", steps, int(r.damaged),
                r.damage.c_str(), elapsed);
    PrintMemory();
    return r.damaged || !r.checksumOk ? 1 : 0;
}

// What one would write without the engine: read, inflate, write, nothing else.
int Plain(const std::string& package, const std::string& dest) {
    const double start = Milliseconds();
    zv::PackageTrailer t;
    if (!zv::ReadTrailer(package, t)) return 1;
    FILE* in = std::fopen(package.c_str(), "rb");
    if (!in) return 1;
    CreateDirectoryA(dest.c_str(), nullptr);
    std::vector<unsigned char> src(64 * 1024), dst(256 * 1024);
    _fseeki64(in, t.PackageStart, SEEK_SET);
    const int64_t end = _filelengthi64(_fileno(in)) - t.TrailerSize;
    int64_t pos = t.PackageStart;
    int block = 0, files = 0;
    while (pos < end) {
        int32_t len = 0;
        if (std::fread(&len, 4, 1, in) != 1) return 1;
        pos += 4 + (len < 0 ? -int64_t(len) : len);
        if (++block <= t.HeadBlockCount || len <= 0) {
            _fseeki64(in, pos, SEEK_SET);
            continue;
        }
        z_stream z;
        std::memset(&z, 0, sizeof z);
        inflateInit(&z);
        int64_t left = len;
        FILE* out = nullptr;
        bool header = true;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (z.avail_in == 0) {
                size_t n = std::fread(src.data(), 1, size_t(left < 65536 ? left : 65536), in);
                if (n == 0) return 1;
                left -= int64_t(n);
                z.next_in = src.data();
                z.avail_in = uInt(n);
            }
            z.next_out = dst.data();
            z.avail_out = uInt(dst.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc < 0) return 1;
            unsigned char* p = dst.data();
            size_t n = dst.size() - z.avail_out;
            if (header) {
                unsigned char* nul = static_cast<unsigned char*>(std::memchr(p, 0, n));
                std::string h(reinterpret_cast<char*>(p), nul ? size_t(nul - p) : n);
                std::string name = h.substr(1, h.find('|', 1) - 1);
                out = std::fopen((dest + "\\" + name).c_str(), "ab");
                if (!out) return 1;
                n -= size_t(nul - p) + 1;
                p = nul + 1;
                header = false;
                ++files;
            }
            if (n && std::fwrite(p, 1, n, out) != n) return 1;
        }
        inflateEnd(&z);
        std::fclose(out);
        _fseeki64(in, pos, SEEK_SET);
    }
    std::fclose(in);
    std::printf("files=%d\nelapsed_ms=%.0f\n", files, Milliseconds() - start);
    PrintMemory();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "engine" && argc == 4) return Engine(argv[2], argv[3]);
    if (mode == "plain" && argc == 4) return Plain(argv[2], argv[3]);
    if (mode == "idle") {
        PrintMemory();
        return 0;
    }
    std::fprintf(stderr, "usage: extract_bench engine|plain PACKAGE DEST | idle\n");
    return 2;
}
