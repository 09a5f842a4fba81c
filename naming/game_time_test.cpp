#include "naming/game_time.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
  const char* name;
  bool read;
  NameDate time;  // when read
};

TEST(GameTime, ReadsOnlyTheNamesTheGameGivesAndOnlyTimesAClockShows) {
  const NameCase cases[] = {
      {"Replay_2024_05_12_2039.w3g", true, {2024, 5, 12, 20, 39, 0}},
      {"Replay_2022_07_30_0000.W3G", true, {2022, 7, 30, 0, 0, 0}},
      {"w3c-20250922152242.w3g", true, {2025, 9, 22, 15, 22, 42}},
      {"Replay_2024_02_29_2359.w3g", true, {2024, 2, 29, 23, 59, 0}},  // a leap day
      {"w3c-20000229000000.w3g", true, {2000, 2, 29, 0, 0, 0}},       // 400 years
      // Dates no calendar has, and times no clock shows.
      {"Replay_2021_13_45_1200.w3g", false, {}},
      {"Replay_2023_02_29_1200.w3g", false, {}},
      {"w3c-19000229000000.w3g", false, {}},
      {"Replay_2021_04_31_1200.w3g", false, {}},
      {"Replay_2021_04_00_1200.w3g", false, {}},
      {"Replay_2021_04_01_2400.w3g", false, {}},
      {"w3c-20250922156042.w3g", false, {}},
      {"w3c-20250922152260.w3g", false, {}},
      // Near misses of the layouts.
      {"Replay_2024_05_12_2039[1].w3g", false, {}},
      {"Replay_2024_05_12_203.w3g", false, {}},
      {"Replay_2024-05-12_2039.w3g", false, {}},
      {"replay_2024_05_12_2039.w3g", false, {}},
      {"Replay_2024_05_12_20x9.w3g", false, {}},
      {"Replay_2024_05_12_2039.w3x", false, {}},
      {"w3c-2025092215224.w3g", false, {}},
      {"w3c-202509221522420.w3g", false, {}},
      {"LastReplay.w3g", false, {}},
      {"", false, {}},
  };
  for (const NameCase& c : cases) {
    NameDate time = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(c.read, TimeFromReplayName(c.name, &time)) << c.name;
    const NameDate expected = c.read ? c.time : NameDate{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(expected.year, time.year) << c.name;
    EXPECT_EQ(expected.month, time.month) << c.name;
    EXPECT_EQ(expected.day, time.day) << c.name;
    EXPECT_EQ(expected.hour, time.hour) << c.name;
    EXPECT_EQ(expected.minute, time.minute) << c.name;
    EXPECT_EQ(expected.second, time.second) << c.name;
  }
}

}  // namespace
