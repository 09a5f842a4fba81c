// Names players shape themselves ("-name TEMPLATE"): a template of literal text and
// fields in braces, filled from the decoded header, the file header and the time of
// filing. Without a template, or with the default one, names are built as they
// always were.
#ifndef BRINDLECAP_NAMING_NAME_TEMPLATE_H_
#define BRINDLECAP_NAMING_NAME_TEMPLATE_H_

#include <stddef.h>

#include "naming/name.h"
#include "replay/decode.h"

struct ReplayGame;

// "{date}{players}{game}": the names Brindlecap has always written.
extern const char kDefaultNameTemplate[];

// The fields a template may hold, in braces, blank-separated, for usage texts:
// "{date} {players} {game} ...".
extern const char kNameFieldList[];

// True when names are built without a template: none given, or the default one.
bool UsesDefaultTemplate(const char* name_template);

// True when name_template holds a field only the whole replay tells ({result},
// {winner}): only then is a replay read beyond its header to name it.
bool TemplateReadsWholeReplay(const char* name_template);

// Says what makes name_template unusable: an unknown field, a "{" without its "}",
// or a character no Windows file name can hold (\ / : * ? " < > | and control
// characters). Writes the words into problem and returns 1, or returns 0 (and
// leaves problem empty) when the template can be used.
int NameTemplateProblem(const char* name_template, char* problem, size_t problem_size);

// {mapfile}: the map's file name without its folders, its extension and a leading
// player count: "Maps/FrozenThrone/(4)TwistedMeadows.w3x" gives "TwistedMeadows".
void MapFileName(const char* map_path, char* out, size_t out_size);

// {map}: the map as a player says it: map_file without a ladder's prefix, an
// "anon" mark and a trailing version; map_file itself when nothing is left.
void SpokenMapName(const char* map_file, char* out, size_t out_size);

// {length}: "18m11s", from an hour on "1h47m06s"; "" for a negative length.
void FormatGameLength(long long milliseconds, char* out, size_t out_size);

// Fills name_template for the decoded replay into body (terminated, cut at
// body_size): {date} is date_tag as BuildDateTag built it, {year} to {minute} come
// from date, {type} is subfolder without its backslash. Player names, map
// names and game names pass through the rules they pass through without a
// template. Literal text is copied as written, except that a character no file
// name can hold becomes '_' (a template that was checked holds none). {result} and
// {winner} come from game, the whole replay read; both are empty without it.
void FillNameTemplate(const char* name_template, const DecodeResult* result,
                      const char* subfolder, const char* date_tag, const NameDate* date,
                      char* body, size_t body_size, const ReplayGame* game = nullptr);

// {result}: the saver's result, "win", "loss" or "draw"; "" when the saver
// observed or the replay does not tell.
const char* SaverResult(const ReplayGame* game);

// {winner}: the winning side's players as {players} writes a side, names without
// their account tags and cut as for a name of that many players, with race tags;
// "" when no side won or the replay does not tell.
void WinnerSide(const ReplayGame* game, char* out, size_t out_size);

// Every side of the game as {players} writes the sides of a ladder game, from the
// whole replay's teams, for any game: the players (no observers, no computers) by
// team, the host's team first and then by number; two sides set against each other
// with " vs ", more one after another. "" when no one played.
void GameSides(const ReplayGame* game, char* out, size_t out_size);

#endif  // BRINDLECAP_NAMING_NAME_TEMPLATE_H_
