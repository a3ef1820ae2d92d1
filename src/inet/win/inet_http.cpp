#include "inet/win/inet_http.h"

#include <wininet.h>

#include "inet/bytes_rate.h"
#include "inet/comm_utils.h"
#include "inet/prog_bar.h"
#include "inet/win/chunk_reader.h"
#include "utils/platform.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/files_win.h"
#include "utils/win/sysutils.h"
#include "utils/win/win_file.h"

namespace zv {

namespace {

// Only the download's own leftovers (target + "." + digits): the mask alone would also take the
// agent's App.exe, App.original and App.info for an update named App.
void DeletePartialFiles(const std::string& target) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(PartialFileMask(target).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const std::string folder = ExtractFilePath(target);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            IsPartialFileOf(target, found.cFileName))
            DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

constexpr DWORD kInternetTimeoutMs = 180000;
// A memory download holds a description file or similar; a server that sends more is not
// allowed to exhaust the 32-bit address space.
constexpr size_t kMaxMemoryDownload = 64u << 20;
constexpr const char* kProbeAgent = "HTTP_Connect_2";
constexpr const char* kDownloadAgent = "HTTP_Connect_3";

// WinINet, bound entry by entry on first use. All of it is reached through this table so that
// the stub's import table never names the library.
enum Entry {
    kGetConnectedState,
    kCloseHandle,
    kOpen,
    kOpenUrl,
    kQueryInfo,
    kReadFile,
    kConnect,
    kOpenRequest,
    kSendRequest,
    kSetOption,
    kGetLastResponseInfo,
    kEntryCount
};

const char* const kEntryNames[kEntryCount] = {
    "InternetGetConnectedState", "InternetCloseHandle", "InternetOpenA",
    "InternetOpenUrlA",          "HttpQueryInfoA",      "InternetReadFile",
    "InternetConnectA",          "HttpOpenRequestA",    "HttpSendRequestA",
    "InternetSetOptionA",        "InternetGetLastResponseInfoA"};

struct WinInetBinding {
    HMODULE module = nullptr;
    FARPROC entries[kEntryCount] = {};
};

WinInetBinding& Binding() {
    static WinInetBinding binding;
    return binding;
}

template <typename Fn>
Fn Bound(Entry entry) {
    WinInetBinding& b = Binding();
    if (!b.entries[entry]) {
        if (!b.module) b.module = LoadSystemLibrary("wininet.dll");
        if (b.module) b.entries[entry] = GetProcAddress(b.module, kEntryNames[entry]);
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(b.entries[entry]));
}

#define ZV_WININET(entry, function) Bound<decltype(&::function)>(entry)

HINTERNET OpenInternet(const char* agent) {
    auto open = ZV_WININET(kOpen, InternetOpenA);
    // An empty proxy name, not a null pointer: the configured proxy settings apply.
    return open ? open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
}

// Nothing the stub fetches goes into the user's Internet cache: a downloaded setup is deleted
// after its run, and a hidden second copy of it (of every update, for the agent) would stay
// there; writing it also made WinINet's reads about a third slower.
constexpr DWORD kNoCache = INTERNET_FLAG_NO_CACHE_WRITE;

HINTERNET OpenUrl(HINTERNET internet, const std::string& url, DWORD flags,
                  const char* headers = nullptr) {
    auto openUrl = ZV_WININET(kOpenUrl, InternetOpenUrlA);
    if (!openUrl) return nullptr;
    return openUrl(internet, url.c_str(), headers, headers ? DWORD(-1) : 0, flags, 0);
}

void TracePid() { TraceOut().Write(uint32_t(GetCurrentProcessId())); }

}  // namespace

HttpRequest OpenHttpRequest(HINTERNET internet, const std::string& url, const std::string& user,
                            const std::string& password) {
    HttpRequest result;
    if (user.empty()) {
        const std::string full = WithHttpScheme(url);
        TracePid();
        TraceOut().Write(" OpenHttpRequest >").Write(full).WriteLine("<");
        result.request.Reset(OpenUrl(internet, full, INTERNET_FLAG_RELOAD | kNoCache));
        return result;
    }
    const HttpTarget target = SplitHttpUrl(url);
    TracePid();
    TraceOut().Write(" OpenHttpRequest host >").Write(target.host).Write("< port ")
        .Write(int(target.port)).Write(" path >").Write(target.path).WriteLine("<");
    auto connect = ZV_WININET(kConnect, InternetConnectA);
    auto openRequest = ZV_WININET(kOpenRequest, HttpOpenRequestA);
    auto send = ZV_WININET(kSendRequest, HttpSendRequestA);
    if (!connect || !openRequest || !send) return result;
    result.connection.Reset(connect(internet, target.host.c_str(), target.port, user.c_str(),
                                    password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!result.connection) return result;
    const std::string object = "/" + target.path;
    const DWORD flags =
        INTERNET_FLAG_RELOAD | kNoCache | (target.secure ? INTERNET_FLAG_SECURE : 0);
    UniqueInternetHandle request(openRequest(result.connection.Get(), "GET", object.c_str(),
                                             nullptr, nullptr, nullptr, flags, 0));
    if (request && send(request.Get(), nullptr, 0, nullptr, 0)) result.request = std::move(request);
    return result;
}

namespace {

// Runs on the reader thread, where the failed read left its error state.
std::string ReadFailureDetail() {
    std::string detail = Trim(LastErrorText());
    if (detail.empty()) detail = Trim(GetLastResponseText());
    return detail;
}

std::string ReadFailure(const std::string& name, const std::string& detail) {
    std::string error = name + " --- Error downloading file";
    if (!detail.empty()) error += " (" + detail + ")";
    return error;
}

// How much of the file came.
std::string ShortBy(uint32_t done, uint32_t size) {
    return IntText(done) + " of " + IntText(size) + " bytes";
}

// Message dispatching costs about a tenth of a millisecond under some systems; doing it for
// every 8 KB chunk would take longer than the transfer, so it is done at most every 10 ms.
class PacedPump {
public:
    void operator()() {
        const double now = MillisecondsNow();
        if (now - last_ < 10) return;
        last_ = now;
        Host().pumpMessages();
    }

private:
    double last_ = -1e9;
};

// Where the bytes of a download go: the partial file, or memory. The partial file is opened on
// the first chunk and stays open until Close: opening and closing it for every 8 KB chunk cost
// more than the transfer itself.
class DownloadSink {
public:
    DownloadSink(std::string partial, std::string& data)
        : partial_(std::move(partial)), data_(data) {}

    bool Append(const char* bytes, DWORD count) {
        if (partial_.empty()) {
            if (data_.size() + count > kMaxMemoryDownload) return false;
            data_.append(bytes, count);
            return true;
        }
        if (!file_ && !Open()) return false;
        DWORD put = 0;
        return count == 0 || (WriteFile(file_.Get(), bytes, count, &put, nullptr) && put == count);
    }
    void Close() { file_.Reset(); }

private:
    bool Open() {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        file_.Reset(CreateFileA(partial_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_) {
            // Systems without append-only access: write at the end as found.
            file_.Reset(CreateFileA(partial_.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) SetFilePointer(file_.Get(), 0, nullptr, FILE_END);
        }
        return bool(file_);
    }

    std::string partial_;
    std::string& data_;
    UniqueHandle file_;
};

// The part of a download after the request was opened; returns the error text.
std::string ReadBody(UiSink& ui, bool show, UniqueInternetHandle& request, const std::string& url,
                     const std::string& target, std::string& data, uint64_t maxBytes) {
    const std::string name = UrlFileName(url);
    const uint32_t size = GetContentLength(request.Get());
    const uint32_t fileDate = GetLastModifiedFileDate(request.Get());
    if (size == 0) return url + " --- File Not Found !";
    if (maxBytes > 0 && size != kUnknownContentLength && size > maxBytes)
        return url + " --- File too large";

    if (show) ui.Show(true);
    std::string partial;
    if (!target.empty()) {
        partial = PartialFileName(target, size, fileDate);
        DeletePartialFiles(target);
    }
    const uint32_t chunk = DownloadChunkSize(size);
    uint32_t done = 0;
    TProgBar bar(ui);
    bar.SetRange(1, int32_t(DownloadProgressMaximum(size, chunk)));
    TBytesRate rate(size > 102400, size > 10485760);
    bar.SetTitle(name);

    DownloadSink sink(partial, data);
    bool tooLarge = false;
    std::string error;
    // Bound here, before the reader thread may ask for it after a failed read.
    ZV_WININET(kGetLastResponseInfo, InternetGetLastResponseInfoA);
    ChunkReader reader(request.Get(), chunk, ZV_WININET(kReadFile, InternetReadFile),
                       ZV_WININET(kCloseHandle, InternetCloseHandle), &ReadFailureDetail);
    PacedPump pump;
    uint64_t steps = 0;
    bool stop = false;
    while (!stop) {
        pump();
        const ChunkReader::Result r = reader.Next(ui);
        if (r.cancelled) break;
        if (!r.ok) {
            error = ReadFailure(name, r.detail);
            break;
        }
        if (r.read == 0) break;
        rate.RateText(int32_t(r.read));
        // One read may hold many chunks: the bar steps, and the abort is seen, chunk by chunk.
        // What is kept of the read (up to the chunk that saw the abort, or the last one within
        // the cap) is then written at once: a write costs far more than a chunk's bookkeeping.
        const char* const data = reader.Data();
        uint32_t kept = 0;
        for (uint32_t left = r.read; left > 0 && !stop;) {
            const uint32_t piece = ProgressPieceSize(done, left, chunk);
            tooLarge = maxBytes > 0 && uint64_t(done) + piece > maxBytes;
            if (tooLarge) {
                stop = true;
                break;
            }
            kept += piece;
            left -= piece;
            done += piece;
            const uint64_t reached = ProgressStepsFor(done, chunk);
            if (reached > steps) {
                steps = reached;
                bar.Step(rate.ProgressText(size, done));
            }
            stop = ui.AbortRequested();
        }
        if (kept > 0 && !sink.Append(data, kept)) {
            tooLarge = false;
            error = partial.empty() ? ReadFailure(name, "too large for memory")
                                    : ReadFailure(name, "cannot write " + partial);
            stop = true;
        } else if (tooLarge) {
            error = url + " --- File too large";
        }
    }
    sink.Close();
    // A file past the cap can never be completed: nothing of it is kept.
    if (tooLarge) {
        if (!partial.empty()) DeleteFileA(partial.c_str());
        data.clear();
    }
    reader.Stop();
    // A cancelled read took the request handle with it.
    if (reader.RequestClosed()) request.Release();
    if (!target.empty()) {
        if (GetFileSize64(partial) == int64_t(size)) {
            DeleteFileA(target.c_str());
            if (!MoveFileA(partial.c_str(), target.c_str()) && error.empty())
                error = ReadFailure(name, "cannot rename " + partial + ": " + Trim(LastErrorText()));
        } else if (error.empty()) {
            // The connection ended early, or the server never said how long the file is: the
            // partial file is kept, but nobody may take it for the whole file.
            error = ReadFailure(name, size == kUnknownContentLength
                                          ? std::string("the server did not send the file size")
                                          : ShortBy(done, size));
        }
    } else if (error.empty() && size != kUnknownContentLength && done != size) {
        error = ReadFailure(name, ShortBy(done, size));
    }
    if (ui.AbortRequested()) error = "Download Aborted";
    return error;
}

}  // namespace

void CloseInternetHandle(HINTERNET h) {
    if (auto close = ZV_WININET(kCloseHandle, InternetCloseHandle)) close(h);
}

void PreOpenUrl(const std::string& url) {
    // Warms up the connection (dial-up, proxy discovery) before the real request; the outcome
    // does not matter. Only the first byte is asked for: on closing, WinINet may read the rest
    // of the answer to keep the connection, which was a second download of the whole file.
    UniqueInternetHandle internet(OpenInternet(kProbeAgent));
    if (!internet) return;
    UniqueInternetHandle request(
        OpenUrl(internet.Get(), WithHttpScheme(url), kNoCache, kFirstByteOnly));
}

void SetInternetTimeouts(HINTERNET internet, DWORD milliseconds) {
    auto setOption = ZV_WININET(kSetOption, InternetSetOptionA);
    if (!setOption) return;
    // The control-channel options are the same numbers as the receive and send ones.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
        DWORD value = milliseconds;
        setOption(internet, option, &value, sizeof value);
    }
}

uint32_t GetContentLength(HINTERNET request) {
    auto query = ZV_WININET(kQueryInfo, HttpQueryInfoA);
    DWORD value = kUnknownContentLength;
    DWORD length = sizeof value;
    if (query && !query(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value,
                        &length, nullptr))
        value = kUnknownContentLength;
    return value;
}

uint32_t GetFileSizeFromAnswer(HINTERNET request) {
    auto query = ZV_WININET(kQueryInfo, HttpQueryInfoA);
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!query || !query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                         &length, nullptr))
        return GetContentLength(request);
    constexpr DWORD kRangeNotSatisfiable = 416;  // the range of an empty file
    if (status != HTTP_STATUS_PARTIAL_CONTENT && status != kRangeNotSatisfiable)
        return GetContentLength(request);
    char range[128] = {};
    length = sizeof range - 1;
    if (!query(request, HTTP_QUERY_CONTENT_RANGE, range, &length, nullptr))
        return kUnknownContentLength;
    return ContentRangeTotal(std::string(range, length < sizeof range ? length : 0));
}

uint32_t GetLastModifiedFileDate(HINTERNET request) {
    auto query = ZV_WININET(kQueryInfo, HttpQueryInfoA);
    SYSTEMTIME t = {};
    DWORD length = sizeof t;
    if (!query || !query(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &t,
                         &length, nullptr))
        return 0;
    return PackFileDate(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

DownloadResult HTTP_DownloadFile_Incremental(UiSink& ui, bool show, const std::string& url,
                                             const std::string& target, const std::string& user,
                                             const std::string& password, uint64_t maxBytes) {
    DownloadResult result;
    PreOpenUrl(url);
    UniqueInternetHandle internet(OpenInternet(kDownloadAgent));
    if (!internet) {
        result.error = "Unable to initialize \"WinINet.dll\"";
    } else {
        SetInternetTimeouts(internet.Get(), kInternetTimeoutMs);
        HttpRequest request = OpenHttpRequest(internet.Get(), url, user, password);
        if (!request)
            result.error = "Unable to open Internet Connection: " + url;
        else
            result.error = ReadBody(ui, show, request.request, url, target, result.data, maxBytes);
    }
    if (!result.error.empty()) {
        TracePid();
        TraceOut().Write(" HTTP_DownloadFile_Incremental: ").WriteLine(result.error);
    }
    return result;
}

std::string HTTP_DownloadFile(UiSink& ui, bool show, const std::string& url,
                              const std::string& target, std::string* data, uint64_t maxBytes) {
    DownloadResult r = HTTP_DownloadFile_Incremental(ui, show, url, target, "", "", maxBytes);
    if (data) *data = std::move(r.data);
    return r.error;
}

int32_t HTTP_GetFileSize(const std::string& url) {
    PreOpenUrl(url);
    int32_t result = -1;
    UniqueInternetHandle internet(OpenInternet(kProbeAgent));
    if (!internet) return result;
    // The first byte only, as in PreOpenUrl: a server that serves ranges tells the whole size in
    // Content-Range; one that does not answers as to a plain request.
    UniqueInternetHandle request(
        OpenUrl(internet.Get(), WithHttpScheme(url), kNoCache, kFirstByteOnly));
    if (request) {
        result = int32_t(GetFileSizeFromAnswer(request.Get()));
        TraceOut().Write("HTTP_GetFileSize=").Write(result).Write("  ").WriteLine(url);
    }
    return result;
}

bool IsInternetConnected(std::string* error) {
    auto connected = ZV_WININET(kGetConnectedState, InternetGetConnectedState);
    DWORD flags = 0;
    const bool result = connected && connected(&flags, 0);
    if (!result && error) *error = Trim(LastErrorText());
    return result;
}

std::string GetLastResponseText() {
    auto info = ZV_WININET(kGetLastResponseInfo, InternetGetLastResponseInfoA);
    if (!info) return "";
    DWORD code = 0;
    char buffer[1024] = {};
    DWORD length = sizeof buffer;
    if (!info(&code, buffer, &length)) return "";
    return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

void UnloadWinINet() {
    WinInetBinding& b = Binding();
    // A reader thread left in a read that would not cancel may still return into WinINet.
    if (LiveChunkReaderThreads() > 0) return;
    if (b.module) FreeLibrary(b.module);
    b = WinInetBinding();
}

}  // namespace zv
