// What the seam's two sides share: the pass's 32-bit stamp, and date arithmetic with
// no system call, so that both sides break a stamp into the same date.
#include "platform/platform.h"

int PlatformProbe(const char* path, int32_t* stamp, int64_t* length) {
  int64_t wide = -1;
  if (!PlatformProbe(path, &wide, length)) return 0;
  // Modulo 2^32, as a 32-bit stamp always wrapped: equal stamps stay equal, -1 stays -1.
  *stamp = static_cast<int32_t>(static_cast<uint32_t>(wide));
  return 1;
}

void PlatformTimeFromStamp(int64_t stamp, PlatformTime* time) {
  const int64_t seconds = stamp < 0 ? 0 : stamp;
  int64_t days = seconds / 86400;
  const int64_t rest = seconds % 86400;
  time->hour = static_cast<int>(rest / 3600);
  time->minute = static_cast<int>(rest / 60 % 60);
  time->second = static_cast<int>(rest % 60);
  // Civil date from a day count (Howard Hinnant's days_from_civil, inverted):
  // eras of 400 years starting on 1 March, so that the leap day ends a year.
  days += 719468;
  const int64_t era = days / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 is March
  time->day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  time->month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  time->year = static_cast<int>(year_of_era + era * 400 + (time->month <= 2 ? 1 : 0));
}
