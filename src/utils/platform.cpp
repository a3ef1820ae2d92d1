#include "utils/platform.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "utils/text.h"

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <sys/utime.h>
#else
#include <sys/statvfs.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace zv {
namespace {

// ---- The native answers ----

std::string NativeCommandLine() {
#ifdef __linux__
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : all)
        if (c == '\0') c = ' ';
    while (!all.empty() && all.back() == ' ') all.pop_back();
    return all;
#else
    return {};
#endif
}

std::string NativeExePath() {
#ifdef __linux__
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return std::string(buf, size_t(n));
#endif
    return {};
}

void NoPump() {}

double SteadyMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{}, utc{};
#ifdef _WIN32
    localtime_s(&tm, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &tm);
    gmtime_r(&t, &utc);
#endif
    // Days from 1899-12-30 to 1970-01-01 are 25569.
    double local = double(t) + double(std::mktime(&tm) - std::mktime(&utc));
    return 25569.0 + local / 86400.0;
}

uint32_t SteadyTickCount() { return uint32_t(uint64_t(SteadyMilliseconds())); }

char Slash() { return '/'; }
char Colon() { return ':'; }

#ifdef _WIN32
using StatBuf = struct _stat64;
int StatPath(const std::string& path, StatBuf& st) { return _stat64(path.c_str(), &st); }
int MakeDir(const std::string& path) { return _mkdir(path.c_str()); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
#else
using StatBuf = struct stat;
int StatPath(const std::string& path, StatBuf& st) { return stat(path.c_str(), &st); }
int MakeDir(const std::string& path) { return mkdir(path.c_str(), 0777); }
bool IsSeparator(char c) { return c == '/'; }
#endif

bool IsFolder(const std::string& path) {
    StatBuf st;
    return StatPath(path, st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

bool PortableCreateFolders(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    int savedError = 0;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        std::string prefix = path.substr(0, i);
        // Drive roots ("C:") and doubled separators have nothing to create.
        if (prefix.back() == ':' || IsSeparator(prefix.back()) || IsFolder(prefix)) continue;
        if (MakeDir(prefix) != 0 && errno != EEXIST) savedError = errno;
    }
    if (IsFolder(path)) return true;
    errno = savedError ? savedError : ENOTDIR;
    return false;
}

bool PortableSetDosDate(const std::string& path, uint32_t dosDateTime) {
    int64_t seconds = 0;
    if (!UnixFromLocalDosDateTime(dosDateTime, seconds)) return false;
#ifdef _WIN32
    const __time64_t t = seconds;
    struct __utimbuf64 times = {t, t};
    return _utime64(path.c_str(), &times) == 0;
#else
    const std::time_t t = std::time_t(seconds);
    struct utimbuf times = {t, t};
    return utime(path.c_str(), &times) == 0;
#endif
}

bool NoOpenFileDate(IFile&, uint32_t) { return false; }

bool PortableCopyFileDate(const std::string& from, const std::string& to) {
    StatBuf st;
    if (StatPath(from, st) != 0) return false;
#ifdef _WIN32
    struct __utimbuf64 times = {st.st_mtime, st.st_mtime};
    return _utime64(to.c_str(), &times) == 0;
#else
    struct utimbuf times = {st.st_mtime, st.st_mtime};
    return utime(to.c_str(), &times) == 0;
#endif
}

int64_t PortableFileSize(const std::string& path) {
    StatBuf st;
    if (StatPath(path, st) != 0 || (st.st_mode & S_IFMT) == S_IFDIR) return -1;
    return int64_t(st.st_size);
}

int64_t PortableFreeSpace(const std::string& path) {
#ifdef _WIN32
    unsigned drive = 0;  // current drive
    if (path.size() >= 2 && path[1] == ':') {
        char letter = char(path[0] & ~0x20);
        if (letter >= 'A' && letter <= 'Z') drive = unsigned(letter - 'A' + 1);
    }
    struct _diskfree_t df;
    if (_getdiskfree(drive, &df) != 0) return -1;
    return int64_t(df.avail_clusters) * df.sectors_per_cluster * df.bytes_per_sector;
#else
    // The file itself may be missing; its folder is what counts.
    std::string probe = path;
    struct statvfs vfs;
    while (statvfs(probe.c_str(), &vfs) != 0) {
        size_t slash = probe.find_last_of('/');
        if (slash == std::string::npos) {
            probe = ".";
        } else if (slash == 0) {
            probe = "/";
        } else {
            probe.erase(slash);
            continue;
        }
        if (statvfs(probe.c_str(), &vfs) != 0) return -1;
        break;
    }
    return int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize);
#endif
}

std::string PortableLastErrorText() { return std::strerror(errno); }

uint32_t PortableProcessId() {
#ifdef _WIN32
    return uint32_t(_getpid());
#else
    return uint32_t(getpid());
#endif
}

bool PortableFolderExists(const std::string& path) { return !path.empty() && IsFolder(path); }

int64_t PortableAppendToFile(const std::string& path, const std::string& data) {
    auto file = OpenFile(path, OpenMode::AppendWrite);
    if (!file) return -1;
    if (data.empty()) return 0;
    const int32_t put = file->Write(data.data(), int32_t(data.size()));
    return put < 0 ? 0 : put;
}

std::string PortableTempPath() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/";
}

uint32_t NoThreadId() { return 0; }
std::string NoText() { return ""; }
std::string NoFolder(int) { return ""; }
std::string SamePath(const std::string& path) { return path; }
std::string EnglishMonth(int month) {
    static const char* const names[] = {"January", "February", "March",     "April",
                                        "May",     "June",     "July",      "August",
                                        "September", "October", "November", "December"};
    return month >= 1 && month <= 12 ? names[month - 1] : "";
}
uint64_t NoClusterSize(const std::string&) { return 0; }
std::string NoIni(const std::string&, const std::string&, const std::string&,
                  const std::string& def) {
    return def;
}
bool NoIniWrite(const std::string&, const std::string&, const std::string&, const std::string&) {
    return false;
}
bool NoReg(RegRoot, const std::string&, const std::string&, bool, uint32_t&, std::string&) {
    return false;
}
bool NotConnected() { return false; }
int64_t NoHttpSize(const std::string&) { return -1; }

Platform Native() {
    Platform p;
    p.commandLine = &NativeCommandLine;
    p.exePath = &NativeExePath;
    p.processId = &PortableProcessId;
    p.threadId = &NoThreadId;
    p.pumpMessages = &NoPump;
    p.milliseconds = &SteadyMilliseconds;
    p.now = &LocalNow;
    p.tickCount = &SteadyTickCount;
    p.upperCase = [](const std::string& text) { return AsciiUpper(text); };
    p.dateSeparator = &Slash;
    p.timeSeparator = &Colon;
    p.longMonthName = &EnglishMonth;
    p.openFile = &OpenStdioFile;
    p.fileExists = &StdioFileExists;
    p.fileSize = &PortableFileSize;
    p.appendToFile = &PortableAppendToFile;
    p.setFileDate = &PortableSetDosDate;
    p.setOpenFileDate = &NoOpenFileDate;
    p.copyFileDate = &PortableCopyFileDate;
    p.lastErrorText = &PortableLastErrorText;
#ifdef _WIN32
    p.pathSeparator = '\\';
#else
    p.pathSeparator = '/';
#endif
    p.folderExists = &PortableFolderExists;
    p.createFolders = &PortableCreateFolders;
    p.freeSpace = &PortableFreeSpace;
    p.clusterSize = &NoClusterSize;
    p.tempPath = &PortableTempPath;
    p.fullPath = &SamePath;
    p.specialFolder = &NoFolder;
    p.folderPath = &NoFolder;
    p.windowsDir = &NoText;
    p.systemDir = &NoText;
    p.loggedUserName = &NoText;
    p.userName = &NoText;
    p.companyName = &NoText;
    p.computerName = &NoText;
    p.domainName = &NoText;
    p.readIni = &NoIni;
    p.writeIni = &NoIniWrite;
    p.readReg = &NoReg;
    p.internetConnected = &NotConnected;
    p.httpFileSize = &NoHttpSize;
    return p;
}

Platform& Active() {
    static Platform platform = Native();
    return platform;
}

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
    Take(a.commandLine, r.commandLine);
    Take(a.exePath, r.exePath);
    Take(a.processId, r.processId);
    Take(a.threadId, r.threadId);
    Take(a.pumpMessages, r.pumpMessages);
    Take(a.milliseconds, r.milliseconds);
    Take(a.now, r.now);
    Take(a.tickCount, r.tickCount);
    Take(a.upperCase, r.upperCase);
    Take(a.dateSeparator, r.dateSeparator);
    Take(a.timeSeparator, r.timeSeparator);
    Take(a.longMonthName, r.longMonthName);
    Take(a.openFile, r.openFile);
    Take(a.fileExists, r.fileExists);
    Take(a.fileSize, r.fileSize);
    Take(a.appendToFile, r.appendToFile);
    Take(a.setFileDate, r.setFileDate);
    Take(a.setOpenFileDate, r.setOpenFileDate);
    Take(a.copyFileDate, r.copyFileDate);
    Take(a.lastErrorText, r.lastErrorText);
    Take(a.pathSeparator, r.pathSeparator);
    Take(a.folderExists, r.folderExists);
    Take(a.createFolders, r.createFolders);
    Take(a.freeSpace, r.freeSpace);
    Take(a.clusterSize, r.clusterSize);
    Take(a.tempPath, r.tempPath);
    Take(a.fullPath, r.fullPath);
    Take(a.specialFolder, r.specialFolder);
    Take(a.folderPath, r.folderPath);
    Take(a.windowsDir, r.windowsDir);
    Take(a.systemDir, r.systemDir);
    Take(a.loggedUserName, r.loggedUserName);
    Take(a.userName, r.userName);
    Take(a.companyName, r.companyName);
    Take(a.computerName, r.computerName);
    Take(a.domainName, r.domainName);
    Take(a.readIni, r.readIni);
    Take(a.writeIni, r.writeIni);
    Take(a.readReg, r.readReg);
    Take(a.internetConnected, r.internetConnected);
    Take(a.httpFileSize, r.httpFileSize);
    return old;
}

void ResetPlatform() { Active() = Native(); }

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
