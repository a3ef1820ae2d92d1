#include "pack_clock.h"

#include <cstdio>

#include "utils/platform.h"

namespace zv::pack {

// Civil-calendar day numbers after H. Hinnant's days_from_civil, counted from 1970-01-01.
int64_t DaysFromCivil(int year, int month, int day) {
    int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = (month + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilTime CivilFromDays(int64_t days) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = int(doy - (153 * mp + 2) / 5 + 1);
    t.month = int(mp < 10 ? mp + 3 : mp - 9);
    t.year = int(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    return t;
}

namespace {
const int64_t kDelphiEpochDay = DaysFromCivil(1899, 12, 30);

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Local time when the C library knows the moment, else (far past or future) the UTC time.
CivilTime CivilOf(int64_t unixSeconds) {
    CivilTime c;
    if (LocalCivilTime(unixSeconds, c)) return c;
    int64_t days = FloorDiv(unixSeconds, 86400);
    int64_t rest = unixSeconds - days * 86400;
    c = CivilFromDays(days);
    c.hour = int(rest / 3600);
    c.minute = int(rest / 60 % 60);
    c.second = int(rest % 60);
    return c;
}
}  // namespace

int64_t PackageTimeFromUnix(int64_t unixSeconds) {
    CivilTime c = CivilOf(unixSeconds);
    return (DaysFromCivil(c.year, c.month, c.day) - kDelphiEpochDay) * 86400 + c.hour * 3600 +
           c.minute * 60 + c.second;
}

bool PackageTimeInRange(int64_t packageTime) {
    // 0001-01-01 is 693593 days before 1899-12-30, 9999-12-31 2958465 days after it.
    return packageTime >= -693593LL * 86400 && packageTime < 2958466LL * 86400;
}

CivilTime CivilFromPackageTime(int64_t packageTime) {
    int64_t days = FloorDiv(packageTime, 86400);
    int64_t rest = packageTime - days * 86400;
    CivilTime t = CivilFromDays(days + kDelphiEpochDay);
    t.hour = int(rest / 3600);
    t.minute = int(rest / 60 % 60);
    t.second = int(rest % 60);
    return t;
}

uint32_t DosDateTimeFromUnix(int64_t unixSeconds) {
    CivilTime c = CivilOf(unixSeconds);
    if (c.year < 1980) c = CivilTime{1980, 1, 1, 0, 0, 0};
    if (c.year > 2107) c = CivilTime{2107, 12, 31, 23, 59, 58};
    uint32_t date = uint32_t(c.year - 1980) << 9 | uint32_t(c.month) << 5 | uint32_t(c.day);
    uint32_t time = uint32_t(c.hour) << 11 | uint32_t(c.minute) << 5 | uint32_t(c.second / 2);
    return date << 16 | time;
}

bool CivilFromDosDateTime(uint32_t v, CivilTime& out) {
    DosDateTime d;
    if (!DecodeDosDateTime(v, d)) return false;
    out = CivilTime{d.year, d.month, d.day, d.hour, d.minute, d.second};
    return true;
}

std::string FormatCivil(const CivilTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

bool ParseEpoch(const char* text, int64_t& seconds) {
    if (!text || !*text) return false;
    int64_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (*p - '0');
    }
    seconds = v;
    return true;
}

}  // namespace zv::pack
