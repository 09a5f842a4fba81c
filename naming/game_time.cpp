#include "naming/game_time.h"

#include <string.h>

#include "replay/text.h"

namespace {

// Reads count decimal digits at text into *value. Returns false at a non-digit.
bool Digits(const char* text, int count, int* value) {
  *value = 0;
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool Valid(const NameDate& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
         t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

// One field of a name layout: where its digits start, how many, where they go.
struct Field {
  int at;
  int count;
  int NameDate::*member;
};

// Fills *time from the fields when text is exactly prefix, the digits (the
// separators between them as in layout) and ".w3g".
bool ReadLayout(const char* name, const char* layout, const Field* fields, int field_count,
                NameDate* time) {
  const size_t length = strlen(layout);
  if (strlen(name) != length + 4 || !EqualsIgnoringAsciiCase(name + length, ".w3g")) return false;
  // Everything that is not a digit position must match the layout as it stands.
  for (size_t i = 0; i < length; ++i) {
    if (layout[i] != '#' && layout[i] != name[i]) return false;
  }
  NameDate read = {0, 0, 0, 0, 0, 0};
  for (int f = 0; f < field_count; ++f) {
    if (!Digits(name + fields[f].at, fields[f].count, &(read.*fields[f].member))) return false;
  }
  if (!Valid(read)) return false;
  *time = read;
  return true;
}

}  // namespace

bool TimeFromReplayName(const char* name, NameDate* time) {
  static const Field kGame[] = {{7, 4, &NameDate::year},  {12, 2, &NameDate::month},
                                {15, 2, &NameDate::day},  {18, 2, &NameDate::hour},
                                {20, 2, &NameDate::minute}};
  static const Field kLadder[] = {{4, 4, &NameDate::year},    {8, 2, &NameDate::month},
                                  {10, 2, &NameDate::day},    {12, 2, &NameDate::hour},
                                  {14, 2, &NameDate::minute}, {16, 2, &NameDate::second}};
  return ReadLayout(name, "Replay_####_##_##_####", kGame, 5, time) ||
         ReadLayout(name, "w3c-##############", kLadder, 6, time);
}
