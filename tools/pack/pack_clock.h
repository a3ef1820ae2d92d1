// Time stamps in a package: the trailer's PackageTime (whole seconds since 1899-12-30 00:00 local
// time) and the item headers' DOS packed date-times (date high, time low).
#pragma once
#include <cstdint>
#include <string>

#include "pack_platform.h"

namespace zv::pack {

int64_t DaysFromCivil(int year, int month, int day);
CivilTime CivilFromDays(int64_t days);  // time of day 00:00:00

int64_t PackageTimeFromUnix(int64_t unixSeconds);
// Only for times of the years 1 to 9999 (PackageTimeInRange); a stored time is anything.
CivilTime CivilFromPackageTime(int64_t packageTime);
bool PackageTimeInRange(int64_t packageTime);

// Local date of the moment, clamped to the range the DOS form holds (1980..2107).
uint32_t DosDateTimeFromUnix(int64_t unixSeconds);
// False when a field is out of range (month 0, hour 25, ...).
bool CivilFromDosDateTime(uint32_t dosDateTime, CivilTime& out);

std::string FormatCivil(const CivilTime& t);  // "YYYY-MM-DD HH:MM:SS"

// SOURCE_DATE_EPOCH: decimal seconds since 1970; false when unset, empty or not such a number.
bool ParseEpoch(const char* text, int64_t& seconds);

}  // namespace zv::pack
