// Naming of Windows versions and the centring arithmetic, free of system calls so that every
// row can be checked anywhere. The system queries are in utils/win/sys_info_win.h.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

constexpr uint32_t kPlatformWin32s = 0, kPlatformWindows = 1, kPlatformNT = 2;

struct OSVersionRecord {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platformId = 0;
    std::string servicePack;
};

struct OSInfo {
    std::string versionText;   // major "." minor
    std::string name;          // "95" ... "10.64", "2012R2.64"
    std::string servicePack;   // trimmed
    uint32_t build = 0;
    uint32_t id = 0;           // one bit per edition, 0 for Win32s
};

// Name and id of a version record on a 64-bit and/or server system.
OSInfo ClassifyOS(const OSVersionRecord& version, bool windows64, bool server);

// A record that claims 6.3 or later minor versions may be a compatibility answer: major, minor
// and build are then taken from kernel32's product version text ("10.0.19041.1"). A product
// version that cannot be read leaves the record as reported.
OSVersionRecord CorrectReportedVersion(const OSVersionRecord& reported,
                                       const std::string& kernelProductVersion);

// "6.2", "10.0" and "6,3" read as decimal numbers: at least 6.2.
bool VersionTextAtLeast8(const std::string& versionText);

struct ScreenPoint {
    int left = 0;
    int top = 0;
};
// Position of a width x height window centred in the area (right and bottom exclusive);
// halves round toward zero, so a window larger than the area starts before its origin.
ScreenPoint CenterInArea(int areaLeft, int areaTop, int areaRight, int areaBottom, int width,
                         int height);

}  // namespace zv
