// The whole replay, read block by block: every data block inflated in turn into a
// bounded window, and the records walked from the header's player and slot records
// through the game's time slots, leave records and chat to the end. From them: each
// player's team, race, colour, actions per minute and time of leaving, and which
// side won, with the rule that decided it.
//
// Pure functions over bytes. Every byte of working state lives in a GameReadScratch
// the caller owns (the inflaters' included: libdeflate's decode tables are placed
// in it, and zlib allocates its state and window from it, never from the heap), of
// a fixed size whatever the game's length; what was found goes into a ReplayGame,
// which owns its strings and holds no pointers.
#ifndef BRINDLECAP_REPLAY_GAME_H_
#define BRINDLECAP_REPLAY_GAME_H_

#include <stddef.h>
#include <stdint.h>
#include <zlib.h>

#include "replay/whole_inflate.h"

enum {
  kGameFileHeader = 68,        // the file header before the first block
  kGameMaxPlayers = 24,        // slots the game has at most; further slots are not kept
  kGameNameSize = 64,          // bytes of a player name kept, NUL included
  kGameTextSize = 264,         // bytes of the game name and of the map path kept
  // The window the blocks inflate into. A time slot or a chat message is at most
  // 65538 bytes and must lie in it whole; more room means fewer, longer inflate calls.
  kGameWindowSize = 131072,
  // zlib's inflate state (about 7 KB) and its 32 KB window, carved from the scratch.
  kGameInflateArena = 49152,
  // libdeflate's decode tables.
  kGameWholeInflater = kWholeInflaterBytes,
};

// How far the reading got.
enum GameProblem {
  kGameWhole,          // every block inflated, every record read to the end
  kGameNotReplay,      // no leading text, or shorter than the file header
  kGameNoBlock,        // the file ends before the first block
  kGameHeaderUnread,   // the records before the game (players, slots) could not be read
  kGameBlockDamaged,   // a block did not inflate to the size it gives; read up to it
  kGameCut,            // the file ends before the blocks it announces; read what is there
  kGameRecordUnknown,  // a record of a kind no game writes; read up to it
  kGameNoMemory,       // the inflater could not be set up in the scratch
};

// Which rule named the winners (see ReadReplayGame).
enum GameBasis {
  kBasisUnknown,   // the replay does not tell
  kBasisExplicit,  // a leave record with the result "won" or "lost"
  kBasisSaver,     // the saver's own closing record, after every other side left
  kBasisOrder,     // the side that stayed after every player of the other sides left
};

struct GamePlayer {
  char name[kGameNameSize];  // "Computer" for a computer player; cut at a letter's end
  int id;                    // the player id of the slot
  int slot;                  // index in the slot table
  int team;
  int colour;
  int race;                  // the slot's race flags (0x01 human, 0x02 orc, 0x04 night
                             // elf, 0x08 undead, 0x20 random, 0x40 fixed by the map)
  int ai_strength;
  int handicap;
  bool computer;
  bool observer;             // in the observers' team
  long long left_ms;         // game time of the player's first leave record; -1 none
  uint32_t leave_reason;     // of that record
  uint32_t leave_result;
  long long actions;         // actions counted for the APM
  long long active_ms;       // game time at the end of the last time slot holding a
                             // command block of this player; 0 when none
  int apm;                   // actions per minute of active_ms, rounded half up
  bool won;                  // on the winning side
};

struct ReplayGame {
  GameProblem problem;
  bool readable;             // the header's records were read: the players are known
  bool ended;                // the game's end is in the replay: the saver's closing
                             // record, or a leave record of every player
  uint32_t header_version;
  uint32_t game_id;          // 'W3XP' (The Frozen Throne) or 'WAR3', as stored
  bool expansion;
  uint32_t version;          // 26 for 1.26 ... 10032 for 1.32, 10100 for 2.0
  uint32_t build;
  uint32_t flags;            // 0x8000 for a multiplayer game
  uint32_t length_ms;        // the game's length as the file header stores it
  uint32_t blocks_declared;
  uint32_t blocks_read;      // blocks that inflated whole
  bool post_202;             // metadata record 0x38: actions above 0x77 shifted by one
  int observer_team;         // 24, or 12 in files older than version 29
  char game_name[kGameTextSize];
  char map_path[kGameTextSize];  // "" when the settings string gives none or it is too long
  int game_type;             // the game-type byte after the settings
  uint32_t random_seed;      // the u32 after the slots of the slot table: one game's, the
                             // same in every player's replay of it
  bool private_game;
  int host_id;               // player id of the host record
  int saver_id;              // player id in the last record closed by the saver's game; -1
  int players;               // entries of player[], in slot order, one per player id
  GamePlayer player[kGameMaxPlayers];
  long long game_ms;         // game time: the time slots' increments added up
  long long time_slots;
  long long leave_records;
  long long chat_messages;
  long long stray_commands;   // command blocks of player ids the slot table does not have
  long long unread_actions;  // command blocks whose actions stopped at an unknown id
  GameBasis basis;
  int winning_team;          // -1 when no side won or the replay does not tell
  bool draw;                 // a leave record gives a draw (no winner then)
};

// Working state of one reading. The caller owns it; ReadReplayGame sets every field
// it uses, so it may be reused, and nothing from it survives into the result.
struct GameReadScratch {
  z_stream stream;
  size_t arena_used;
  alignas(16) unsigned char arena[kGameInflateArena];
  alignas(16) unsigned char whole_inflater[kGameWholeInflater];
  // Blocks the last reading had libdeflate inflate at once; the others went
  // through zlib. Only told, for the tests and the benchmarks: the result is the
  // same either way.
  uint32_t blocks_inflated_whole;
  unsigned char window[kGameWindowSize];
  // Player records before the slot table, by player id.
  bool has_record[256];
  char record_name[256][kGameNameSize];
};

// Reads the replay in bytes[0, length). Never reads outside it and never allocates.
// Returns game->readable: false when the players could not be read (game->problem
// says why). A damaged or cut replay gives what it holds, with its problem set and
// its result unknown.
//
// The winners, by the first rule that applies (leave records about observers and
// computers are passed over; a record whose reason is 0x0C was written by the
// saver's own game and its result is the saver's):
// 1. explicit: a record with the result won (0x09) names that side the winner; with
//    lost (0x08), the other side when two played. A draw (0x0A) names none.
// 2. saver: the last record with reason 0x0C is the saver's own; when the saver
//    plays, every player of the other sides left before it (by their own leaving,
//    not closed by the saver's game), and its counter is higher than the record's
//    before it, the saver's side won; when it is not higher, the saver's side lost.
// 3. order: when every player has left, the side whose last player left strictly
//    after every player of the other sides won.
// Otherwise unknown, and always unknown for a damaged replay, for a single side,
// and for a side of computers only (whose players never leave).
bool ReadReplayGame(const unsigned char* bytes, size_t length, GameReadScratch* scratch,
                    ReplayGame* game);

// Short words for the problem ("whole", "damaged block", ...) and the basis
// ("explicit", "saver", "order", "unknown").
const char* GameProblemText(GameProblem problem);

// ReadReplayGame with every block streamed through zlib's inflate, never
// libdeflate: the reading as it was before libdeflate, which ReadReplayGame
// must equal on any input. For the tests, the fuzz target and the benchmarks.
bool ReadReplayGameWithZlib(const unsigned char* bytes, size_t length, GameReadScratch* scratch,
                            ReplayGame* game);
const char* GameBasisText(GameBasis basis);

#endif  // BRINDLECAP_REPLAY_GAME_H_
