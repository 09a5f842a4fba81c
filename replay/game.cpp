#include "replay/game.h"

#include <string.h>

#include "replay/actions.h"
#include "replay/blocks.h"
#include "replay/decode.h"
#include "replay/text.h"

namespace {

const char kLeadingText[] = "Warcraft III recorded game";
const char kComputerName[] = "Computer";

// File header fields.
const size_t kHeaderVersionAt = 0x24;
const size_t kBlockCountAt = 0x2C;
const size_t kGameIdAt = 0x30;
const size_t kVersionAt = 0x34;
const size_t kBuildAt = 0x38;
const size_t kFlagsAt = 0x3A;
const size_t kLengthAt = 0x3C;
const uint32_t kExpansionId = 0x57335850;  // "PX3W" as the file stores it, 'W3XP' read as u32

// Records before the game.
const unsigned kPlayerRecord = 0x16;
const unsigned kSlotTable = 0x19;
// Metadata records of the current game (0x39 in 1.32 files, 0x38 from 2.0.2 on):
// kind, subtype, u32 length, data.
const unsigned kMetadata = 0x38;
const unsigned kOldMetadata = 0x39;
const size_t kLeadingField = 4;      // u32 before the host record
const size_t kGameFields = 12;       // player count, game type, language after the settings
const size_t kPlayerRecordTail = 4;  // after a player record's extra data
const size_t kSlotTableFixed = 7;    // count byte, u32 seed, select mode, start spots
const size_t kSlotFieldsNeeded = 7;  // id, download, status, computer, team, colour, race
const unsigned kSlotUsed = 2;

// Records of the game and their sizes, kind byte included.
const unsigned kPadding = 0x00;
const unsigned kStartA = 0x1A;
const unsigned kStartB = 0x1B;
const unsigned kStartC = 0x1C;
const size_t kStartSize = 5;
const unsigned kTimeSlot = 0x1F;
const unsigned kOldTimeSlot = 0x1E;
const size_t kTimeSlotHead = 5;  // kind, u16 length, u16 time increment
const size_t kCommandHead = 3;   // player id, u16 length
const unsigned kLeave = 0x17;
const size_t kLeaveSize = 14;    // kind, u32 reason, player id, u32 result, u32 counter
const unsigned kChat = 0x20;
const size_t kChatHead = 4;      // kind, player id, u16 length
const unsigned kChecksum = 0x22;
const unsigned kRecord23 = 0x23;
const size_t kRecord23Size = 11;
const unsigned kForcedEnd = 0x2F;
const size_t kForcedEndSize = 9;

// Leave record fields.
const uint32_t kClosedBySaver = 0x0C;
const uint32_t kResultLost = 0x08;
const uint32_t kResultWon = 0x09;
const uint32_t kResultDraw = 0x0A;

// Observers sit in team 24, or in team 12 in files older than version 29.
const int kObserverTeam = 24;
const int kOldObserverTeam = 12;
const uint32_t kOldObserversBelow = 29;


// Copies text[0, length) into out as a string, cut at the end of a letter when it
// does not fit.
void CopyText(const unsigned char* text, size_t length, char* out, size_t out_size) {
  size_t kept = length < out_size - 1 ? length : out_size - 1;
  if (kept < length) {
    while (kept > 0 && (text[kept] & 0xC0) == 0x80) --kept;
  }
  memcpy(out, text, kept);
  out[kept] = '\0';
}

// What the leave records told so far, folded as they come so that a thousand of
// them take no more memory than one.
struct LeaveState {
  long long records;
  bool has_previous;
  uint32_t previous_counter;
  // The latest record closed by the saver's own game.
  bool closing;
  int closing_id;
  long long closing_seq;
  uint32_t closing_counter;
  bool closing_has_previous;
  uint32_t closing_previous_counter;
  // Results in records closed by the saver's game: they speak for the saver.
  bool saver_won;
  bool saver_lost;
  bool draw;
  // Results in other records, for the record's own player's team.
  bool team_won[256];
  bool team_lost[256];
};

struct PlayerState {
  long long left_seq;  // index of the player's first leave record; -1
  bool left_by_self;   // that record was not closed by the saver's game
};

struct Reader {
  BlockStream blocks;
  GameReadScratch* scratch;
  ReplayGame* game;
  int player_of_id[256];  // index into game->player, -1 for none
  PlayerState state[kGameMaxPlayers];
  LeaveState leave;
  bool ran_short;  // the data ended inside a record
};

const unsigned char* At(Reader* r) { return r->blocks.window + r->blocks.lo; }

// Makes count bytes available; notes a record cut short when they are not there.
bool Have(Reader* r, size_t count) {
  if (Need(&r->blocks, count) >= count) return true;
  r->ran_short = true;
  return false;
}

bool TakeByte(Reader* r, unsigned* value) {
  if (!Have(r, 1)) return false;
  *value = At(r)[0];
  r->blocks.lo += 1;
  return true;
}

// Makes a NUL-terminated string available whole at At(r), without consuming it;
// *length is its length without the NUL. It must fit in the window.
bool FindString(Reader* r, size_t* length) {
  size_t have = Need(&r->blocks, 1);
  size_t searched = 0;
  for (;;) {
    const unsigned char* start = At(r);
    const void* nul = memchr(start + searched, 0, have - searched);
    if (nul != nullptr) {
      *length = static_cast<size_t>(static_cast<const unsigned char*>(nul) - start);
      return true;
    }
    searched = have;
    if (have >= kGameWindowSize || (have = Need(&r->blocks, have + 1)) <= searched) {
      r->ran_short = true;
      return false;
    }
  }
}

// A string: as much of it as fits goes into out (when not NULL).
bool TakeString(Reader* r, char* out, size_t out_size) {
  size_t length = 0;
  if (!FindString(r, &length)) return false;
  if (out != nullptr) CopyText(At(r), length, out, out_size);
  r->blocks.lo += length + 1;
  return true;
}

// The encoded settings string: only the map path is kept.
bool TakeSettings(Reader* r) {
  size_t length = 0;
  if (!FindString(r, &length)) return false;
  DecodeMapPath(At(r), length, 0, r->game->map_path, sizeof r->game->map_path);
  r->blocks.lo += length + 1;
  return true;
}

// A host or player record's player id, name and extra data.
bool TakePlayerRecord(Reader* r) {
  unsigned id = 0;
  unsigned extra = 0;
  GameReadScratch* s = r->scratch;
  if (!TakeByte(r, &id)) return false;
  char* name = s->has_record[id] ? nullptr : s->record_name[id];
  if (!TakeString(r, name, kGameNameSize) || !TakeByte(r, &extra) ||
      !SkipBytes(&r->blocks, extra)) {
    r->ran_short = true;
    return false;
  }
  s->has_record[id] = true;
  return true;
}

// The slot table: one player per player id, the first slot that has it, in slot order.
bool TakeSlotTable(Reader* r) {
  ReplayGame* game = r->game;
  if (!Have(r, 3)) return false;
  const size_t table_length = LoadU16(At(r) + 1);
  if (table_length < kSlotTableFixed || !Have(r, 3 + table_length)) return false;
  const unsigned char* table = At(r) + 3;
  const unsigned count = table[0];
  if (count == 0) return false;
  const size_t slot_size = (table_length - kSlotTableFixed) / count;
  if (slot_size < kSlotFieldsNeeded) return false;
  for (unsigned i = 0; i < count && game->players < kGameMaxPlayers; ++i) {
    const unsigned char* slot = table + 1 + i * slot_size;
    const unsigned id = slot[0];
    if (slot[2] != kSlotUsed || r->player_of_id[id] >= 0) continue;
    r->player_of_id[id] = game->players;
    GamePlayer* p = &game->player[game->players++];
    memset(p, 0, sizeof *p);
    p->id = static_cast<int>(id);
    p->slot = static_cast<int>(i);
    p->computer = slot[3] != 0;
    p->team = slot[4];
    p->colour = slot[5];
    p->race = slot[6];
    p->ai_strength = slot_size > 7 ? slot[7] : 0;
    p->handicap = slot_size > 8 ? slot[8] : 100;
    p->observer = p->team == game->observer_team;
    p->left_ms = -1;
    if (p->computer) {
      memcpy(p->name, kComputerName, sizeof kComputerName);
    } else if (r->scratch->has_record[id]) {
      // Only up to its NUL: what follows in the scratch is an older reading's.
      const char* name = r->scratch->record_name[id];
      memcpy(p->name, name, strlen(name) + 1);
    }
  }
  game->random_seed = LoadU32(table + 1 + count * slot_size);
  r->blocks.lo += 3 + table_length;
  return true;
}

// The records before the game: host record, game name, password, settings, the
// fixed fields, player records, metadata records and the slot table.
bool ReadHeaderRecords(Reader* r) {
  ReplayGame* game = r->game;
  unsigned host = 0;
  if (!SkipBytes(&r->blocks, kLeadingField + 1) || !Have(r, 1)) return false;
  host = At(r)[0];
  game->host_id = static_cast<int>(host);
  if (!TakePlayerRecord(r) || !TakeString(r, game->game_name, sizeof game->game_name) ||
      !TakeString(r, nullptr, 0) || !TakeSettings(r) || !Have(r, kGameFields)) {
    return false;
  }
  game->game_type = At(r)[4];
  game->private_game = At(r)[5] != 0;
  r->blocks.lo += kGameFields;
  unsigned kind = 0;
  for (;;) {
    if (!Have(r, 1)) return false;
    kind = At(r)[0];
    if (kind != kPlayerRecord) break;
    r->blocks.lo += 1;
    if (!TakePlayerRecord(r) || !SkipBytes(&r->blocks, kPlayerRecordTail)) return false;
  }
  while (kind == kMetadata || kind == kOldMetadata) {
    if (kind == kMetadata) game->post_202 = true;
    if (!Have(r, 6)) return false;
    const uint32_t size = LoadU32(At(r) + 2);
    r->blocks.lo += 6;
    if (!SkipBytes(&r->blocks, size) || !Have(r, 1)) {
      r->ran_short = true;
      return false;
    }
    kind = At(r)[0];
  }
  return kind == kSlotTable && TakeSlotTable(r);
}

GamePlayer* PlayerOf(Reader* r, unsigned id) {
  const int index = r->player_of_id[id];
  return index < 0 ? nullptr : &r->game->player[index];
}

bool Plays(const GamePlayer* p) { return p != nullptr && !p->observer && !p->computer; }

void TakeTimeSlot(Reader* r, const unsigned char* record, size_t length) {
  ReplayGame* game = r->game;
  game->game_ms += LoadU16(record + 3);
  ++game->time_slots;
  size_t at = kTimeSlotHead;
  while (length - at >= kCommandHead) {
    const unsigned id = record[at];
    const size_t size = LoadU16(record + at + 1);
    at += kCommandHead;
    if (size > length - at) break;  // a command block running past its time slot
    GamePlayer* p = PlayerOf(r, id);
    if (p == nullptr) {
      ++game->stray_commands;
    } else {
      p->active_ms = game->game_ms;
      if (!CountActions(record + at, size, game->post_202, &p->actions)) ++game->unread_actions;
    }
    at += size;
  }
}

void TakeLeave(Reader* r, const unsigned char* record) {
  ReplayGame* game = r->game;
  LeaveState* leave = &r->leave;
  const uint32_t reason = LoadU32(record + 1);
  const unsigned id = record[5];
  const uint32_t result = LoadU32(record + 6);
  const uint32_t counter = LoadU32(record + 10);
  GamePlayer* p = PlayerOf(r, id);
  if (p != nullptr && p->left_ms < 0) {
    p->left_ms = game->game_ms;
    p->leave_reason = reason;
    p->leave_result = result;
    PlayerState* state = &r->state[r->player_of_id[id]];
    state->left_seq = leave->records;
    state->left_by_self = reason != kClosedBySaver;
  }
  if (reason == kClosedBySaver) {
    leave->closing = true;
    leave->closing_id = static_cast<int>(id);
    leave->closing_seq = leave->records;
    leave->closing_counter = counter;
    leave->closing_has_previous = leave->has_previous;
    leave->closing_previous_counter = leave->previous_counter;
  }
  // Observers and computers are on no side: what a record about them says is not
  // taken as a side's result.
  if (Plays(p)) {
    const bool for_saver = reason == kClosedBySaver;
    if (result == kResultWon) {
      (for_saver ? leave->saver_won : leave->team_won[p->team]) = true;
    } else if (result == kResultLost) {
      (for_saver ? leave->saver_lost : leave->team_lost[p->team]) = true;
    } else if (result == kResultDraw) {
      leave->draw = true;
    }
  }
  leave->has_previous = true;
  leave->previous_counter = counter;
  ++leave->records;
  ++game->leave_records;
}

// Walks the records after the slot table to the end of the data. False when a
// record of an unknown kind stops it. Records are taken straight from the window
// while they lie in it whole; only one that runs past it asks for more.
bool ReadGameRecords(Reader* r) {
  BlockStream* b = &r->blocks;
  ReplayGame* game = r->game;
  for (;;) {
    const unsigned char* p = b->window + b->lo;
    const unsigned char* const end = b->window + b->hi;
    size_t wanted = 1;  // bytes the next record needs in the window
    while (p < end) {
      const size_t have = static_cast<size_t>(end - p);
      size_t size = 0;
      switch (p[0]) {
        case kPadding:  // the last block is filled up with zeros: passed in one go
          size = 1;
          while (size < have && p[size] == 0) ++size;
          break;
        case kStartA:
        case kStartB:
        case kStartC:
          size = kStartSize;
          break;
        case kTimeSlot:
        case kOldTimeSlot:
          if (have < 3) {
            size = 3;
            break;
          }
          size = 3 + LoadU16(p + 1);
          if (size < kTimeSlotHead) {
            b->lo = static_cast<size_t>(p - b->window);
            return false;
          }
          if (size <= have) TakeTimeSlot(r, p, size);
          break;
        case kLeave:
          size = kLeaveSize;
          if (size <= have) TakeLeave(r, p);
          break;
        case kChat:
          if (have < kChatHead) {
            size = kChatHead;
            break;
          }
          size = kChatHead + LoadU16(p + 2);
          if (size <= have) ++game->chat_messages;
          break;
        case kChecksum:
          size = have < 2 ? 2 : 2 + p[1];
          break;
        case kRecord23:
          size = kRecord23Size;
          break;
        case kForcedEnd:
          size = kForcedEndSize;
          break;
        default:
          b->lo = static_cast<size_t>(p - b->window);
          return false;
      }
      if (size > have) {
        wanted = size;
        break;
      }
      p += size;
    }
    b->lo = static_cast<size_t>(p - b->window);
    const size_t available = Need(b, wanted);
    if (available < wanted) {
      // Nothing left is the end of the data; part of a record is a record cut short.
      if (available > 0) r->ran_short = true;
      return true;
    }
  }
}

// The rules of game.h, in order.
void DecideResult(Reader* r) {
  ReplayGame* game = r->game;
  const LeaveState& leave = r->leave;
  bool humans[256] = {};
  bool computers[256] = {};
  bool everyone_left = true;
  for (int i = 0; i < game->players; ++i) {
    const GamePlayer& p = game->player[i];
    if (p.observer) continue;
    (p.computer ? computers : humans)[p.team] = true;
    if (!p.computer && p.left_ms < 0) everyone_left = false;
  }
  int sides = 0;
  bool computers_alone = false;  // a side whose players never leave
  for (int team = 0; team < 256; ++team) {
    if (humans[team] || computers[team]) ++sides;
    if (computers[team] && !humans[team]) computers_alone = true;
  }
  const GamePlayer* saver = leave.closing ? PlayerOf(r, static_cast<unsigned>(leave.closing_id))
                                          : nullptr;
  if (!Plays(saver)) saver = nullptr;
  game->saver_id = leave.closing ? leave.closing_id : -1;
  game->ended = saver != nullptr || everyone_left;
  game->basis = kBasisUnknown;
  game->winning_team = -1;
  if (game->problem != kGameWhole || sides < 2) return;

  // 1. Explicit results.
  bool won[256];
  bool lost[256];
  memcpy(won, leave.team_won, sizeof won);
  memcpy(lost, leave.team_lost, sizeof lost);
  if (saver != nullptr) {
    if (leave.saver_won) won[saver->team] = true;
    if (leave.saver_lost) lost[saver->team] = true;
  }
  int winner = -1;
  int winners = 0;
  int losers = 0;
  int not_lost = -1;
  for (int team = 0; team < 256; ++team) {
    if (!humans[team] && !computers[team]) continue;
    if (won[team]) {
      winner = team;
      ++winners;
    }
    if (lost[team]) {
      ++losers;
    } else {
      not_lost = team;
    }
  }
  if (winners == 1 && !lost[winner]) {
    game->basis = kBasisExplicit;
    game->winning_team = winner;
    return;
  }
  if (winners == 0 && losers == sides - 1) {
    game->basis = kBasisExplicit;
    game->winning_team = not_lost;
    return;
  }
  if (winners == 0 && losers == 0 && leave.draw) {
    game->basis = kBasisExplicit;
    game->draw = true;
    return;
  }
  // Results that contradict each other decide nothing; a side of computers never
  // shows that it lost.
  if (winners > 0 || computers_alone) return;

  // 2. The saver's closing record.
  if (saver != nullptr && leave.closing_has_previous) {
    bool others_left = true;
    for (int i = 0; i < game->players; ++i) {
      const GamePlayer& p = game->player[i];
      if (!Plays(&p) || p.team == saver->team) continue;
      const PlayerState& state = r->state[i];
      if (state.left_seq < 0 || state.left_seq > leave.closing_seq || !state.left_by_self) {
        others_left = false;
      }
    }
    if (others_left) {
      int team = -1;
      if (leave.closing_counter > leave.closing_previous_counter) {
        team = saver->team;
      } else if (sides == 2) {
        for (int other = 0; other < 256; ++other) {
          if (humans[other] && other != saver->team) team = other;
        }
      }
      if (team >= 0 && !lost[team]) {
        game->basis = kBasisSaver;
        game->winning_team = team;
      }
      return;
    }
  }

  // 3. The side that stayed.
  if (!everyone_left) return;
  long long last[256];
  for (long long& t : last) t = -1;
  for (int i = 0; i < game->players; ++i) {
    const GamePlayer& p = game->player[i];
    if (Plays(&p) && p.left_ms > last[p.team]) last[p.team] = p.left_ms;
  }
  int latest = -1;
  bool tie = false;
  for (int team = 0; team < 256; ++team) {
    if (!humans[team]) continue;
    if (latest < 0 || last[team] > last[latest]) {
      latest = team;
      tie = false;
    } else if (last[team] == last[latest]) {
      tie = true;
    }
  }
  if (tie || lost[latest]) return;
  game->basis = kBasisOrder;
  game->winning_team = latest;
}

void Finish(Reader* r) {
  ReplayGame* game = r->game;
  for (int i = 0; i < game->players; ++i) {
    GamePlayer* p = &game->player[i];
    // Rounded half up: (2 * 60000 * actions + ms) / (2 * ms).
    p->apm = p->active_ms > 0
                 ? static_cast<int>((p->actions * 120000 + p->active_ms) / (2 * p->active_ms))
                 : 0;
  }
  DecideResult(r);
  for (int i = 0; i < game->players; ++i) {
    GamePlayer* p = &game->player[i];
    p->won = game->winning_team >= 0 && !p->observer && p->team == game->winning_team;
  }
}

bool ReadGame(const unsigned char* bytes, size_t length, GameReadScratch* scratch,
              ReplayGame* game, bool whole) {
  memset(game, 0, sizeof *game);
  scratch->blocks_inflated_whole = 0;
  game->host_id = -1;
  game->saver_id = -1;
  game->winning_team = -1;
  game->problem = kGameNotReplay;
  if (length < kGameFileHeader || memcmp(bytes, kLeadingText, sizeof kLeadingText - 1) != 0) {
    return false;
  }
  game->header_version = LoadU32(bytes + kHeaderVersionAt);
  game->blocks_declared = LoadU32(bytes + kBlockCountAt);
  game->game_id = LoadU32(bytes + kGameIdAt);
  game->expansion = game->game_id == kExpansionId;
  game->version = LoadU32(bytes + kVersionAt);
  game->build = LoadU16(bytes + kBuildAt);
  game->flags = LoadU16(bytes + kFlagsAt);
  game->length_ms = LoadU32(bytes + kLengthAt);
  game->observer_team = game->version < kOldObserversBelow ? kOldObserverTeam : kObserverTeam;

  Reader r;
  r.scratch = scratch;
  r.game = game;
  r.ran_short = false;
  memset(&r.leave, 0, sizeof r.leave);
  for (int& index : r.player_of_id) index = -1;
  for (PlayerState& state : r.state) state = PlayerState{-1, false};
  memset(scratch->has_record, 0, sizeof scratch->has_record);
  if (!OpenBlocks(bytes, length, game->version, game->blocks_declared, scratch, &r.blocks,
                  whole)) {
    game->problem = kGameNoMemory;
    return false;
  }
  if (NoMoreBlocks(&r.blocks)) {
    CloseBlocks(&r.blocks);
    game->problem = kGameNoBlock;
    return false;
  }
  game->readable = ReadHeaderRecords(&r);
  const bool known_records = game->readable && ReadGameRecords(&r);
  game->blocks_read = r.blocks.whole;
  if (!game->readable) {
    game->problem = kGameHeaderUnread;
  } else if (!known_records) {
    game->problem = kGameRecordUnknown;
  } else if (r.blocks.cut || (!r.blocks.failed && r.blocks.whole < r.blocks.declared)) {
    game->problem = kGameCut;
  } else if (r.blocks.failed) {
    game->problem = kGameBlockDamaged;
  } else if (r.ran_short) {
    game->problem = kGameCut;  // every block whole, but the last record stops inside
  } else {
    game->problem = kGameWhole;
  }
  CloseBlocks(&r.blocks);
  if (game->readable) Finish(&r);
  return game->readable;
}

}  // namespace

bool ReadReplayGame(const unsigned char* bytes, size_t length, GameReadScratch* scratch,
                    ReplayGame* game) {
  return ReadGame(bytes, length, scratch, game, true);
}

bool ReadReplayGameWithZlib(const unsigned char* bytes, size_t length, GameReadScratch* scratch,
                            ReplayGame* game) {
  return ReadGame(bytes, length, scratch, game, false);
}

const char* GameProblemText(GameProblem problem) {
  switch (problem) {
    case kGameWhole: return "whole";
    case kGameNotReplay: return "not a replay";
    case kGameNoBlock: return "no data block";
    case kGameHeaderUnread: return "players and slots unreadable";
    case kGameBlockDamaged: return "damaged block";
    case kGameCut: return "cut short";
    case kGameRecordUnknown: return "unknown record";
    case kGameNoMemory: return "no memory for inflating";
  }
  return "unknown problem";
}

const char* GameBasisText(GameBasis basis) {
  switch (basis) {
    case kBasisUnknown: return "unknown";
    case kBasisExplicit: return "explicit";
    case kBasisSaver: return "saver";
    case kBasisOrder: return "order";
  }
  return "unknown";
}
