// Extracts fuzzer bytes as one package volume (served from memory) into a scratch folder that is
// wiped after every input. Any attempt to create, write or date a file anywhere but directly
// inside the destination folder aborts, as does anything left beside it.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "package/unpack.h"
#include "utils/file_io.h"
#include "utils/platform.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
const char kPackage[] = "fuzz.exe";
std::string g_base;  // per-process scratch folder
std::string g_dest;  // g_base + "/d"
zv::Platform g_real;

[[noreturn]] void Escape(const char* what, const std::string& path) {
    std::fprintf(stderr, "fuzz_extract: %s outside the destination: %s\n", what, path.c_str());
    std::abort();
}

// A path the engine may write: the destination plus one plain name.
void CheckInside(const char* what, const std::string& path) {
    const std::string prefix = g_dest + "/";
    if (path.compare(0, prefix.size(), prefix) != 0) Escape(what, path);
    const std::string rest = path.substr(prefix.size());
    if (rest.empty() || rest == "." || rest == ".." || rest.find('/') != std::string::npos)
        Escape(what, path);
}

std::unique_ptr<zv::IFile> Open(const std::string& path, zv::OpenMode mode) {
    if (path == kPackage) {
        if (mode != zv::OpenMode::ReadShared) Escape("package opened for writing", path);
        return std::make_unique<zv::MemoryFile>(std::vector<uint8_t>(g_data, g_data + g_size));
    }
    if (mode != zv::OpenMode::ReadShared) CheckInside("write", path);
    return g_real.openFile(path, mode);
}

bool Exists(const std::string& path) { return path == kPackage || g_real.fileExists(path); }

bool CreateFolders(const std::string& path) {
    if (path != g_dest) Escape("folder", path);
    return g_real.createFolders(path);
}
bool SetDosDate(const std::string& path, uint32_t value) {
    CheckInside("date", path);
    return g_real.setFileDate(path, value);
}
bool CopyFileDate(const std::string& from, const std::string& to) {
    CheckInside("date copy", to);
    (void)from;  // the package lives in memory only
    return true;
}

void Setup() {
    char tmpl[] = "/tmp/zv_fuzz_extract_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    g_base = tmpl;
    g_dest = g_base + "/d";
    zv::Platform guarded;
    guarded.openFile = &Open;
    guarded.fileExists = &Exists;
    guarded.createFolders = &CreateFolders;
    guarded.setFileDate = &SetDosDate;
    guarded.copyFileDate = &CopyFileDate;
    g_real = zv::SetPlatform(guarded);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_base, ec);
    });
}

void CheckNothingBeside() {
    DIR* dir = opendir(g_base.c_str());
    if (!dir) std::abort();
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != ".." && name != "d") Escape("entry", g_base + "/" + name);
    }
    closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (Setup(), true);
    (void)ready;
    g_data = data;
    g_size = size;

    zv::ExtractOptions options;
    options.packageFile = kPackage;
    options.destination = g_dest;
    options.agentName = "Agent.exe";
    options.diskPrompt = "Disk <DISK_NUM>";
    zv::ExtractUi ui;  // no boxes; a disk prompt without an answer counts as Cancel
    zv::ExtractResult r = zv::ExtractPackage(options, ui);
    if (r.damaged && !r.mainFile.empty()) std::abort();

    CheckNothingBeside();
    std::error_code ec;
    std::filesystem::remove_all(g_dest, ec);
    return 0;
}
