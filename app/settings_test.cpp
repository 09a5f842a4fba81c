// The switches: substring tests that only switch settings on and off.
#include <string.h>

#include <string>

#include <memory>

#include "app/shell.h"
#include "gtest/gtest.h"
#include "watcher/watcher.h"

namespace {

// A state as the program starts with: no switch read yet.
std::unique_ptr<AppState> FreshState() {
  std::unique_ptr<AppState> app(new AppState);
  InitAppState(app.get());
  return app;
}

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
    const std::unique_ptr<AppState> app = FreshState();
    ReadSwitches(c.line, app.get());
    EXPECT_EQ(c.custom, app->settings.save_custom);
    EXPECT_EQ(c.date_tag, app->settings.naming.date_tag);
    EXPECT_EQ(c.modern, app->settings.reading == kLengthReading);
  }
}

}  // namespace

namespace {

TEST(ReadSwitches, ValueSwitchesTakeTheNextWordAndHideIt) {
  struct Case {
    const char* line;
    const char* folders;   // the -folder values, joined by '|'
    const char* name;      // the name template afterwards
    bool custom;
    bool modern;
    bool problem;
  } cases[] = {
      {"-folder C:\\a", "C:\\a", "", false, false, false},
      {"-folder \"C:\\my games\\r\" -modern", "C:\\my games\\r", "", false, true, false},
      {"-folder C:\\my-custom-games", "C:\\my-custom-games", "", false, false, false},
      {"-folder a -folder \"b c\" -custom", "a|b c", "", true, false, false},
      {"-name \"{players} on {map}\" -modern", "", "{players} on {map}", false, true, false},
      {"-name {year}-custom-{map}", "", "{year}-custom-{map}", false, false, false},
      {"-modern -name \"-folder x\"", "", "-folder x", false, true, false},
      {"x-folder y-custom", "", "", true, false, false},  // not a word of its own
      {"-folder", "", "", false, false, true},
      {"-name \"\"", "", "", false, false, true},
      {"-custom -folder   ", "", "", true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::unique_ptr<AppState> app = FreshState();
    ReadSwitches(c.line, app.get());
    std::string folders;
    for (int i = 0; i < app->folder_switch_count; ++i) {
      folders += (i > 0 ? "|" : "") + std::string(app->folder_switches[i]);
    }
    EXPECT_EQ(c.folders, folders);
    EXPECT_STREQ(c.name, app->settings.naming.name_template);
    EXPECT_EQ(c.custom, app->settings.save_custom);
    EXPECT_TRUE(app->settings.naming.date_tag);
    EXPECT_EQ(c.modern, app->settings.reading == kLengthReading);
    EXPECT_EQ(c.problem, app->switch_problem[0] != '\0') << app->switch_problem;
  }
}

TEST(ReadSwitches, ABadNameTemplateIsAProblem) {
  struct Case {
    const char* line;
    const char* problem;  // "" for none
  } cases[] = {
      {"-name \"{players} on {map} {length}\" -modern", ""},
      {"-name \"{players} on {mapname}\"", "the -name template has an unknown field {mapname}"},
      {"-name \"{players\" -custom", "the -name template has a \"{\" without its \"}\""},
      {"-modern -name {year}/{month}", "the -name template holds '/', which no file name can hold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::unique_ptr<AppState> app = FreshState();
    ReadSwitches(c.line, app.get());
    const char* problem = app->switch_problem;
    EXPECT_EQ(0, strncmp(c.problem, problem, strlen(c.problem))) << problem;
    EXPECT_EQ(c.problem[0] == '\0', problem[0] == '\0') << problem;
  }
}

}  // namespace
