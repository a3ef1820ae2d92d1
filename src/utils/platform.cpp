#include "utils/platform.h"

#include <ctime>

namespace zv {
namespace {

Platform& Active() {
    static Platform platform = NativePlatform();
    return platform;
}

// Every member of Platform, once.
#define ZV_PLATFORM_MEMBERS(X) X(commandLine) X(exePath) X(processId) X(threadId) X(pumpMessages) \
    X(milliseconds) X(now) X(tickCount) X(upperCase) X(dateSeparator) X(timeSeparator) \
    X(longMonthName) X(openFile) X(fileExists) X(fileSize) X(appendToFile) X(setFileDate) \
    X(setOpenFileDate) X(copyFileDate) X(lastErrorText) X(pathSeparator) X(folderExists) \
    X(createFolders) X(freeSpace) X(clusterSize) X(tempPath) X(fullPath) X(specialFolder) \
    X(folderPath) X(windowsDir) X(systemDir) X(loggedUserName) X(userName) X(companyName) \
    X(computerName) X(domainName) X(readIni) X(writeIni) X(readReg) X(internetConnected) \
    X(httpFileSize)

template <typename T>
void Take(T& target, T source) {
    if (source) target = source;
}

// Test override storage for ScopedCommandLine.
std::string g_cmd, g_exe;
std::string OverrideCmd() { return g_cmd; }
std::string OverrideExe() { return g_exe; }

}  // namespace

const Platform& Host() { return Active(); }

Platform SetPlatform(const Platform& r) {
    const Platform old = Active();
    Platform& a = Active();
#define ZV_TAKE(member) Take(a.member, r.member);
    ZV_PLATFORM_MEMBERS(ZV_TAKE)
#undef ZV_TAKE
    return old;
}

std::vector<std::string> MissingPlatformMembers(const Platform& p) {
    std::vector<std::string> missing;
#define ZV_MISSING(member) \
    if (!p.member) missing.push_back(#member);
    ZV_PLATFORM_MEMBERS(ZV_MISSING)
#undef ZV_MISSING
    return missing;
}

void ResetPlatform() { Active() = NativePlatform(); }

ScopedCommandLine::ScopedCommandLine(std::string commandLine, std::string exePath) {
    g_cmd = std::move(commandLine);
    g_exe = std::move(exePath);
    Platform p;
    p.commandLine = &OverrideCmd;
    p.exePath = &OverrideExe;
    saved_ = SetPlatform(p);
}

ScopedCommandLine::~ScopedCommandLine() { SetPlatform(saved_); }

bool DecodeDosDateTime(uint32_t value, DosDateTime& out) {
    const uint32_t date = value >> 16, time = value & 0xFFFF;
    out.year = int(date >> 9) + 1980;
    out.month = int((date >> 5) & 15);
    out.day = int(date & 31);
    out.hour = int(time >> 11);
    out.minute = int((time >> 5) & 63);
    out.second = int(time & 31) * 2;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (out.month < 1 || out.month > 12 || out.day < 1 || out.day > kDays[out.month - 1])
        return false;
    if (out.month == 2 && out.day == 29) {
        const bool leap = (out.year % 4 == 0 && out.year % 100 != 0) || out.year % 400 == 0;
        if (!leap) return false;
    }
    return out.hour < 24 && out.minute < 60 && out.second < 60;
}

bool UnixFromLocalDosDateTime(uint32_t dosDateTime, int64_t& unixSeconds) {
    DosDateTime d;
    if (!DecodeDosDateTime(dosDateTime, d)) return false;
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = d.hour;
    tm.tm_min = d.minute;
    tm.tm_sec = d.second;
    tm.tm_isdst = -1;
#ifdef _WIN32
    const __time64_t t = _mktime64(&tm);
#else
    const std::time_t t = std::mktime(&tm);
#endif
    if (t == -1) return false;
    unixSeconds = int64_t(t);
    return true;
}

}  // namespace zv
