// Names from values: which subfolder a decoded replay goes to and the name it is
// filed under there (players and races, or the game name; the date tag; a -name
// template), fitted to the path limits and kept clear of device names. Pure: the
// decode result, the naming options and the date are handed in; nothing here
// looks at a disk or a clock.
#ifndef BRINDLECAP_NAMING_NAME_H_
#define BRINDLECAP_NAMING_NAME_H_

#include <stddef.h>
#include <stdint.h>

#include "replay/decode.h"

struct ReplayGame;

enum {
  kPathSize = 1024,  // every path and name buffer: 1023 characters and a NUL
  kDateTagSize = 16,
  kSuffixSize = 8,   // ".w3g" or ".nwg" and a NUL
};

// A local date and time as names carry it: year (2026), month 1 to 12, day 1 to
// 31, hour 0 to 23, minute and second 0 to 59.
struct NameDate {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// How names are built, as the switches say.
struct NameOptions {
  bool date_tag = true;              // off with "-nodate"
  char name_template[kPathSize] = "";  // "-name TEMPLATE"; "" for the default
  char suffix[kSuffixSize] = ".w3g";   // the copy's extension (".nwg": CopySuffix)
};

// One replay's name, before the free-name search adds a counter.
struct ReplayName {
  const char* subfolder;     // "1v1\" ... "Custom\"
  char date_tag[kDateTagSize];  // "[BCmmdd]", or "" (-nodate, or a template placed it)
  char body[kPathSize];
  char suffix[kSuffixSize] = ".w3g";  // the extension, as the options give it
};

// Most characters of one player name that go into a ladder name body.
int NameCap(int players);

// 'h', 'o', 'e', 'u' for race bits 1, 2, 4, 8; 'r' for every other value.
char RaceLetter(int race);

// Appends at most cap characters of source to destination, never writing past
// destination_size bytes, and keeps destination terminated.
void AppendCapped(char* destination, size_t destination_size, const char* source, size_t cap);

// Where a cut of text to at most length bytes must fall so that it does not end
// inside a UTF-8 character: length itself, or the first byte of the character that
// the cut would split. Bytes below 0x80 never move it.
size_t Utf8CutPoint(const char* text, size_t length);

// Appends a player's name, at most cap bytes of it and never half a UTF-8
// character, and the race tag "(x)"; nothing at all for a name that IsRealPlayer
// leaves out.
void AppendPlayer(char* body, size_t body_size, const char* name, int race, size_t cap);

// The current game names players by account tag, "anXieTy#2932": the '#' and the
// digits after it number the account and say nothing a reader needs. Returns the
// name's length without them; a name that is nothing but a tag keeps it.
size_t LengthWithoutAccountTag(const char* name);

// Replaces, in place, the characters a file name cannot or should not carry:
// " \ / . : * ! @ # % $ ; , ? and, because Windows refuses them, < > | and the
// control bytes 1 to 31. Everything else stays.
void SanitisePlayerName(char* text);

// Replaces, in place, every byte that is not an ASCII letter or digit.
void SanitiseGameName(char* text);

// The game name as -modern keeps it, in place: blanks at either end dropped, the
// letters and digits of every alphabet (UTF-8, as the game writes names) kept whole,
// and every other character (punctuation, symbols, blanks between words, a byte
// that is no part of a UTF-8 character) replaced by one underscore.
void SanitiseGameNameAnyAlphabet(char* text);

// Whether the character U+code is a letter or a digit for a game name: ASCII letters
// and digits, and any character beyond ASCII that is no blank, punctuation, symbol,
// emoji, private or special character.
bool IsNameLetter(uint32_t code);

// "Custom\", "FFA\", "1v1\", "2v2\", "3v3\" or "4v4\".
const char* ChooseSubfolder(const DecodeResult* result);

// The six subfolders, in that order, and how many there are.
extern const char kSubfolders[6][8];
enum { kSubfolderCount = 6 };

// The name body: players and race tags for a ladder game, the sanitised game name
// otherwise.
void BuildNameBody(const DecodeResult* result, char* body, size_t body_size);

// The date tag of date: "[BCmmdd]", or "" when options turn it off.
void BuildDateTag(const NameOptions* options, const NameDate* date, char* tag, size_t size);

// Shortens name's body so that every candidate folder+subfolder+tag+body[+"[999]"]+".w3g"
// fits path_limit bytes (NUL included) and its file name fits 255 characters, and
// keeps it clear of names Windows reserves for devices. A body that leaves the name
// empty (no date tag either) becomes "Replay", as much of it as fits (with no room
// for a letter it stays empty). Returns 0 when not even an empty body fits.
int FitNameBody(ReplayName* name, const char* folder, size_t path_limit);

// Candidate i of the free-name search: folder, subfolder, tag, body, "[i]" from
// i = 1 on, the suffix (".w3g"). Returns 0 when it does not fit out_size.
int ComposeCandidate(char* out, size_t out_size, const char* folder, const ReplayName* name,
                     int i);

// The length of body's leading device name (CON, PRN, AUX, NUL, COM1 to LPT9, COM¹
// to LPT³ with superscript digits, any case) as Windows finds one, before the first dot with trailing blanks dropped;
// 0 when there is none.
size_t DeviceStemLength(const char* body);

// The subfolder, the date tag and the body: as always without a template (or
// with the default one), else the filled template, which holds the date tag
// itself (the tag is then empty). Not fitted.
// game is the whole replay read, for the fields only it tells; NULL when it was not.
void BuildName(const DecodeResult* result, const NameOptions* options, const NameDate* date,
               ReplayName* name, const ReplayGame* game = nullptr);

// BuildName, then fits the body below folder. Returns false when no name fits.
bool PrepareName(const DecodeResult* result, const NameOptions* options, const NameDate* date,
                 const char* folder, size_t path_limit, ReplayName* name,
                 const ReplayGame* game = nullptr);

#endif  // BRINDLECAP_NAMING_NAME_H_
