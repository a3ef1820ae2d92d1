#include "package/gfile_info.h"

#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/text.h"

namespace zv {
namespace {


bool ReadTrailerAt(IFile& file, PackageTrailer& record, TrailerLocation& loc) {
    record = PackageTrailer{};
    loc = LocateTrailer(file);
    if (!loc.ok) return false;
    int32_t n = loc.length < kTrailerSize ? loc.length : kTrailerSize;
    uint8_t bytes[kTrailerSize] = {};
    int32_t got = 0;
    if (file.Seek(loc.start())) {
        while (got < n - 4) {
            int32_t r = file.Read(bytes + got, n - 4 - got);
            if (r <= 0) break;
            got += r;
        }
    }
    record = PackageTrailer::Decode(bytes, size_t(got));
    record.TrailerSize = n;
    if (record.HeadBlockCount == 0) record.HeadBlockCount = 2;
    return true;
}

// Reads one head block at `position`; the block must end at or before `limit` (the trailer).
bool ReadHeadBlock(IFile& file, int64_t& position, int64_t limit, std::string& text) {
    if (position < 0 || limit - position < int64_t(kBlockLengthSize)) return false;
    uint8_t len[4];
    if (!file.Seek(position) || !ReadExactly(file, len, 4)) return false;
    int32_t length = int32_t(GetLE32(len));
    if (length < 0 || length > kMaxHeadBlock ||
        length > limit - position - int64_t(kBlockLengthSize))
        return false;
    std::string bytes(size_t(length), '\0');
    if (length > 0 && !ReadExactly(file, &bytes[0], length)) return false;
    text = std::move(bytes);
    position += int64_t(kBlockLengthSize) + length;
    return true;
}

}  // namespace

TGFileInfo* OwnPackage = nullptr;

bool ReadTrailer(IFile& file, PackageTrailer& record) {
    TrailerLocation loc;
    return ReadTrailerAt(file, record, loc);
}

bool ReadTrailer(const std::string& fileName, PackageTrailer& record) {
    record = PackageTrailer{};
    if (!FileExists(fileName)) return false;
    auto file = OpenFile(fileName, OpenMode::ReadShared);
    if (!file) return false;
    return ReadTrailer(*file, record);
}

TGFileInfo::TGFileInfo(const std::string& fileName) {
    if (!FileExists(fileName)) return;
    auto file = OpenFile(fileName, OpenMode::ReadShared);
    if (file) Read(*file);
}

TGFileInfo::TGFileInfo(IFile& file) { Read(file); }

void TGFileInfo::Read(IFile& file) {
    TrailerLocation loc;
    if (!ReadTrailerAt(file, trailer_, loc) || !trailer_.HasSignature()) return;
    // Head blocks lie between PackageStart and the trailer; anything stated beyond that is damage,
    // and reading stops there rather than trusting the length.
    int64_t position = trailer_.PackageStart;
    const int64_t limit = loc.start();
    std::string* texts[3] = {&languageText_, &headerText_, &downloadText_};
    int blocks = trailer_.HeadBlockCount > 2 ? 3 : 2;
    for (int i = 0; i < blocks; ++i) {
        if (!ReadHeadBlock(file, position, limit, *texts[i])) break;
        trailer_.PackageStart = uint32_t(position);
    }
}

double TGFileInfo::SpaceRequired(const std::string& path) const {
    return double(trailer_.SpaceRequired[size_t(SpaceRequiredEntry(ClusterSize(path)))]);
}

std::string TGFileInfo::UpdateUrl() const { return SUB::GetItem(headerText_, 0); }
std::string TGFileInfo::InfoFileName() const {
    return ExtractFileName(SUB::GetItem(headerText_, 1));
}
std::string TGFileInfo::OriginalFileName() const {
    std::string name = InfoFileName();
    return name.substr(0, name.find('.')) + ".original";
}
std::string TGFileInfo::AgentFileName() const { return SUB::GetItem(headerText_, 2); }
std::string TGFileInfo::UpdateToken(bool unscramble) const {
    std::string token = SUB::GetItem(headerText_, 3);
    return unscramble ? UnscrambleToken(token) : token;
}
bool TGFileInfo::SilentSetup() const { return SUB::GetItem(headerText_, 4) == "1"; }

std::string TGFileInfo::DownloadUrl() const { return SUB::GetItem(downloadText_, 0); }
std::string TGFileInfo::DownloadFileName() const { return SUB::GetItem(downloadText_, 1); }
bool TGFileInfo::AlwaysDownload() const { return SUB::GetItem(downloadText_, 2) == "1"; }
std::string TGFileInfo::DownloadToken(bool unscramble) const {
    std::string token = SUB::GetItem(downloadText_, 3);
    return unscramble ? UnscrambleToken(token) : token;
}
std::string TGFileInfo::DownloadSize() const { return SUB::GetItem(downloadText_, 4); }

OwnPackageReader::OwnPackageReader() {
    if (!OwnPackage) local_ = std::make_unique<TGFileInfo>(Host().exePath());
}

std::string OriginalFilePath(const TGFileInfo& own) {
    return GetExeDir(true) + own.OriginalFileName();
}

std::string OriginalFilePath() {
    if (OwnPackage) return OriginalFilePath(*OwnPackage);
    return GetExeDir(true) + ".original";
}

uint64_t ClusterSize(const std::string& path) { return Host().clusterSize(path.substr(0, 3)); }

}  // namespace zv
