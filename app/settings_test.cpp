// The switches: substring tests that only switch settings on and off.
#include "app/shell.h"
#include "gtest/gtest.h"
#include "watcher/watcher.h"

namespace {

TEST(ReadSwitches, SubstringTestsThatOnlySwitchOnAndOff) {
  struct Case {
    const char* line;
    bool custom;
    bool date_tag;
  } cases[] = {
      {"", false, true},
      {"-custom", true, true},
      {"-nodate", false, false},
      {"-custom -nodate", true, false},
      {"-nodate -custom", true, false},
      {"-nodate-custom", true, false},
      {"x-customary foo-nodatex", true, false},  // inside longer words still counts
      {"-CUSTOM -NoDate", false, true},           // case matters
      {"-custo -nodat", false, true},
      {"custom nodate", false, true},
      {NULL, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line != NULL ? c.line : "(null)");
    SaveCustomGames = false;
    DateTagEnabled = true;
    ReadSwitches(c.line);
    EXPECT_EQ(c.custom, SaveCustomGames);
    EXPECT_EQ(c.date_tag, DateTagEnabled);
  }
}

}  // namespace
