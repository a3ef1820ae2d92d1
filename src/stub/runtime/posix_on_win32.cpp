// The few POSIX thread and clock calls that the C++ runtime itself makes (exception allocation
// pool, thread-local exception state, unwinder registration, <chrono>, <thread>), implemented on
// Win32 calls that Windows XP and older have.
//
// Linked as plain objects into the shipped programs only, so the linker finds these before it
// looks in the toolchain's winpthread library. That library imports functions Windows XP lacks
// (GetTickCount64 among them), so with it the loader refuses to start the program at all. If a
// future change makes the runtime need a winpthread function not defined here, the link pulls a
// winpthread member that redefines one of these and fails, or the import-table test fails.
//
// Limits, none of which the programs rely on: mutex attributes are ignored (every mutex is
// recursive, as a critical section is); thread-local values get no destructor call at thread
// exit (the runtime's per-thread exception state, a few bytes, is left to the process exit).
#include <windows.h>

#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

// pthread.h wraps these in cancellation-point macros; here they are being defined.
#undef nanosleep
#undef clock_nanosleep

namespace {

// A statically initialised mutex holds one of the initializer values (-1..-3, or 0 when merely
// zeroed) until first use; then it becomes a pointer to a heap-allocated critical section,
// whichever thread gets there first. Heap addresses above 2 GB are negative as intptr_t, so a
// pointer is told by not being an initializer, not by its sign.
bool Unallocated(intptr_t value) { return value >= -3 && value <= 0; }

CRITICAL_SECTION* CriticalSectionOf(pthread_mutex_t* m) {
    intptr_t value = *m;
    if (!Unallocated(value)) return reinterpret_cast<CRITICAL_SECTION*>(value);
    auto* cs = static_cast<CRITICAL_SECTION*>(HeapAlloc(GetProcessHeap(), 0, sizeof(CRITICAL_SECTION)));
    if (!cs) return nullptr;
    InitializeCriticalSection(cs);
    const LONG mine = static_cast<LONG>(reinterpret_cast<intptr_t>(cs));
    const LONG seen = InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(m), mine,
                                                 static_cast<LONG>(value));
    if (seen == static_cast<LONG>(value)) return cs;
    DeleteCriticalSection(cs);
    HeapFree(GetProcessHeap(), 0, cs);
    return reinterpret_cast<CRITICAL_SECTION*>(static_cast<intptr_t>(seen));
}

}  // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* m, const pthread_mutexattr_t*) {
    *m = PTHREAD_MUTEX_INITIALIZER;
    return CriticalSectionOf(m) ? 0 : ENOMEM;
}

int pthread_mutex_destroy(pthread_mutex_t* m) {
    if (!Unallocated(*m)) {
        auto* cs = reinterpret_cast<CRITICAL_SECTION*>(*m);
        DeleteCriticalSection(cs);
        HeapFree(GetProcessHeap(), 0, cs);
    }
    *m = PTHREAD_MUTEX_INITIALIZER;
    return 0;
}

int pthread_mutex_lock(pthread_mutex_t* m) {
    CRITICAL_SECTION* cs = CriticalSectionOf(m);
    if (!cs) return ENOMEM;
    EnterCriticalSection(cs);
    return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* m) {
    if (Unallocated(*m)) return EPERM;
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(*m));
    return 0;
}

// 0: not run, 1: running, 2: done. A thread that finds it running waits for the first one.
int pthread_once(pthread_once_t* once, void (*init)(void)) {
    volatile LONG* state = reinterpret_cast<volatile LONG*>(once);
    if (*state == 2) return 0;
    if (InterlockedCompareExchange(state, 1, 0) == 0) {
        init();
        InterlockedExchange(state, 2);
        return 0;
    }
    while (*state != 2) Sleep(1);
    return 0;
}

int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
    const DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) return EAGAIN;
    *key = index;
    return 0;
}

int pthread_key_delete(pthread_key_t key) { return TlsFree(key) ? 0 : EINVAL; }

void* pthread_getspecific(pthread_key_t key) {
    // TlsGetValue clears the thread's last error on success; callers of the runtime don't expect
    // an exception or a thread-local lookup to change it.
    const DWORD error = GetLastError();
    void* value = TlsGetValue(key);
    SetLastError(error);
    return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

// No cancellation points: nothing in these programs cancels a thread.
void pthread_testcancel(void) {}

int sched_yield(void) {
    Sleep(0);
    return 0;
}

int nanosleep(const struct timespec* request, struct timespec* remain) {
    if (!request || request->tv_nsec < 0 || request->tv_nsec >= 1000000000L) {
        errno = EINVAL;
        return -1;
    }
    const unsigned long long ms =
        static_cast<unsigned long long>(request->tv_sec) * 1000 + (request->tv_nsec + 999999) / 1000000;
    Sleep(ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms));
    if (remain) remain->tv_sec = 0, remain->tv_nsec = 0;
    return 0;
}

// CLOCK_REALTIME from the system time; every other clock from the performance counter (which
// every Windows on a Pentium-class machine has), or the tick count where there is none.
int clock_gettime(clockid_t clock, struct timespec* tp) {
    if (!tp) {
        errno = EINVAL;
        return -1;
    }
    if (clock == CLOCK_REALTIME) {
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        const unsigned long long t =
            ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) -
            116444736000000000ULL;  // 100 ns units since 1601 -> since 1970
        tp->tv_sec = static_cast<time_t>(t / 10000000ULL);
        tp->tv_nsec = static_cast<long>((t % 10000000ULL) * 100);
        return 0;
    }
    LARGE_INTEGER frequency, counter;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 &&
        QueryPerformanceCounter(&counter)) {
        const unsigned long long f = frequency.QuadPart, c = counter.QuadPart;
        tp->tv_sec = static_cast<time_t>(c / f);
        tp->tv_nsec = static_cast<long>((c % f) * 1000000000ULL / f);
        return 0;
    }
    const DWORD ticks = GetTickCount();
    tp->tv_sec = ticks / 1000;
    tp->tv_nsec = static_cast<long>(ticks % 1000) * 1000000L;
    return 0;
}

}  // extern "C"
