#include "inet/win/chunk_reader.h"

#include <atomic>
#include <vector>

#include "inet/comm_utils.h"
#include "utils/platform.h"
#include "utils/win/win_file.h"

namespace zv {

namespace {

constexpr DWORD kSlots = 8;           // at most 2 MB read ahead
constexpr DWORD kBatch = 4;           // queued reads that wake the window thread
constexpr DWORD kPollMs = 20;         // the window thread looks (and dispatches) this often anyway
constexpr DWORD kStopWaitMs = 200;    // a read under way may finish before it is cancelled
constexpr DWORD kCancelWaitMs = 1000;  // how long a cancelled read may take to come back

std::atomic<long> g_liveThreads{0};

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Locked() { LeaveCriticalSection(&cs_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

}  // namespace

// Shared by the window thread and the reader thread; whichever lets go last frees it.
struct ChunkReader::State {
    struct Slot {
        bool ok = false;
        DWORD got = 0;
        std::string failure;
        char data[kDownloadReadSize];
    };

    State() { InitializeCriticalSection(&lock); }
    ~State() { DeleteCriticalSection(&lock); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void ReadInto(Slot& slot) {
        slot.got = 0;
        const DWORD start = GetTickCount();
        slot.ok = read && read(request, slot.data, readSize, &slot.got);
        if (slot.ok) readSize = NextReadSize(readSize, slot.got, GetTickCount() - start, chunk);
        if (slot.ok) {
            slot.failure.clear();
        } else {
            slot.got = 0;
            slot.failure = detail ? detail() : std::string();
        }
    }

    HINTERNET request = nullptr;
    DWORD chunk = 0;
    DWORD readSize = 0;  // adapted by the one thread that reads
    ReadFn read = nullptr;
    DetailFn detail = nullptr;
    CRITICAL_SECTION lock;
    UniqueHandle ready;  // reader -> window thread: a batch (or the last chunk) is queued
    UniqueHandle space;  // window thread -> reader: a full queue has room again (or quit)
    std::vector<Slot> slots = std::vector<Slot>(kSlots);
    // Guarded by lock:
    DWORD head = 0;
    DWORD count = 0;
    bool quit = false;
    bool consumerWaiting = false;
    bool readerWaiting = false;
};

ChunkReader::ChunkReader(HINTERNET request, DWORD chunk, ReadFn read, CloseFn close,
                         DetailFn detail)
    : state_(new State), close_(close) {
    State& s = *state_;
    s.request = request;
    s.chunk = chunk < kDownloadBufferSize ? chunk : kDownloadBufferSize;
    s.readSize = s.chunk;
    s.read = read;
    s.detail = detail;
    s.ready.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    s.space.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!s.ready || !s.space) return;
    auto* param = new std::shared_ptr<State>(state_);
    ++g_liveThreads;
    thread_ = CreateThread(nullptr, 0, &ThreadMain, param, 0, nullptr);
    if (!thread_) {
        --g_liveThreads;
        delete param;
    }
}

ChunkReader::~ChunkReader() { Stop(); }

DWORD WINAPI ChunkReader::ThreadMain(void* param) {
    std::unique_ptr<std::shared_ptr<State>> holder(static_cast<std::shared_ptr<State>*>(param));
    State& s = **holder;
    for (;;) {
        State::Slot* slot = nullptr;
        {
            Locked lock(s.lock);
            while (s.count == kSlots && !s.quit) {
                s.readerWaiting = true;
                LeaveCriticalSection(&s.lock);
                WaitForSingleObject(s.space.Get(), INFINITE);
                EnterCriticalSection(&s.lock);
            }
            if (s.quit) break;
            slot = &s.slots[(s.head + s.count) % kSlots];
        }
        // The slot is invisible to the window thread until it is counted.
        s.ReadInto(*slot);
        const bool last = !slot->ok || slot->got == 0;
        bool wake = false;
        {
            Locked lock(s.lock);
            ++s.count;
            wake = s.consumerWaiting && (s.count >= kBatch || last);
            if (wake) s.consumerWaiting = false;
        }
        if (wake) SetEvent(s.ready.Get());
        if (last) break;
    }
    holder.reset();
    --g_liveThreads;
    return 0;
}

ChunkReader::Result ChunkReader::Next(UiSink& ui) {
    State& s = *state_;
    Result result;
    if (!thread_) {
        if (requestClosed_) {
            result.cancelled = true;
            return result;
        }
        // No helper thread: read here, as a plain synchronous download would.
        State::Slot& slot = s.slots[0];
        s.ReadInto(slot);
        data_ = slot.data;
        result.ok = slot.ok;
        result.read = slot.got;
        result.detail = slot.failure;
        return result;
    }
    bool roomAgain = false;
    {
        Locked lock(s.lock);
        if (holding_) {
            s.head = (s.head + 1) % kSlots;
            --s.count;
            holding_ = false;
            roomAgain = s.readerWaiting;
            s.readerWaiting = false;
        }
    }
    if (roomAgain) SetEvent(s.space.Get());
    for (;;) {
        {
            Locked lock(s.lock);
            if (s.count > 0) {
                const State::Slot& slot = s.slots[s.head];
                holding_ = true;
                s.consumerWaiting = false;
                data_ = slot.data;
                result.ok = slot.ok;
                result.read = slot.got;
                result.detail = slot.failure;
                return result;
            }
            s.consumerWaiting = true;
        }
        HANDLE ready = s.ready.Get();
        // Woken by a batch, by the last chunk, by input for the window, or by the poll time.
        if (MsgWaitForMultipleObjectsEx(1, &ready, kPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
            WAIT_OBJECT_0)
            Host().pumpMessages();
        if (ui.AbortRequested()) {
            Stop();
            result.cancelled = true;
            return result;
        }
    }
}

void ChunkReader::Stop() {
    if (!thread_) return;
    State& s = *state_;
    {
        Locked lock(s.lock);
        s.quit = true;
    }
    SetEvent(s.space.Get());
    if (WaitForSingleObject(thread_, kStopWaitMs) == WAIT_TIMEOUT) {
        // Closing the request is WinINet's way to end a pending synchronous call.
        if (close_ && !requestClosed_) close_(s.request);
        requestClosed_ = true;
        WaitForSingleObject(thread_, kCancelWaitMs);
    }
    CloseHandle(thread_);
    thread_ = nullptr;
    holding_ = false;
}

long LiveChunkReaderThreads() { return g_liveThreads.load(); }

}  // namespace zv
