// Reads a WinINet request one chunk at a time on a helper thread while the calling window thread
// keeps dispatching its messages. A synchronous read waits until the whole chunk has arrived, so
// without this a slow or stalled server would freeze the stub window for up to the receive
// time-out, and closing the window could not stop the download.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

namespace zv {

class ChunkReader {
public:
    using ReadFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
    using CloseFn = BOOL(WINAPI*)(HINTERNET);
    // Called on the reader thread after a failed read: the failure's text (thread-local error
    // state, so it cannot be asked for later on the window thread).
    using DetailFn = std::string (*)();

    struct Result {
        bool ok = false;       // the read succeeded (read 0: end of the data)
        DWORD read = 0;
        std::string detail;    // why it failed
        bool cancelled = false;  // stop() turned true while the read waited
    };

    ChunkReader(HINTERNET request, ReadFn read, CloseFn close, DetailFn detail);
    // Ends the thread; a thread still stuck in a cancelled read is left to finish on its own.
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // False when the thread could not be started; Read then reads on the calling thread.
    bool Threaded() const { return thread_ != nullptr; }

    // Reads up to want (at most kDownloadBufferSize) bytes into Data(), dispatching window
    // messages meanwhile. When stop() turns true during the wait the request handle is closed,
    // which cancels the read; the handle then belongs to nobody (RequestClosed()).
    Result Read(DWORD want, bool (*stop)());
    const char* Data() const;
    bool RequestClosed() const { return requestClosed_; }

private:
    struct State;
    static DWORD WINAPI ThreadMain(void* param);
    void Cancel();

    std::shared_ptr<State> state_;
    HANDLE thread_ = nullptr;
    CloseFn close_;
    bool requestClosed_ = false;
    bool stuck_ = false;
};

// Reader threads that have not ended yet; WinINet must stay loaded while one may be inside it.
long LiveChunkReaderThreads();

}  // namespace zv
