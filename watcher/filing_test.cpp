#include "watcher/filing.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

std::string BodyOf(const SyntheticReplay& replay, DecodeResult* result = nullptr) {
  DecodeResult local;
  DecodeResult* r = result != nullptr ? result : &local;
  Bytes file = BuildReplay(replay);
  Decode(file.data(), file.size(), r);
  char body[kPathSize];
  BuildNameBody(r, body, sizeof body);
  return body;
}

TEST(Naming, LadderBodiesListEvenPositionsAgainstOddOnes) {
  struct Case {
    const char* what;
    SyntheticReplay replay;
    const char* body;
    const char* subfolder;
  } cases[] = {
      {"1v1", LadderReplay({{"Alpha", 1}, {"Beta", 8}}), "Alpha(h) vs Beta(u)", "1v1\\"},
      {"2v2", LadderReplay({{"Anna", 2}, {"Bob", 4}, {"Cleo", 0}, {"Dave", 1}}),
       "Anna(o)Cleo(r) vs Bob(e)Dave(h)", "2v2\\"},
      {"3v3 caps names at six",
       LadderReplay({{"Abcdefgh", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 3}, {"F", 15}}),
       "Abcdef(h)C(e)E(r) vs B(o)D(u)F(r)", "3v3\\"},
      {"ffa has no separator", LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}}, true),
       "A(h)C(e)B(o)", "FFA\\"},
      {"five players, not ffa", LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 1}}),
       "A(h)C(e)E(h) vs B(o)D(u)", "FFA\\"},
      {"observers and referees leave no trace",
       LadderReplay({{"Alpha", 1}, {"Observer", 1}, {"referee", 2}, {"Beta", 8}}),
       "Alpha(h) vs Beta(u)", "2v2\\"},
      {"nobody real", LadderReplay({{"Observer", 1}, {"Referee", 2}}), " vs ", "1v1\\"},
      {"empty names", LadderReplay({{"", 1}, {"", 2}}), " vs ", "1v1\\"},
      {"full stops and question marks", LadderReplay({{"Mr. X?", 4}, {"(Y) Z", 2}}),
       "Mr_ X_(e) vs (Y) Z(o)", "1v1\\"},
  };
  for (const Case& c : cases) {
    DecodeResult result;
    EXPECT_EQ(c.body, BodyOf(c.replay, &result)) << c.what;
    EXPECT_STREQ(c.subfolder, ChooseSubfolder(&result)) << c.what;
  }
}

TEST(Naming, NameCapShrinksWithThePlayerCount) {
  struct Case {
    int players;
    size_t kept;
  } cases[] = {{2, 128}, {3, 128}, {4, 8}, {5, 8}, {6, 6}, {7, 6}, {8, 5}, {9, 4}, {10, 4},
               {16, 4}};
  for (const Case& c : cases) {
    std::vector<SyntheticPlayer> players(c.players, SyntheticPlayer{std::string(200, 'n'), 1});
    SyntheticReplay replay = LadderReplay(players);
    std::string body = BodyOf(replay);
    EXPECT_EQ(std::string(c.kept, 'n') + "(h)", body.substr(0, c.kept + 3)) << c.players;
  }
}

// Names are UTF-8; a cap that falls inside a character drops that whole character.
TEST(Naming, CappedNamesNeverEndInsideAUtf8Character) {
  struct Case {
    const char* name;
    size_t cap;
    const char* kept;
  } cases[] = {
      {"\xD0\xA0\xD0\xBE\xD0\xB7", 4, "\xD0\xA0\xD0\xBE"},  // two-byte letters, cut between
      {"\xD0\xA0\xD0\xBE\xD0\xB7", 5, "\xD0\xA0\xD0\xBE"},  // cut inside the third
      {"\xEC\x95\x88\xEB\x85\x95", 4, "\xEC\x95\x88"},      // three-byte letters
      {"\xEC\x95\x88\xEB\x85\x95", 5, "\xEC\x95\x88"},
      {"\xEC\x95\x88\xEB\x85\x95", 6, "\xEC\x95\x88\xEB\x85\x95"},
      {"\xF0\x9F\x98\x80x", 3, ""},                          // a four-byte character
      {"ab\xF0\x9F\x98\x80", 5, "ab"},
      {"Abcdefgh", 4, "Abcd"},                                // ASCII as ever
      {"Abc\x80\x80", 4, "Abc\x80"},                        // stray bytes stay as they are
  };
  for (const Case& c : cases) {
    char body[64] = "";
    AppendPlayer(body, sizeof body, c.name, 1, c.cap);
    EXPECT_EQ(std::string(c.kept) + "(h)", body) << c.name << " cap " << c.cap;
  }
  // The same rule when a long body is shortened to fit the path.
  DateTag[0] = '\0';
  std::string folder = std::string(kPlatformPathLimit - 40, 'f') + "\\";
  char body[kPathSize];
  std::string wide;
  while (wide.size() < 300) wide += "\xEC\x95\x88";
  snprintf(body, sizeof body, "%s", wide.c_str());
  ASSERT_TRUE(FitNameBody(body, folder.c_str(), "Custom\\"));
  EXPECT_LT(strlen(body), wide.size());
  EXPECT_EQ(0u, strlen(body) % 3) << strlen(body);
}

TEST(Naming, SubfolderByPlayerCount) {
  struct Case {
    int players;
    const char* subfolder;
  } cases[] = {{0, "FFA\\"}, {1, "FFA\\"}, {2, "1v1\\"}, {3, "FFA\\"}, {4, "2v2\\"},
               {6, "3v3\\"}, {8, "4v4\\"}, {10, "FFA\\"}, {-1, "FFA\\"}};
  for (const Case& c : cases) {
    DecodeResult result = {true, false, c.players, ""};
    EXPECT_STREQ(c.subfolder, ChooseSubfolder(&result)) << c.players;
  }
  DecodeResult ffa = {true, true, 4, ""};
  EXPECT_STREQ("FFA\\", ChooseSubfolder(&ffa));
  DecodeResult custom = {false, false, 2, "x"};
  EXPECT_STREQ("Custom\\", ChooseSubfolder(&custom));
}

TEST(Naming, PlayerNamesLoseEveryCharacterAFileNameCannotCarry) {
  char text[] = "a\"b\\c/d.e:f*g!h@i#j%k$l;m,n?o<p>q|r\x01s\x1ft u(v)w\x80x~";
  SanitisePlayerName(text);
  EXPECT_STREQ("a_b_c_d_e_f_g_h_i_j_k_l_m_n_o_p_q_r_s_t u(v)w\x80x~", text);
}

TEST(Naming, GameNamesKeepOnlyAsciiLettersAndDigits) {
  char text[] = "my game #2!\xe9Zz09";
  SanitiseGameName(text);
  EXPECT_STREQ("my_game__2__Zz09", text);
}

TEST(Naming, AppendCappedStopsAtTheCapAndTheBuffer) {
  char small[8] = "ab";
  AppendCapped(small, sizeof small, "cdefghijkl", 3);
  EXPECT_STREQ("abcde", small);
  AppendCapped(small, sizeof small, "fghijkl", 100);
  EXPECT_STREQ("abcdefg", small);  // seven characters and the NUL
  AppendCapped(small, sizeof small, "x", 1);
  EXPECT_STREQ("abcdefg", small);
}

TEST(Naming, DateTagIsMonthAndDayOrNothing) {
  DateTagEnabled = true;
  BuildDateTag();
  int month = 0, day = 0;
  PlatformLocalDate(&month, &day);
  char expected[16];
  snprintf(expected, sizeof expected, "[BC%02d%02d]", month, day);
  EXPECT_STREQ(expected, DateTag);
  EXPECT_EQ(8u, strlen(DateTag));
  DateTagEnabled = false;
  BuildDateTag();
  EXPECT_STREQ("", DateTag);
  DateTagEnabled = true;
}

TEST(Naming, CandidatesCountUpInSquareBrackets) {
  DateTag[0] = '\0';
  char path[kPathSize];
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", "1v1\\", "B", 0));
  EXPECT_STREQ("R\\1v1\\B.w3g", path);
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", "1v1\\", "B", 17));
  EXPECT_STREQ("R\\1v1\\B[17].w3g", path);
  snprintf(DateTag, sizeof DateTag, "[BC0730]");
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", "1v1\\", "B", 2));
  EXPECT_STREQ("R\\1v1\\[BC0730]B[2].w3g", path);
  EXPECT_FALSE(ComposeCandidate(path, 10, "R\\", "1v1\\", "B", 2));
}

TEST(Naming, BodiesAreFittedToThePathLimitAndClearOfDeviceNames) {
  DateTag[0] = '\0';
  std::string folder(100, 'f');
  folder += "\\";
  char body[kPathSize];
  memset(body, 'b', sizeof body - 1);
  body[sizeof body - 1] = '\0';
  ASSERT_TRUE(FitNameBody(body, folder.c_str(), "Custom\\"));
  char path[kPathSize];
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, folder.c_str(), "Custom\\", body, 999));
  // Limited by the path on Windows, by the 255-character file name elsewhere.
  const size_t longest = std::min<size_t>(kPlatformPathLimit - 1, folder.size() + 7 + 255);
  EXPECT_EQ(longest, strlen(path));
  EXPECT_STREQ(".w3g", path + strlen(path) - 4);

  std::string huge(kPlatformPathLimit, 'f');
  EXPECT_FALSE(FitNameBody(body, huge.c_str(), "Custom\\"));

  struct Case {
    const char* body;
    const char* fitted;
  } cases[] = {{"CON", "CON_"}, {"nul", "nul_"}, {"Com7", "Com7_"}, {"LPT1", "LPT1_"},
               {"COM0", "COM0"}, {"CONSOLE", "CONSOLE"}, {"", "Replay"},
               // Superscript one to three (UTF-8, as names are written) are port digits
               // to Windows too; four and beyond, or a second digit, are not.
               {"COM\xC2\xB9", "COM\xC2\xB9_"}, {"com\xC2\xB2", "com\xC2\xB2_"},
               {"LPT\xC2\xB3", "LPT\xC2\xB3_"}, {"lpt\xC2\xB3 .v", "lpt\xC2\xB3_ .v"},
               {"COM\xC2\xB9.x", "COM\xC2\xB9_.x"}, {"COM\xE2\x81\xB4", "COM\xE2\x81\xB4"},
               {"COM\xC2\xB9\xC2\xB9", "COM\xC2\xB9\xC2\xB9"}, {"CON\xC2\xB9", "CON\xC2\xB9"},
               {"AUX\xC2\xB2", "AUX\xC2\xB2"}, {"COM\xC2\xB0", "COM\xC2\xB0"}};
  for (const Case& c : cases) {
    snprintf(body, sizeof body, "%s", c.body);
    ASSERT_TRUE(FitNameBody(body, "R\\", "Custom\\"));
    EXPECT_STREQ(c.fitted, body);
  }
  // Behind a date tag the name is no device name, and an empty body no empty name.
  snprintf(DateTag, sizeof DateTag, "[BC0730]");
  for (const char* tagged : {"CON", ""}) {
    snprintf(body, sizeof body, "%s", tagged);
    ASSERT_TRUE(FitNameBody(body, "R\\", "Custom\\"));
    EXPECT_STREQ(tagged, body);
  }
  DateTag[0] = '\0';
  // The name an empty body gets is cut to the room there is; with no room for a
  // letter the copy is still made, under the empty name.
  const size_t fixed = strlen("Custom\\") + strlen("[999].w3g") + 1;
  std::string near(kPlatformPathLimit - fixed - 3, 'f');
  body[0] = '\0';
  ASSERT_TRUE(FitNameBody(body, near.c_str(), "Custom\\"));
  EXPECT_STREQ("Rep", body);
  near += "fff";
  body[0] = '\0';
  ASSERT_TRUE(FitNameBody(body, near.c_str(), "Custom\\"));
  EXPECT_STREQ("", body);
}

// Filing into a real folder.
class Filing : public ReplayFolderTest {
 protected:
  FileOutcome File(const Bytes& file) {
    DecodeResult result;
    Decode(file.data(), file.size(), &result);
    return FileReplay(&result, file.data(), file.size());
  }
};

TEST_F(Filing, CopiesByteForByteUnderTheFirstFreeName) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(kFiled, File(file));
  std::vector<std::string> expected = {"1v1\\Alpha(h) vs Beta(u).w3g",
                                       "1v1\\Alpha(h) vs Beta(u)[1].w3g",
                                       "1v1\\Alpha(h) vs Beta(u)[2].w3g"};
  EXPECT_EQ(expected, ListFiles(folder_));
  EXPECT_EQ(folder_ + expected[2], FiledPath);
  for (const std::string& name : expected) {
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + name, &copy));
    EXPECT_EQ(file, copy) << name;
  }
}

TEST_F(Filing, DateTagLeadsTheName) {
  DateTagEnabled = true;
  Bytes file = BuildReplay(CustomReplay("my game #2!"));
  ASSERT_EQ(kFiled, File(file));
  std::vector<std::string> files = ListFiles(folder_);
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(std::string("Custom\\") + DateTag + "my_game__2_.w3g", files[0]);
}

// Without the date tag an empty game name would leave nothing before ".w3g": a
// file hidden on Linux and with no name in Explorer. It is called Replay instead.
TEST_F(Filing, AnEmptyNameIsFiledUnderAVisibleOne) {
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay(""))));
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay(""))));
  EXPECT_EQ((std::vector<std::string>{"Custom\\Replay.w3g", "Custom\\Replay[1].w3g"}),
            ListFiles(folder_));
}

TEST_F(Filing, NothingIsOverwrittenWhenEveryNameIsTaken) {
  Bytes file = BuildReplay(CustomReplay("full"));
  ASSERT_EQ(kFiled, File(file));
  Bytes old = {'o', 'l', 'd'};
  char name[64];
  for (int i = 1; i <= 999; ++i) {
    snprintf(name, sizeof name, "Custom\\full[%d].w3g", i);
    ASSERT_TRUE(WriteFileBytes(folder_ + name, old));
  }
  EXPECT_EQ(kNoFreeName, File(BuildReplay(CustomReplay("full"))));
  std::vector<std::string> files = ListFiles(folder_);
  EXPECT_EQ(1000u, files.size());
  for (const std::string& f : files) {
    Bytes now;
    ASSERT_TRUE(ReadFileBytes(folder_ + f, &now));
    EXPECT_EQ(f == "Custom\\full.w3g" ? file : old, now) << f;
  }
}

TEST_F(Filing, TheLastCounterIsUsedBeforeGivingUp) {
  const Bytes old = {'o', 'l', 'd'};
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "Custom").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "Custom\\last.w3g", old));
  char name[64];
  for (int i = 1; i <= 998; ++i) {
    snprintf(name, sizeof name, "Custom\\last[%d].w3g", i);
    ASSERT_TRUE(WriteFileBytes(folder_ + name, old));
  }
  const Bytes file = BuildReplay(CustomReplay("last"));
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(folder_ + "Custom\\last[999].w3g", FiledPath);
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + "Custom\\last[999].w3g", &copy));
  EXPECT_EQ(file, copy);
  EXPECT_EQ(kNoFreeName, File(file));
  EXPECT_EQ(1000u, ListFiles(folder_).size());
}

// A plan takes what is on disk and what was planned before as taken, and writes
// nothing; on Windows, where names ignore case, a plan ignores it too.
TEST_F(Filing, PlansCountEarlierPlansAsTaken) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1\\Alpha(h) vs Beta(u).w3g", Bytes{1}));
  const std::vector<std::string> before = ListFiles(folder_);
  PlannedNames planned = {nullptr, 0, 0};
  struct Case {
    std::vector<SyntheticPlayer> players;
    const char* planned;
  } cases[] = {
      {{{"Alpha", 1}, {"Beta", 8}}, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {{{"Alpha", 1}, {"Beta", 8}}, "1v1\\Alpha(h) vs Beta(u)[2].w3g"},
#ifdef _WIN32
      {{{"ALPHA", 1}, {"BETA", 8}}, "1v1\\ALPHA(h) vs BETA(u)[3].w3g"},
#else
      {{{"ALPHA", 1}, {"BETA", 8}}, "1v1\\ALPHA(h) vs BETA(u).w3g"},
#endif
      {{{"Gamma", 2}, {"Delta", 4}}, "1v1\\Gamma(o) vs Delta(e).w3g"},
  };
  for (const Case& c : cases) {
    const Bytes file = BuildReplay(LadderReplay(c.players));
    DecodeResult result;
    Decode(file.data(), file.size(), &result);
    char path[kPathSize];
    ASSERT_EQ(kFiled, PlanReplay(&result, &planned, path, sizeof path)) << c.planned;
    EXPECT_EQ(folder_ + c.planned, path);
  }
  EXPECT_EQ(before, ListFiles(folder_));
  ForgetPlannedNames(&planned);
  EXPECT_EQ(nullptr, planned.text);
}

// With unless_there, a candidate holding the very same bytes ends the search: on
// disk for a real filing, on disk or among the plans for a plan. Only candidates
// of the replay's length are opened at all.
TEST_F(Filing, AReplayAlreadyFiledIsFoundNotCopiedAgain) {
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  Bytes last_byte = replay;
  last_byte.back() ^= 1;
  Bytes longer = replay;
  longer.push_back(0);
  const Bytes shorter(replay.begin(), replay.end() - 1);
  auto candidate = [](size_t i) {
    return i == 0 ? std::string("1v1\\Alpha(h) vs Beta(u).w3g")
                  : "1v1\\Alpha(h) vs Beta(u)[" + std::to_string(i) + "].w3g";
  };
  struct Case {
    const char* what;
    std::vector<Bytes> standing;  // under candidates 0, 1, 2, ...
    FileOutcome outcome;
    size_t path;                  // the candidate written, or the one found
    std::vector<size_t> opened;   // the candidates read to compare
  } cases[] = {
      {"nothing there", {}, kFiled, 0, {}},
      {"the same bytes", {replay}, kAlreadyThere, 0, {0}},
      {"the same bytes under [2]", {longer, last_byte, replay}, kAlreadyThere, 2, {1, 2}},
      {"only other bytes", {last_byte, longer, shorter}, kFiled, 3, {0}},
  };
  DecodeResult result;
  Decode(replay.data(), replay.size(), &result);
  for (const Case& c : cases) {
    RemoveTree(folder_);
    folder_ = MakeTempFolder();
    ResetWatcher(folder_);
    DateTagEnabled = false;
    ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
    for (size_t i = 0; i < c.standing.size(); ++i) {
      ASSERT_TRUE(WriteFileBytes(folder_ + candidate(i), c.standing[i]));
    }
    const std::vector<std::string> before = ListFiles(folder_);
    std::vector<size_t> opened;
    auto watch_opens = [&] {
      ClearFaults();
      opened.clear();
      for (size_t i = 0; i < c.standing.size(); ++i) {
        DuringCall(kPlatformCallOpenRead, folder_ + candidate(i), [&opened, i] { opened.push_back(i); });
      }
    };

    // A plan says what the filing after it does, and writes nothing.
    watch_opens();
    char planned_path[kPathSize];
    PlannedNames planned = {nullptr, 0, 0};
    EXPECT_EQ(c.outcome, PlanReplay(&result, &planned, planned_path, sizeof planned_path,
                                    replay.data(), replay.size())) << c.what;
    EXPECT_EQ(folder_ + candidate(c.path), planned_path) << c.what;
    EXPECT_EQ(c.opened, opened) << c.what;
    EXPECT_EQ(before, ListFiles(folder_)) << c.what;
    ForgetPlannedNames(&planned);

    watch_opens();
    EXPECT_EQ(c.outcome, FileReplay(&result, replay.data(), replay.size(), true)) << c.what;
    EXPECT_EQ(folder_ + candidate(c.path), FiledPath) << c.what;
    EXPECT_EQ(c.opened, opened) << c.what;
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(FiledPath, &copy)) << c.what;
    EXPECT_EQ(replay, copy) << c.what;
    EXPECT_EQ(before.size() + (c.outcome == kFiled ? 1 : 0), ListFiles(folder_).size()) << c.what;
  }
}

// A plan remembers what it planned under each name: the same bytes planned again
// are already there, other bytes of the same length are not.
TEST_F(Filing, PlansRecogniseTheBytesTheyPlanned) {
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  Bytes other = replay;
  other[other.size() / 2] ^= 0x40;
  DecodeResult result;
  Decode(replay.data(), replay.size(), &result);
  PlannedNames planned = {nullptr, 0, 0};
  struct Step {
    const Bytes* bytes;
    FileOutcome outcome;
    const char* path;
  } steps[] = {
      {&replay, kFiled, "1v1\\Alpha(h) vs Beta(u).w3g"},
      {&other, kFiled, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {&other, kAlreadyThere, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {&replay, kAlreadyThere, "1v1\\Alpha(h) vs Beta(u).w3g"},
  };
  for (const Step& step : steps) {
    char path[kPathSize];
    EXPECT_EQ(step.outcome, PlanReplay(&result, &planned, path, sizeof path, step.bytes->data(),
                                       step.bytes->size())) << step.path;
    EXPECT_EQ(folder_ + step.path, path);
  }
  // Without bytes, a plan never looks: the plain filing of a repeat.
  char path[kPathSize];
  EXPECT_EQ(kFiled, PlanReplay(&result, &planned, path, sizeof path));
  EXPECT_EQ(folder_ + "1v1\\Alpha(h) vs Beta(u)[2].w3g", path);
  ForgetPlannedNames(&planned);
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
}

TEST_F(Filing, AFailedWriteOrCloseLeavesNoPartialCopy) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  InjectFault(kPlatformCallWrite);
  EXPECT_EQ(kCopyFailed, File(file));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
  InjectFault(kPlatformCallClose);
  EXPECT_EQ(kCopyFailed, File(file));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
  EXPECT_EQ(kFiled, File(file));
  EXPECT_EQ(std::vector<std::string>{"1v1\\Alpha(h) vs Beta(u).w3g"}, ListFiles(folder_));
}

TEST_F(Filing, ForbiddenCharactersInARealNameStillGiveACopy) {
  Bytes file = BuildReplay(LadderReplay({{"ARA", 8}, {"|c00ffbd00:D<x>", 1}}));
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(std::vector<std::string>{"1v1\\ARA(u) vs _c00ffbd00_D_x_(h).w3g"},
            ListFiles(folder_));
}

TEST_F(Filing, DeviceNamesAreSidestepped) {
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay("con"))));
  EXPECT_EQ(std::vector<std::string>{"Custom\\con_.w3g"}, ListFiles(folder_));
}

TEST_F(Filing, LongNamesAreShortenedAndKeepTheirEnding) {
  std::string name(300, 'n');
  Bytes file = BuildReplay(LadderReplay({{name, 1}, {name, 2}}));
  ASSERT_EQ(kFiled, File(file));
  ASSERT_EQ(kFiled, File(file));
  std::vector<std::string> files = ListFiles(folder_);
  ASSERT_EQ(2u, files.size());
  for (const std::string& f : files) {
    EXPECT_EQ(".w3g", f.substr(f.size() - 4));
    EXPECT_LE(f.size() - strlen("1v1\\"), 255u);
    EXPECT_LT(folder_.size() + f.size(), static_cast<size_t>(kPlatformPathLimit));
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + f, &copy));
    EXPECT_EQ(file, copy);
  }
  // The two share one shortened body; the second carries the counter.
  EXPECT_EQ(files[0].substr(0, files[0].size() - 4) + "[1].w3g", files[1]);
}

}  // namespace
