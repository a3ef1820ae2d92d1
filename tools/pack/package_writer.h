// Writes a package from a checked description: the stub template, the head blocks, the file
// blocks and the trailer, or, for a spanned package, the stub with its head blocks plus volume
// files "<output>.001", "<output>.002", ...
//
// Where things go in a spanned package: the stub file holds the stub image, the head blocks and a
// trailer with SpannedPackage set (so that it relaunches from the temp folder). Volume 1 (".001")
// starts with the same head blocks, followed by file blocks; later volumes hold file blocks only.
// The extraction counts blocks across volumes, so the head blocks must lead volume 1. Every
// trailer carries the package-wide FileCount and SpaceRequired; MoreVolumes is set on every volume
// but the last. A file that does not fit continues in the next volume under the same name.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "description.h"
#include "package/package_layout.h"

namespace zv::pack {

constexpr uint64_t kMaxBlockSize = 1ull << 30;

struct BuildOptions {
    std::string output;  // overrides the description's Output when not empty
    std::string stub;    // overrides the description's Stub when not empty
    bool force = false;  // accept a stub template that fails the checks
    int64_t now = 0;     // seconds since 1970: the PackageTime
    bool clampDates = false;  // reproducible builds: no file date later than `now`
    int threads = 0;          // blocks compressed at once; 0: one per core. The output is the same.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

struct BuildResult {
    std::vector<std::string> outputs;  // the stub file first, then the volumes
    PackageTrailer trailer;            // as written into the stub file
    uint32_t fileBlocks = 0;
    uint64_t inputBytes = 0;
    std::vector<std::string> warnings;
};

BuildResult BuildPackage(const PackageDescription& description, const BuildOptions& options);

// Room the files take on a drive, per SpaceRequired slot: entry 0 the plain sum, entry i the sum
// of each file's size rounded up to the slot's cluster size. Sizes beyond 32 bits are clamped.
std::array<uint32_t, kSpaceRequiredSlots> ComputeSpaceRequired(const std::vector<uint64_t>& sizes,
                                                                bool* clamped = nullptr);

// Problems of a stub template (empty when it is fit): no PE header at 256, an ImageEnd already
// set or other bytes at 248..255, an Authenticode signature.
std::vector<std::string> StubTemplateProblems(const std::vector<uint8_t>& stub);

}  // namespace zv::pack
