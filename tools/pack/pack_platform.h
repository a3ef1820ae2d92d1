// The few operating-system services the packager needs, behind one header so that the same code
// builds for Linux and as a Windows executable.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zv::pack {

struct PathInfo {
    bool exists = false;
    bool isDirectory = false;
    bool isRegularFile = false;
    uint64_t size = 0;
    int64_t modified = 0;  // seconds since 1970-01-01 UTC
};
PathInfo StatPath(const std::string& path);

// Names (not paths) of the entries of a folder, sorted bytewise; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& folder, bool& ok);

std::string ExecutablePath();
bool StderrIsTerminal();

bool MakeFolders(const std::string& path);
// Moves `from` over `to`, replacing an existing file.
bool MoveOver(const std::string& from, const std::string& to);
void RemoveFileQuietly(const std::string& path);
// Both name the same file (an existing one, on POSIX).
bool SamePath(const std::string& a, const std::string& b);
bool SetModifiedTime(const std::string& path, int64_t unixSeconds);

// What stands at path, without following a link: "" for a regular file, "nothing" when there is
// nothing, else "a symbolic link", "a folder", "a FIFO", "a device", "a socket", "a reparse point".
std::string DescribeEntry(const std::string& path);
// The system's text for the last error of a file call (errno / GetLastError).
std::string LastSystemError();

// A file created under a fresh name inside `folder`, exclusively: nothing that already stands
// there (a link, a FIFO, a device) is ever opened. file is null on failure, with the reason.
struct NewFile {
    std::string path;
    FILE* file = nullptr;
    std::string error;
};
NewFile CreateUniqueFile(const std::string& folder, const std::string& prefix);
// The modification time of an open file (flushed first).
bool SetOpenFileTime(FILE* file, int64_t unixSeconds);
// Moves `from` to `to` where nothing stands at `to` or a regular file does (a link there is
// replaced, never followed); otherwise refuses. Returns "" or the reason.
std::string PlaceFile(const std::string& from, const std::string& to);
// Free bytes for the caller on the drive of folder, and the drive's allocation unit (0 unknown).
bool FreeSpace(const std::string& folder, uint64_t& freeBytes, uint64_t& clusterSize);

// Joins a folder and a relative path; an absolute `path` is returned as it is.
std::string JoinPath(const std::string& folder, const std::string& path);
bool IsAbsolutePath(const std::string& path);
std::string ParentFolder(const std::string& path);  // "" for a bare name
std::string BaseName(const std::string& path);

// Local civil time of a moment (the system's time-zone rules); the way back from a DOS date-time
// is UnixFromLocalDosDateTime (utils/platform.h).
struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool LocalCivilTime(int64_t unixSeconds, CivilTime& out);

}  // namespace zv::pack
