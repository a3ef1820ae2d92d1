// The parts of an HTTP download that need no network: address handling, chunk sizes, the name
// of the partial file, the packed Last-Modified date, and the recognition of an HTML error page
// that a web server sent in place of the wanted file.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// Content-Length as read with HTTP_QUERY_FLAG_NUMBER when the header is missing.
constexpr uint32_t kUnknownContentLength = 0xFFFFFFFFu;
constexpr uint32_t kDownloadBufferSize = 8192;
// The most one read asks for: fewer, larger reads cost far less CPU on a fast link.
constexpr uint32_t kDownloadReadSize = 262144;

// A tenth of the announced size, within 1..8192: small files advance the bar in about ten steps.
uint32_t DownloadChunkSize(uint32_t size);
// Highest position of the progress bar: one step per chunk, plus one.
int64_t DownloadProgressMaximum(uint32_t size, uint32_t chunk);
// A read may hold several chunks: it is taken in pieces that end at chunk boundaries (counted
// from the first byte), so the bar steps and the abort is seen per chunk as with one read per
// chunk. The size of the next piece of a read with left bytes, done bytes before it.
uint32_t ProgressPieceSize(uint64_t done, uint32_t left, uint32_t chunk);
// Bar steps made once done bytes have arrived: one for each chunk begun.
uint64_t ProgressStepsFor(uint64_t done, uint32_t chunk);
// The size of the next read, between the chunk size and kDownloadReadSize: doubled after a full
// read that came quickly, halved after one that took long, so a slow link still shows progress
// often and a fast one is read in few calls.
uint32_t NextReadSize(uint32_t current, uint32_t got, uint32_t tookMs, uint32_t chunk);

// target + "." + (size + fileDate) in unsigned 32 bits: a new file or a new announced size on the
// server never continues an old partial file.
std::string PartialFileName(const std::string& target, uint32_t size, uint32_t fileDate);
// Every partial file of target, for deletion before a new download.
std::string PartialFileMask(const std::string& target);
// A file the mask finds is a download's own partial file only when its name is the target's
// name, a dot and decimal digits: "App.exe" is never a partial file of the target "App".
bool IsPartialFileOf(const std::string& target, const std::string& fileName);

// Requests that only warm up a connection, or only want the file's size, ask for its first byte:
// closing a request whose body is still arriving can make WinINet read the rest of it first.
constexpr const char* kFirstByteOnly = "Range: bytes=0-0\r\n";
// The whole file's size from a Content-Range value ("bytes 0-0/1234", "bytes */0"), as a
// server sends it with a partial answer (206) or a refused range (416); kUnknownContentLength
// when it names none ("*"), is malformed, or is larger than 32 bits can tell.
uint32_t ContentRangeTotal(const std::string& value);

// True when the address starts with a scheme ("http://", "https://", "ftp://", ...).
bool HasUrlScheme(const std::string& url);
// The address with blanks trimmed and "http://" put in front of a bare address; an address that
// names its scheme is kept as it is.
std::string WithHttpScheme(const std::string& url);
// The folder address and the file name joined by one "/".
std::string JoinUrl(const std::string& folder, const std::string& name);
// The last path element of the address ("Setup.exe" for http://host/dl/Setup.exe).
std::string UrlFileName(const std::string& url);

// Where a request with credentials goes: InternetConnect needs host and port apart.
struct HttpTarget {
    bool secure = false;  // https
    std::string host;
    uint16_t port = 80;   // 80, 443 for https, or the port given after the host
    std::string path;     // without its leading "/"
};
HttpTarget SplitHttpUrl(const std::string& url);

// FAT-style packed date-time (date in the high word, time in the low word, two-second
// resolution); 0 for a date that is not valid or lies outside 1980..2107.
uint32_t PackFileDate(int year, int month, int day, int hour, int minute, int second);

// The file's first 1000 bytes (when fileName names an existing file) or else the text's first
// 1000 characters look like an error page: a title holding "404", or "<HTML>", "<HEAD>",
// "<TITLE>" and "</TITLE>" in that order (letter case ignored).
bool IsHtmlErrorPage(const std::string& fileName, const std::string& text);
// The "404 File Not Found" message for the address when IsHtmlErrorPage, otherwise def.
std::string HtmlErrorMessage(const std::string& fileName, const std::string& text,
                             const std::string& url, bool iisHint, const std::string& def);

}  // namespace zv
