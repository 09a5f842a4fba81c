// Fuzz target of the whole-replay reading. An input stands for a replay file as
// GameFuzzFile (game_fuzz_input.h) lays it out: the real replay's blocks, lying,
// damaged and cut, or data of the fuzzer's own cut into blocks.
// Every input is read twice, into scratches filled differently beforehand: the
// two results must be the same bytes, so nothing read depends on what a scratch
// held. It is read a third time with every block streamed through zlib alone, as
// before libdeflate: that result must be the same bytes too, whichever blocks
// libdeflate took or refused. Then the result must hold together (see Check).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "replay/game.h"
#include "replay/game_fuzz_input.h"

namespace {

typedef std::vector<unsigned char> Bytes;

[[noreturn]] void Broken(const char* promise) {
  fprintf(stderr, "game_fuzz: broken promise: %s\n", promise);
  abort();
}

bool Terminated(const char* text, size_t size) { return memchr(text, 0, size) != nullptr; }

void Check(bool readable, const ReplayGame& game) {
  if (readable != game.readable) Broken("the return value is readable");
  if (!Terminated(game.game_name, sizeof game.game_name)) Broken("game name ends");
  if (!Terminated(game.map_path, sizeof game.map_path)) Broken("map path ends");
  if (game.players < 0 || game.players > kGameMaxPlayers) Broken("players in range");
  if (!readable && (game.players != 0 || game.basis != kBasisUnknown)) {
    Broken("an unreadable replay has no players and no result");
  }
  if (game.problem != kGameWhole && game.basis != kBasisUnknown) {
    Broken("a damaged replay has no result");
  }
  if ((game.basis == kBasisUnknown || game.draw) != (game.winning_team < 0)) {
    Broken("a result names a winning team, unknown and draw none");
  }
  int winners = 0;
  bool seen[256] = {};
  for (int i = 0; i < game.players; ++i) {
    const GamePlayer& p = game.player[i];
    if (!Terminated(p.name, sizeof p.name)) Broken("player name ends");
    if (p.id < 0 || p.id > 255 || seen[p.id]) Broken("one player per id");
    seen[p.id] = true;
    if (p.team < 0 || p.team > 255 || p.slot < 0 || p.slot > 255) Broken("team and slot");
    if (p.actions < 0 || p.apm < 0) Broken("actions counted up");
    if (p.active_ms < 0 || p.active_ms > game.game_ms) Broken("active within the game");
    if (p.left_ms < -1 || p.left_ms > game.game_ms) Broken("left within the game");
    if (p.active_ms == 0 && p.apm != 0) Broken("no APM without activity");
    if (p.won) {
      ++winners;
      if (p.observer || p.team != game.winning_team) Broken("winners are the winning team");
    }
  }
  if (game.winning_team >= 0 && winners == 0) Broken("a winning team has players");
}

GameReadScratch* NewScratch(unsigned char fill) {
  GameReadScratch* scratch = static_cast<GameReadScratch*>(malloc(sizeof(GameReadScratch)));
  if (scratch == nullptr) abort();
  memset(static_cast<void*>(scratch), fill, sizeof *scratch);
  return scratch;
}

// Stops with the first byte where two results differ.
void Same(const ReplayGame& one, const ReplayGame& two, const char* promise) {
  if (memcmp(&one, &two, sizeof one) == 0) return;
  const unsigned char* a = reinterpret_cast<const unsigned char*>(&one);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&two);
  size_t at = 0;
  while (a[at] == b[at]) ++at;
  fprintf(stderr, "game_fuzz: the results differ from byte %zu of %zu on\n", at, sizeof one);
  Broken(promise);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static GameReadScratch* first = NewScratch(0x00);
  static GameReadScratch* second = NewScratch(0xA5);
  Bytes file;
  GameFuzzFile(data, size, &file);
  // An exactly sized copy, so that AddressSanitizer sees any byte read past the file.
  unsigned char* bytes = static_cast<unsigned char*>(malloc(file.size()));
  memcpy(bytes, file.data(), file.size());
  ReplayGame one;
  ReplayGame two;
  ReplayGame streamed;
  const bool readable = ReadReplayGame(bytes, file.size(), first, &one);
  // The second scratch is left as the last input left it, the first wiped anew.
  memset(static_cast<void*>(first), static_cast<int>(size & 0xFF), sizeof *first);
  ReadReplayGame(bytes, file.size(), second, &two);
  ReadReplayGameWithZlib(bytes, file.size(), first, &streamed);
  free(bytes);
  Same(one, two, "the result depends on the scratch's bytes");
  Same(one, streamed, "libdeflate and zlib read the same");
  Check(readable, one);
  return 0;
}
