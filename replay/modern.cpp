#include "replay/modern.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include "replay/blocks.h"
#include "replay/file_header.h"
#include "replay/text.h"

namespace {

const unsigned kPlayerRecord = 0x16;
const unsigned kSlotTable = 0x19;
// Metadata records of the current game (0x39 in 1.32 files, 0x38 in 2.0 ones):
// kind, subtype, u32 length, data.
const unsigned kMetadata = 0x38;
const unsigned kOldMetadata = 0x39;
// The slot fields read: player id, download percent, status, computer flag, team,
// colour, race flags. A slot table whose slots are shorter cannot be read.
const size_t kSlotFieldsRead = 7;
const unsigned kSlotUsed = 2;
// After the slots the record holds a u32 seed and two bytes; with the count byte
// that is what the slot table's length counts besides the slots.
const size_t kSlotTableFixed = 7;
// Bytes a player record carries after its extra data.
const size_t kPlayerRecordTail = 4;
// The extra data of a classic ladder game's host and player records: a u32, then the
// player's race flags in the first byte of the next u32.
const unsigned kExtraWithRace = 8;
const size_t kExtraRaceAt = 4;
// Leading field of the header, count, game type and language after the settings.
const size_t kLeadingField = 4;
const size_t kGameFields = 12;
// The records usually end within the first 1.1 KB of inflated data; the first walk
// comes when twice that is in.
const size_t kFirstWalk = 2048;

// A read position over data[0, length). Every read is checked against length
// first; a read that would pass it fails and says whether more inflated data could
// ever satisfy it (the scratch bounds what any number of blocks can give).
struct Cursor {
  const unsigned char* data;
  size_t length;
  size_t at;  // never beyond length
  bool out_of_reach;
};

bool Has(Cursor* c, size_t count) {
  if (count <= c->length - c->at) return true;
  if (c->at > kHeaderBufferSize || count > kHeaderBufferSize - c->at) c->out_of_reach = true;
  return false;
}

bool Skip(Cursor* c, size_t count) {
  if (!Has(c, count)) return false;
  c->at += count;
  return true;
}

bool ReadByte(Cursor* c, unsigned* value) {
  if (!Has(c, 1)) return false;
  *value = c->data[c->at++];
  return true;
}

bool ReadU16(Cursor* c, uint32_t* value) {
  if (!Has(c, 2)) return false;
  *value = LoadU16(c->data + c->at);
  c->at += 2;
  return true;
}

bool ReadU32(Cursor* c, uint32_t* value) {
  if (!Has(c, 4)) return false;
  *value = LoadU32(c->data + c->at);
  c->at += 4;
  return true;
}

// A NUL-terminated string; offset (when not NULL) gets where it starts.
bool ReadString(Cursor* c, size_t* offset) {
  const void* nul = memchr(c->data + c->at, 0, c->length - c->at);
  if (nul == nullptr) {
    // Its end could still come with the next block, unless the buffer is full.
    if (c->length >= kHeaderBufferSize) c->out_of_reach = true;
    return false;
  }
  if (offset != nullptr) *offset = c->at;
  c->at = static_cast<size_t>(static_cast<const unsigned char*>(nul) - c->data) + 1;
  return true;
}

// What the host record and the player records share: a name, a length byte and
// that many bytes of extra data (0, 1, 2 and 8 occur); race gets the race flags the
// extra data of a classic ladder game carries, 0 when it carries none.
bool ReadNameAndExtra(Cursor* c, size_t* name, int* race) {
  unsigned extra = 0;
  if (!ReadString(c, name) || !ReadByte(c, &extra) || !Has(c, extra)) return false;
  *race = extra >= kExtraWithRace ? c->data[c->at + kExtraRaceAt] & 0x0F : 0;
  c->at += extra;
  return true;
}

ModernVerdict ShortOf(const Cursor& c) {
  return c.out_of_reach ? kModernBroken : kModernNeedsMore;
}

// A player: a used slot that is no computer and no observer, whose id has a record.
struct Candidate {
  long order;   // the record's place: 0 for the host, then the player records in turn
  size_t name;
  int race;
  int team;
  int side;
};

// Sides in naming order: the host's team first when the host plays, then the other
// teams by number.
void AssignSides(Candidate* found, int count, int host_team) {
  int side_of_team[256];
  bool present[256] = {};
  for (int& side : side_of_team) side = -1;
  for (int i = 0; i < count; ++i) present[found[i].team] = true;
  int sides = 0;
  if (host_team >= 0) side_of_team[host_team] = sides++;
  for (int team = 0; team < 256; ++team) {
    if (present[team] && side_of_team[team] < 0) side_of_team[team] = sides++;
  }
  for (int i = 0; i < count; ++i) found[i].side = side_of_team[found[i].team];
}

// By side, then in record order (the host first); a handful of entries.
void SortBySideThenRecord(Candidate* found, int count) {
  for (int i = 1; i < count; ++i) {
    const Candidate moving = found[i];
    int j = i;
    for (; j > 0 && (found[j - 1].side > moving.side ||
                     (found[j - 1].side == moving.side && found[j - 1].order > moving.order));
         --j) {
      found[j] = found[j - 1];
    }
    found[j] = moving;
  }
}

bool IsModernLadder(const char* game_name) {
  // The community ladder names its matchmaking games "w3c-20-<id>".
  return EqualsIgnoringAsciiCase(game_name, "BNet") ||
         StartsWithIgnoringAsciiCase(game_name, "w3c-") > 0;
}

}  // namespace

ModernVerdict WalkModernHeader(const unsigned char* data, size_t length, int observer_team,
                               ModernHeader* header) {
  Cursor c = {data, length, 0, false};
  // The first record of each player id: its place in record order, its name and
  // the race its extra data gives; and the ids in record order.
  long record_order[256];
  size_t record_name[256];
  int record_race[256];
  unsigned record_id[256];
  int distinct = 0;
  for (long& order : record_order) order = -1;

  unsigned host_id = 0;
  size_t name = 0;
  int race = 0;
  // The host record: kind, player id, name and extra data.
  if (!Skip(&c, kLeadingField) || !Skip(&c, 1) || !ReadByte(&c, &host_id) ||
      !ReadNameAndExtra(&c, &name, &race)) {
    return ShortOf(c);
  }
  record_order[host_id] = 0;
  record_name[host_id] = name;
  record_race[host_id] = race;
  record_id[distinct++] = host_id;

  // Game name; a second string that can hold the game's password (skipped, never
  // kept); the encoded settings; count, game type and language.
  size_t game_name = 0;
  size_t settings = 0;
  if (!ReadString(&c, &game_name) || !ReadString(&c, nullptr) || !ReadString(&c, &settings) ||
      !Skip(&c, kGameFields)) {
    return ShortOf(c);
  }

  long records = 1;
  unsigned kind = 0;
  for (;;) {
    if (!ReadByte(&c, &kind)) return ShortOf(c);
    if (kind != kPlayerRecord) break;
    unsigned id = 0;
    if (!ReadByte(&c, &id) || !ReadNameAndExtra(&c, &name, &race) ||
        !Skip(&c, kPlayerRecordTail)) {
      return ShortOf(c);
    }
    if (record_order[id] < 0) {
      record_order[id] = records;
      record_name[id] = name;
      record_race[id] = race;
      record_id[distinct++] = id;
    }
    ++records;
  }
  while (kind == kMetadata || kind == kOldMetadata) {
    uint32_t size = 0;
    if (!Skip(&c, 1) || !ReadU32(&c, &size) || !Skip(&c, size) || !ReadByte(&c, &kind)) {
      return ShortOf(c);
    }
  }
  if (kind != kSlotTable) return kModernBroken;

  // The slot table, read only once all of it lies in the data.
  uint32_t table_length = 0;
  unsigned count = 0;
  if (!ReadU16(&c, &table_length)) return ShortOf(c);
  if (table_length < kSlotTableFixed) return kModernBroken;
  if (!Has(&c, table_length)) return ShortOf(c);
  ReadByte(&c, &count);  // inside the record just checked
  Candidate found[256];
  int found_count = 0;
  int host_team = -1;
  if (count == 0 && table_length == kSlotTableFixed) {
    // No slots at all (a ladder game of 1.18 has none): each player record is a
    // player, a side of its own, in record order, with the race its extra data gives.
    for (int i = 0; i < distinct; ++i) {
      const unsigned id = record_id[i];
      found[found_count++] = Candidate{record_order[id], record_name[id], record_race[id], i, 0};
    }
    host_team = 0;
    count = 0;
  } else if (count == 0) {
    return kModernBroken;
  }
  const size_t slot_size = count == 0 ? 0 : (table_length - kSlotTableFixed) / count;
  if (count > 0 && slot_size < kSlotFieldsRead) return kModernBroken;
  // count * slot_size <= table_length - 7, so every slot lies in the checked record.
  const unsigned char* slots = data + c.at;

  bool seated[256] = {};  // one seat per player id, the first slot that has it
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char* slot = slots + i * slot_size;
    const unsigned id = slot[0];
    const int team = slot[4];
    if (slot[2] != kSlotUsed || slot[3] != 0 || team == observer_team) continue;
    if (record_order[id] < 0 || seated[id]) continue;
    seated[id] = true;
    if (id == host_id) host_team = team;
    found[found_count++] = Candidate{record_order[id], record_name[id], slot[6] & 0x0F, team, 0};
  }
  AssignSides(found, found_count, host_team);
  SortBySideThenRecord(found, found_count);

  // Beyond the table's sixteen the last players are left out; names are then cut
  // to four characters anyway.
  const int kept = found_count < kPlayerTableSize ? found_count : kPlayerTableSize;
  header->game_name = game_name;
  header->settings = settings;
  header->players = kept;
  header->sides = kept > 0 ? found[kept - 1].side + 1 : 0;
  for (int i = 0; i < kept; ++i) {
    header->seat[i] = ModernSeat{found[i].name, found[i].race, found[i].side};
  }
  return kModernComplete;
}

ModernVerdict ReadModernHeader(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
                               ModernHeader* header) {
  unsigned char* const buffer = scratch->data;
  header->inflated = 0;
  header->players = 0;
  header->sides = 0;
  header->game_name = 0;
  header->settings = 0;
  header->observer_team = kModernObserverTeam;
  ReplayFileHeader file;
  if (!ReadReplayFileHeader(bytes, length, &file)) return kModernBroken;
  if (file.version < kModernOldObserverBelow) header->observer_team = kModernOldObserverTeam;
  const bool wide = file.block_header == 12;
  const size_t block_header = file.block_header;
  if (file.first_block > length || block_header > length - file.first_block) {
    return kModernBroken;  // no first block
  }

  z_stream stream;
  memset(&stream, 0, sizeof stream);
  // Raw inflating, with the two-byte zlib header checked here: the game flushes
  // its blocks but never finishes them, so their checksum can never be compared,
  // and computing it would cost a tenth of the decode.
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return kModernBroken;
  ModernVerdict verdict = kModernNeedsMore;
  size_t at = file.first_block;
  uint32_t taken = 1;  // blocks begun; what follows the declared ones is not the replay's
  // The walk runs once this much is inflated. Each walk starts from the top, so
  // the mark doubles every time: a file of many tiny blocks, or of records that
  // grow, costs a few walks, not one per block or kilobyte.
  size_t walk_at = kFirstWalk;
  bool more = true;
  for (bool first = true; more && verdict == kModernNeedsMore; first = false) {
    const uint32_t packed = wide ? LoadU32(bytes + at) : LoadU16(bytes + at);
    const uint32_t holds = wide ? LoadU32(bytes + at + 4) : LoadU16(bytes + at + 2);
    at += block_header;
    // Each block is a zlib stream of its own, inflated as far as the file and
    // HeaderBuffer reach, but only until the walk is complete: a walk that is
    // complete over the start of the data gives what it gives over all of it,
    // and inflating the rest of an 8 KB block would cost three times the decode.
    if (!first) inflateReset(&stream);
    const size_t input = packed < length - at ? packed : length - at;
    const bool zlib_stream = input >= 2 && IsZlibHeader(bytes[at], bytes[at + 1]);
    stream.next_in = const_cast<Bytef*>(bytes + at + (zlib_stream ? 2 : 0));
    stream.avail_in = zlib_stream ? static_cast<uInt>(input - 2) : 0;
    const size_t block_start = header->inflated;
    int status = Z_OK;
    for (bool block_done = false; !block_done;) {
      const size_t room = kHeaderBufferSize - header->inflated;
      size_t step = walk_at > header->inflated ? walk_at - header->inflated : room;
      if (step > room) step = room;
      stream.next_out = buffer + header->inflated;
      stream.avail_out = static_cast<uInt>(step);
      while (status == Z_OK && stream.avail_in > 0 && stream.avail_out > 0) {
        status = inflate(&stream, Z_NO_FLUSH);
      }
      header->inflated = static_cast<size_t>(stream.next_out - buffer);
      block_done = status != Z_OK || stream.avail_in == 0 || header->inflated == kHeaderBufferSize;
      if (block_done) {
        // The next block continues the records only when this one gave all it
        // says it holds; after a short or damaged block its output would not join up.
        const size_t produced = header->inflated - block_start;
        more = produced == holds && produced > 0 && packed <= length - at &&
               header->inflated < kHeaderBufferSize;
        if (more) {
          at += packed;
          more = block_header <= length - at && (file.blocks == 0 || taken < file.blocks);
          ++taken;
        }
      }
      if (header->inflated >= walk_at || (block_done && !more)) {
        verdict = WalkModernHeader(buffer, header->inflated, header->observer_team, header);
        walk_at = 2 * header->inflated;
        if (verdict != kModernNeedsMore) break;
      }
    }
  }
  inflateEnd(&stream);
  return verdict;
}

bool DecodeModern(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
                  DecodeResult* result) {
  // A NetEase container's replay is read as if it were the file.
  const ReplaySpan span = LocateReplay(bytes, length);
  if (span.holder == kHolderNetEase) {
    bytes += span.offset;
    length = span.length;
  }
  ModernHeader header;
  if (ReadModernHeader(bytes, length, scratch, &header) != kModernComplete) return false;
  ClearDecodeResult(result);
  const char* game_name = reinterpret_cast<const char*>(scratch->data + header.game_name);
  result->modern = true;
  result->ladder = IsModernLadder(game_name);
  if (!result->ladder) snprintf(result->game_name, sizeof result->game_name, "%s", game_name);
  ReadMapAndLength(bytes, length, scratch->data, static_cast<long>(header.settings),
                   header.inflated, result);
  // The oldest file header keeps the length elsewhere.
  ReplayFileHeader file;
  if (ReadReplayFileHeader(bytes, length, &file)) result->length_ms = file.length_ms;
  if (!result->ladder) return true;
  for (int i = 0; i < header.players; ++i) {
    const ModernSeat& seat = header.seat[i];
    PlayerEntry& player = result->player[i];
    snprintf(player.name, sizeof player.name, "%s",
             reinterpret_cast<const char*>(scratch->data + seat.name));
    player.race = seat.race;
    player.side = seat.side;
  }
  result->players = header.players;
  result->sides = header.sides;
  result->ffa = header.sides > 2;
  return true;
}

bool ReadsWholeByLengths(const unsigned char* bytes, size_t length) {
  const ReplaySpan span = LocateReplay(bytes, length);
  if (span.holder != kHolderReplay && span.holder != kHolderNetEase) return false;
  bytes += span.offset;
  length = span.length;
  ReplayFileHeader file;
  if (!ReadReplayFileHeader(bytes, length, &file)) return false;
  const size_t header_size = LoadU32(bytes + 0x1C);
  // The replay ends where its declared size and its declared blocks agree that it
  // does; what a platform puts after it there is not the replay's.
  if (file.declared_size > length || header_size < file.first_block ||
      header_size > file.declared_size) {
    return false;
  }
  const size_t end = file.declared_size;
  size_t at = header_size;
  for (uint32_t i = 0; i < file.blocks; ++i) {
    if (file.block_header > end - at) return false;
    const size_t packed = file.block_header == 12 ? LoadU32(bytes + at) : LoadU16(bytes + at);
    at += file.block_header;
    if (packed > end - at) return false;
    at += packed;
  }
  return at == end;
}
