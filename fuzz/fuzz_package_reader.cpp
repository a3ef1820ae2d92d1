// Feeds arbitrary bytes to the package reader as a package file: the reader, the trailer, the
// checksum and the tokens must cope with anything without faults or huge allocations.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "utils/file_io.h"
#include "utils/platform.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
const char kName[] = "fuzz.pkg";

std::unique_ptr<zv::IFile> OpenInput(const std::string& path, zv::OpenMode) {
    if (path != kName) return nullptr;
    return std::make_unique<zv::MemoryFile>(std::vector<uint8_t>(g_data, g_data + g_size));
}
bool InputExists(const std::string& path) { return path == kName; }

void Consume(const std::string& s) {
    volatile size_t sink = s.size();
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_data = data;
    g_size = size;
    zv::Platform input;
    input.openFile = &OpenInput;
    input.fileExists = &InputExists;
    zv::SetPlatform(input);

    zv::TGFileInfo info(kName);
    zv::PackageTrailer record;
    zv::ReadTrailer(kName, record);
    zv::PackageChecksum(kName, record.TrailerSize);
    zv::PackageChecksum(data, size, info.Trailer().TrailerSize);
    zv::ImageEnd(data, size);
    zv::IsPeImage(data, size);

    zv::MemoryFile file(std::vector<uint8_t>(data, data + size));
    zv::PackageEnd(file);
    zv::TGFileInfo direct(file);

    for (const auto* i : {&info, &direct}) {
        Consume(i->UpdateUrl());
        Consume(i->InfoFileName());
        Consume(i->OriginalFileName());
        Consume(i->AgentFileName());
        Consume(i->UpdateToken(true));
        Consume(i->DownloadUrl());
        Consume(i->DownloadFileName());
        Consume(i->DownloadToken(true));
        Consume(i->DownloadSize());
        (void)i->SilentSetup();
        (void)i->AlwaysDownload();
        (void)i->SpaceRequired("C:\\");
    }

    // The raw bytes as a token text and as file block content.
    Consume(zv::UnscrambleToken(std::string(reinterpret_cast<const char*>(data), size)));
    auto split = zv::SplitFileBlockContent(data, size);
    if (split.valid) Consume(zv::ParseItemHeader(split.header).name);
    return 0;
}
