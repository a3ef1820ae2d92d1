// File-system seam of the extraction engine: what it needs beyond IFile (utils/file_io.h).
// The portable defaults use POSIX / C runtime calls so the engine runs natively in tests and
// fuzzers; the Win32 layer installs the real thing (package/win/extract_fs_win.h).
#pragma once
#include <cstdint>
#include <string>

#include "utils/file_io.h"

namespace zv {

struct ExtractFs {
    // Creates `path` and every missing parent; true when the folder exists afterwards.
    bool (*createFolders)(const std::string& path) = nullptr;
    // Sets the last-write time from a packed DOS date-time (date high word, time low word,
    // local time); false when the value is not a valid date or the file cannot be touched.
    bool (*setDosDate)(const std::string& path, uint32_t dosDateTime) = nullptr;
    // The same on a file still open for writing, which spares reopening every extracted file;
    // false when this kind of file cannot be dated so (the caller then closes it and uses
    // setDosDate).
    bool (*setOpenFileDosDate)(IFile& file, uint32_t dosDateTime) = nullptr;
    // Gives `to` the last-write time of `from`.
    bool (*copyFileDate)(const std::string& from, const std::string& to) = nullptr;
    // Size of the file in bytes, -1 when it cannot be read.
    int64_t (*fileSize)(const std::string& path) = nullptr;
    // Free bytes on the drive that holds `path`, -1 when unknown.
    int64_t (*freeSpace)(const std::string& path) = nullptr;
    // The system's text for the error of the last failed call (errno / GetLastError).
    std::string (*lastErrorText)() = nullptr;
    uint32_t (*processId)() = nullptr;
    // Separator put between the destination folder and an entry name.
    char separator = 0;
};

// The active implementation; every member is set.
const ExtractFs& ExtractFileSystem();
// Replaces the members that are set in `fs` (non-null, separator non-zero); returns the previous set.
ExtractFs SetExtractFs(const ExtractFs& fs);
// Back to the portable defaults.
void ResetExtractFs();

// Splits a packed DOS date-time; false when a field is out of range (month 13, second 60, ...).
struct DosDateTime {
    int year, month, day, hour, minute, second;
};
bool DecodeDosDateTime(uint32_t value, DosDateTime& out);

}  // namespace zv
