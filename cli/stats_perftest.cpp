// Stats benchmark: `brindlecap-cli stats` over an archive of a few thousand
// distinct games made from the real replays, against inflating every block of
// every file of it with zlib on one thread and nothing else (reading each file
// included), which is the floor of any record read on one core; stats on one
// worker against that floor, on two workers against one, and with the default
// number (one per core) against it; and the peak memory of stats over half the
// archive and over all of it, which must grow with the number of games, not
// their size.
//
// Each game of the archive differs from the real one it comes from in what the
// game wrote: the slot table's random seed and the first player's name, changed
// inside the first block, which is deflated again. So no two files are copies of
// one game, and stats has to keep every one of them.
//
//   stats_perftest [--files=N] [--rounds=N]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/jobs.h"
#include "replay/file_header.h"
#include "replay/game.h"
#include "tests/perftest_support.h"
#include "tests/test_support.h"

namespace {

std::string SetFolder;

void Fail(const char* what) {
  fprintf(stderr, "stats_perftest: %s\n", what);
  RemoveTree(SetFolder);
  exit(1);
}

uint32_t Load16(const unsigned char* p) { return p[0] | (uint32_t{p[1]} << 8); }
uint32_t Load32(const unsigned char* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void Store16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Store32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The first block of a replay, inflated, and where it lies in the file.
struct FirstBlock {
  size_t replay;  // where the replay starts in the file (in a container, further in)
  uint32_t declared_size;  // the replay's size as its file header stores it
  size_t at;      // of its header
  size_t header;  // 8 or 12
  size_t packed;
  Bytes data;
};

bool TakeFirstBlock(const Bytes& file, FirstBlock* block) {
  const ReplaySpan span = LocateReplay(file.data(), file.size());
  ReplayFileHeader replay;
  if ((span.holder != kHolderReplay && span.holder != kHolderNetEase) ||
      !ReadReplayFileHeader(file.data() + span.offset, span.length, &replay)) {
    return false;
  }
  block->replay = span.offset;
  block->declared_size = replay.declared_size;
  block->at = span.offset + replay.first_block;
  block->header = replay.block_header;
  if (file.size() < block->at + block->header) return false;
  const unsigned char* h = file.data() + block->at;
  block->packed = block->header == 12 ? Load32(h) : Load16(h);
  const size_t holds = block->header == 12 ? Load32(h + 4) : Load16(h + 2);
  if (block->packed < 2 || block->packed > file.size() - block->at - block->header) return false;
  block->data.assign(holds, 0);
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(h + block->header + 2);
  stream.avail_in = static_cast<uInt>(block->packed - 2);
  stream.next_out = block->data.data();
  stream.avail_out = static_cast<uInt>(holds);
  while (stream.avail_out > 0 && inflate(&stream, Z_NO_FLUSH) == Z_OK) {
  }
  const bool whole = stream.avail_out == 0;
  inflateEnd(&stream);
  return whole;
}

// Replaces every occurrence of from in data by to (of the same length).
int ReplaceAll(Bytes* data, const Bytes& from, const Bytes& to) {
  int replaced = 0;
  for (size_t i = 0; from.size() > 0 && i + from.size() <= data->size(); ++i) {
    if (memcmp(data->data() + i, from.data(), from.size()) == 0) {
      memcpy(data->data() + i, to.data(), to.size());
      ++replaced;
      i += from.size() - 1;
    }
  }
  return replaced;
}

// A replay of another game: variant n of file, with its seed and its first
// player's first three letters changed in the first block, which is deflated again.
bool MakeVariant(const Bytes& file, const ReplayGame& game, unsigned n, Bytes* out) {
  FirstBlock block;
  if (!TakeFirstBlock(file, &block)) return false;
  Bytes seed(4), new_seed(4);
  Store32(seed.data(), game.random_seed);
  Store32(new_seed.data(), game.random_seed ^ (0x9E3779B9u * (n + 1)));
  if (ReplaceAll(&block.data, seed, new_seed) == 0) return false;
  for (int i = 0; i < game.players; ++i) {
    const std::string name = game.player[i].name;
    if (game.player[i].computer || name.size() < 3) continue;
    Bytes from(name.begin(), name.end());
    from.push_back(0);
    Bytes to = from;
    const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    to[0] = digits[n % 36];
    to[1] = digits[n / 36 % 36];
    to[2] = digits[n / 1296 % 36];
    ReplaceAll(&block.data, from, to);
    break;
  }
  uLongf packed_size = compressBound(static_cast<uLong>(block.data.size()));
  Bytes packed(packed_size);
  if (compress2(packed.data(), &packed_size, block.data.data(),
                static_cast<uLong>(block.data.size()), 6) != Z_OK) {
    return false;
  }
  if (block.header == 8 && packed_size > 0xFFFF) return false;
  out->assign(file.begin(), file.begin() + static_cast<long>(block.at + block.header));
  unsigned char* h = out->data() + block.at;
  if (block.header == 12) {
    Store32(h, static_cast<uint32_t>(packed_size));
  } else {
    Store16(h, static_cast<uint32_t>(packed_size));
  }
  out->insert(out->end(), packed.begin(), packed.begin() + static_cast<long>(packed_size));
  out->insert(out->end(), file.begin() + static_cast<long>(block.at + block.header + block.packed),
              file.end());
  // The replay's own length, which what a platform puts after it is no part of.
  Store32(out->data() + block.replay + 0x20,
          static_cast<uint32_t>(block.declared_size + packed_size - block.packed));
  return true;
}

// Builds count games under set, half in "a/" and half in "b/", dated by the
// names the game gives its replays over a few years.
std::vector<std::string> MakeArchive(const std::string& set, int count, size_t* bytes_total) {
  std::vector<RealReplay> replays = LoadRealReplays();
  std::vector<std::unique_ptr<ReplayGame>> games;
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  std::vector<const RealReplay*> usable;
  for (const RealReplay& replay : replays) {
    std::unique_ptr<ReplayGame> game(new ReplayGame);
    Bytes probe;
    if (ReadReplayGame(replay.bytes.data(), replay.bytes.size(), scratch.get(), game.get()) &&
        game->problem == kGameWhole && MakeVariant(replay.bytes, *game, 0, &probe)) {
      usable.push_back(&replay);
      games.push_back(std::move(game));
    }
  }
  if (usable.empty()) return {};
  PlatformMakeDirectory((set + "a").c_str());
  PlatformMakeDirectory((set + "b").c_str());
  std::vector<std::string> files;
  *bytes_total = 0;
  for (int i = 0; i < count; ++i) {
    const size_t which = static_cast<size_t>(i) % usable.size();
    Bytes bytes;
    // Numbered by the file, not by the round of sources: the two replays of one
    // game saved by each of its players are one game, and their variants must not be.
    if (!MakeVariant(usable[which]->bytes, *games[which], static_cast<unsigned>(i), &bytes)) {
      Fail("a variant could not be made");
    }
    const int day = i / 4;
    char name[64];
    // A NetEase file keeps its extension: stats walks both.
    const std::string& source = usable[which]->name;
    snprintf(name, sizeof name, "%s\\Replay_%d_%02d_%02d_%02d%02d%s", i < count / 2 ? "a" : "b",
             2022 + day / 336, day / 28 % 12 + 1, day % 28 + 1, i % 24, i % 60,
             source.substr(source.size() - 4).c_str());
    files.push_back(set + name);
    if (!WriteFileBytes(files.back(), bytes)) Fail("cannot write the archive (is the disk full?)");
    *bytes_total += bytes.size();
  }
  printf("stats archive: %d games, %.2f GB, made from %zu real replays\n", count,
         static_cast<double>(*bytes_total) / 1e9, usable.size());
  return files;
}

std::string Native(std::string path) {
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

// Reads every file whole and inflates its blocks: the floor.
size_t InflateArchive(const std::vector<std::string>& files, unsigned char* window) {
  size_t total = 0;
  Bytes bytes;
  for (const std::string& file : files) {
    if (!ReadFileBytes(file, &bytes)) Fail("the floor cannot read a file");
    total += InflateBlocks(bytes.data(), bytes.size(), window);
  }
  return total;
}

// One stats run in this process, as the command line runs it, on jobs workers (0:
// as many as stats takes by default). Returns its exit code.
int StatsHere(const std::string& folder, int jobs) {
  std::vector<std::string> args = {"brindlecap-cli", "stats", "--json", Native(folder)};
  if (jobs > 0) {
    args.push_back("--jobs");
    args.push_back(std::to_string(jobs));
  }
  return RunQuietly(
      [](int argc, char** argv, FILE* out, FILE* err) { return RunCli(argc, argv, out, err); },
      args);
}

// The peak memory of brindlecap-cli run with args, or the end of the run.
long PeakKb(const std::string& self, const std::string& cli, const std::vector<std::string>& args,
            const std::string& output) {
  const long kb = ::PeakKb(self, cli, args, output, Native(SetFolder));
  if (kb < 0) Fail("brindlecap-cli stats failed, or its peak memory was not reported");
  return kb;
}

// A count of a --json record (its first field of that name), from its text.
int JsonNumber(const std::string& path, const char* field) {
  Bytes bytes;
  if (!ReadFileBytes(path, &bytes)) return -1;
  const std::string text(bytes.begin(), bytes.end());
  const std::string key = std::string("\"") + field + "\":";
  const size_t at = text.find(key);
  return at == std::string::npos ? -1 : atoi(text.c_str() + at + key.size());
}

double Seconds(int64_t start) { return static_cast<double>(NowNanoseconds() - start) / 1e9; }

}  // namespace

int main(int argc, char** argv) {
  int measured = 0;
  if (AnswerMeasure(argc, argv, &measured)) return measured;
  int count = 3500;
  int rounds = 5;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--files=", 8) == 0) count = atoi(argv[i] + 8);
    if (strncmp(argv[i], "--rounds=", 9) == 0) rounds = atoi(argv[i] + 9);
  }
  if (count < 2 || rounds < 1) Fail("usage: stats_perftest [--files=N] [--rounds=N]");
  const std::string me = SelfPath();
  if (me.empty()) Fail("cannot tell where this program lies");
  const std::string cli = me.substr(0, me.rfind('/') + 1) + "brindlecap-cli";

  const std::string set = MakeTempFolder();
  if (set.empty()) Fail("cannot make a temporary folder");
  SetFolder = set;
  size_t total = 0;
  const std::vector<std::string> files = MakeArchive(set, count, &total);
  if (files.empty()) {
    RemoveTree(set);
    printf("stats_vs_inflate_ratio n/a\nstats_jobs2_vs_jobs1_ratio n/a\n"
           "stats_default_jobs_vs_zlib_inflate_ratio n/a\nstats_peak_kb n/a\n");
    return 0;
  }

  // Memory first, each run a process of its own: half the archive, all of it,
  // and the program doing nothing, which is the floor both stand on.
  const std::string json = Native(set) + "record.json";
  const long floor_kb = PeakKb(me, cli, {"--version"}, "/dev/null");
  const long half_kb = PeakKb(me, cli, {"stats", "--json", Native(set + "a")}, json);
  const int half_games = JsonNumber(json, "replays_read") - JsonNumber(json, "duplicates");
  const long whole_kb = PeakKb(me, cli, {"stats", "--json", Native(set)}, json);
  const int duplicates = JsonNumber(json, "duplicates");
  const int whole_games = JsonNumber(json, "replays_read") - duplicates;
  if (whole_games != count || duplicates != 0) {
    fprintf(stderr, "stats_perftest: stats counted %d games and %d duplicates of %d\n",
            whole_games, duplicates, count);
    Fail("the archive's games are not all distinct to stats");
  }
  // The same on one worker: what the other workers' scratch and buffers add.
  const long one_job_half_kb =
      PeakKb(me, cli, {"stats", "--json", "--jobs", "1", Native(set + "a")}, json);
  const long one_job_kb = PeakKb(me, cli, {"stats", "--json", "--jobs", "1", Native(set)}, json);
  RemoveFile(set + "record.json");

  std::unique_ptr<unsigned char[]> window(new unsigned char[kGameWindowSize]);
  // What each round times, in an order that turns round by round so that no one
  // measure always runs first, after another or under the same load: stats on one
  // worker, on two, with the default number of workers (when that is not two,
  // which it is on a machine of two cores: the two-worker run stands for it), and
  // the floor.
  const int default_jobs = DefaultJobs();
  enum { kOne, kTwo, kDefault, kFloor, kMeasures };
  const char* const names[kMeasures] = {"stats --jobs 1", "stats --jobs 2", "stats", "inflate"};
  std::vector<double> samples[kMeasures];
  std::vector<double> ratios, two_vs_one, default_vs_floor;
  InflateArchive(files, window.get());  // warm the page cache
  for (int round = 0; round < rounds; ++round) {
    double seconds[kMeasures] = {0, 0, 0, 0};
    for (int turn = 0; turn < kMeasures; ++turn) {
      const int measure = (turn + round) % kMeasures;
      if (measure == kDefault && default_jobs == 2) continue;
      const int64_t start = NowNanoseconds();
      if (measure == kFloor) {
        InflateArchive(files, window.get());
      } else if (StatsHere(set, measure == kOne ? 1 : measure == kTwo ? 2 : 0) != 0) {
        Fail("stats failed");
      }
      seconds[measure] = Seconds(start);
    }
    if (default_jobs == 2) seconds[kDefault] = seconds[kTwo];
    printf("round %d:", round + 1);
    for (int m = 0; m < kMeasures; ++m) {
      printf("%s %s %.3f s", m > 0 ? "," : "", names[m], seconds[m]);
      samples[m].push_back(seconds[m]);
    }
    printf("\n");
    const double floor = seconds[kFloor];
    ratios.push_back(floor > 0 ? seconds[kOne] / floor : 0);
    two_vs_one.push_back(seconds[kOne] > 0 ? seconds[kTwo] / seconds[kOne] : 0);
    default_vs_floor.push_back(floor > 0 ? seconds[kDefault] / floor : 0);
  }
  RemoveTree(set);
  SetFolder.clear();

  printf("stats_seconds jobs 1: %.3f, jobs 2: %.3f, default (%d jobs): %.3f; inflate_seconds "
         "%.3f (medians of %d rounds over %d files)\n",
         Median(&samples[kOne]), Median(&samples[kTwo]), default_jobs,
         Median(&samples[kDefault]), Median(&samples[kFloor]), rounds, count);
  printf("stats_peak_kb games %d: %ld; games %d: %ld (on one worker: %ld and %ld); "
         "brindlecap-cli --version: %ld\n",
         half_games, half_kb, whole_games, whole_kb, one_job_half_kb, one_job_kb, floor_kb);
  if (whole_games > half_games) {
    printf("stats_bytes_per_game on one worker: %.0f\n",
           static_cast<double>(one_job_kb - one_job_half_kb) * 1024.0 /
               (whole_games - half_games));
  }
  const double per_game = whole_games > half_games
                              ? static_cast<double>(whole_kb - half_kb) * 1024.0 /
                                    (whole_games - half_games)
                              : 0;
  PrintFigure("stats_vs_inflate_ratio", Median(&ratios), 3);
  PrintFigure("stats_jobs2_vs_jobs1_ratio", Median(&two_vs_one), 3);
  PrintFigure("stats_default_jobs_vs_zlib_inflate_ratio", Median(&default_vs_floor), 3);
  PrintFigure("stats_peak_kb", static_cast<double>(whole_kb), 0);
  PrintFigure("stats_peak_half_kb", static_cast<double>(half_kb), 0);
  PrintFigure("stats_bytes_per_game", per_game, 0);
  return 0;
}
