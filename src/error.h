// The one boundary guard for code that Windows (or a message pump) calls: a window procedure, a
// timer, the entry. Nothing may escape from there, so whatever is thrown is written as one trace
// line naming the boundary and turned into the result the caller documents.
#pragma once
#include <exception>
#include <utility>

#include "utils/trace.h"

namespace zv {

template <typename R, typename Fn>
R GuardBoundary(const char* where, R fallback, Fn&& fn) noexcept {
    try {
        return std::forward<Fn>(fn)();
    } catch (const std::exception& e) {
        TraceException(e, where);
    } catch (...) {
        TraceException("unknown exception", where);
    }
    return fallback;
}

template <typename Fn>
void GuardBoundary(const char* where, Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
    } catch (const std::exception& e) {
        TraceException(e, where);
    } catch (...) {
        TraceException("unknown exception", where);
    }
}

}  // namespace zv
