#include "package/setup_dispatch.h"

#include "package/package_layout.h"
#include "utils/file_io.h"

namespace zv {

bool MakeWebStubAgentCopy(std::vector<uint8_t>& bytes) {
    const uint64_t imageEnd = ImageEnd(bytes.data(), bytes.size());
    if (imageEnd > bytes.size()) return false;
    std::vector<uint8_t> copy(bytes.begin(),
                              imageEnd > 0 ? bytes.begin() + int64_t(imageEnd) : bytes.end());

    MemoryFile file(copy);
    const TrailerLocation where = LocateTrailer(file);
    if (!where.ok || where.length < kTrailerSize || where.start() < 0) return false;
    const size_t start = size_t(where.start());
    const PackageTrailer trailer = PackageTrailer::Decode(copy.data() + start, kTrailerSize);
    if (!trailer.HasSignature()) return false;

    copy[start + trailer_offset::IsAgent] = 1;
    bytes = std::move(copy);
    return true;
}

}  // namespace zv
