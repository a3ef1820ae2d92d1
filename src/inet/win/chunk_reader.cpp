#include "inet/win/chunk_reader.h"

#include <atomic>

#include "inet/comm_utils.h"
#include "utils/host_env.h"
#include "utils/win/win_file.h"

namespace zv {

namespace {

// How long a cancelled read may take to come back before its thread is left behind.
constexpr DWORD kCancelWaitMs = 1000;

std::atomic<long> g_liveThreads{0};

}  // namespace

// Shared by the window thread and the reader thread; whichever lets go last frees it.
struct ChunkReader::State {
    HINTERNET request = nullptr;
    ReadFn read = nullptr;
    DetailFn detail = nullptr;
    UniqueHandle start;  // window thread -> reader: a read is wanted (or quit)
    UniqueHandle done;   // reader -> window thread: the read has returned
    std::atomic<bool> quit{false};
    DWORD want = 0;
    DWORD got = 0;
    bool ok = false;
    std::string failure;
    char buffer[kDownloadBufferSize];

    void ReadOnce() {
        got = 0;
        ok = read && read(request, buffer, want, &got);
        if (!ok) {
            got = 0;
            failure = detail ? detail() : std::string();
        }
    }
};

ChunkReader::ChunkReader(HINTERNET request, ReadFn read, CloseFn close, DetailFn detail)
    : state_(std::make_shared<State>()), close_(close) {
    state_->request = request;
    state_->read = read;
    state_->detail = detail;
    state_->start.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    state_->done.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!state_->start || !state_->done) return;
    auto* param = new std::shared_ptr<State>(state_);
    ++g_liveThreads;
    thread_ = CreateThread(nullptr, 0, &ThreadMain, param, 0, nullptr);
    if (!thread_) {
        --g_liveThreads;
        delete param;
    }
}

ChunkReader::~ChunkReader() {
    if (!thread_) return;
    state_->quit = true;
    SetEvent(state_->start.Get());
    // A reader stuck in a read that would not cancel ends by itself once the read returns.
    if (!stuck_) WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
}

DWORD WINAPI ChunkReader::ThreadMain(void* param) {
    std::unique_ptr<std::shared_ptr<State>> holder(static_cast<std::shared_ptr<State>*>(param));
    State& s = **holder;
    for (;;) {
        WaitForSingleObject(s.start.Get(), INFINITE);
        if (s.quit) break;
        s.ReadOnce();
        SetEvent(s.done.Get());
    }
    holder.reset();
    --g_liveThreads;
    return 0;
}

ChunkReader::Result ChunkReader::Read(DWORD want, bool (*stop)()) {
    State& s = *state_;
    s.want = want < kDownloadBufferSize ? want : kDownloadBufferSize;
    Result result;
    if (!thread_) {
        s.ReadOnce();
    } else {
        SetEvent(s.start.Get());
        HANDLE done = s.done.Get();
        for (;;) {
            const DWORD w = MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_ALLINPUT,
                                                        MWMO_INPUTAVAILABLE);
            if (w == WAIT_OBJECT_0) break;
            Host().pumpMessages();
            if (stop && stop()) {
                Cancel();
                result.cancelled = true;
                return result;
            }
        }
    }
    result.ok = s.ok;
    result.read = s.got;
    result.detail = s.failure;
    return result;
}

const char* ChunkReader::Data() const { return state_->buffer; }

void ChunkReader::Cancel() {
    // Closing the request is WinINet's way to end a pending synchronous call.
    if (close_ && !requestClosed_) close_(state_->request);
    requestClosed_ = true;
    stuck_ = WaitForSingleObject(state_->done.Get(), kCancelWaitMs) != WAIT_OBJECT_0;
}

long LiveChunkReaderThreads() { return g_liveThreads.load(); }

}  // namespace zv
