// Calendar conversion for OLE dates: days since 1899-12-30; before that day
// the whole part counts days back and the fraction is the time of day.
#include <cmath>

#include "jet/database.h"

namespace jet {

namespace {

// Days from 1970-01-01 in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yy + (m <= 2));
}

const int64_t kEpoch = daysFromCivil(1899, 12, 30);

}  // namespace

DateTime toOleDate(int year, int month, int day, int hour, int minute, double second) {
  int64_t days = daysFromCivil(year, unsigned(month), unsigned(day)) - kEpoch;
  double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return DateTime{days < 0 ? double(days) - fraction : double(days) + fraction};
}

bool inAccessDateRange(double days) {
  // Before 1899-12-30 the time of day makes the value more negative, so the
  // first day ends just short of the day before it begins.
  static const double kFirstDayBefore = double(daysFromCivil(99, 12, 31) - kEpoch);
  static const double kDayAfterLast = double(daysFromCivil(10000, 1, 1) - kEpoch);
  return std::isfinite(days) && days > kFirstDayBefore && days < kDayAfterLast;
}

CivilTime fromOleDate(DateTime value) {
  double v = value.days;
  double whole = std::trunc(v);
  int64_t days = int64_t(whole);
  int64_t seconds = std::llround(std::fabs(v - whole) * 86400.0);
  // The time of day counts forwards on either side of 1899-12-30, so a
  // rounding past midnight always lands on the day after.
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  CivilTime t{};
  civilFromDays(days + kEpoch, t.year, t.month, t.day);
  t.hour = int(seconds / 3600);
  t.minute = int(seconds / 60 % 60);
  t.second = int(seconds % 60);
  return t;
}

}  // namespace jet
