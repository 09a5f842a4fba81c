#include "replay/actions.h"

#include <stdint.h>
#include <string.h>

#include "replay/text.h"

namespace {

const unsigned kSelect = 0x16;
const unsigned kDeselectMode = 0x02;


// A read position over one command block; every step is checked against its end.
struct Walk {
  const unsigned char* data;
  size_t length;
  size_t at;
};

bool Skip(Walk* w, uint64_t count) {
  if (count > w->length - w->at) return false;
  w->at += static_cast<size_t>(count);
  return true;
}

bool ReadU32(Walk* w, uint32_t* value) {
  if (w->length - w->at < 4) return false;
  *value = LoadU32(w->data + w->at);
  w->at += 4;
  return true;
}

bool SkipString(Walk* w) {
  const void* nul = memchr(w->data + w->at, 0, w->length - w->at);
  if (nul == nullptr) return false;
  w->at = static_cast<size_t>(static_cast<const unsigned char*>(nul) - w->data) + 1;
  return true;
}

// A u32 count of records of record_size bytes each.
bool SkipCounted(Walk* w, uint32_t record_size) {
  uint32_t count = 0;
  return ReadU32(w, &count) && Skip(w, uint64_t{count} * record_size);
}

// The game-cache key of the 0x6B to 0x73 actions: file, mission and key names.
bool SkipCacheKey(Walk* w) { return SkipString(w) && SkipString(w) && SkipString(w); }

// The stored unit of 0x6E: its id and items, the hero's figures and abilities,
// its damage values, defence and control groups.
bool SkipCacheUnit(Walk* w) {
  return Skip(w, 4) && SkipCounted(w, 12) && Skip(w, 48) && SkipCounted(w, 8) &&
         Skip(w, 12) && SkipCounted(w, 4) && Skip(w, 6);
}

// Bytes that follow the id of an action of fixed size; -1 for an action of
// variable size or an id no game writes (told apart by SkipVariable).
int FixedSize(unsigned id) {
  switch (id) {
    case 0x02: case 0x04: case 0x05: case 0x1A: case 0x20: case 0x22: case 0x23:
    case 0x24: case 0x25: case 0x26: case 0x29: case 0x2A: case 0x2B: case 0x2C:
    case 0x2F: case 0x61: case 0x66: case 0x67:
      return 0;
    case 0x01: case 0x03: case 0x75:
      return 1;
    case 0x18:
      return 2;
    case 0x07: case 0x2E:
      return 4;
    case 0x1E: case 0x1F: case 0x27: case 0x28: case 0x2D: case 0x50:
      return 5;
    case 0x1D: case 0x21: case 0x63: case 0x64: case 0x65:
      return 8;
    case 0x1B: case 0x1C: case 0x51: case 0xA1:
      return 9;
    case 0x76:
      return 10;
    case 0x19: case 0x62: case 0x68:
      return 12;
    case 0x10: case 0xA0:
      return 14;
    case 0x69: case 0x6A: case 0x7B:
      return 16;
    case 0x7A:
      return 20;
    case 0x11:
      return 22;
    case 0x12:
      return 30;
    case 0x13:
      return 38;
    case 0x14:
      return 43;
    case 0x15:
      return 51;
    default:
      return -1;
  }
}

// Walks past an action of variable size. False for an unknown id or an action
// that runs past the block.
bool SkipVariable(unsigned id, Walk* w) {
  switch (id) {
    case 0x06:  // saving the game: file name, a second string, a byte
      return SkipString(w) && SkipString(w) && Skip(w, 1);
    case 0x60:  // a map trigger's chat command
      return Skip(w, 8) && SkipString(w);
    case 0x6B: case 0x6C:
      return SkipCacheKey(w) && Skip(w, 4);
    case 0x6D:
      return SkipCacheKey(w) && Skip(w, 1);
    case 0x6E:
      return SkipCacheKey(w) && SkipCacheUnit(w);
    case 0x70: case 0x71: case 0x72: case 0x73:
      return SkipCacheKey(w);
    case 0x77: {  // command id, data, then a buffer of the length given
      uint32_t size = 0;
      return Skip(w, 8) && ReadU32(w, &size) && Skip(w, size);
    }
    case 0x78:  // synchronised data: two strings and a u32
      return SkipString(w) && SkipString(w) && Skip(w, 4);
    case 0x79:
      return Skip(w, 16) && SkipString(w);
    default:
      return false;
  }
}

bool IsCounted(unsigned id) {
  switch (id) {
    case 0x10: case 0x11: case 0x12: case 0x13: case 0x14: case 0x17: case 0x18:
    case 0x1C: case 0x1D: case 0x1E: case 0x61: case 0x66: case 0x67:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CountActions(const unsigned char* data, size_t length, bool post_202, long long* counted) {
  Walk w = {data, length, 0};
  long long count = 0;
  bool after_deselect = false;
  bool whole = true;
  while (w.at < w.length) {
    unsigned id = w.data[w.at++];
    if (post_202 && id > 0x77) ++id;
    if (id == kSelect || id == 0x17) {
      // Mode (or group number), a u16 count and that many 8-byte object ids.
      if (w.length - w.at < 3) {
        whole = false;
        break;
      }
      const unsigned mode = w.data[w.at];
      const uint32_t units = LoadU16(w.data + w.at + 1);
      w.at += 3;
      if (!Skip(&w, uint64_t{units} * 8)) {
        whole = false;
        break;
      }
      if (id == kSelect) {
        // Taking units out of a selection and putting others in is one command,
        // whatever subgroup actions come between the two.
        const bool deselect = mode == kDeselectMode;
        if (deselect || !after_deselect) ++count;
        after_deselect = deselect;
      } else {
        ++count;
      }
    } else {
      const int size = FixedSize(id);
      if (size >= 0 ? !Skip(&w, static_cast<uint64_t>(size)) : !SkipVariable(id, &w)) {
        whole = false;
        break;
      }
      if (IsCounted(id)) ++count;
    }
  }
  *counted += count;
  return whole;
}
