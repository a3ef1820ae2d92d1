// Reads a WinINet request chunk by chunk on a helper thread while the calling window thread keeps
// dispatching its messages and takes the chunks in order.
//
// A synchronous read waits until its whole chunk has arrived, so reading on the window thread
// would freeze the stub window for as long as a slow or stalled server takes (up to the receive
// time-out), and closing the window could not stop the download. The helper thread reads ahead
// into a small queue, and the window thread is woken once per batch of chunks rather than for
// every read: waking another thread costs a good deal more than a chunk's transfer on some
// systems. Reads start at the chunk size and grow to kDownloadReadSize while they come quickly.
//
// The shipped programs are built without thread-safe function-local statics (the guards would
// bring back a threads library that Windows XP cannot load), so the reader thread must touch none
// with a dynamic initializer: it calls only the read and detail functions it was given (the
// caller binds every WinINet entry they use before the thread starts), and everything it shares
// with the window thread is in State, under State::lock.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "utils/ui_sink.h"

namespace zv {

class ChunkReader {
public:
    using ReadFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
    using CloseFn = BOOL(WINAPI*)(HINTERNET);
    // Called on the reader thread after a failed read: the failure's text (thread-local error
    // state, so it cannot be asked for later on the window thread).
    using DetailFn = std::string (*)();

    struct Result {
        bool ok = false;         // the read succeeded (read 0: end of the data)
        DWORD read = 0;
        std::string detail;      // why it failed
        bool cancelled = false;  // the ui asked to stop while waiting for the chunk
    };

    // The first read asks for chunk bytes (at most kDownloadBufferSize); later ones adapt
    // between that and kDownloadReadSize (NextReadSize).
    ChunkReader(HINTERNET request, DWORD chunk, ReadFn read, CloseFn close, DetailFn detail);
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // The next chunk, in order; Data() holds its bytes until the next call. Waits, dispatching
    // window messages, until it is there or the ui asks to stop (then cancelled).
    Result Next(UiSink& ui);
    const char* Data() const { return data_; }

    // Ends the reader thread. A read still waiting for the server is cancelled by closing the
    // request handle, which then belongs to nobody (RequestClosed()); a thread whose read does
    // not come back is left to end by itself.
    void Stop();
    bool RequestClosed() const { return requestClosed_; }

private:
    struct State;
    static DWORD WINAPI ThreadMain(void* param);

    std::shared_ptr<State> state_;
    HANDLE thread_ = nullptr;
    CloseFn close_;
    const char* data_ = nullptr;
    bool holding_ = false;  // the head slot is lent out through Data()
    bool requestClosed_ = false;
};

// Reader threads that have not ended yet; WinINet must stay loaded while one may be inside it.
long LiveChunkReaderThreads();

}  // namespace zv
