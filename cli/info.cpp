// brindlecap-cli info: what a whole replay tells, for a player on a terminal or,
// with --json, one object per line for other tools.
#include <inttypes.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "cli/commands.h"
#include "cli/jobs.h"
#include "naming/game_time.h"
#include "naming/name.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "replay/text.h"
#include "watcher/filing.h"

const char kInfoUsage[] =
    "usage: brindlecap-cli info [-modern] [--json] [--jobs N] FILE...\n"
    "  Reads each replay FILE whole and prints the game version and build, the\n"
    "  kind of game (as the subfolder it would be filed in; with -modern as the\n"
    "  length-aware reading names it), the map, the length, the date of the game,\n"
    "  every player (team, colour, race, computer or not, actions per minute, when\n"
    "  they left), the observers, and the winners with the rule that decided them:\n"
    "  explicit (a recorded result), saver (the saver's closing record), order (the\n"
    "  side that stayed) or unknown. A damaged or unfinished replay gives what it\n"
    "  holds and no winner. --json prints one JSON object per FILE, one a line.\n"
    "  A FILE that cannot be read gets a line with the reason, and the exit code 1.\n"
    "  --jobs N reads N files at a time (default: the number of cores), and prints\n"
    "  them in the order given, as one at a time would.\n";

namespace {

const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

// The day of the game, as sort -modern dates it: from a name the game gives its
// replays, else from the file's last-write time.
void GameDate(const char* path, char* out, size_t size) {
  NameDate time;
  if (!TimeFromReplayName(FileNameOf(path), &time)) {
    int64_t stamp = -1;  // 64 bits: a game after January 2038 keeps its date
    char spelt[kPathSize];
    if (PlatformPathFromSystem(path, spelt, sizeof spelt)) PlatformProbe(spelt, &stamp);
    PlatformTime written;
    PlatformTimeFromStamp(stamp, &written);
    time = NameDateOf(written);
  }
  snprintf(out, size, "%04d-%02d-%02d %02d:%02d", time.year, time.month, time.day, time.hour,
           time.minute);
}

// "1.02" for 2, "1.26" for 26, "1.32" for 10032, "2.0" for 10100.
void VersionText(uint32_t version, char* out, size_t size) {
  const uint32_t minor = version >= 10000 ? version - 10000 : version;
  if (minor < 10) {
    snprintf(out, size, "1.0%" PRIu32, minor);
  } else if (minor < 100) {
    snprintf(out, size, "1.%" PRIu32, minor);
  } else {
    snprintf(out, size, "%" PRIu32 ".%" PRIu32, minor / 100 + 1, minor % 100);
  }
}

const char* RaceText(int race) {
  if (race & 0x20) return "random";
  if (race & 0x01) return "human";
  if (race & 0x02) return "orc";
  if (race & 0x04) return "night elf";
  if (race & 0x08) return "undead";
  return "unknown";
}

// What the header decode needs beside the file: the reading -modern chooses, and
// its scratch and result (together some 150 KB, taken once per command).
struct HeaderDecode {
  HeaderReading reading;
  DecodeScratch scratch;
  DecodeResult result;
};

// The subfolder the replay would be filed in, as {type} gives it: "1v1", "FFA",
// "Custom", ...; read as the naming reads it (-modern included).
void GameType(const unsigned char* bytes, size_t length, HeaderDecode* header, char* out,
              size_t size) {
  DecodeReplay(bytes, length, header->reading, &header->scratch, &header->result);
  snprintf(out, size, "%s", ChooseSubfolder(&header->result));
  const size_t written = strlen(out);
  if (written > 0 && out[written - 1] == '\\') out[written - 1] = '\0';
}

// A game time as 1h02m03s, 12m05s or 45s.
void TimeText(long long ms, char* out, size_t size) {
  const long long seconds = ms / 1000;
  if (seconds >= 3600) {
    snprintf(out, size, "%lldh%02lldm%02llds", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else if (seconds >= 60) {
    snprintf(out, size, "%lldm%02llds", seconds / 60, seconds % 60);
  } else {
    snprintf(out, size, "%llds", seconds);
  }
}


// The names of the players with the flag set, as a JSON array.
void PutNames(const ReplayGame& game, bool GamePlayer::*flag, FILE* out) {
  const char* separator = "";
  fputc('[', out);
  for (int i = 0; i < game.players; ++i) {
    if (!(game.player[i].*flag)) continue;
    fputs(separator, out);
    separator = ",";
    PutJsonString(game.player[i].name, out);
  }
  fputc(']', out);
}

// What both forms print besides the reading's result.
struct Described {
  char version[32];
  char type[32];
  char date[32];
  uint64_t trailing_bytes;  // after the replay's last block to the file's end
};

// bytes[0, length) is what was held of a file of file_length bytes: its head when
// it is longer, whose rest lies after the replay's blocks too.
void Describe(const char* path, const unsigned char* bytes, size_t length, uint64_t file_length,
              const ReplayGame& game, HeaderDecode* header, Described* d) {
  d->trailing_bytes = game.trailing_bytes;
  if (game.problem == kGameWhole && game.blocks_declared > 0) {
    d->trailing_bytes += file_length - length;
  }
  VersionText(game.version, d->version, sizeof d->version);
  GameType(bytes, length, header, d->type, sizeof d->type);
  GameDate(path, d->date, sizeof d->date);
}

void PrintJson(const char* path, const ReplayGame& game, const Described& d, FILE* out) {
  fputs("{\"file\":", out);
  PutJsonString(path, out);
  fprintf(out, ",\"version\":\"%s\",\"version_number\":%" PRIu32 ",\"build\":%" PRIu32, d.version,
          game.version, game.build);
  fprintf(out, ",\"expansion\":%s,\"type\":\"%s\",\"game_name\":",
          game.expansion ? "true" : "false", d.type);
  PutJsonString(game.game_name, out);
  fputs(",\"map\":", out);
  PutJsonString(game.map_path, out);
  fprintf(out, ",\"length_ms\":%" PRIu32 ",\"game_ms\":%lld,\"date\":\"%s\"", game.length_ms,
          game.game_ms, d.date);
  fprintf(out, ",\"complete\":%s,\"problem\":\"%s\",\"ended\":%s",
          game.problem == kGameWhole ? "true" : "false", GameProblemText(game.problem),
          game.ended ? "true" : "false");
  fprintf(out, ",\"replay_offset\":%" PRIu64 ",\"trailing_bytes\":%" PRIu64, game.replay_offset,
          d.trailing_bytes);
  fputs(",\"players\":[", out);
  bool first = true;
  for (int i = 0; i < game.players; ++i) {
    const GamePlayer& p = game.player[i];
    if (p.observer) continue;
    fputs(first ? "{\"name\":" : ",{\"name\":", out);
    first = false;
    PutJsonString(p.name, out);
    fprintf(out,
            ",\"id\":%d,\"team\":%d,\"colour\":%d,\"race\":\"%s\",\"computer\":%s,"
            "\"actions\":%lld,\"apm\":%d,\"left_ms\":%lld,\"won\":%s}",
            p.id, p.team, p.colour, RaceText(p.race), p.computer ? "true" : "false", p.actions,
            p.apm, p.left_ms, p.won ? "true" : "false");
  }
  fputs("],\"observers\":", out);
  PutNames(game, &GamePlayer::observer, out);
  fputs(",\"winners\":", out);
  PutNames(game, &GamePlayer::won, out);
  fprintf(out, ",\"basis\":\"%s\",\"draw\":%s}\n", GameBasisText(game.basis),
          game.draw ? "true" : "false");
}

void PrintText(const char* path, const ReplayGame& game, const Described& d, FILE* out) {
  char length[32];
  TimeText(game.length_ms, length, sizeof length);
  fprintf(out, "%s\n", path);
  fprintf(out, "  game      %s (version %" PRIu32 ", build %" PRIu32 ")%s, %s, \"%s\"\n",
          d.version, game.version, game.build, game.expansion ? " The Frozen Throne" : "", d.type,
          game.game_name);
  fprintf(out, "  map       %s\n", game.map_path[0] != '\0' ? game.map_path : "(unknown)");
  fprintf(out, "  length    %s   date %s\n", length, d.date);
  if (game.in_container) {
    fprintf(out, "  file      a NetEase container: the replay from byte %" PRIu64 " on\n",
            game.replay_offset);
  }
  if (d.trailing_bytes > 0) {
    fprintf(out, "  file      %" PRIu64 " bytes after the replay's last block, not the replay's\n",
            d.trailing_bytes);
  }
  if (game.problem != kGameWhole) {
    fprintf(out, "  read      %s: what comes before it is shown\n", GameProblemText(game.problem));
  } else if (!game.ended) {
    fputs("  read      unfinished: the game's end is not in the replay\n", out);
  }
  fputs("  players\n", out);
  for (int i = 0; i < game.players; ++i) {
    const GamePlayer& p = game.player[i];
    if (p.observer) continue;
    char left[32] = "stayed";
    if (p.left_ms >= 0) {
      char at[24];
      TimeText(p.left_ms, at, sizeof at);
      snprintf(left, sizeof left, "left at %s", at);
    }
    fprintf(out, "    %-24s team %2d  colour %2d  %-9s %-8s  APM %4d  %s%s\n", p.name, p.team,
            p.colour, RaceText(p.race), p.computer ? "computer" : "", p.apm, left,
            p.won ? "  won" : "");
  }
  bool any = false;
  for (int i = 0; i < game.players; ++i) {
    if (!game.player[i].observer) continue;
    fputs(any ? ", " : "  observers ", out);
    fputs(game.player[i].name, out);
    any = true;
  }
  if (any) fputc('\n', out);
  fputs("  result    ", out);
  if (game.basis == kBasisUnknown) {
    fputs("unknown\n", out);
    return;
  }
  if (game.draw) {
    fputs("a draw", out);
  } else {
    fprintf(out, "team %d won:", game.winning_team);
    for (int i = 0; i < game.players; ++i) {
      if (game.player[i].won) fprintf(out, " %s", game.player[i].name);
    }
  }
  fprintf(out, " (%s)\n", GameBasisText(game.basis));
}

// What one worker reads with, taken once for all the files it reads: the
// readings' whole working memory.
struct InfoReader {
  GameReadScratch scratch;
  HeaderDecode header;
  HeadBuffer file;  // the file read last
};

// What one FILE gave, from the worker that read it to the output.
struct InfoResult {
  const char* problem;  // NULL: the game was read (whole or not)
  ReplayGame game;
  Described described;
};

// Reads one replay and all that is printed of it.
void ReadInfo(const char* path, InfoReader* reader, InfoResult* result) {
  const unsigned char* bytes = nullptr;
  size_t length = 0;
  uint64_t file_length = 0;
  result->problem = ReadOperandHead(path, &reader->file, &bytes, &length, &file_length);
  if (result->problem == nullptr &&
      !ReadReplayGame(bytes, length, &reader->scratch, &result->game)) {
    result->problem = GameProblemText(result->game.problem);
  }
  if (result->problem == nullptr) {
    Describe(path, bytes, length, file_length, result->game, &reader->header,
             &result->described);
  }
}

// Prints one replay's result. Returns 0, or 1 when it could not be read.
int PrintInfo(const char* path, bool json, const InfoResult& result, FILE* out) {
  if (result.problem != nullptr) {
    if (json) {
      fputs("{\"file\":", out);
      PutJsonString(path, out);
      fputs(",\"error\":", out);
      PutJsonString(result.problem, out);
      fputs("}\n", out);
    } else {
      fprintf(out, "%s\t- %s\n", path, result.problem);
    }
    return 1;
  }
  if (json) {
    PrintJson(path, result.game, result.described, out);
  } else {
    PrintText(path, result.game, result.described, out);
  }
  return 0;
}

// The FILEs of one run, read on the workers and printed in their order.
struct InfoRun {
  char** paths;
  bool json;
  InfoReader* readers;   // by worker
  InfoResult* results;   // by slot
  FILE* out;
  int status;
};

void ReadInfoItem(void* context, int worker, int item, int slot) {
  InfoRun* run = static_cast<InfoRun*>(context);
  ReadInfo(run->paths[item], &run->readers[worker], &run->results[slot]);
}

bool TakeInfoItem(void* context, int item, int slot) {
  InfoRun* run = static_cast<InfoRun*>(context);
  run->status |= PrintInfo(run->paths[item], run->json, run->results[slot], run->out);
  return true;
}

}  // namespace

int CommandInfo(int argc, char** argv, FILE* out, FILE* err) {
  bool json = false;
  HeaderReading reading = kFixedReading;
  int jobs = DefaultJobs();
  SwitchWalk walk = StartSwitchWalk(argc, argv);
  for (const char* word; (word = NextSwitch(&walk)) != nullptr;) {
    if (strcmp(word, "-modern") == 0) {
      reading = kLengthReading;
    } else if (strcmp(word, "--json") == 0) {
      json = true;
    } else if (strcmp(word, "--jobs") == 0) {
      jobs = ParseJobs(TakeSwitchValue(&walk));
      if (jobs == 0) return UsageError(err, kInfoUsage, kJobsProblem);
    } else if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) {
      fputs(kInfoUsage, out);
      return 0;
    } else {
      fprintf(err, "brindlecap-cli: unknown switch '%s'\n", word);
      return UsageError(err, kInfoUsage, nullptr);
    }
  }
  const int first = walk.first;
  if (first >= argc) return UsageError(err, kInfoUsage, "info needs at least one FILE");
  const int count = argc - first;
  const int workers = count < jobs ? count : jobs;
  const int slots = SlotsFor(workers, count);
  InfoReader* readers = new (std::nothrow) InfoReader[workers]();
  InfoResult* results = new (std::nothrow) InfoResult[slots]();
  if (readers == nullptr || results == nullptr) {
    delete[] readers;
    delete[] results;
    fputs("brindlecap-cli: out of memory\n", err);
    return 1;
  }
  for (int w = 0; w < workers; ++w) readers[w].header.reading = reading;
  InfoRun run = {argv + first, json, readers, results, out, 0};
  const OrderedWork work = {count, workers, &run, ReadInfoItem, TakeInfoItem};
  RunOrdered(work);
  for (int w = 0; w < workers; ++w) free(readers[w].file.bytes);
  delete[] readers;
  delete[] results;
  return run.status;
}

// A JSON string: quotes, backslashes and control bytes escaped, and every byte
// that does not belong to a well-formed UTF-8 character written as U+FFFD, so
// that a damaged name still gives a line other tools can parse.
void PutJsonString(const char* text, FILE* out) {
  fputc('"', out);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned c = *p;
    if (c == '"' || c == '\\') {
      fputc('\\', out);
      fputc(static_cast<int>(c), out);
      ++p;
      continue;
    }
    if (c < 0x20) {
      fprintf(out, "\\u%04x", c);
      ++p;
      continue;
    }
    const size_t length = Utf8CharacterLength(p);
    if (length == 0) {
      fputs("\\ufffd", out);
      ++p;
    } else {
      fwrite(p, 1, length, out);
      p += length;
    }
  }
  fputc('"', out);
}
