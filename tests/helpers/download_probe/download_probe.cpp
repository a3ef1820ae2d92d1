// zolvex-download-probe: calls the stub's downloader and prints what it saw, one key=value per
// line, for the end-to-end tests and the download benchmark.
//
//   get URL [TARGET] [--user U --password P] [--abort-after N]
//       HTTP_DownloadFile (or the credential path with --user) into TARGET, or into memory
//       without one. Prints error=, range=<position>/<maximum> of each range call, steps=,
//       last_text= (the rate text of the last step), bytes= and data_hex= (memory only), ms=
//       (wall time of the download) and cpu_ms= (this process's CPU time meanwhile).
//       --abort-after N asks the download to stop from the progress sink after N steps;
//       --abort-after-ms N from a timer message N ms after the start (while a read may wait).
//       --max-bytes N refuses a file larger than N bytes.
//   size URL       prints size= (HTTP_GetFileSize)
//   connected      prints connected=1 or connected=0 and error=
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "inet/win/inet_http.h"
#include "utils/ui_sink.h"
#include "utils/win/dll_loader.h"
#include "stub/win/win32_platform.h"
#include "utils/win/zdebug.h"

namespace {

// Records the download's progress and stops it when asked to.
struct Recorder : zv::UiSink {
    std::vector<std::string> ranges;
    int steps = 0;
    int abortAfter = -1;
    std::string lastText;
    bool abort = false;

    void Progress(int kind, int32_t, uint16_t range, const std::string& text, int32_t,
                  int32_t position) override {
        if (kind == 0) {
            ranges.push_back(std::to_string(position) + "/" + std::to_string(range));
        } else if (kind == 1) {
            ++steps;
            lastText = text;
            if (abortAfter >= 0 && steps >= abortAfter) abort = true;
        }
    }
    bool AbortRequested() override { return abort; }
    void ClearAbortRequested() override { abort = false; }
};
Recorder g_progress;

// User and kernel time of this process so far, in milliseconds.
double CpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

void CALLBACK AbortTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    g_progress.abort = true;
}

std::string Hex(const std::string& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : data) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
    return out;
}

int Get(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string url = argv[2];
    std::string target, user, password;
    uint64_t maxBytes = 0;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--user" && i + 1 < argc) user = argv[++i];
        else if (a == "--password" && i + 1 < argc) password = argv[++i];
        else if (a == "--abort-after" && i + 1 < argc) g_progress.abortAfter = std::atoi(argv[++i]);
        else if (a == "--max-bytes" && i + 1 < argc) maxBytes = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--abort-after-ms" && i + 1 < argc)
            SetTimer(nullptr, 0, UINT(std::atoi(argv[++i])), &AbortTimer);
        else if (target.empty() && a.rfind("--", 0) != 0) target = a;
        else return 2;
    }
    g_progress.abort = false;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const double cpuStart = CpuMs();
    QueryPerformanceCounter(&start);
    zv::DownloadResult r =
        zv::HTTP_DownloadFile_Incremental(g_progress, false, url, target, user, password, maxBytes);
    QueryPerformanceCounter(&end);
    const double cpu = CpuMs() - cpuStart;
    std::printf("error=%s\n", OneLine(r.error).c_str());
    for (const auto& range : g_progress.ranges) std::printf("range=%s\n", range.c_str());
    std::printf("steps=%d\n", g_progress.steps);
    std::printf("last_text=%s\n", g_progress.lastText.c_str());
    if (target.empty()) {
        std::printf("bytes=%u\n", unsigned(r.data.size()));
        if (r.data.size() <= (1u << 20)) std::printf("data_hex=%s\n", Hex(r.data).c_str());
    }
    std::printf("ms=%.1f\n", double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
    std::printf("cpu_ms=%.1f\n", cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zv::HardenDllSearch();
    zv::InstallWin32Platform();
    zv::InstallTraceSink();
    if (argc < 2) return 2;
    const std::string command = argv[1];
    int code = 2;
    if (command == "get") {
        code = Get(argc, argv);
    } else if (command == "size" && argc == 3) {
        std::printf("size=%d\n", int(zv::HTTP_GetFileSize(argv[2])));
        code = 0;
    } else if (command == "connected") {
        std::string error;
        const bool connected = zv::IsInternetConnected(&error);
        std::printf("connected=%d\nerror=%s\n", connected ? 1 : 0, OneLine(error).c_str());
        code = 0;
    }
    if (code == 2) std::fprintf(stderr, "usage: see the head of download_probe.cpp\n");
    zv::UnloadWinINet();
    std::fflush(stdout);
    return code;
}
