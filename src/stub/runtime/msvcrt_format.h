// Rewrites a C99 printf format for msvcrt.dll's printf family, which every Windows has but which
// predates C99's length modifiers. Header-only and free of Windows headers so that the rewrite is
// tested natively (tests/core/msvcrt_format_test.cpp).
#pragma once
#include <cstddef>
#include <string>

namespace zv {

// "ll" and "j" become "I64", "z" and "t" (32-bit here) are dropped, "hh" becomes "h". False for
// what msvcrt cannot print the same way: long double ("L"), hex floats ("%a"), "%n".
inline bool MsvcrtFormat(const char* format, std::string& out) {
    out.clear();
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        while (*p && std::string("-+ #0").find(*p) != std::string::npos) out += *p++;
        while (*p == '*' || (*p >= '0' && *p <= '9')) out += *p++;
        if (*p == '.') {
            out += *p++;
            while (*p == '*' || (*p >= '0' && *p <= '9')) out += *p++;
        }
        if (p[0] == 'l' && p[1] == 'l') {
            out += "I64";
            p += 2;
        } else if (*p == 'j') {
            out += "I64";
            ++p;
        } else if (*p == 'z' || *p == 't') {
            ++p;
        } else if (p[0] == 'h' && p[1] == 'h') {
            out += 'h';
            p += 2;
        } else if (*p == 'h' || *p == 'l') {
            out += *p++;
        } else if (*p == 'L') {
            return false;
        }
        if (!*p || *p == 'a' || *p == 'A' || *p == 'n') return false;
        out += *p++;
    }
    return true;
}

}  // namespace zv
