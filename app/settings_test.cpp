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
    bool modern;
  } cases[] = {
      {"", false, true, false},
      {"-custom", true, true, false},
      {"-nodate", false, false, false},
      {"-custom -nodate", true, false, false},
      {"-nodate -custom", true, false, false},
      {"-nodate-custom", true, false, false},
      {"x-customary foo-nodatex", true, false, false},  // inside longer words still counts
      {"-CUSTOM -NoDate", false, true, false},           // case matters
      {"-custo -nodat", false, true, false},
      {"custom nodate", false, true, false},
      {NULL, false, true, false},
      {"-modern", false, true, true},
      {"-modern -nodate", false, false, true},
      {"-custom -modern -nodate", true, false, true},
      {"-nodate-modern", false, false, true},
      {"-modernize", false, true, true},
      {"-MODERN -Modern", false, true, false},
      {"-moder n modern", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line != NULL ? c.line : "(null)");
    SaveCustomGames = false;
    DateTagEnabled = true;
    ModernReading = false;
    ReadSwitches(c.line);
    EXPECT_EQ(c.custom, SaveCustomGames);
    EXPECT_EQ(c.date_tag, DateTagEnabled);
    EXPECT_EQ(c.modern, ModernReading);
  }
}

}  // namespace
