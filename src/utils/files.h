// Whole-file reads and writes over the file seam (utils/file_io.h), so that they behave the same
// natively and in the stub. Folder, disk and self-deletion operations are Win32-only
// (utils/win/files_win.h). None of these functions throws.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "utils/file_io.h"

namespace zv {

// Progress of a chunked write: called once with written 0, then after every chunk. Setting
// abort stops the write (the result is then false).
using FileProgressFn = std::function<void(int64_t total, bool& abort, int64_t written)>;

// Texts longer than this are always written in chunks.
constexpr int64_t kChunkedWriteThreshold = 1048576;

// A tenth of total, at least 1024 (or total when smaller) and at most 1 MiB.
int64_t WriteChunkSize(int64_t total);

// Size of an open file (0 when unknown).
int64_t GetFileSize64(IFile& file);

// The most ReadFilePart holds in memory.
constexpr int64_t kMaxFilePart = int64_t(256) << 20;

// Bytes from offset, at most maxLength of them (0: to the end); empty when the file is missing,
// offset is not inside the file, the part is larger than kMaxFilePart, or fewer bytes could be
// read.
std::string ReadFilePart(const std::string& path, int64_t maxLength = 0, bool trim = false,
                         int64_t offset = 0);

// Writes text to a new file (replacing an old one) or, with append, at the end of a file that
// is created when missing. fileDate (packed DOS date in the high word, time in the low word,
// local time) is set when not 0 and everything was written. True when every byte was written.
bool WriteTextFile(const std::string& path, const std::string& text, uint32_t fileDate = 0,
                   bool append = false, const FileProgressFn& progress = nullptr);

// The chunk loop of WriteTextFile on an open file; returns the bytes written.
int64_t WriteInChunks(IFile& file, const std::string& text, const FileProgressFn& progress);

// Appends text (plus CR LF with addLineEnd) in one write at the end of path, creating the file
// when missing; never truncates. True when every byte was written.
bool AppendTextToFile(const std::string& path, const std::string& text, bool addLineEnd = false,
                      uint32_t fileDate = 0);

// The folder or root whose free space is asked for. extended: the system offers the query
// that takes any folder; otherwise only the drive root ("C:\") is used.
std::string FreeSpaceRoot(const std::string& path, bool extended);
// "C:\" for any path beginning with c (empty for an empty path).
std::string DriveRoot(const std::string& path);

// Writes "[name]  [value]" as one trace line.
void TraceNameValue(const std::string& name, const std::string& value);

}  // namespace zv
