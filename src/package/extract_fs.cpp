#include "package/extract_fs.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <ctime>

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
    __time64_t t = _mktime64(&tm);
    if (t == -1) return false;
    struct __utimbuf64 times = {t, t};
    return _utime64(path.c_str(), &times) == 0;
#else
    std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1)) return false;
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

ExtractFs Defaults() {
    ExtractFs fs;
    fs.createFolders = &PortableCreateFolders;
    fs.setDosDate = &PortableSetDosDate;
    fs.setOpenFileDosDate = &NoOpenFileDate;
    fs.copyFileDate = &PortableCopyFileDate;
    fs.fileSize = &PortableFileSize;
    fs.freeSpace = &PortableFreeSpace;
    fs.lastErrorText = &PortableLastErrorText;
    fs.processId = &PortableProcessId;
#ifdef _WIN32
    fs.separator = '\\';
#else
    fs.separator = '/';
#endif
    return fs;
}

ExtractFs& Active() {
    static ExtractFs fs = Defaults();
    return fs;
}

}  // namespace

const ExtractFs& ExtractFileSystem() { return Active(); }

ExtractFs SetExtractFs(const ExtractFs& fs) {
    ExtractFs old = Active();
    ExtractFs& a = Active();
    if (fs.createFolders) a.createFolders = fs.createFolders;
    if (fs.setDosDate) a.setDosDate = fs.setDosDate;
    if (fs.setOpenFileDosDate) a.setOpenFileDosDate = fs.setOpenFileDosDate;
    if (fs.copyFileDate) a.copyFileDate = fs.copyFileDate;
    if (fs.fileSize) a.fileSize = fs.fileSize;
    if (fs.freeSpace) a.freeSpace = fs.freeSpace;
    if (fs.lastErrorText) a.lastErrorText = fs.lastErrorText;
    if (fs.processId) a.processId = fs.processId;
    if (fs.separator) a.separator = fs.separator;
    return old;
}

void ResetExtractFs() { Active() = Defaults(); }

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

}  // namespace zv
