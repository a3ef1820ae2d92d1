#include "utils/files.h"

#include <algorithm>

#include "utils/platform.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {

int64_t WriteChunkSize(int64_t total) {
    const int64_t tenth = total / 10;
    if (tenth <= 1024) return std::min<int64_t>(1024, total);
    return std::min<int64_t>(tenth, kChunkedWriteThreshold);
}

int64_t GetFileSize64(IFile& file) {
    int64_t size = file.Size();
    return size < 0 ? 0 : size;
}

std::string ReadFilePart(const std::string& path, int64_t maxLength, bool trim, int64_t offset) {
    if (!FileExists(path)) return "";
    auto file = OpenFile(path, OpenMode::ReadShared);
    if (!file) return "";
    const int64_t size = GetFileSize64(*file);
    int64_t length = size - offset;
    if (maxLength != 0) length = std::min(length, maxLength);
    if (offset < 0 || offset >= size || length <= 0) return "";
    // Refused before anything is allocated: a file too large for memory must not end the process.
    if (length > kMaxFilePart) {
        TraceException("file part too large for memory", "Files.ReadFilePart()", path);
        return "";
    }
    if (!file->Seek(offset)) return "";
    std::string data(size_t(length), '\0');
    int64_t done = 0;
    while (done < length) {
        int32_t want = int32_t(std::min<int64_t>(length - done, 1 << 24));
        int32_t got = file->Read(&data[size_t(done)], want);
        if (got <= 0) return "";
        done += got;
    }
    return trim ? Trim(data) : data;
}

int64_t WriteInChunks(IFile& file, const std::string& text, const FileProgressFn& progress) {
    const int64_t total = int64_t(text.size());
    const int64_t chunk = WriteChunkSize(total);
    bool abort = false;
    if (progress) progress(total, abort, 0);
    int64_t written = 0;
    while (written < total && !abort) {
        int32_t want = int32_t(std::min(chunk, total - written));
        int32_t put = file.Write(text.data() + written, want);
        if (put <= 0) break;
        written += put;
        if (progress) progress(total, abort, written);
    }
    return written;
}

bool WriteTextFile(const std::string& path, const std::string& text, uint32_t fileDate,
                   bool append, const FileProgressFn& progress) {
    int64_t written = 0;
    {
        auto file = OpenFile(path, append ? OpenMode::AppendWrite : OpenMode::CreateWrite);
        // An empty text counts as written only when the file could be made.
        if (!file) return false;
        const int64_t total = int64_t(text.size());
        if (progress || total > kChunkedWriteThreshold) {
            written = WriteInChunks(*file, text, progress);
        } else if (total > 0) {
            int32_t put = file->Write(text.data(), int32_t(total));
            written = put < 0 ? 0 : put;
        }
    }
    const bool complete = written == int64_t(text.size());
    if (complete && fileDate != 0) Host().setFileDate(path, fileDate);
    return complete;
}

bool AppendTextToFile(const std::string& path, const std::string& text, bool addLineEnd,
                      uint32_t fileDate) {
    const std::string data = addLineEnd ? text + "\r\n" : text;
    const int64_t written = Host().appendToFile(path, data);
    if (written < 0) return false;
    const bool complete = written == int64_t(data.size());
    if (complete && fileDate != 0) Host().setFileDate(path, fileDate);
    return complete;
}

std::string DriveRoot(const std::string& path) {
    if (path.empty()) return "";
    return std::string(1, AsciiUpper(path[0])) + ":\\";
}

std::string FreeSpaceRoot(const std::string& path, bool extended) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    if (!extended || p.size() < 3) return DriveRoot(p);
    if (p.compare(0, 2, "\\\\") == 0) {
        // A share is asked for as "\\server\share\"; "\\server" alone names no disk.
        size_t server = p.find('\\', 2);
        if (server != std::string::npos) {
            size_t share = p.find('\\', server + 1);
            if (share == std::string::npos) return p + "\\";
            return p.substr(0, share + 1);
        }
        return p;
    }
    size_t slash = p.find('\\', 3);
    return slash == std::string::npos ? p : p.substr(0, slash);
}

void TraceNameValue(const std::string& name, const std::string& value) {
    TraceOut().WriteLine("[" + name + "]  [" + value + "]");
}

}  // namespace zv
