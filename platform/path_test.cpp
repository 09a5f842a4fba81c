// The paths the program builds as text: joined with one separator, compared as
// the system compares them, and cut below a folder.
#include "platform/path.h"

#include <string.h>

#include <gtest/gtest.h>

namespace {

TEST(JoinPath, OneSeparatorBetweenAndNothingPastTheBuffer) {
  struct Case {
    const char* first;
    const char* second;
    char separator;
    size_t size;
    const char* joined;  // NULL: does not fit
  } cases[] = {
      {"a", "b", '\\', 16, "a\\b"},
      {"a\\", "b", '\\', 16, "a\\b"},   // no second separator
      {"a/", "b", '\\', 16, "a/b"},     // either ending counts
      {"a", "b", '/', 16, "a/b"},
      {"", "b", '\\', 16, "b"},         // nothing to separate from
      {"a", "", '\\', 16, "a\\"},
      {"ab", "cd", '\\', 6, "ab\\cd"},  // exactly fits with its NUL
      {"ab", "cd", '\\', 5, nullptr},
  };
  for (const Case& c : cases) {
    char out[32];
    memset(out, 'x', sizeof out);
    const int fits = JoinPath(out, c.size, c.first, c.second, c.separator);
    EXPECT_EQ(c.joined != nullptr, fits != 0) << c.first << " + " << c.second;
    if (c.joined != nullptr && fits) {
      EXPECT_STREQ(c.joined, out);
    }
    EXPECT_EQ('x', out[c.size]) << "written past " << c.size << " bytes";
  }
}

TEST(SamePathSpelling, SeparatorsAlikeAndCaseAsTheSystemSeesIt) {
#ifdef _WIN32
  const bool case_blind = true;
#else
  const bool case_blind = false;
#endif
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"R\\1v1\\a.w3g", "R/1v1/a.w3g", true},
      {"R\\1v1\\a.w3g", "R\\1v1\\a.w3g", true},
      {"R\\1v1\\", "R\\1v1", false},  // one is longer
      {"R\\a.w3g", "R\\b.w3g", false},
      {"", "", true},
      {"R\\A.w3g", "r\\a.w3g", case_blind},
      {"R\\\xC3\x84.w3g", "R\\\xC3\xA4.w3g", false},  // only ASCII case is folded
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.same, SamePathSpelling(c.a, c.b)) << c.a << " and " << c.b;
    EXPECT_EQ(c.same, SamePathSpelling(c.b, c.a)) << c.b << " and " << c.a;
  }
}

TEST(BelowFolder, ThePartBelowOrThePathItself) {
  struct Case {
    const char* path;
    const char* folder;
    size_t skipped;  // characters of path before what is returned
  } cases[] = {
      {"R\\1v1\\a.w3g", "R\\", 2},
      {"R\\1v1\\a.w3g", "R\\1v1\\", 6},
      {"S\\1v1\\a.w3g", "R\\", 0},  // elsewhere: the whole path
      {"R", "R\\", 0},              // shorter than the folder
      {"R\\", "R\\", 2},            // the folder itself: nothing below
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.path + c.skipped, BelowFolder(c.path, c.folder)) << c.path << " below " << c.folder;
  }
}

}  // namespace
