// HTTP downloads over WinINet, into a file or into memory, with progress and rate text reported to
// the caller's UI sink, which also stops them. WinINet is loaded from the system folder on first
// use (it never appears in the import table, so a planted WinINet.dll beside the stub is never
// loaded) and unloaded by UnloadWinINet at the end of the stub window.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "utils/ui_sink.h"
#include "utils/win/unique_owner.h"

namespace zv {

// Gives a WinINet handle back through the run-time bound InternetCloseHandle.
void CloseInternetHandle(HINTERNET h);
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static bool Valid(HINTERNET h) { return h != nullptr; }
    static void Close(HINTERNET h) { CloseInternetHandle(h); }
};
using UniqueInternetHandle = UniqueOwner<InternetHandleTraits>;

// A request and, on the credential path, the connection it belongs to (closed after it).
struct HttpRequest {
    UniqueInternetHandle connection;
    UniqueInternetHandle request;
    explicit operator bool() const { return bool(request); }
};

// Result of a download: error text (empty on success) and, for a download into memory, the data.
struct DownloadResult {
    std::string error;
    std::string data;
};

// Downloads url into target (through target + "." + n, renamed only once complete) or, with an
// empty target, into result.data. The ui receives the progress and, with show, is shown once the
// size is known. The data is read on a helper thread (inet/win/chunk_reader.h) while this thread
// dispatches window messages and handles the chunks; the ui's AbortRequested ends the download,
// also while the server sends nothing. A download whose size does not match the announced
// Content-Length (or has none, for a file) is an error. maxBytes above 0 refuses a larger file
// ("File too large"): when the server announces it, before anything is read, and otherwise as
// soon as that much has arrived.
DownloadResult HTTP_DownloadFile_Incremental(UiSink& ui, bool show, const std::string& url,
                                             const std::string& target, const std::string& user,
                                             const std::string& password, uint64_t maxBytes = 0);
// The same without credentials (the form every caller uses). Returns the error text; data
// receives a memory download when given.
std::string HTTP_DownloadFile(UiSink& ui, bool show, const std::string& url,
                              const std::string& target, std::string* data = nullptr,
                              uint64_t maxBytes = 0);

// The size of the file behind url (Content-Length, or the whole size in Content-Range when the
// server answered the first-byte request with a range); -1 when it cannot be had.
int32_t HTTP_GetFileSize(const std::string& url);
// InternetGetConnectedState; when false, error receives the system's text for the last error.
bool IsInternetConnected(std::string* error = nullptr);
// InternetGetLastResponseInfoA; empty when there is none.
std::string GetLastResponseText();
// Frees WinINet; the next use loads it again.
void UnloadWinINet();

// Steps of the download, exposed for tests.
void PreOpenUrl(const std::string& url);
void SetInternetTimeouts(HINTERNET internet, DWORD milliseconds);
// Without a user name: InternetOpenUrlA on the address ("http://" put before a bare one).
// With one: InternetConnectA to the address's host and port, then GET of its path.
HttpRequest OpenHttpRequest(HINTERNET internet, const std::string& url, const std::string& user,
                            const std::string& password);
uint32_t GetContentLength(HINTERNET request);
// The file's whole size from an answer to a kFirstByteOnly request: Content-Range's total after
// a 206 or 416, Content-Length otherwise.
uint32_t GetFileSizeFromAnswer(HINTERNET request);
uint32_t GetLastModifiedFileDate(HINTERNET request);

}  // namespace zv
