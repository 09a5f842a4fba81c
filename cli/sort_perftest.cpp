// Sort benchmark: `brindlecap-cli sort -modern` over a few thousand replays made
// from the real ones (games of 100 replays each that share a length), against a
// plain copy of the same files, and the same sort again when every replay is
// already there; then 3000 replays of one length against 1500; then 999 replays
// that all get one name against 999 that get as many names, with -modern and
// without. Each round times all three side by
// side on the same files; the figures are the medians of each round's ratios.
// The data set (about 1.4 GB for 3500 files) and the copies live in the
// temporary folder (TMPDIR, else /tmp) and are removed at the end.
//
//   sort_perftest [--files=N] [--rounds=N] [--one-name-only]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "tests/perftest_support.h"
#include "tests/test_support.h"
#include "watcher/watcher.h"

namespace {

// The data set and the copy being made, removed on the way out whatever happens:
// they take gigabytes.
std::string SetFolder;
std::string CopyFolder;

void Fail(const char* what) {
  fprintf(stderr, "sort_perftest: %s\n", what);
  RemoveTree(CopyFolder);
  RemoveTree(SetFolder);
  exit(1);
}

std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// One file of the data set: where it lies below the set's folder.
struct SetFile {
  std::string folder;  // "" or "a/b/", below the set
  std::string name;
};

// The replay of game g, variant v: a real replay (in turn, longer by 4096 zeros
// each time round), its last four bytes numbering the variant. Every variant of
// a game has one length and differs from the others only at its end, as an
// archive of one map's games nearly does: the case where telling copies apart by
// length alone reads every earlier copy again.
Bytes Variant(const std::vector<RealReplay>& replays, size_t g, uint32_t v) {
  Bytes bytes = replays[g % replays.size()].bytes;
  bytes.resize(bytes.size() + 4096 * (g / replays.size()), 0);
  for (int k = 0; k < 4; ++k) {
    bytes[bytes.size() - 4 + k] = static_cast<unsigned char>((0x5A000000u + v) >> (8 * k));
  }
  return bytes;
}

// Builds count replays under set, per_game variants of each game in turn (35 games
// of 100 for 3500). Two in three carry the game's own autosave names across a
// year of days; the rest lie in older folders under plain names, dated by their
// last-write times.
std::vector<SetFile> MakeSet(const std::string& set, const std::vector<RealReplay>& replays,
                             int count, int per_game, size_t* bytes_total) {
  std::vector<SetFile> files;
  *bytes_total = 0;
  PlatformMakeDirectory((set + "Autosaved").c_str());
  PlatformMakeDirectory((set + "Autosaved\\Multiplayer").c_str());
  PlatformMakeDirectory((set + "old").c_str());
  for (int i = 0; i < count; ++i) {
    const Bytes bytes = Variant(replays, static_cast<size_t>(i / per_game),
                                static_cast<uint32_t>(i % per_game));
    const int day = i / 10;  // ten games a day
    const int month = day / 28 % 12 + 1;
    const int day_of_month = day % 28 + 1;
    char name[64];
    SetFile file;
    if (i % 3 != 2) {
      file.folder = "Autosaved\\Multiplayer\\";
      snprintf(name, sizeof name, "Replay_%d_%02d_%02d_%02d%02d.w3g", 2023 + day / 336, month,
               day_of_month, i % 24, i % 60);
    } else {
      char folder[32];
      snprintf(folder, sizeof folder, "old\\%02d\\", month);
      file.folder = folder;
      PlatformMakeDirectory((set + file.folder).c_str());
      snprintf(name, sizeof name, "game-%05d.w3g", i);
    }
    file.name = name;
    const std::string path = set + file.folder + file.name;
    if (!WriteFileBytes(path, bytes)) Fail("cannot write the data set (is the disk full?)");
    if (i % 3 == 2) SetWriteTime(path, 1672574400 + static_cast<int64_t>(i) * 3 * 3600);
    files.push_back(file);
    *bytes_total += bytes.size();
  }
  return files;
}

// What a player's script does: read each file whole, write it whole into the same
// place below to, making its folders as it goes.
void PlainCopy(const std::string& set, const std::vector<SetFile>& files, const std::string& to) {
  std::string made;
  for (const SetFile& file : files) {
    if (file.folder != made) {
      // Each level of the folder, as cp -r makes them.
      for (size_t at = file.folder.find('\\'); at != std::string::npos;
           at = file.folder.find('\\', at + 1)) {
        mkdir(Native(to + file.folder.substr(0, at)).c_str(), 0777);
      }
      made = file.folder;
    }
    const std::string from = Native(set + file.folder + file.name);
    const std::string target = Native(to + file.folder + file.name);
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) Fail("the plain copy cannot open a file");
    const off_t size = lseek(in, 0, SEEK_END);
    lseek(in, 0, SEEK_SET);
    unsigned char* buffer = static_cast<unsigned char*>(malloc(static_cast<size_t>(size)));
    bool ok = buffer != nullptr && read(in, buffer, static_cast<size_t>(size)) == size;
    close(in);
    int out = ok ? open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    ok = out >= 0 && write(out, buffer, static_cast<size_t>(size)) == size;
    if (out >= 0 && close(out) != 0) ok = false;
    free(buffer);
    if (!ok) Fail("the plain copy failed");
  }
}

int RunCliHere(int argc, char** argv, FILE* out, FILE* err) { return RunCli(argc, argv, out, err); }

// One sort of set into dest, as the command line runs it. Returns the exit code.
int Sort(const std::string& set, const std::string& dest) {
  return RunQuietly(RunCliHere, {"brindlecap-cli", "sort", "-modern", "-custom", dest, set});
}

double Seconds(int64_t start) { return static_cast<double>(NowNanoseconds() - start) / 1e9; }

// Seconds to sort count variants of one replay, all of one length, into an empty
// folder.
double SortSameLength(const std::vector<RealReplay>& replays, int count) {
  const std::string set = MakeTempFolder();
  if (set.empty()) Fail("cannot make a temporary folder");
  SetFolder = set;
  size_t total = 0;
  MakeSet(set, replays, count, count, &total);
  const std::string to = MakeTempFolder();
  if (to.empty()) Fail("cannot make a temporary folder");
  CopyFolder = to;
  sync();
  const int64_t start = NowNanoseconds();
  if (Sort(set, to) != 0) Fail("the sort of same-length replays failed");
  const double seconds = Seconds(start);
  if (ListFiles(to).size() != static_cast<size_t>(count)) Fail("not every variant was filed");
  RemoveTree(to);
  CopyFolder.clear();
  RemoveTree(set);
  SetFolder.clear();
  return seconds;
}

// One sort of files into dest, named on the command line, as sort without -modern
// takes them. Returns the exit code.
int SortFiles(const std::vector<std::string>& files, const std::string& dest) {
  std::vector<std::string> args = {"brindlecap-cli", "sort", "-nodate", dest};
  args.insert(args.end(), files.begin(), files.end());
  return RunQuietly(RunCliHere, args);
}

// Seconds to sort the replays of set into a new folder, all of them filed.
double SortOnce(const std::string& set, const std::vector<std::string>& files, bool modern) {
  const std::string to = MakeTempFolder();
  if (to.empty()) Fail("cannot make a temporary folder");
  CopyFolder = to;
  sync();
  const int64_t start = NowNanoseconds();
  if ((modern ? Sort(Native(set), to) : SortFiles(files, to)) != 0) {
    Fail("a sort of one name failed");
  }
  const double seconds = Seconds(start);
  if (ListFiles(to).size() != files.size()) Fail("not every replay of one name was filed");
  RemoveTree(to);
  CopyFolder.clear();
  return seconds;
}

// 999 ladder replays of one name (each of other bytes) against 999 of 999 names,
// all of one length: the free-name search must not grow with the names taken.
// Prints the seconds and the median of each round's ratio, with -modern (the
// folder as the SOURCE) and without (the files named), and returns them.
void SortOneName(int rounds, double* modern_ratio, double* plain_ratio) {
  const int count = 999;
  const std::string set = MakeTempFolder();
  if (set.empty()) Fail("cannot make a temporary folder");
  SetFolder = set;
  std::string sets[2] = {set + "one name\\", set + "many names\\"};
  std::vector<std::string> files[2];
  for (int k = 0; k < 2; ++k) {
    PlatformMakeDirectory(sets[k].c_str());
    for (int i = 0; i < count; ++i) {
      char player[16];
      snprintf(player, sizeof player, "Alpha%03d", k == 0 ? 0 : i);
      Bytes bytes = BuildReplay(LadderReplay({{player, 1}, {"Beta", 8}}));
      // The file's padding: other bytes under one name.
      bytes[bytes.size() - 1] = static_cast<unsigned char>(i);
      bytes[bytes.size() - 2] = static_cast<unsigned char>(i >> 8);
      char name[32];
      snprintf(name, sizeof name, "r%03d.w3g", i);
      if (!WriteFileBytes(sets[k] + name, bytes)) Fail("cannot write the replays of one name");
      files[k].push_back(Native(sets[k] + name));
    }
  }
  for (int modern = 1; modern >= 0; --modern) {
    std::vector<double> one, many, ratios;
    for (int round = 0; round < rounds; ++round) {
      // Each set twice a round, in the order A B B A (B A A B the next round): the
      // disk's write-back, which rules these times, grows and shrinks over seconds,
      // and a drift within the round then weighs on both alike.
      double seconds[2] = {0, 0};
      for (int turn = 0; turn < 4; ++turn) {
        const int k = (round + (turn == 1 || turn == 2 ? 1 : 0)) % 2;
        seconds[k] += SortOnce(sets[k], files[k], modern != 0);
      }
      printf("round %d: one name %.3f s, many names %.3f s\n", round + 1, seconds[0], seconds[1]);
      one.push_back(seconds[0]);
      many.push_back(seconds[1]);
      ratios.push_back(seconds[1] > 0 ? seconds[0] / seconds[1] : 0);
    }
    printf("%s: %d replays of one name in %.3f s, of %d names in %.3f s (medians)\n",
           modern ? "sort -modern" : "sort", count, Median(&one), count, Median(&many));
    *(modern ? modern_ratio : plain_ratio) = Median(&ratios);
  }
  RemoveTree(set);
  SetFolder.clear();
}

}  // namespace

int main(int argc, char** argv) {
  int count = 3500;
  int rounds = 7;
  bool one_name_only = false;  // only the figures of one name against many
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--files=", 8) == 0) count = atoi(argv[i] + 8);
    if (strncmp(argv[i], "--rounds=", 9) == 0) rounds = atoi(argv[i] + 9);
    if (strcmp(argv[i], "--one-name-only") == 0) one_name_only = true;
  }
  if (count < 1 || rounds < 1) {
    Fail("usage: sort_perftest [--files=N] [--rounds=N] [--one-name-only]");
  }
  if (one_name_only) {
    double modern_ratio = 0, plain_ratio = 0;
    SortOneName(rounds, &modern_ratio, &plain_ratio);
    PrintFigure("sort_same_name_999_vs_distinct_ratio", modern_ratio, 3);
    PrintFigure("plain_sort_same_name_999_vs_distinct_ratio", plain_ratio, 3);
    return 0;
  }

  std::vector<RealReplay> replays;
  for (RealReplay& replay : LoadRealReplays()) {
    // Shorter files are never filed; they would only make the sort look cheap.
    if (replay.bytes.size() >= static_cast<size_t>(kReplayMinimumLength)) replays.push_back(replay);
  }
  if (replays.empty()) {
    printf("sort_vs_copy_ratio n/a\nresort_vs_sort_ratio n/a\n");
    return 0;
  }
  const std::string set = MakeTempFolder();
  if (set.empty()) Fail("cannot make a temporary folder");
  SetFolder = set;
  size_t total = 0;
  const int per_game = 100;
  const std::vector<SetFile> files = MakeSet(set, replays, count, per_game, &total);
  printf("sort data set: %d replays, %.2f GB, %d games of %d that differ only in their last "
         "bytes, made from %zu real ones\n",
         count, static_cast<double>(total) / 1e9, (count + per_game - 1) / per_game, per_game,
         replays.size());

  std::vector<double> copying, sorting, resorting;
  for (int round = 0; round < rounds; ++round) {
    // The copy goes first in even rounds and last in odd ones; every step starts
    // with the earlier writes on disk, so none pays for another's write-back.
    for (int turn = 0; turn < 2; ++turn) {
      const std::string to = MakeTempFolder();
      if (to.empty()) Fail("cannot make a temporary folder");
      CopyFolder = to;
      sync();
      if ((turn == 0) == (round % 2 == 0)) {
        const int64_t start = NowNanoseconds();
        PlainCopy(set, files, to);
        copying.push_back(Seconds(start));
      } else {
        int64_t start = NowNanoseconds();
        if (Sort(set, to) != 0) Fail("the sort failed");
        sorting.push_back(Seconds(start));
        // A sort that filed less than everything would only look fast.
        if (ListFiles(to).size() != files.size()) Fail("the sort did not file every replay");
        sync();
        start = NowNanoseconds();
        if (Sort(set, to) != 0) Fail("the second sort failed");
        resorting.push_back(Seconds(start));
      }
      RemoveTree(to);
      CopyFolder.clear();
    }
  }
  RemoveTree(set);
  SetFolder.clear();

  // Ratios within each round, where the three ran under the same load; their
  // medians, so that a round disturbed by another program does not decide.
  std::vector<double> sort_ratios, resort_ratios;
  for (size_t i = 0; i < copying.size() && i < sorting.size(); ++i) {
    printf("round %zu: copy %.3f s, sort %.3f s, sort again %.3f s\n", i + 1, copying[i],
           sorting[i], resorting[i]);
    sort_ratios.push_back(copying[i] > 0 ? sorting[i] / copying[i] : 0);
    resort_ratios.push_back(sorting[i] > 0 ? resorting[i] / sorting[i] : 0);
  }
  printf("sort_seconds %.3f copy_seconds %.3f resort_seconds %.3f (medians of %d rounds)\n",
         Median(&sorting), Median(&copying), Median(&resorting), rounds);
  PrintFigure("sort_vs_copy_ratio", Median(&sort_ratios), 3);
  PrintFigure("resort_vs_sort_ratio", Median(&resort_ratios), 3);

  // Twice the replays of one length must take about twice the time, not four
  // times: each earlier copy is never read again. The smallest real replay.
  std::vector<RealReplay> smallest = {replays[0]};
  for (const RealReplay& replay : replays) {
    if (replay.bytes.size() < smallest[0].bytes.size()) smallest[0] = replay;
  }
  std::vector<double> half, full;
  for (int round = 0; round < rounds; ++round) {
    half.push_back(SortSameLength(smallest, 1500));
    full.push_back(SortSameLength(smallest, 3000));
  }
  printf("same length (%zu bytes): 1500 in %.3f s, 3000 in %.3f s (medians)\n",
         smallest[0].bytes.size(), Median(&half), Median(&full));
  const double half_median = Median(&half);
  PrintFigure("same_length_3000_vs_1500_ratio", half_median > 0 ? Median(&full) / half_median : 0,
              2);

  double modern_ratio = 0, plain_ratio = 0;
  SortOneName(rounds, &modern_ratio, &plain_ratio);
  PrintFigure("sort_same_name_999_vs_distinct_ratio", modern_ratio, 3);
  PrintFigure("plain_sort_same_name_999_vs_distinct_ratio", plain_ratio, 3);
  return 0;
}
