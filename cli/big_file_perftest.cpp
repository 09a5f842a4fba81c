// Big file benchmark: the peak memory of brindlecap-cli given a file far longer
// than any replay, a real replay's start followed by 2 GiB of sparse bytes, against
// the program doing nothing. At most a replay's head (kReplayHeadLimit) of any file
// is held in memory and the rest is copied, compared and hashed from disk in pieces,
// so no command may grow with the file: name, sort (a copy written, then found
// already there), info and stats.
//
// Each command is run on the real replay as well, and must say the same of both
// files: a command that stopped reading at the head, or failed, would be cheap too.
// The copy sort writes is compared with the file byte for byte, and removed.
//
//   big_file_perftest [--cli=PATH]
//
// --cli measures another build of brindlecap-cli than the one beside this program
// (an older one, to see what the bound saves).
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/perftest_support.h"
#include "tests/test_support.h"
#include "watcher/replay_file.h"

namespace {

const char kReplayName[] = "130-standard_1304.w3g";

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kBigLength = 2048 * kMiB;

// Bytes other than zero far past the head, and as the very last byte: a copy or a
// comparison that stops at the head, or skips what reads as a hole, shows.
constexpr uint64_t kMarkAt[] = {kReplayHeadLimit + 4097, 700 * kMiB + 13, 1500 * kMiB + 77,
                                kBigLength - 1};

// The copy sort writes is a real 2 GiB; with less room than this the sort is left out.
constexpr uint64_t kRoomNeeded = 5 * 1024 * kMiB;

std::string Folder;

void Fail(const std::string& what) {
  fprintf(stderr, "big_file_perftest: %s\n", what.c_str());
  RemoveTree(Folder);
  exit(1);
}

bool WriteAll(int fd, const unsigned char* bytes, size_t length, off_t at) {
  while (length > 0) {
    const ssize_t wrote = pwrite(fd, bytes, length, at);
    if (wrote <= 0) return false;
    bytes += wrote;
    length -= static_cast<size_t>(wrote);
    at += wrote;
  }
  return true;
}

// The replay's bytes, then zeros up to kBigLength that take no room on disk, and
// the marks.
bool MakeBigFile(const std::string& path, const Bytes& replay) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool made = WriteAll(fd, replay.data(), replay.size(), 0) &&
              ftruncate(fd, static_cast<off_t>(kBigLength)) == 0;
  for (size_t i = 0; made && i < sizeof kMarkAt / sizeof kMarkAt[0]; ++i) {
    const unsigned char mark = static_cast<unsigned char>(0xA5 + i);
    made = WriteAll(fd, &mark, 1, static_cast<off_t>(kMarkAt[i]));
  }
  return close(fd) == 0 && made;
}

// Up to size bytes; fewer only at the end of the file. -1 when a read fails.
ssize_t ReadUpTo(int fd, unsigned char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, buffer + got, size - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// The two files hold the same bytes, read in pieces side by side.
bool SameBytes(const std::string& a, const std::string& b) {
  const int fa = open(a.c_str(), O_RDONLY);
  const int fb = open(b.c_str(), O_RDONLY);
  bool same = fa >= 0 && fb >= 0;
  const size_t piece = 4 * kMiB;
  std::unique_ptr<unsigned char[]> ba(new unsigned char[piece]);
  std::unique_ptr<unsigned char[]> bb(new unsigned char[piece]);
  while (same) {
    const ssize_t na = ReadUpTo(fa, ba.get(), piece);
    const ssize_t nb = ReadUpTo(fb, bb.get(), piece);
    same = na >= 0 && na == nb && memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) == 0;
    if (na == 0) break;
  }
  if (fa >= 0) close(fa);
  if (fb >= 0) close(fb);
  return same;
}

uint64_t FreeRoom(const std::string& folder) {
  struct statvfs room;
  if (statvfs(folder.c_str(), &room) != 0) return 0;
  return static_cast<uint64_t>(room.f_bavail) * room.f_frsize;
}

std::string ReadText(const std::string& path) {
  Bytes bytes;
  if (!ReadFileBytes(path, &bytes)) Fail("cannot read " + path);
  return std::string(bytes.begin(), bytes.end());
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// What sort printed after the file's path: the copy's path below DEST, or "- why".
std::string SortAnswer(const std::string& output) {
  const size_t tab = output.find('\t');
  const size_t end = output.find('\n');
  if (tab == std::string::npos || end == std::string::npos || end < tab) return "";
  return output.substr(tab + 1, end - tab - 1);
}

enum Kind {
  kReads,      // only reads the file
  kFiles,      // sort: writes the copy
  kFindsCopy,  // sort again: finds that copy already there
};

struct Step {
  const char* label;
  Kind kind;
  std::vector<std::string> replay_args;  // on the real replay
  std::vector<std::string> big_args;     // on the 2 GiB file
};

struct Measured {
  long replay_kb;
  long big_kb;
  double big_seconds;
};

// Runs cli with args under PeakKb; its standard output is left in output.
long Measure(const std::string& self, const std::string& cli, const std::vector<std::string>& args,
             const std::string& output, const char* label) {
  int code = -1;
  const long kb = PeakKb(self, cli, args, output, Folder, &code);
  if (kb < 0) Fail(std::string("brindlecap-cli could not be run for ") + label);
  if (code != 0) {
    Fail(std::string("brindlecap-cli ") + label + " exited with " + std::to_string(code) + ": " +
         ReadText(output));
  }
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  int measured = 0;
  if (AnswerMeasure(argc, argv, &measured)) return measured;
  const std::string self = SelfPath();
  if (self.empty()) Fail("cannot tell where this program lies");
  std::string cli = self.substr(0, self.rfind('/') + 1) + "brindlecap-cli";
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--cli=", 6) == 0) {
      cli = argv[i] + 6;
    } else {
      Fail("usage: big_file_perftest [--cli=PATH]");
    }
  }
  if (access(cli.c_str(), X_OK) != 0) Fail("no brindlecap-cli to run at " + cli);

  const std::vector<RealReplay> replays = LoadRealReplays();
  const RealReplay* replay = FindReplay(replays, kReplayName);
  if (replay == nullptr) Fail(std::string("the real replay ") + kReplayName + " is missing");

  Folder = MakeTempFolder();
  if (Folder.empty()) Fail("cannot make a temporary folder");
  // One folder each, so that stats is given a folder holding that file alone; the
  // same last-write time, so that info dates both alike.
  const std::string replay_folder = Folder + "replay/";
  const std::string big_folder = Folder + "big/";
  const std::string replay_dest = Folder + "replay-dest/";
  const std::string big_dest = Folder + "big-dest/";
  for (const std::string& folder : {replay_folder, big_folder, replay_dest, big_dest}) {
    if (mkdir(folder.c_str(), 0755) != 0) Fail("cannot make " + folder);
  }
  const std::string replay_file = replay_folder + kReplayName;
  const std::string big_file = big_folder + kReplayName;
  const int64_t written = 1700000000;  // 14 November 2023
  if (!WriteFileBytes(replay_file, replay->bytes) || !MakeBigFile(big_file, replay->bytes) ||
      !SetWriteTime(replay_file, written) || !SetWriteTime(big_file, written)) {
    Fail("cannot write the files (is the disk full?)");
  }
  const bool room = FreeRoom(Folder) >= kRoomNeeded;

  printf("brindlecap-cli: %s\n", cli.c_str());
  printf("the big file: %s (%zu bytes) followed by sparse bytes, %llu bytes in all, in %s\n",
         kReplayName, replay->bytes.size(), static_cast<unsigned long long>(kBigLength),
         Folder.c_str());
  if (!room) printf("less than 5 GB free there: sort, which writes a 2 GiB copy, is left out\n");

  const std::string replay_output = Folder + "replay-output.txt";
  const std::string big_output = Folder + "big-output.txt";
  const long floor_kb = Measure(self, cli, {"--version"}, big_output, "--version");
  printf("peak resident memory of brindlecap-cli, and the time it took on the big file:\n");
  printf("  %-36s %12s %12s %12s\n", "", "replay KB", "big file KB", "big file s");
  printf("  %-36s %12ld\n", "--version (the floor)", floor_kb);
  fflush(stdout);

  const std::vector<std::string> sort = {"sort", "-modern", "-nodate"};
  std::vector<Step> steps = {
      {"name -nodate FILE", kReads, {"name", "-nodate", replay_file},
       {"name", "-nodate", big_file}},
      {"sort -modern -nodate DEST FILE", kFiles, {}, {}},
      {"the same sort again", kFindsCopy, {}, {}},
      {"info FILE", kReads, {"info", replay_file}, {"info", big_file}},
      {"stats FOLDER", kReads, {"stats", replay_folder}, {"stats", big_folder}},
  };
  for (Step& step : steps) {
    if (step.kind == kReads) continue;
    step.replay_args = sort;
    step.replay_args.insert(step.replay_args.end(), {replay_dest, replay_file});
    step.big_args = sort;
    step.big_args.insert(step.big_args.end(), {big_dest, big_file});
  }

  long peak_kb = -1;
  const char* peak_label = "";
  std::string copy;
  for (const Step& step : steps) {
    if (step.kind != kReads && !room) {
      printf("  %-36s %12s %12s\n", step.label, "n/a", "n/a");
      continue;
    }
    Measured m;
    m.replay_kb = Measure(self, cli, step.replay_args, replay_output, step.label);
    const int64_t start = NowNanoseconds();
    m.big_kb = Measure(self, cli, step.big_args, big_output, step.label);
    m.big_seconds = static_cast<double>(NowNanoseconds() - start) / 1e9;

    // The command says of the big file what it says of the replay, paths aside; info
    // also counts the bytes that follow the replay's last block, every one of them.
    const std::string said = ReadText(replay_output);
    std::string big_said = ReplaceAll(ReadText(big_output), big_folder, replay_folder);
    if (step.kind == kReads && step.replay_args[0] == std::string("info")) {
      const std::string after = "  file      " +
                                std::to_string(kBigLength - replay->bytes.size()) +
                                " bytes after the replay's last block, not the replay's\n";
      const size_t at = big_said.find(after);
      if (at == std::string::npos) Fail("info did not count the big file's bytes: " + big_said);
      big_said.erase(at, after.size());
    }
    if (said.empty() || said != big_said) {
      Fail(std::string(step.label) + " said of the real replay:\n" + said +
           "and of the big file:\n" + big_said);
    }
    const std::string answer = SortAnswer(said);
    if (step.kind == kReads && said.find("\t- ") != std::string::npos) {
      Fail(std::string(step.label) + " did not take the replay: " + said);
    }
    if (step.kind == kFiles) {
      if (answer.empty() || answer[0] == '-') Fail("sort did not file the replay: " + said);
      copy = big_dest + ReplaceAll(answer, "\\", "/");
      if (!SameBytes(big_file, copy)) Fail("sort's copy of the big file is not the same bytes");
    }
    if (step.kind == kFindsCopy) {
      const bool found = answer.compare(0, 16, "- already there:") == 0;
      // The copy goes now: all that follows only reads.
      if (!RemoveFile(copy)) Fail("cannot remove the copy of the big file");
      if (!found) Fail("sort again did not find the copy already there: " + said);
    }
    printf("  %-36s %12ld %12ld %12.2f\n", step.label, m.replay_kb, m.big_kb, m.big_seconds);
    fflush(stdout);
    if (m.big_kb > peak_kb) {
      peak_kb = m.big_kb;
      peak_label = step.label;
    }
  }
  RemoveTree(Folder);
  Folder.clear();

  if (!room) {
    printf("big_file_peak_over_floor_kb n/a\n");
    return 0;
  }
  printf("the largest peak, %s, over the floor:\n", peak_label);
  PrintFigure("big_file_peak_over_floor_kb", static_cast<double>(peak_kb - floor_kb), 0);
  return 0;
}
