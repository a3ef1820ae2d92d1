#include "pack_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace zv::pack {

PathInfo StatPath(const std::string& path) {
    PathInfo info;
#ifdef _WIN32
    struct _stat64 st;
    if (path.empty() || _stat64(path.c_str(), &st) != 0) return info;
#else
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return info;
#endif
    info.exists = true;
    info.isDirectory = (st.st_mode & S_IFMT) == S_IFDIR;
    info.isRegularFile = (st.st_mode & S_IFMT) == S_IFREG;
    info.size = uint64_t(st.st_size);
    info.modified = int64_t(st.st_mtime);
    return info;
}

std::vector<std::string> ListFolder(const std::string& folder, bool& ok) {
    std::vector<std::string> names;
    ok = false;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &found));
    ok = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(h);
#else
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    ok = true;
#endif
    std::sort(names.begin(), names.end());
    return names;
}

std::string ExecutablePath() {
#ifdef _WIN32
    char buf[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(nullptr, buf, DWORD(sizeof buf));
    return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
#endif
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

bool MakeFolders(const std::string& path) {
    if (path.empty() || StatPath(path).isDirectory) return true;
    std::string parent = ParentFolder(path);
    if (!parent.empty() && parent != path && !(parent.size() == 2 && parent[1] == ':'))
        MakeFolders(parent);
#ifdef _WIN32
    CreateDirectoryA(path.c_str(), nullptr);
#else
    mkdir(path.c_str(), 0777);
#endif
    return StatPath(path).isDirectory;
}

bool MoveOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void RemoveFileQuietly(const std::string& path) { std::remove(path.c_str()); }

bool SamePath(const std::string& a, const std::string& b) {
#ifdef _WIN32
    char fa[MAX_PATH * 2], fb[MAX_PATH * 2];
    DWORD na = GetFullPathNameA(a.c_str(), DWORD(sizeof fa), fa, nullptr);
    DWORD nb = GetFullPathNameA(b.c_str(), DWORD(sizeof fb), fb, nullptr);
    return na && nb && na < sizeof fa && nb < sizeof fb && lstrcmpiA(fa, fb) == 0;
#else
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

bool SetModifiedTime(const std::string& path, int64_t unixSeconds) {
#ifdef _WIN32
    struct __utimbuf64 times;
    times.actime = unixSeconds;
    times.modtime = unixSeconds;
    return _utime64(path.c_str(), &times) == 0;
#else
    struct timeval tv[2];
    tv[0].tv_sec = time_t(unixSeconds);
    tv[0].tv_usec = 0;
    tv[1] = tv[0];
    return utimes(path.c_str(), tv) == 0;
#endif
}

std::string LastSystemError() {
#ifdef _WIN32
    DWORD code = GetLastError();
    char buf[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             buf, DWORD(sizeof buf), nullptr);
    std::string text(buf, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
#else
    return std::strerror(errno);
#endif
}

std::string DescribeEntry(const std::string& path) {
#ifdef _WIN32
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return "nothing";
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return "a reparse point (link or junction)";
    if (a & FILE_ATTRIBUTE_DIRECTORY) return "a folder";
    return "";
#else
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "nothing";
    switch (st.st_mode & S_IFMT) {
        case S_IFREG: return "";
        case S_IFLNK: return "a symbolic link";
        case S_IFDIR: return "a folder";
        case S_IFIFO: return "a FIFO";
        case S_IFCHR:
        case S_IFBLK: return "a device";
        case S_IFSOCK: return "a socket";
        default: return "not a regular file";
    }
#endif
}

NewFile CreateUniqueFile(const std::string& folder, const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    NewFile out;
    for (int attempt = 0; attempt < 100; ++attempt) {
#ifdef _WIN32
        const unsigned long id = GetCurrentProcessId();
        const unsigned long tick = GetTickCount();
#else
        const unsigned long id = (unsigned long)getpid();
        const unsigned long tick = (unsigned long)std::time(nullptr);
#endif
        std::string path = JoinPath(folder, prefix + std::to_string(id) + "-" + std::to_string(tick % 100000) +
                                                "-" + std::to_string(counter++) + ".tmp");
#ifdef _WIN32
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
            out.error = LastSystemError();
            return out;
        }
        int fd = _open_osfhandle(intptr_t(h), _O_BINARY | _O_WRONLY);
        if (fd < 0) {
            CloseHandle(h);
            out.error = "cannot open " + path;
            return out;
        }
        out.file = _fdopen(fd, "wb");
        if (!out.file) _close(fd);
#else
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            out.error = LastSystemError();
            return out;
        }
        out.file = fdopen(fd, "wb");
        if (!out.file) close(fd);
#endif
        if (!out.file) {
            out.error = LastSystemError();
            RemoveFileQuietly(path);
            return out;
        }
        out.path = path;
        return out;
    }
    out.error = "no free temporary name in " + folder;
    return out;
}

bool SetOpenFileTime(FILE* file, int64_t unixSeconds) {
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    // FILETIME counts 100 ns steps since 1601-01-01.
    const uint64_t ticks = uint64_t(unixSeconds + 11644473600LL) * 10000000ull;
    FILETIME ft;
    ft.dwLowDateTime = DWORD(ticks);
    ft.dwHighDateTime = DWORD(ticks >> 32);
    return h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, &ft, &ft) != 0;
#else
    struct timespec times[2];
    times[0].tv_sec = time_t(unixSeconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return futimens(fileno(file), times) == 0;
#endif
}

std::string PlaceFile(const std::string& from, const std::string& to) {
    const std::string what = DescribeEntry(to);
    if (!what.empty() && what != "nothing") return to + " is " + what + ": refused";
    if (!MoveOver(from, to)) return "cannot write " + to + ": " + LastSystemError();
    return "";
}

bool FreeSpace(const std::string& folder, uint64_t& freeBytes, uint64_t& clusterSize) {
    clusterSize = 0;
#ifdef _WIN32
    ULARGE_INTEGER avail, total, totalFree;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &avail, &total, &totalFree)) return false;
    freeBytes = avail.QuadPart;
    return true;
#else
    struct statvfs st;
    if (statvfs(folder.c_str(), &st) != 0) return false;
    freeBytes = uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
    clusterSize = uint64_t(st.f_bsize);
    return true;
#endif
}

bool IsAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '/' || path[0] == '\\') return true;
    return path.size() >= 2 && path[1] == ':';
}

std::string JoinPath(const std::string& folder, const std::string& path) {
    if (folder.empty() || IsAbsolutePath(path)) return path;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + path;
    return folder + "/" + path;
}

std::string ParentFolder(const std::string& path) {
    size_t p = path.find_last_of("/\\");
    if (p == std::string::npos) return {};
    return p == 0 ? path.substr(0, 1) : path.substr(0, p);
}

std::string BaseName(const std::string& path) {
    size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool LocalCivilTime(int64_t unixSeconds, CivilTime& out) {
    std::tm tm{};
#ifdef _WIN32
    // The i686 C runtime's time_t is 32 bits wide: use the 64-bit calls explicitly.
    __time64_t t = unixSeconds;
    if (_localtime64_s(&tm, &t) != 0) return false;
#else
    std::time_t t = std::time_t(unixSeconds);
    if (!localtime_r(&t, &tm)) return false;
#endif
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = std::min(tm.tm_sec, 59);
    return true;
}

}  // namespace zv::pack
