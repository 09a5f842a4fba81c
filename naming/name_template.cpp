#include "naming/name_template.h"

#include <stdio.h>
#include <string.h>

#include "naming/name.h"
#include "replay/game.h"
#include "replay/text.h"

const char kDefaultNameTemplate[] = "{date}{players}{game}";
const char kNameFieldList[] =
    "{date} {players} {game} {type} {year} {month} {day} {hour} {minute} {mapfile} {map} "
    "{length} {result} {winner}";

namespace {

enum NameField {
  kFieldDate,
  kFieldPlayers,
  kFieldGame,
  kFieldType,
  kFieldYear,
  kFieldMonth,
  kFieldDay,
  kFieldHour,
  kFieldMinute,
  kFieldMapFile,
  kFieldMap,
  kFieldLength,
  kFieldResult,
  kFieldWinner,
  kFieldCount,
  kFieldUnknown = kFieldCount,
};

const char kFieldNames[kFieldCount][8] = {"date", "players", "game",   "type",
                                         "year", "month",   "day",    "hour",
                                         "minute", "mapfile", "map", "length",
                                         "result", "winner"};

// The field named by name[0, length).
NameField FindField(const char* name, size_t length) {
  for (int i = 0; i < kFieldCount; ++i) {
    if (strlen(kFieldNames[i]) == length && memcmp(kFieldNames[i], name, length) == 0) {
      return static_cast<NameField>(i);
    }
  }
  return kFieldUnknown;
}

// What Windows refuses in a file name.
bool UnfitForFileName(unsigned char c) { return c < 32 || strchr("\\/:*?\"<>|", c) != nullptr; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// How many digits start text.
size_t Digits(const char* text) {
  size_t n = 0;
  while (IsDigit(text[n])) ++n;
  return n;
}

// A ladder's prefix: an optional number and '_', "w3c_" or "w3arena__", an optional
// date stamp "dddddd_dddd_", an optional "1v1_" to "4v4_". Returns its length, or
// 0 when the name does not open with one.
size_t LadderPrefix(const char* name) {
  size_t at = Digits(name);
  at = at > 0 && name[at] == '_' ? at + 1 : 0;
  size_t mark = StartsWithIgnoringAsciiCase(name + at, "w3c_");
  if (mark == 0) mark = StartsWithIgnoringAsciiCase(name + at, "w3arena__");
  if (mark == 0) return 0;
  at += mark;
  if (Digits(name + at) == 6 && name[at + 6] == '_' && Digits(name + at + 7) == 4 &&
      name[at + 11] == '_') {
    at += 12;
  }
  const char d = name[at];
  if (d >= '1' && d <= '4' && LowerAscii(name[at + 1]) == 'v' && name[at + 2] == d &&
      name[at + 3] == '_') {
    at += 4;
  }
  return at;
}

bool IsVersionSeparator(char c) { return c == '_' || c == '-' || c == ' '; }
bool IsVersionJoint(char c) { return c == '.' || c == '_' || c == '-'; }

// Where a trailing version starts in name[0, end), separators included: blanks,
// '_' or '-', then 'v' and digits or digits joined by '.', '_' or '-'. end when
// there is none: "wowr4.0" keeps its digits, which nothing separates from the name.
size_t VersionStart(const char* name, size_t end) {
  size_t at = end;
  while (at > 0 && IsDigit(name[at - 1])) --at;
  if (at == end) return end;
  // Further groups of digits, each joined by one mark.
  while (at >= 2 && IsVersionJoint(name[at - 1]) && IsDigit(name[at - 2])) {
    at -= 2;
    while (at > 0 && IsDigit(name[at - 1])) --at;
  }
  if (at > 0 && LowerAscii(name[at - 1]) == 'v') --at;
  if (at == 0 || !IsVersionSeparator(name[at - 1])) return end;
  while (at > 0 && IsVersionSeparator(name[at - 1])) --at;
  return at;
}

bool EndsWith(const char* text, size_t length, const char* tail) {
  const size_t n = strlen(tail);
  return length >= n && memcmp(text + length - n, tail, n) == 0;
}

// Copies text[0, length) into out, cut to fit.
void CopyPart(const char* text, size_t length, char* out, size_t out_size) {
  if (out_size == 0) return;
  if (length > out_size - 1) length = out_size - 1;
  memcpy(out, text, length);
  out[length] = '\0';
}

// Appends text, each byte no file name can hold replaced.
void AppendLiteral(char* body, size_t body_size, const char* text, size_t length) {
  size_t end = strnlen(body, body_size - 1);
  for (size_t i = 0; i < length && end + 1 < body_size; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    body[end++] = UnfitForFileName(c) ? '_' : text[i];
  }
  body[end] = '\0';
}

// The value of one field, into value (value_size bytes).
void FieldValue(NameField field, const DecodeResult* result, const char* subfolder,
                const char* date_tag, const NameDate* date, const ReplayGame* game, char* value,
                size_t value_size) {
  value[0] = '\0';
  char map_file[kMapPathSize];
  switch (field) {
    case kFieldDate:
      snprintf(value, value_size, "%s", date_tag);
      break;
    case kFieldPlayers:
    case kFieldGame:
      // Players for a ladder game, the game name for any other: the body of old.
      if (result->ladder == (field == kFieldPlayers)) BuildNameBody(result, value, value_size);
      break;
    case kFieldType: {
      const size_t length = strlen(subfolder);
      CopyPart(subfolder, length > 0 ? length - 1 : 0, value, value_size);
      break;
    }
    case kFieldYear: snprintf(value, value_size, "%04d", date->year); break;
    case kFieldMonth: snprintf(value, value_size, "%02d", date->month); break;
    case kFieldDay: snprintf(value, value_size, "%02d", date->day); break;
    case kFieldHour: snprintf(value, value_size, "%02d", date->hour); break;
    case kFieldMinute: snprintf(value, value_size, "%02d", date->minute); break;
    case kFieldMapFile:
      MapFileName(result->map_path, value, value_size);
      SanitisePlayerName(value);
      break;
    case kFieldMap:
      MapFileName(result->map_path, map_file, sizeof map_file);
      SpokenMapName(map_file, value, value_size);
      SanitisePlayerName(value);
      break;
    case kFieldLength: FormatGameLength(result->length_ms, value, value_size); break;
    case kFieldResult: snprintf(value, value_size, "%s", SaverResult(game)); break;
    case kFieldWinner: WinnerSide(game, value, value_size); break;
    case kFieldUnknown: break;
  }
}

}  // namespace

bool TemplateReadsWholeReplay(const char* name_template) {
  return strstr(name_template, "{result}") != nullptr ||
         strstr(name_template, "{winner}") != nullptr;
}

const char* SaverResult(const ReplayGame* game) {
  if (game == nullptr) return "";
  const GamePlayer* saver = nullptr;
  for (int i = 0; i < game->players; ++i) {
    if (game->player[i].id == game->saver_id) saver = &game->player[i];
  }
  if (saver == nullptr || saver->observer || saver->computer) return "";
  if (game->draw) return "draw";
  if (game->winning_team < 0) return "";
  return saver->team == game->winning_team ? "win" : "loss";
}

namespace {

// Appends a player of the whole reading as {players} writes one: without the
// account tag, cut to cap, with the race tag.
void AppendGamePlayer(const GamePlayer& p, size_t cap, char* out, size_t out_size) {
  char name[kGameNameSize];
  snprintf(name, sizeof name, "%.*s", static_cast<int>(LengthWithoutAccountTag(p.name)), p.name);
  AppendPlayer(out, out_size, name, p.race & 0x0F, cap);
}

bool PlaysOnASide(const GamePlayer& p) { return !p.observer && !p.computer; }

}  // namespace

void WinnerSide(const ReplayGame* game, char* out, size_t out_size) {
  if (out_size == 0) return;
  out[0] = '\0';
  if (game == nullptr || game->winning_team < 0) return;
  // Cut as {players} cuts the names of a game of that many players.
  int playing = 0;
  for (int i = 0; i < game->players; ++i) {
    playing += !game->player[i].observer && !game->player[i].computer ? 1 : 0;
  }
  const size_t cap = static_cast<size_t>(NameCap(playing));
  for (int i = 0; i < game->players; ++i) {
    const GamePlayer& p = game->player[i];
    if (PlaysOnASide(p) && p.team == game->winning_team) AppendGamePlayer(p, cap, out, out_size);
  }
  SanitisePlayerName(out);
}

void GameSides(const ReplayGame* game, char* out, size_t out_size) {
  if (out_size == 0) return;
  out[0] = '\0';
  bool present[256] = {};
  int playing = 0;
  int host_team = -1;
  for (int i = 0; i < game->players; ++i) {
    const GamePlayer& p = game->player[i];
    if (!PlaysOnASide(p)) continue;
    present[p.team & 0xFF] = true;
    ++playing;
    if (p.id == game->host_id) host_team = p.team & 0xFF;
  }
  int teams[256];
  int sides = 0;
  if (host_team >= 0) teams[sides++] = host_team;
  for (int team = 0; team < 256; ++team) {
    if (present[team] && team != host_team) teams[sides++] = team;
  }
  const size_t cap = static_cast<size_t>(NameCap(playing));
  for (int k = 0; k < sides; ++k) {
    if (k > 0 && sides == 2) AppendCapped(out, out_size, " vs ", 4);
    for (int i = 0; i < game->players; ++i) {
      const GamePlayer& p = game->player[i];
      if (PlaysOnASide(p) && (p.team & 0xFF) == teams[k]) AppendGamePlayer(p, cap, out, out_size);
    }
  }
  SanitisePlayerName(out);
}

bool UsesDefaultTemplate(const char* name_template) {
  return name_template[0] == '\0' || strcmp(name_template, kDefaultNameTemplate) == 0;
}

int NameTemplateProblem(const char* name_template, char* problem, size_t problem_size) {
  if (problem_size > 0) problem[0] = '\0';
  for (const char* p = name_template; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '{') {
      const char* close = strchr(p + 1, '}');
      if (close == nullptr) {
        snprintf(problem, problem_size, "the -name template has a \"{\" without its \"}\"");
        return 1;
      }
      const size_t length = static_cast<size_t>(close - (p + 1));
      if (FindField(p + 1, length) == kFieldUnknown) {
        snprintf(problem, problem_size,
                 "the -name template has an unknown field {%.*s} (the fields are %s)",
                 length > 40 ? 40 : static_cast<int>(length), p + 1, kNameFieldList);
        return 1;
      }
      p = close;
    } else if (c < 32) {
      snprintf(problem, problem_size,
               "the -name template holds a control character, which no file name can hold");
      return 1;
    } else if (UnfitForFileName(c)) {
      snprintf(problem, problem_size,
               "the -name template holds '%c', which no file name can hold", c);
      return 1;
    }
  }
  return 0;
}

void MapFileName(const char* map_path, char* out, size_t out_size) {
  const char* name = map_path;
  for (const char* p = map_path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  size_t length = strlen(name);
  // An extension is a dot, a letter and a few letters or digits: ".w3x", ".w3m".
  // "wowr4.0" and "Unforged 0.5 RoC" keep what follows their dots.
  const char* dot = strrchr(name, '.');
  if (dot != nullptr && IsAsciiLetter(dot[1])) {
    size_t tail = 1;
    while (IsAsciiLetter(dot[tail]) || IsDigit(dot[tail])) ++tail;
    if (dot[tail] == '\0' && tail <= 6) length = static_cast<size_t>(dot - name);
  }
  // The player count the game's own maps carry: "(4)".
  const size_t count = name[0] == '(' ? Digits(name + 1) : 0;
  if (count > 0 && name[1 + count] == ')' && 2 + count <= length) {
    name += 2 + count;
    length -= 2 + count;
  }
  CopyPart(name, length, out, out_size);
}

void SpokenMapName(const char* map_file, char* out, size_t out_size) {
  const size_t total = strlen(map_file);
  const size_t start = LadderPrefix(map_file);
  const char* name = map_file + start;
  size_t end = total - start;
  if (EndsWith(name, end, ".anon") || EndsWith(name, end, "_anon")) end -= 5;
  end = VersionStart(name, end);
  if (end == 0) {
    CopyPart(map_file, total, out, out_size);
  } else {
    CopyPart(name, end, out, out_size);
  }
}

void FormatGameLength(long long milliseconds, char* out, size_t out_size) {
  if (out_size == 0) return;
  out[0] = '\0';
  if (milliseconds < 0) return;
  const long long seconds = milliseconds / 1000;
  const long long hours = seconds / 3600;
  const long long minutes = seconds / 60 % 60;
  if (hours > 0) {
    snprintf(out, out_size, "%lldh%02lldm%02llds", hours, minutes, seconds % 60);
  } else {
    snprintf(out, out_size, "%lldm%02llds", minutes, seconds % 60);
  }
}

void FillNameTemplate(const char* name_template, const DecodeResult* result,
                      const char* subfolder, const char* date_tag, const NameDate* date,
                      char* body, size_t body_size, const ReplayGame* game) {
  if (body_size == 0) return;
  body[0] = '\0';
  const char* p = name_template;
  while (*p != '\0') {
    const char* open = strchr(p, '{');
    const char* close = open != nullptr ? strchr(open + 1, '}') : nullptr;
    if (open == nullptr || close == nullptr) {
      AppendLiteral(body, body_size, p, strlen(p));
      return;
    }
    AppendLiteral(body, body_size, p, static_cast<size_t>(open - p));
    const NameField field = FindField(open + 1, static_cast<size_t>(close - open - 1));
    if (field == kFieldUnknown) {
      AppendLiteral(body, body_size, open, static_cast<size_t>(close + 1 - open));
    } else {
      char value[kPathSize];
      FieldValue(field, result, subfolder, date_tag, date, game, value, sizeof value);
      AppendCapped(body, body_size, value, sizeof value);
    }
    p = close + 1;
  }
}

void BuildName(const DecodeResult* result, const NameOptions* options, const NameDate* date,
               ReplayName* name, const ReplayGame* game) {
  name->subfolder = ChooseSubfolder(result);
  snprintf(name->suffix, sizeof name->suffix, "%s", options->suffix);
  BuildDateTag(options, date, name->date_tag, sizeof name->date_tag);
  if (UsesDefaultTemplate(options->name_template)) {
    BuildNameBody(result, name->body, sizeof name->body);
    return;
  }
  FillNameTemplate(options->name_template, result, name->subfolder, name->date_tag, date,
                   name->body, sizeof name->body, game);
  // The template has put the tag where it wants it, if anywhere; the body is the
  // whole name now, and fitting shortens it at its end.
  name->date_tag[0] = '\0';
}

bool PrepareName(const DecodeResult* result, const NameOptions* options, const NameDate* date,
                 const char* folder, size_t path_limit, ReplayName* name,
                 const ReplayGame* game) {
  BuildName(result, options, date, name, game);
  return FitNameBody(name, folder, path_limit) != 0;
}
