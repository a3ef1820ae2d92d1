// The one seam between the program and the system it runs on: the program itself, clocks and the
// message pump, files and folders, free space, ini files and the registry, system folders and
// names, and the network checks of the agent. The portable code calls only through Host(); the
// Windows program installs the Win32 answers once at start (stub/win/win32_platform.h), and
// native tests and fuzzers replace what they fake.
//
// Natively every member has an answer from the start: the C library's where one exists (files,
// clocks), otherwise "nothing there" (no registry, no ini files, no shell folders, no network).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "utils/file_io.h"
#include "utils/ini_reg.h"

namespace zv {

struct Platform {
    // -- The running program
    std::string (*commandLine)() = nullptr;
    std::string (*exePath)() = nullptr;
    uint32_t (*processId)() = nullptr;
    uint32_t (*threadId)() = nullptr;

    // -- Clocks and the message pump
    // Dispatches the window messages that are waiting (none natively).
    void (*pumpMessages)() = nullptr;
    double (*milliseconds)() = nullptr;  // monotonic, fractional
    double (*now)() = nullptr;           // local time, days since 1899-12-30
    uint32_t (*tickCount)() = nullptr;   // milliseconds, wrapping at 2^32

    // -- Locale
    std::string (*upperCase)(const std::string&) = nullptr;  // the system's ANSI upper-casing
    char (*dateSeparator)() = nullptr;
    char (*timeSeparator)() = nullptr;
    std::string (*longMonthName)(int month) = nullptr;       // 1..12

    // -- Files
    std::unique_ptr<IFile> (*openFile)(const std::string& path, OpenMode mode) = nullptr;
    bool (*fileExists)(const std::string& path) = nullptr;   // a file, not a folder
    int64_t (*fileSize)(const std::string& path) = nullptr;  // -1 when missing or a folder
    // Appends data; the bytes written, -1 when the file cannot be opened.
    int64_t (*appendToFile)(const std::string& path, const std::string& data) = nullptr;
    bool (*setFileDate)(const std::string& path, uint32_t dosDateTime) = nullptr;
    // The same on a file open for writing (faster than reopening it); false where unsupported.
    bool (*setOpenFileDate)(IFile& file, uint32_t dosDateTime) = nullptr;
    bool (*copyFileDate)(const std::string& from, const std::string& to) = nullptr;
    // The text of the last failed file or folder call of this thread.
    std::string (*lastErrorText)() = nullptr;
    char pathSeparator = 0;

    // -- Folders and drives
    bool (*folderExists)(const std::string& path) = nullptr;
    bool (*createFolders)(const std::string& path) = nullptr;  // missing parents included
    int64_t (*freeSpace)(const std::string& path) = nullptr;   // bytes for this user, -1 unknown
    uint64_t (*clusterSize)(const std::string& root) = nullptr;
    // The user's temporary folder as the system reports it (with its trailing backslash).
    std::string (*tempPath)() = nullptr;
    // The system's absolute form of a path ("." and ".." removed).
    std::string (*fullPath)(const std::string& path) = nullptr;

    // -- System folders and names (without trailing backslash; "" on any failure)
    // SHGetSpecialFolderPathA of shell32, SHGetFolderPathA of SHFolder.
    std::string (*specialFolder)(int csidl) = nullptr;
    std::string (*folderPath)(int csidl) = nullptr;
    std::string (*windowsDir)() = nullptr;
    std::string (*systemDir)() = nullptr;
    std::string (*loggedUserName)() = nullptr;
    // The registered owner, or the logged-on user when none is registered.
    std::string (*userName)() = nullptr;
    std::string (*companyName)() = nullptr;
    std::string (*computerName)() = nullptr;
    std::string (*domainName)() = nullptr;

    // -- Ini files and the registry
    // The private-profile read with def passed through; at most kIniValueBufferSize - 1 chars.
    std::string (*readIni)(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) = nullptr;
    bool (*writeIni)(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) = nullptr;
    // True with the value's type and bytes when the key opens and the value fits the buffer.
    bool (*readReg)(RegRoot root, const std::string& subKey, const std::string& valueName,
                    bool use64BitView, uint32_t& type, std::string& data) = nullptr;

    // -- Network (the agent's checks before a download)
    bool (*internetConnected)() = nullptr;
    int64_t (*httpFileSize)(const std::string& url) = nullptr;  // -1 when it cannot be had
};

const Platform& Host();
// The answers before anything is set: the C library's (utils/platform_native.cpp); in the shipped
// programs, which link no C-library fallbacks, the Win32 layer's.
Platform NativePlatform();
// Replaces the members that are set (non-null, non-zero); returns the whole previous set, so
// that handing it back restores everything.
Platform SetPlatform(const Platform& replacement);
// Back to NativePlatform() (tests).
void ResetPlatform();
// The members a platform leaves unset, by name: none, for a platform a program may run on.
std::vector<std::string> MissingPlatformMembers(const Platform& p);

// Test helper: the program's command line and path as given, until it goes out of scope.
class ScopedCommandLine {
public:
    ScopedCommandLine(std::string commandLine, std::string exePath);
    ~ScopedCommandLine();
    ScopedCommandLine(const ScopedCommandLine&) = delete;
    ScopedCommandLine& operator=(const ScopedCommandLine&) = delete;

private:
    Platform saved_;
};

struct DosDateTime {
    int year, month, day, hour, minute, second;
};
// False for a date the DOS format cannot hold (month 0, day 0, hour 24 and the like).
bool DecodeDosDateTime(uint32_t value, DosDateTime& out);
// The moment a DOS date-time names as local time (the system's time-zone rules), in seconds since
// 1970; false when it names no date or the C library cannot place it.
bool UnixFromLocalDosDateTime(uint32_t dosDateTime, int64_t& unixSeconds);

}  // namespace zv
