// snprintf for the shipped programs on msvcrt.dll's own formatter.
//
// libstdc++'s headers make every snprintf call mingw's C99 printf (__mingw_vsnprintf), about
// 22 KB of the stub with its floating-point conversion. The programs format only sizes, rates and
// hex numbers, which msvcrt.dll prints the same way once the format's C99 length modifiers are
// rewritten (MsvcrtFormat). Linked as plain objects, so the linker takes these instead of mingw's.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "stub/runtime/msvcrt_format.h"

// msvcrt.dll's own, declared by <cstdio>: _vsnprintf.


namespace {

// msvcrt's _vsnprintf returns -1 (or exactly `size`, unterminated) when the text does not fit;
// C99's answer is the full length, with the buffer always terminated. A longer text is formatted
// again into a growing scratch buffer to learn its length.
int FormatC99(char* buffer, size_t size, const char* format, va_list args) {
    std::string msvcrt;
    if (!zv::MsvcrtFormat(format, msvcrt)) {
        if (buffer && size) buffer[0] = '\0';
        return -1;
    }
    va_list copy;
    va_copy(copy, args);
    int n = (buffer && size) ? _vsnprintf(buffer, size, msvcrt.c_str(), copy) : -1;
    va_end(copy);
    if (n >= 0 && size_t(n) < size) return n;
    for (size_t capacity = size < 256 ? 256 : size * 2; capacity <= (size_t(1) << 26); capacity *= 2) {
        char* scratch = static_cast<char*>(std::malloc(capacity));
        if (!scratch) break;
        va_copy(copy, args);
        n = _vsnprintf(scratch, capacity, msvcrt.c_str(), copy);
        va_end(copy);
        if (n >= 0 && size_t(n) < capacity) {
            if (buffer && size) {
                const size_t keep = size_t(n) < size ? size_t(n) : size - 1;
                std::memcpy(buffer, scratch, keep);
                buffer[keep] = '\0';
            }
            std::free(scratch);
            return n;
        }
        std::free(scratch);
    }
    if (buffer && size) buffer[size - 1] = '\0';
    return -1;
}

}  // namespace

extern "C" {

int __cdecl __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    return FormatC99(buffer, size, format, args);
}

int __cdecl __mingw_snprintf(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = FormatC99(buffer, size, format, args);
    va_end(args);
    return n;
}

}  // extern "C"
