// FILETIME <-> calendar conversions as pure arithmetic (the proleptic
// Gregorian calendar from 1601), identical on every platform.
#include "platform/platform.h"

namespace platform {

namespace {

constexpr uint64_t kTicksPerMs = 10000;
constexpr uint64_t kMsPerDay = 86400000;

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the first day of `year`.
int64_t DaysBeforeYear(int64_t year) {
  const int64_t y = year - 1601;
  return y * 365 + y / 4 - y / 100 + y / 400;
}

}  // namespace

bool SystemTimeToFileTime(const LocalTime& t, uint64_t* fileTime) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59 ||
      t.milliseconds > 999) {
    return false;
  }
  int64_t days = DaysBeforeYear(t.year);
  for (int m = 1; m < t.month; ++m) days += DaysInMonth(t.year, m);
  days += t.day - 1;
  const uint64_t ms = static_cast<uint64_t>(days) * kMsPerDay +
                      ((t.hour * 60ull + t.minute) * 60ull + t.second) * 1000ull + t.milliseconds;
  *fileTime = ms * kTicksPerMs;
  return true;
}

bool FileTimeToSystemTime(uint64_t fileTime, LocalTime* t) {
  if (fileTime >= 0x8000000000000000ull) return false;
  const uint64_t totalMs = fileTime / kTicksPerMs;
  int64_t days = static_cast<int64_t>(totalMs / kMsPerDay);
  uint64_t msOfDay = totalMs % kMsPerDay;
  LocalTime out;
  out.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  int64_t year = 1601 + days / 146097 * 400;
  days %= 146097;
  while (days >= (IsLeap(year) ? 366 : 365)) {
    days -= IsLeap(year) ? 366 : 365;
    ++year;
  }
  int month = 1;
  while (days >= DaysInMonth(year, month)) {
    days -= DaysInMonth(year, month);
    ++month;
  }
  out.year = static_cast<uint16_t>(year);
  out.month = static_cast<uint16_t>(month);
  out.day = static_cast<uint16_t>(days + 1);
  out.hour = static_cast<uint16_t>(msOfDay / 3600000);
  msOfDay %= 3600000;
  out.minute = static_cast<uint16_t>(msOfDay / 60000);
  msOfDay %= 60000;
  out.second = static_cast<uint16_t>(msOfDay / 1000);
  out.milliseconds = static_cast<uint16_t>(msOfDay % 1000);
  *t = out;
  return true;
}

}  // namespace platform
