#include "inet/comm_utils.h"

#include <cctype>
#include <initializer_list>

#include "utils/file_io.h"
#include "utils/files.h"
#include "utils/text.h"

namespace zv {

namespace {

constexpr int64_t kHtmlProbeLength = 1000;

// Positions count from 1; 0 (absent) breaks every chain.
bool InOrder(std::initializer_list<int> positions) {
    int previous = 0;
    for (int p : positions) {
        if (p <= previous) return false;
        previous = p;
    }
    return true;
}

}  // namespace

uint32_t DownloadChunkSize(uint32_t size) {
    const uint32_t tenth = size / 10;
    if (tenth < 1) return 1;
    return tenth > kDownloadBufferSize ? kDownloadBufferSize : tenth;
}

uint32_t ProgressPieceSize(uint64_t done, uint32_t left, uint32_t chunk) {
    if (chunk == 0) return left;
    const uint64_t toBoundary = chunk - done % chunk;
    return toBoundary < left ? uint32_t(toBoundary) : left;
}

uint64_t ProgressStepsFor(uint64_t done, uint32_t chunk) {
    if (chunk == 0) chunk = 1;
    return (done + chunk - 1) / chunk;
}

uint32_t NextReadSize(uint32_t current, uint32_t got, uint32_t tookMs, uint32_t chunk) {
    constexpr uint32_t kQuickMs = 50, kSlowMs = 250;
    const uint32_t low = chunk == 0 ? 1 : chunk > kDownloadReadSize ? kDownloadReadSize : chunk;
    uint32_t next = current < low ? low : current > kDownloadReadSize ? kDownloadReadSize : current;
    if (got >= next && tookMs < kQuickMs)
        next = next > kDownloadReadSize / 2 ? kDownloadReadSize : next * 2;
    else if (tookMs > kSlowMs)
        next = next / 2 < low ? low : next / 2;
    return next;
}

int64_t DownloadProgressMaximum(uint32_t size, uint32_t chunk) {
    if (chunk == 0) chunk = 1;
    return (int64_t(size) + chunk - 1) / chunk + 1;
}

std::string PartialFileName(const std::string& target, uint32_t size, uint32_t fileDate) {
    return target + "." + IntText(uint32_t(size + fileDate));
}

std::string PartialFileMask(const std::string& target) { return target + ".*"; }

bool IsPartialFileOf(const std::string& target, const std::string& fileName) {
    const std::string base = ExtractFileName(target) + ".";
    const std::string name = ExtractFileName(fileName);
    if (base.size() < 2 || name.size() <= base.size() || !SameText(name.substr(0, base.size()), base))
        return false;
    for (size_t i = base.size(); i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

uint32_t ContentRangeTotal(const std::string& value) {
    const std::string text = Trim(value);
    if (text.size() < 6 || !SameText(text.substr(0, 6), "bytes ")) return kUnknownContentLength;
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash + 1 == text.size()) return kUnknownContentLength;
    const int64_t total = BaseToInt(text.substr(slash + 1), 10, -1);
    return total < 0 || total >= kUnknownContentLength ? kUnknownContentLength : uint32_t(total);
}

bool HasUrlScheme(const std::string& url) {
    // RFC 3986: a letter, then letters, digits, "+", "-" or ".", then ":"; "://" is required so
    // that "host:8080/x" stays a bare address.
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    size_t i = 1;
    while (i < url.size()) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') break;
        ++i;
    }
    return url.compare(i, 3, "://") == 0;
}

std::string WithHttpScheme(const std::string& url) {
    const std::string trimmed = Trim(url);
    return HasUrlScheme(trimmed) ? trimmed : "http://" + trimmed;
}

std::string JoinUrl(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string UrlFileName(const std::string& url) {
    return ExtractFileName(ReplaceChar(url, '/', '\\'));
}

HttpTarget SplitHttpUrl(const std::string& url) {
    HttpTarget target;
    std::string rest = Trim(url);
    if (StartsWith("https://", rest, true)) {
        target.secure = true;
        target.port = 443;
        rest.erase(0, 8);
    } else if (StartsWith("http://", rest, true)) {
        rest.erase(0, 7);
    }
    const size_t slash = rest.find('/');
    std::string host = slash == std::string::npos ? rest : rest.substr(0, slash);
    target.path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    // "host:port"; an IPv6 literal keeps its brackets and may carry a port after them.
    const size_t colon = host.rfind(':');
    const size_t bracket = host.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const int64_t port = StrToInt64Def(host.substr(colon + 1), -1);
        if (port > 0 && port <= 65535) {
            target.port = uint16_t(port);
            host.erase(colon);
        }
    }
    target.host = host;
    return target;
}

uint32_t PackFileDate(int year, int month, int day, int hour, int minute, int second) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > days || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return 0;
    const uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
    const uint32_t time = uint32_t(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

namespace {

// What the error-page test looks at: the start of the file when there is one, else of the text.
std::string HtmlProbe(const std::string& fileName, const std::string& text) {
    if (!fileName.empty() && FileExists(fileName)) return ReadFilePart(fileName, kHtmlProbeLength);
    return text.substr(0, size_t(kHtmlProbeLength));
}

bool LooksLikeErrorPage(const std::string& probe) {
    auto at = [&probe](const char* tag) { return PosText(tag, probe); };
    return InOrder({at("<TITLE"), at("404"), at("</TITLE>")}) ||
           InOrder({at("<HTML>"), at("<HEAD>"), at("<TITLE>"), at("</TITLE>")});
}

}  // namespace

bool IsHtmlErrorPage(const std::string& fileName, const std::string& text) {
    return LooksLikeErrorPage(HtmlProbe(fileName, text));
}

std::string HtmlErrorMessage(const std::string& fileName, const std::string& text,
                             const std::string& url, bool iisHint, const std::string& def) {
    const std::string probe = HtmlProbe(fileName, text);
    if (!LooksLikeErrorPage(probe)) return def;
    std::string message = "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
                          "<P><P>Please make sure the file is available and access is allowed to "
                          "this file.";
    if (iisHint && PosText("IIS", probe) > 0)
        message += "<P><P>If you are using an IIS webserver you must define appropriate "
                   "MIME-Types.";
    return message;
}

}  // namespace zv
