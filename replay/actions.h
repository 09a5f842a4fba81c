// The actions of one command block, walked by their sizes and counted as players
// compare actions per minute.
#ifndef BRINDLECAP_REPLAY_ACTIONS_H_
#define BRINDLECAP_REPLAY_ACTIONS_H_

#include <stddef.h>

// Adds to *counted the actions of data[0, length) that count: ability and order
// actions (0x10 to 0x14), group assign and select (0x17, 0x18), 0x1C, 0x1D, 0x1E,
// Esc (0x61), 0x66, 0x67 and selections (0x16), a selection that follows a
// deselection with no other selection between counting once with it. With
// post_202 (replays of 2.0.2 and later) an id above 0x77 stands for the action one
// higher. Returns false when an
// unknown id, or an action running past the block, stops the walk; the actions
// before it are counted.
bool CountActions(const unsigned char* data, size_t length, bool post_202, long long* counted);

#endif  // BRINDLECAP_REPLAY_ACTIONS_H_
