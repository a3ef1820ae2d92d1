// The C library's answers to the platform's questions: what the portable core runs on natively, in
// the tests, the fuzzers and the packager. The shipped programs link the Win32 layer's answers
// in place of this file (stub/runtime/win32_platform_seed.cpp), so none of this is in them.
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "utils/file_io.h"
#include "utils/platform.h"
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

#ifdef _WIN32
#define ZV_FSEEK _fseeki64
#define ZV_FTELL _ftelli64
#else
#define ZV_FSEEK fseeko
#define ZV_FTELL ftello
#endif

class StdioFile : public IFile {
public:
    explicit StdioFile(FILE* f) : f_(f) {}
    ~StdioFile() override { std::fclose(f_); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    int64_t Size() override {
        int64_t here = ZV_FTELL(f_);
        if (ZV_FSEEK(f_, 0, SEEK_END) != 0) return -1;
        int64_t size = ZV_FTELL(f_);
        ZV_FSEEK(f_, here, SEEK_SET);
        return size;
    }
    bool Seek(int64_t position) override {
        return position >= 0 && ZV_FSEEK(f_, position, SEEK_SET) == 0;
    }
    int64_t Position() override { return ZV_FTELL(f_); }
    int32_t Read(void* buffer, int32_t count) override {
        if (count <= 0) return 0;
        size_t n = std::fread(buffer, 1, size_t(count), f_);
        if (n == 0 && std::ferror(f_)) return -1;
        return int32_t(n);
    }
    int32_t Write(const void* buffer, int32_t count) override {
        if (count <= 0) return 0;
        size_t n = std::fwrite(buffer, 1, size_t(count), f_);
        if (n != size_t(count)) return n == 0 ? -1 : int32_t(n);
        return int32_t(n);
    }

private:
    FILE* f_;
};

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

std::unique_ptr<IFile> OpenStdioFile(const std::string& path, OpenMode mode) {
    const char* m = "rb";
    switch (mode) {
        case OpenMode::ReadShared: m = "rb"; break;
        case OpenMode::CreateWrite: m = "wb"; break;
        case OpenMode::AppendWrite: m = "ab"; break;
        case OpenMode::ReadWrite: m = "r+b"; break;
    }
    FILE* f = std::fopen(path.c_str(), m);
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(f);
}

bool StdioFileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IFDIR);
}

}  // namespace

Platform NativePlatform() {
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

}  // namespace zv
