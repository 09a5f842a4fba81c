#include "record/record.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "naming/name.h"
#include "naming/name_template.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "replay/text.h"

namespace {

// A growing array of plain records. Once memory runs out nothing more is added.
template <typename T>
struct Grow {
  T* items;
  size_t count;
  size_t capacity;

  bool Reserve(size_t wanted) {
    if (wanted <= capacity) return true;
    size_t grown = capacity == 0 ? 64 : capacity * 2;
    while (grown < wanted) grown *= 2;
    T* moved = static_cast<T*>(realloc(items, sizeof(T) * grown));
    if (moved == nullptr) return false;
    items = moved;
    capacity = grown;
    return true;
  }
  bool Add(const T& item) {
    if (!Reserve(count + 1)) return false;
    items[count++] = item;
    return true;
  }
  void Forget() {
    free(items);
    items = nullptr;
    count = capacity = 0;
  }
};

uint64_t HashBytes(uint64_t hash, const char* text, size_t length, bool fold) {
  for (size_t i = 0; i < length; ++i) {
    const char c = fold ? LowerAscii(text[i]) : text[i];
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

uint64_t HashMix(uint64_t hash, uint64_t value) {
  hash ^= value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2);
  return hash * 1099511628211ull;
}

// Every text of the record lies once in one pool; a text is its offset there.
struct Pool {
  Grow<char> bytes;

  // Appends length bytes of text and a NUL. Returns the offset, or -1.
  long long Put(const char* text, size_t length) {
    const size_t at = bytes.count;
    if (!bytes.Reserve(at + length + 1)) return -1;
    memcpy(bytes.items + at, text, length);
    bytes.items[at + length] = '\0';
    bytes.count = at + length + 1;
    return static_cast<long long>(at);
  }
  const char* At(uint32_t offset) const { return bytes.items + offset; }
};

// Texts numbered densely in the order first met, so that tallies can be arrays.
// With fold, texts that differ only in ASCII case are one (the first spelling met
// is kept): a player's name, as the game compares it.
struct Interner {
  bool fold;
  Grow<uint32_t> offsets;  // by number
  uint32_t* slots;         // number + 1, 0 empty
  size_t slot_count;

  bool Same(const Pool& pool, uint32_t number, const char* text, size_t length) const {
    const char* kept = pool.At(offsets.items[number]);
    if (strlen(kept) != length) return false;
    if (!fold) return memcmp(kept, text, length) == 0;
    for (size_t i = 0; i < length; ++i) {
      if (LowerAscii(kept[i]) != LowerAscii(text[i])) return false;
    }
    return true;
  }
  bool Rehash(const Pool& pool, size_t size) {
    uint32_t* grown = static_cast<uint32_t*>(calloc(size, sizeof(uint32_t)));
    if (grown == nullptr) return false;
    for (size_t n = 0; n < offsets.count; ++n) {
      const char* text = pool.At(offsets.items[n]);
      size_t at = HashBytes(14695981039346656037ull, text, strlen(text), fold) & (size - 1);
      while (grown[at] != 0) at = (at + 1) & (size - 1);
      grown[at] = static_cast<uint32_t>(n + 1);
    }
    free(slots);
    slots = grown;
    slot_count = size;
    return true;
  }
  // The number of text[0, length), added when new; -1 when there is no memory.
  long Intern(Pool* pool, const char* text, size_t length) {
    if ((offsets.count + 1) * 2 > slot_count &&
        !Rehash(*pool, slot_count == 0 ? 256 : slot_count * 2)) {
      return -1;
    }
    size_t at = HashBytes(14695981039346656037ull, text, length, fold) & (slot_count - 1);
    for (; slots[at] != 0; at = (at + 1) & (slot_count - 1)) {
      if (Same(*pool, slots[at] - 1, text, length)) return static_cast<long>(slots[at] - 1);
    }
    const long long offset = pool->Put(text, length);
    if (offset < 0 || !offsets.Add(static_cast<uint32_t>(offset))) return -1;
    slots[at] = static_cast<uint32_t>(offsets.count);
    return static_cast<long>(offsets.count - 1);
  }
  const char* Text(const Pool& pool, uint32_t number) const {
    return pool.At(offsets.items[number]);
  }
  size_t Count() const { return offsets.count; }
  void Forget() {
    offsets.Forget();
    free(slots);
    slots = nullptr;
    slot_count = 0;
  }
};

// One slot of a game, as the record needs it.
struct EntryPlayer {
  uint32_t name;  // number among the names
  uint8_t team;
  char race;      // naming's letter: h o e u r
  bool observer;
  bool computer;
  int16_t apm;
};

// The kinds of game in the order the tables list them, as naming's subfolders.
const char kKinds[6][8] = {"1v1", "2v2", "3v3", "4v4", "FFA", "Custom"};
const int kKindCount = 6;

int KindOf(const char* subfolder) {
  for (int k = 0; k < kKindCount; ++k) {
    const size_t length = strlen(kKinds[k]);
    if (strncmp(subfolder, kKinds[k], length) == 0 && (subfolder[length] == '\\' ||
                                                        subfolder[length] == '\0')) {
      return k;
    }
  }
  return kKindCount - 1;
}

// One game, counted once: what the game wrote that tells it apart, and what the
// record shows of it. Texts are numbers or pool offsets.
struct Entry {
  int64_t played;
  uint32_t seed;
  uint32_t version;
  uint32_t length_ms;
  uint32_t map_path;      // number among the map paths
  uint32_t map;           // number among the spoken map names
  uint32_t players_text;  // pool offset
  uint32_t path;          // pool offset
  uint32_t first_player;  // into the record's players
  uint8_t player_count;
  uint8_t kind;
  int8_t winning_team;  // -1: none known
  bool draw;
};

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// A text cut to fit size bytes, never inside a UTF-8 character.
void CopyCut(char* out, size_t size, const char* text) {
  size_t length = strlen(text);
  if (length > size - 1) length = Utf8CutPoint(text, size - 1);
  memcpy(out, text, length);
  out[length] = '\0';
}

char MatchupLetter(char race) {
  switch (race) {
    case 'h': return 'H';
    case 'o': return 'O';
    case 'e': return 'N';
    case 'u': return 'U';
    default: return 'R';
  }
}

const char kMatchupOrder[] = "HONUR";

int MatchupIndex(char letter) {
  return static_cast<int>(strchr(kMatchupOrder, letter) - kMatchupOrder);
}

void Count(Tally* tally, GameOutcome outcome) {
  ++tally->games;
  ++tally->outcome[outcome];
}

// The median of values[0, count) (sorted in place), the middle two averaged and
// rounded up; -1 when there are none.
int Median(int* values, size_t count) {
  if (count == 0) return -1;
  std::sort(values, values + count);
  if (count % 2 == 1) return values[count / 2];
  return (values[count / 2 - 1] + values[count / 2] + 1) / 2;
}

}  // namespace

struct PlayerRecord {
  Pool pool;
  Interner names;      // folded: players are the same whatever the case
  Interner map_paths;  // as the game wrote them, for telling games apart
  Interner maps;       // as players say them, for the table of maps
  Grow<Entry> entries;
  Grow<EntryPlayer> players;
  uint32_t* games;     // entry index + 1 by identity hash, 0 empty
  size_t game_slots;
  int files_seen;
  int replays_read;
  int duplicates;
  int not_replays;
  int unreadable;
  // The view's tables, rebuilt by each BuildRecordView.
  Grow<RecordRow> rows;
  Grow<MonthRow> months;
  Grow<GameRow> game_rows;
  Grow<uint32_t> without;  // pool offsets of the paths of games without the player
};

namespace {

uint64_t IdentityHash(const PlayerRecord* record, const Entry& entry) {
  uint64_t hash = 14695981039346656037ull;
  hash = HashMix(hash, entry.seed);
  hash = HashMix(hash, entry.version);
  hash = HashMix(hash, entry.map_path);
  for (int i = 0; i < entry.player_count; ++i) {
    hash = HashMix(hash, record->players.items[entry.first_player + i].name);
  }
  return hash;
}

bool SameGame(const PlayerRecord* record, const Entry& a, const Entry& b) {
  // Not the length: each player's replay of one game ends when that player left.
  if (a.seed != b.seed || a.version != b.version || a.map_path != b.map_path ||
      a.player_count != b.player_count) {
    return false;
  }
  for (int i = 0; i < a.player_count; ++i) {
    if (record->players.items[a.first_player + i].name !=
        record->players.items[b.first_player + i].name) {
      return false;
    }
  }
  return true;
}

bool GrowGames(PlayerRecord* record) {
  const size_t size = record->game_slots == 0 ? 1024 : record->game_slots * 2;
  uint32_t* grown = static_cast<uint32_t*>(calloc(size, sizeof(uint32_t)));
  if (grown == nullptr) return false;
  for (size_t n = 0; n < record->entries.count; ++n) {
    size_t at = IdentityHash(record, record->entries.items[n]) & (size - 1);
    while (grown[at] != 0) at = (at + 1) & (size - 1);
    grown[at] = static_cast<uint32_t>(n + 1);
  }
  free(record->games);
  record->games = grown;
  record->game_slots = size;
  return true;
}

// The players text as {players} writes the sides: a ladder game's as its name
// shows them, any other game's from the whole replay's teams (no name shows those,
// but most games of many players are custom games).
long long PlayersText(PlayerRecord* record, const DecodeResult* header, const ReplayGame* game) {
  char body[kPathSize];
  if (header->ladder) {
    BuildNameBody(header, body, sizeof body);
  } else {
    GameSides(game, body, sizeof body);
  }
  return record->pool.Put(body, strlen(body));
}

}  // namespace

PlayerRecord* NewPlayerRecord() {
  PlayerRecord* record = static_cast<PlayerRecord*>(calloc(1, sizeof(PlayerRecord)));
  if (record == nullptr) return nullptr;
  record->names.fold = true;
  return record;
}

void FreePlayerRecord(PlayerRecord* record) {
  if (record == nullptr) return;
  record->pool.bytes.Forget();
  record->names.Forget();
  record->map_paths.Forget();
  record->maps.Forget();
  record->entries.Forget();
  record->players.Forget();
  free(record->games);
  record->rows.Forget();
  record->months.Forget();
  record->game_rows.Forget();
  record->without.Forget();
  free(record);
}

void CountNotReplay(PlayerRecord* record) {
  ++record->files_seen;
  ++record->not_replays;
}

void CountUnreadable(PlayerRecord* record) {
  ++record->files_seen;
  ++record->unreadable;
}

RecordAdded AddRecordGame(PlayerRecord* record, const ReplayGame* game,
                          const DecodeResult* header, const NameDate* played, const char* path) {
  ++record->files_seen;
  ++record->replays_read;
  Entry entry;
  memset(&entry, 0, sizeof entry);
  entry.seed = game->random_seed;
  entry.version = game->version;
  entry.length_ms = game->length_ms;
  const long map_path = record->map_paths.Intern(&record->pool, game->map_path,
                                                 strlen(game->map_path));
  if (map_path < 0) return kRecordNoMemory;
  entry.map_path = static_cast<uint32_t>(map_path);
  // The players go on the end of the list; a duplicate takes them back off.
  const size_t first = record->players.count;
  entry.first_player = static_cast<uint32_t>(first);
  for (int i = 0; i < game->players && i < 255; ++i) {
    const GamePlayer& p = game->player[i];
    const long name = record->names.Intern(&record->pool, p.name, LengthWithoutAccountTag(p.name));
    EntryPlayer kept = {0, static_cast<uint8_t>(p.team), RaceLetter(p.race & 0x0F), p.observer,
                        p.computer, static_cast<int16_t>(p.observer ? -1 : p.apm)};
    if (name < 0 || !record->players.Add(kept)) {
      record->players.count = first;
      return kRecordNoMemory;
    }
    record->players.items[record->players.count - 1].name = static_cast<uint32_t>(name);
    ++entry.player_count;
  }
  if ((record->entries.count + 1) * 2 > record->game_slots && !GrowGames(record)) {
    record->players.count = first;
    return kRecordNoMemory;
  }
  const size_t mask = record->game_slots - 1;
  size_t at = IdentityHash(record, entry) & mask;
  for (; record->games[at] != 0; at = (at + 1) & mask) {
    if (SameGame(record, record->entries.items[record->games[at] - 1], entry)) {
      record->players.count = first;
      ++record->duplicates;
      return kRecordDuplicate;
    }
  }
  char map_file[kGameTextSize];
  char map[kGameTextSize];
  MapFileName(game->map_path, map_file, sizeof map_file);
  SpokenMapName(map_file, map, sizeof map);
  const long map_number = record->maps.Intern(&record->pool, map, strlen(map));
  const long long text = PlayersText(record, header, game);
  const long long where = record->pool.Put(path, strlen(path));
  entry.played = DaysFromCivil(played->year, played->month, played->day) * 86400 +
                 played->hour * 3600 + played->minute * 60 + played->second;
  entry.kind = static_cast<uint8_t>(KindOf(ChooseSubfolder(header)));
  entry.draw = game->draw;
  entry.winning_team = static_cast<int8_t>(
      game->basis == kBasisUnknown || game->draw ? -1 : game->winning_team);
  if (map_number < 0 || text < 0 || where < 0) {
    record->players.count = first;
    return kRecordNoMemory;
  }
  entry.map = static_cast<uint32_t>(map_number);
  entry.players_text = static_cast<uint32_t>(text);
  entry.path = static_cast<uint32_t>(where);
  if (!record->entries.Add(entry)) {
    record->players.count = first;
    return kRecordNoMemory;
  }
  record->games[at] = static_cast<uint32_t>(record->entries.count);
  return kRecordNewGame;
}

const char* OutcomeText(GameOutcome outcome) {
  switch (outcome) {
    case kOutcomeWin: return "win";
    case kOutcomeLoss: return "loss";
    case kOutcomeDraw: return "draw";
    default: return "unknown";
  }
}

namespace {

// The number of the player the view is about, or -1 when no game holds the name.
long ChoosePlayer(const PlayerRecord* record, const char* wanted) {
  const size_t count = record->names.Count();
  if (wanted != nullptr) {
    const size_t length = LengthWithoutAccountTag(wanted);
    for (size_t n = 0; n < count; ++n) {
      if (record->names.Same(record->pool, static_cast<uint32_t>(n), wanted, length)) {
        return static_cast<long>(n);
      }
    }
    return -1;
  }
  // In how many games each name plays (observers and computers are no one's record).
  int* games = static_cast<int*>(calloc(count + 1, sizeof(int)));
  if (games == nullptr) return -1;
  for (size_t e = 0; e < record->entries.count; ++e) {
    const Entry& entry = record->entries.items[e];
    for (int i = 0; i < entry.player_count; ++i) {
      const EntryPlayer& p = record->players.items[entry.first_player + i];
      if (p.observer || p.computer) continue;
      if (!IsRealPlayer(record->names.Text(record->pool, p.name))) continue;
      bool again = false;  // a name in two slots of one game plays it once
      for (int j = 0; j < i; ++j) {
        again = again || record->players.items[entry.first_player + j].name == p.name;
      }
      if (!again) ++games[p.name];
    }
  }
  long best = -1;
  for (size_t n = 0; n < count; ++n) {
    if (games[n] == 0) continue;
    if (best < 0 || games[n] > games[best] ||
        (games[n] == games[best] &&
         CompareNamesIgnoringAsciiCase(record->names.Text(record->pool, static_cast<uint32_t>(n)),
                                       record->names.Text(record->pool,
                                                          static_cast<uint32_t>(best))) < 0)) {
      best = static_cast<long>(n);
    }
  }
  free(games);
  return best;
}

// Rows most played first; ties in name order.
void SortMostPlayed(RecordRow* rows, int count) {
  std::sort(rows, rows + count, [](const RecordRow& a, const RecordRow& b) {
    if (a.tally.games != b.tally.games) return a.tally.games > b.tally.games;
    return CompareNamesIgnoringAsciiCase(a.key, b.key) < 0;
  });
}

// One game from the player's side.
struct Side {
  GameOutcome outcome;
  const EntryPlayer* self;
  const EntryPlayer* opponent;  // the one other player of a 1v1, or NULL
};

Side SideOf(const PlayerRecord* record, const Entry& entry, uint32_t player) {
  Side side = {kOutcomeUnknown, nullptr, nullptr};
  const EntryPlayer* slots = record->players.items + entry.first_player;
  for (int i = 0; i < entry.player_count && side.self == nullptr; ++i) {
    if (slots[i].name == player && !slots[i].computer && !slots[i].observer) side.self = &slots[i];
  }
  for (int i = 0; i < entry.player_count && side.self == nullptr; ++i) {
    if (slots[i].name == player && !slots[i].computer) side.self = &slots[i];
  }
  if (side.self == nullptr || side.self->observer) return side;
  if (entry.draw) {
    side.outcome = kOutcomeDraw;
  } else if (entry.winning_team >= 0) {
    side.outcome = side.self->team == entry.winning_team ? kOutcomeWin : kOutcomeLoss;
  }
  if (entry.kind == 0) {
    for (int i = 0; i < entry.player_count; ++i) {
      if (slots[i].observer || &slots[i] == side.self || slots[i].team == side.self->team) continue;
      side.opponent = &slots[i];
    }
  }
  return side;
}

}  // namespace

bool BuildRecordView(PlayerRecord* record, const char* player, RecordView* view) {
  memset(view, 0, sizeof *view);
  record->rows.count = 0;
  record->months.count = 0;
  record->game_rows.count = 0;
  record->without.count = 0;
  view->files_seen = record->files_seen;
  view->replays_read = record->replays_read;
  view->duplicates = record->duplicates;
  view->not_replays = record->not_replays;
  view->unreadable = record->unreadable;
  view->player_chosen = player == nullptr;
  const long chosen = ChoosePlayer(record, player);
  if (chosen >= 0) {
    CopyCut(view->player, sizeof view->player,
            record->names.Text(record->pool, static_cast<uint32_t>(chosen)));
  } else if (player != nullptr) {
    char typed[sizeof view->player];
    size_t length = LengthWithoutAccountTag(player);
    if (length > sizeof typed - 1) length = sizeof typed - 1;
    memcpy(typed, player, length);
    typed[length] = '\0';
    CopyCut(view->player, sizeof view->player, typed);
  }
  const size_t entries = record->entries.count;
  const size_t names = record->names.Count();
  const size_t maps = record->maps.Count();
  // Working tallies: by kind, by matchup, by map and by opponent number.
  Tally* tallies = static_cast<Tally*>(calloc(kKindCount + 25 + maps + names + 1, sizeof(Tally)));
  Tally* by_kind = tallies;
  Tally* by_matchup = by_kind + kKindCount;
  Tally* by_map = by_matchup + 25;
  Tally* by_opponent = by_map + maps;
  bool* met = static_cast<bool*>(calloc(names + 1, sizeof(bool)));
  bool ok = tallies != nullptr && met != nullptr && record->game_rows.Reserve(entries + 1);
  for (size_t e = 0; ok && e < entries; ++e) {
    const Entry& entry = record->entries.items[e];
    const Side side = chosen >= 0 ? SideOf(record, entry, static_cast<uint32_t>(chosen))
                                  : Side{kOutcomeUnknown, nullptr, nullptr};
    if (side.self == nullptr) {
      ++view->without_player;
      ok = record->without.Add(entry.path);
      continue;
    }
    Count(&view->overall, side.outcome);
    Count(&by_kind[entry.kind], side.outcome);
    Count(&by_map[entry.map], side.outcome);
    if (side.opponent != nullptr && !side.self->observer) {
      Count(&by_matchup[MatchupIndex(MatchupLetter(side.self->race)) * 5 +
                        MatchupIndex(MatchupLetter(side.opponent->race))],
            side.outcome);
    }
    if (!side.self->observer) {
      // Every player of the other sides, each once however many slots they hold.
      const EntryPlayer* slots = record->players.items + entry.first_player;
      for (int i = 0; i < entry.player_count; ++i) {
        const EntryPlayer& p = slots[i];
        if (p.observer || p.computer || p.team == side.self->team || met[p.name]) continue;
        if (!IsRealPlayer(record->names.Text(record->pool, p.name))) continue;
        met[p.name] = true;
        Count(&by_opponent[p.name], side.outcome);
      }
      for (int i = 0; i < entry.player_count; ++i) met[slots[i].name] = false;
    }
    GameRow row;
    memset(&row, 0, sizeof row);
    row.played = entry.played;
    snprintf(row.type, sizeof row.type, "%s", kKinds[entry.kind]);
    CopyCut(row.map, sizeof row.map, record->maps.Text(record->pool, entry.map));
    CopyCut(row.players, sizeof row.players, record->pool.At(entry.players_text));
    row.outcome = side.outcome;
    row.apm = side.self->apm;
    row.length_s = static_cast<int>(entry.length_ms / 1000);
    row.path = record->pool.At(entry.path);
    record->game_rows.items[record->game_rows.count++] = row;
  }
  // The tables, in the order each is shown; rows are pointed at once all are in.
  size_t type_rows = 0, matchup_rows = 0, map_rows = 0, opponent_rows = 0;
  for (int k = 0; ok && k < kKindCount; ++k) {
    if (by_kind[k].games == 0) continue;
    RecordRow row = {"", by_kind[k]};
    snprintf(row.key, sizeof row.key, "%s", kKinds[k]);
    ok = record->rows.Add(row);
    ++type_rows;
  }
  for (int m = 0; ok && m < 25; ++m) {
    if (by_matchup[m].games == 0) continue;
    RecordRow row = {"", by_matchup[m]};
    snprintf(row.key, sizeof row.key, "%cv%c", kMatchupOrder[m / 5], kMatchupOrder[m % 5]);
    ok = record->rows.Add(row);
    ++matchup_rows;
  }
  for (size_t m = 0; ok && m < maps; ++m) {
    if (by_map[m].games == 0) continue;
    RecordRow row = {"", by_map[m]};
    CopyCut(row.key, sizeof row.key, record->maps.Text(record->pool, static_cast<uint32_t>(m)));
    ok = record->rows.Add(row);
    ++map_rows;
  }
  for (size_t n = 0; ok && n < names; ++n) {
    if (by_opponent[n].games == 0) continue;
    RecordRow row = {"", by_opponent[n]};
    CopyCut(row.key, sizeof row.key, record->names.Text(record->pool, static_cast<uint32_t>(n)));
    ok = record->rows.Add(row);
    ++opponent_rows;
  }
  free(tallies);
  free(met);
  // Months, oldest first: the games in time order, each month's medians from its games.
  GameRow* games = record->game_rows.items;
  const size_t game_count = record->game_rows.count;
  int* values = ok ? static_cast<int*>(malloc(sizeof(int) * (game_count + 1) * 2)) : nullptr;
  ok = ok && values != nullptr;
  if (ok) {
    std::stable_sort(games, games + game_count, [](const GameRow& a, const GameRow& b) {
      return a.played < b.played;
    });
  }
  for (size_t g = 0; ok && g < game_count;) {
    MonthRow month;
    memset(&month, 0, sizeof month);
    const int64_t day = games[g].played >= 0 ? games[g].played / 86400
                                             : (games[g].played - 86399) / 86400;
    // The civil date back from the day: the month is what the row is about.
    const int64_t z = day + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    month.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    month.year = static_cast<int>(yoe + era * 400 + (month.month <= 2));
    const int64_t start = DaysFromCivil(month.year, month.month, 1) * 86400;
    const int64_t end = DaysFromCivil(month.year + (month.month == 12), month.month % 12 + 1, 1) *
                        86400;
    size_t apms = 0, lengths = 0;
    int* apm = values;
    int* length = values + game_count + 1;
    for (; g < game_count && games[g].played >= start && games[g].played < end; ++g) {
      Count(&month.tally, games[g].outcome);
      if (games[g].apm >= 0) apm[apms++] = games[g].apm;
      length[lengths++] = games[g].length_s;
    }
    month.median_apm = Median(apm, apms);
    month.median_length_s = Median(length, lengths);
    ok = record->months.Add(month);
  }
  free(values);
  if (!ok) {
    const bool chosen_flag = view->player_chosen;
    memset(view, 0, sizeof *view);
    view->player_chosen = chosen_flag;
    return false;
  }
  // Newest first; games of one moment in the order of their files' paths.
  std::stable_sort(games, games + game_count, [](const GameRow& a, const GameRow& b) {
    if (a.played != b.played) return a.played > b.played;
    return strcmp(a.path, b.path) < 0;
  });
  RecordRow* rows = record->rows.items;
  view->by_type = rows;
  view->by_type_count = static_cast<int>(type_rows);
  view->by_matchup = rows + type_rows;
  view->by_matchup_count = static_cast<int>(matchup_rows);
  SortMostPlayed(rows + type_rows, static_cast<int>(matchup_rows));
  view->by_map = rows + type_rows + matchup_rows;
  view->by_map_count = static_cast<int>(map_rows);
  SortMostPlayed(rows + type_rows + matchup_rows, static_cast<int>(map_rows));
  view->by_opponent = rows + type_rows + matchup_rows + map_rows;
  view->by_opponent_count = static_cast<int>(opponent_rows);
  SortMostPlayed(rows + type_rows + matchup_rows + map_rows, static_cast<int>(opponent_rows));
  view->by_month = record->months.items;
  view->by_month_count = static_cast<int>(record->months.count);
  view->games = games;
  view->game_count = static_cast<int>(game_count);
  return true;
}

const char* RecordFileWithoutPlayer(const PlayerRecord* record, int i) {
  if (i < 0 || static_cast<size_t>(i) >= record->without.count) return nullptr;
  return record->pool.At(record->without.items[i]);
}
