// When a replay already on disk was played, for names that carry the game's date
// rather than the moment of filing.
#ifndef BRINDLECAP_NAMING_GAME_TIME_H_
#define BRINDLECAP_NAMING_GAME_TIME_H_

#include "naming/name.h"

// Reads the time from a name the game gives the replays it saves by itself:
// "Replay_YYYY_MM_DD_HHMM.w3g" (the current game) or "w3c-YYYYMMDDHHMMSS.w3g"
// (the community ladder's client). name is a file name without folders; ".w3g"
// may be in any case. Returns false for any other name and for a time that no
// clock shows (month 13, 30 February, 24:00), leaving *time alone.
bool TimeFromReplayName(const char* name, NameDate* time);

#endif  // BRINDLECAP_NAMING_GAME_TIME_H_
