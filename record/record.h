// A player's record over many replays: each game reduced to what the record needs
// (a few hundred bytes), counted once however many copies of it lie on disk, then
// tallied overall, by game type, by matchup, by map, against each opponent and by
// month. Pure: the games are handed in as values; nothing here reads a disk.
#ifndef BRINDLECAP_RECORD_RECORD_H_
#define BRINDLECAP_RECORD_RECORD_H_

#include <stddef.h>
#include <stdint.h>

enum GameOutcome {
  kOutcomeWin,
  kOutcomeLoss,
  kOutcomeDraw,
  kOutcomeUnknown,  // the replay does not tell, or the player observed
  kOutcomeCount,
};

// Games by outcome.
struct Tally {
  int games;
  int outcome[kOutcomeCount];
};

// One line of a table of the record: what it is about ("HvO", "Amazonia",
// "IroNSoul", "2024-05", "1v1") and its tally.
struct RecordRow {
  char key[64];
  Tally tally;
};

// A month of the record: its tally, and the player's median APM and median game
// length (seconds) over its games (-1 when none tells).
struct MonthRow {
  int year;
  int month;
  Tally tally;
  int median_apm;
  int median_length_s;
};

// One game as the list of games shows it, from the player's side.
struct GameRow {
  int64_t played;        // when, seconds since 1970 in local time (as sort dates it)
  char type[8];          // "1v1", "2v2", "3v3", "4v4", "FFA" or "Custom"
  char map[64];          // the map as players say it
  char players[256];     // "anXieTy(h) vs IroNSoul(u)", as names write the sides
  GameOutcome outcome;   // the player's
  int apm;               // the player's, -1 when not known
  int length_s;          // the game's length
  const char* path;      // one file of this game (the first found), in the record's text
};

// What stats and report show: filled by the record, read by whoever prints it.
// Every pointer points into memory the record owns.
struct RecordView {
  char player[64];            // whose record (the account tag dropped)
  bool player_chosen;         // false: the player found in the most games
  int files_seen;             // files looked at
  int replays_read;           // of those, replays read
  int duplicates;             // copies of a game already counted, set aside
  int not_replays;            // files that are no replay
  int unreadable;             // replays that could not be read
  int without_player;         // games the player is not in
  Tally overall;
  const RecordRow* by_type;      int by_type_count;      // in kind order: 1v1 .. Custom
  const RecordRow* by_matchup;   int by_matchup_count;   // 1v1 only: "HvO" own race first
  const RecordRow* by_map;       int by_map_count;       // most played first
  const RecordRow* by_opponent;  int by_opponent_count;  // most played first
  const MonthRow* by_month;      int by_month_count;     // oldest first
  const GameRow* games;          int game_count;         // newest first
};

#endif  // BRINDLECAP_RECORD_RECORD_H_
