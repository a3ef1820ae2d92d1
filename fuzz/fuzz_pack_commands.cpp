// Runs the packager's reading commands (info, list, verify, extract) on fuzzer bytes. The input is
// one package, or a stub and its volumes separated by kSplit. It is extracted into a folder that
// already holds links to a file outside; that file must never change, and nothing may appear in
// the scratch folder but the package files and the target folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "pack_commands.h"

namespace {

namespace fs = std::filesystem;

const std::string kSplit = "\xffZVVOL\xff";
const char kVictimText[] = "outside the target";
std::string g_base;  // per-process scratch folder

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_pack_commands: %s\n", what.c_str());
    std::abort();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Prepare() {
    std::error_code ec;
    fs::remove_all(g_base, ec);
    fs::create_directories(g_base + "/out");
    WriteFile(g_base + "/victim.txt", kVictimText);
    // Links under names a package is likely to hold.
    for (const char* name : {"Engine.exe", "a.txt", "Readme.txt", "p.exe"})
        fs::create_symlink("../victim.txt", g_base + "/out/" + name, ec);
}

void Check(const std::vector<std::string>& packageFiles) {
    if (ReadFile(g_base + "/victim.txt") != kVictimText) Fail("a file outside the target changed");
    for (const auto& entry : fs::directory_iterator(g_base)) {
        const std::string name = entry.path().filename().string();
        bool known = name == "out" || name == "victim.txt";
        for (const auto& p : packageFiles) known = known || name == p;
        if (!known) Fail("left beside the target: " + name);
    }
    for (const auto& entry : fs::directory_iterator(g_base + "/out")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".zvpack-", 0) == 0) Fail("temporary file left: " + name);
        if (!entry.is_symlink() && !entry.is_regular_file()) Fail("not a file: " + name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/zv_fuzz_pack_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    g_base = tmpl;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_base, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    Prepare();
    std::vector<std::string> files;
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        size_t end = input.find(kSplit, start);
        std::string name = part == 0 ? "p.exe" : "p.exe.00" + std::to_string(part);
        WriteFile(g_base + "/" + name, input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        files.push_back(name);
        if (end == std::string::npos) break;
        start = end + kSplit.size();
    }
    const std::string package = g_base + "/p.exe";
    std::ostringstream out, err;
    zv::pack::InfoCommand(package, out, err);
    zv::pack::ListCommand(package, out, err);
    zv::pack::VerifyCommand(package, out, err);
    zv::pack::ExtractCommand(package, g_base + "/out", out, err);
    if (files.size() > 1) zv::pack::ExtractCommand(g_base + "/p.exe.001", g_base + "/out", out, err);
    Check(files);
    return 0;
}
