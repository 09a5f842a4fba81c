#include "tests/replay_builder.h"

#include <string.h>
#include <zlib.h>

namespace {

void Put(Bytes* out, const std::string& text) {
  out->insert(out->end(), text.begin(), text.end());
  out->push_back(0);
}

void PutField(Bytes* out, unsigned char low) {
  out->push_back(low);
  out->push_back(0);
  out->push_back(0);
  out->push_back(0);
}

}  // namespace

std::string EncodeSettings(const Bytes& decoded) {
  std::string out;
  for (size_t start = 0; start < decoded.size(); start += 7) {
    unsigned char mask = 1;
    std::string block;
    for (size_t j = 0; j < 7 && start + j < decoded.size(); ++j) {
      const unsigned char b = decoded[start + j];
      if (b % 2 == 1) mask |= static_cast<unsigned char>(1u << (j + 1));
      block.push_back(static_cast<char>(b % 2 == 1 ? b : b + 1));
    }
    out.push_back(static_cast<char>(mask));
    out += block;
  }
  return out;
}

std::string MapSettings(const std::string& map_path) {
  Bytes decoded = {0x02, 0x48, 0x06, 0x00, 0x00, 0x74, 0x00, 0x74, 0x00,  // settings
                   0x9D, 0x1C, 0x4A, 0xB1};                                // checksum
  decoded.insert(decoded.end(), map_path.begin(), map_path.end());
  decoded.push_back(0);
  const std::string creator = "Blizzard Entertainment";
  decoded.insert(decoded.end(), creator.begin(), creator.end());
  decoded.push_back(0);
  decoded.push_back(0);
  return EncodeSettings(decoded);
}

void SetGameLength(Bytes* file, uint32_t milliseconds) {
  for (int k = 0; k < 4; ++k) (*file)[0x3C + k] = static_cast<unsigned char>(milliseconds >> (8 * k));
}

Bytes BuildHeader(const SyntheticReplay& replay) {
  Bytes out;
  PutField(&out, 0x10);   // leading field
  out.push_back(0x00);    // host record kind
  out.push_back(0x01);    // host player id
  Put(&out, replay.host.name);
  if (!replay.ladder) {
    out.push_back(1);     // one byte of extra data
    out.push_back(0);
    Put(&out, replay.game_name);
    out.push_back(0);
    Put(&out, replay.settings);
    return out;
  }
  out.push_back(8);       // eight bytes of extra data
  PutField(&out, 0x00);
  PutField(&out, replay.host.race);
  Put(&out, replay.game_name);
  out.push_back(0);       // the byte between game name and settings string
  Put(&out, replay.settings);
  PutField(&out, static_cast<unsigned char>(replay.count));
  PutField(&out, static_cast<unsigned char>(replay.game_type));
  PutField(&out, 0x00);
  unsigned char id = 2;
  for (const SyntheticPlayer& player : replay.others) {
    out.push_back(0x16);  // player record kind
    out.push_back(id++);
    Put(&out, player.name);
    out.push_back(8);
    PutField(&out, 0x00);
    PutField(&out, player.race);
    PutField(&out, 0x00);
  }
  out.push_back(0x19);    // what follows the last player record
  out.push_back(0x00);
  return out;
}

Bytes WrapHeader(const Bytes& header, size_t file_length) {
  uLongf packed_size = compressBound(static_cast<uLong>(header.size()));
  Bytes packed(packed_size);
  compress2(packed.data(), &packed_size, header.data(), static_cast<uLong>(header.size()), 6);
  packed.resize(packed_size);

  Bytes file(68, 0);
  memcpy(file.data(), "Warcraft III recorded game\x1A", 27);
  // First block header: compressed size, decompressed size, checksum.
  file.push_back(static_cast<unsigned char>(packed_size & 0xFF));
  file.push_back(static_cast<unsigned char>((packed_size >> 8) & 0xFF));
  file.push_back(0x00);
  file.push_back(0x20);
  PutField(&file, 0x00);
  file.insert(file.end(), packed.begin(), packed.end());
  if (file.size() < file_length) file.resize(file_length, 0);
  return file;
}

Bytes BuildReplay(const SyntheticReplay& replay) {
  return WrapHeader(BuildHeader(replay), replay.file_length);
}

SyntheticReplay LadderReplay(const std::vector<SyntheticPlayer>& players, bool ffa) {
  SyntheticReplay replay;
  replay.host = players.empty() ? SyntheticPlayer{"", 0} : players[0];
  replay.others.assign(players.begin() + (players.empty() ? 0 : 1), players.end());
  replay.count = static_cast<signed char>(players.size());
  replay.game_type = ffa ? 1 : 9;
  return replay;
}

SyntheticReplay CustomReplay(const std::string& game_name) {
  SyntheticReplay replay;
  replay.ladder = false;
  replay.game_name = game_name;
  replay.others.clear();
  return replay;
}

std::vector<SyntheticPlayer> OtherAlphabetPlayers(int count) {
  // Written byte for byte, so that no code page of a compiler or a test program
  // comes between.
  std::vector<SyntheticPlayer> players = {
      {"\xD0\xA0\xD0\xBE\xD0\xB7\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9", 0x01},  // Розовый
      {"\xEC\x95\x88\xEB\x85\x95", 0x08}};                                   // 안녕
  for (int i = 2; i < count; ++i) {
    players.push_back({std::string(1, static_cast<char>('A' + i - 2)), 0x02});
  }
  return players;
}

namespace {

void PutU16(Bytes* out, size_t value) {
  out->push_back(static_cast<unsigned char>(value & 0xFF));
  out->push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void PutU32(Bytes* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
  }
}

void PutNameAndExtra(Bytes* out, const std::string& name, const Bytes& extra) {
  Put(out, name);
  out->push_back(static_cast<unsigned char>(extra.size()));
  out->insert(out->end(), extra.begin(), extra.end());
}

// A record's extra data: as given, or, with an empty slot table, the eight bytes
// of a classic ladder record with the seat's race at byte 4.
Bytes ExtraOf(const SyntheticModernReplay& replay, const Bytes& extra, const SyntheticSeat& seat) {
  if (!replay.empty_slot_table) return extra;
  Bytes ladder(8, 0);
  ladder[4] = seat.race;
  return ladder;
}

// One block as the game writes it: a zlib stream of its own, flushed to a byte
// boundary but not finished.
Bytes DeflateBlock(const unsigned char* data, size_t length) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  deflateInit(&stream, Z_DEFAULT_COMPRESSION);
  Bytes packed(deflateBound(&stream, static_cast<uLong>(length)) + 16);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = packed.data();
  stream.avail_out = static_cast<uInt>(packed.size());
  deflate(&stream, Z_SYNC_FLUSH);
  packed.resize(packed.size() - stream.avail_out);
  deflateEnd(&stream);
  return packed;
}

}  // namespace

Bytes BuildModernHeader(const SyntheticModernReplay& replay) {
  Bytes out;
  PutField(&out, 0x10);  // leading field
  out.push_back(0x00);   // host record kind
  out.push_back(0x01);   // the host's player id
  PutNameAndExtra(&out, replay.seats.empty() ? "" : replay.seats[0].name,
                  replay.seats.empty() ? replay.host_extra
                                       : ExtraOf(replay, replay.host_extra, replay.seats[0]));
  Put(&out, replay.game_name);
  Put(&out, replay.password);
  Put(&out, replay.settings);
  PutU32(&out, static_cast<uint32_t>(replay.seats.size()));  // player count
  PutU32(&out, 0x09);                                         // game type
  PutU32(&out, 0x00);                                         // language
  std::vector<size_t> order = replay.record_order;
  if (order.empty()) {
    for (size_t i = 1; i < replay.seats.size(); ++i) order.push_back(i);
  }
  for (size_t i : order) {
    const SyntheticSeat& seat = replay.seats[i];
    if (seat.computer || !seat.record) continue;
    out.push_back(0x16);
    out.push_back(static_cast<unsigned char>(i + 1));
    PutNameAndExtra(&out, seat.name, ExtraOf(replay, replay.player_extra, seat));
    PutU32(&out, 0);
  }
  for (const SyntheticMetadata& meta : replay.metadata) {
    out.push_back(meta.kind);
    out.push_back(meta.subtype);
    PutU32(&out, static_cast<uint32_t>(meta.data.size()));
    out.insert(out.end(), meta.data.begin(), meta.data.end());
  }
  if (!replay.slot_table) {
    out.push_back(0x1A);  // the game start record that follows the slot table
    return out;
  }
  if (replay.empty_slot_table) {
    out.push_back(0x19);
    PutU16(&out, 7);
    out.push_back(0);  // no slots
    PutU32(&out, replay.random_seed);
    out.push_back(0x00);
    out.push_back(0x00);
    out.push_back(0x1A);
    return out;
  }
  const size_t count = replay.seats.size();
  out.push_back(0x19);
  PutU16(&out, replay.table_length >= 0 ? static_cast<size_t>(replay.table_length)
                                        : 1 + count * replay.slot_size + 6);
  out.push_back(static_cast<unsigned char>(replay.slot_count >= 0 ? replay.slot_count : count));
  for (size_t i = 0; i < count; ++i) {
    const SyntheticSeat& seat = replay.seats[i];
    const unsigned char slot[9] = {
        static_cast<unsigned char>(seat.computer ? 0 : i + 1), 100, seat.status,
        static_cast<unsigned char>(seat.computer ? 1 : 0), seat.team,
        static_cast<unsigned char>(i), seat.race, 1, 100};
    for (size_t k = 0; k < replay.slot_size; ++k) out.push_back(k < sizeof slot ? slot[k] : 0);
  }
  PutU32(&out, replay.random_seed);
  out.push_back(0x00);       // select mode
  out.push_back(static_cast<unsigned char>(count));  // start spots
  out.push_back(0x1A);
  return out;
}

Bytes WrapModernHeader(const Bytes& header, uint32_t version, size_t block_size,
                       size_t file_length, bool oldest) {
  const bool wide = !oldest && version >= 10032;
  Bytes file(oldest ? 0x40 : 68, 0);
  memcpy(file.data(), "Warcraft III recorded game\x1A", 27);
  file[0x1C] = static_cast<unsigned char>(file.size());  // header size
  if (oldest) {
    // Header version 0 (at 0x24), u16 version and build; no game id.
    file[0x32] = static_cast<unsigned char>(version);
    file[0x33] = static_cast<unsigned char>(version >> 8);
    file[0x34] = 0xB3;
    file[0x35] = 0x11;
  } else {
    for (int k = 0; k < 4; ++k) file[0x34 + k] = static_cast<unsigned char>(version >> (8 * k));
  }
  for (size_t start = 0; start < header.size(); start += block_size) {
    Bytes block(block_size, 0);
    const size_t part = header.size() - start < block_size ? header.size() - start : block_size;
    memcpy(block.data(), header.data() + start, part);
    const Bytes packed = DeflateBlock(block.data(), block.size());
    if (wide) {
      PutU32(&file, static_cast<uint32_t>(packed.size()));
      PutU32(&file, static_cast<uint32_t>(block_size));
    } else {
      PutU16(&file, packed.size());
      PutU16(&file, block_size);
    }
    PutU32(&file, 0);  // checksum, not read
    file.insert(file.end(), packed.begin(), packed.end());
  }
  if (file.size() < file_length) file.resize(file_length, 0);
  return file;
}

Bytes BuildWholeModernReplay(const SyntheticModernReplay& replay) {
  const Bytes header = BuildModernHeader(replay);
  Bytes file = WrapModernHeader(header, replay.version, replay.block_size, 0,
                                replay.oldest_header);
  const size_t blocks = (header.size() + replay.block_size - 1) / replay.block_size;
  for (int k = 0; k < 4; ++k) {
    file[0x20 + k] = static_cast<unsigned char>(file.size() >> (8 * k));
    file[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
  }
  return file;
}

Bytes BuildModernReplay(const SyntheticModernReplay& replay) {
  return WrapModernHeader(BuildModernHeader(replay), replay.version, replay.block_size,
                          replay.file_length, replay.oldest_header);
}

Bytes InNetEaseContainer(const Bytes& replay, size_t platform_size) {
  Bytes file(0x80, 0);
  memcpy(file.data(), "GRBN", 4);
  file[4] = 2;
  const char kData[] = "the platform's own data: players, ranks, the match";
  uLongf packed_size = compressBound(sizeof kData);
  Bytes packed(packed_size);
  compress2(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(kData), sizeof kData, 9);
  packed.resize(packed_size);
  if (platform_size < packed.size()) platform_size = packed.size();
  packed.resize(platform_size, 0);
  for (int k = 0; k < 4; ++k) file[0x0C + k] = static_cast<unsigned char>(platform_size >> (8 * k));
  file.insert(file.end(), packed.begin(), packed.end());
  file.insert(file.end(), replay.begin(), replay.end());
  return file;
}

Bytes SignatureTail() {
  Bytes tail = {'N', 'G', 'I', 'S'};
  for (int i = 0; i < 128; ++i) tail.push_back(static_cast<unsigned char>(i * 37 + 11));
  return tail;
}

Bytes PlatformDataTail() {
  const char kData[] = "a game of the platform's own ladder, with its ranks";
  uLongf packed_size = compressBound(sizeof kData);
  Bytes tail(1 + packed_size, 0);
  compress2(tail.data() + 1, &packed_size, reinterpret_cast<const Bytef*>(kData), sizeof kData, 9);
  tail.resize(1 + packed_size);
  return tail;
}

SyntheticModernReplay ModernGame(const std::vector<SyntheticSeat>& seats, uint32_t version) {
  SyntheticModernReplay replay;
  replay.version = version;
  replay.seats = seats;
  return replay;
}

Bytes InflatedBlocks(const Bytes& file, const ReplayFileHeader& header, size_t limit) {
  const bool wide = header.block_header == 12;
  auto load = [&file, wide](size_t at) {
    return wide ? (file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                   static_cast<size_t>(file[at + 3]) << 24)
                : static_cast<size_t>(file[at] | file[at + 1] << 8);
  };
  Bytes data;
  size_t at = header.first_block;
  for (uint32_t taken = 0; at + header.block_header <= file.size() && data.size() < limit &&
                           (header.blocks == 0 || taken < header.blocks);
       ++taken) {
    const size_t packed = load(at);
    const size_t holds = load(at + (wide ? 4 : 2));
    at += header.block_header;
    if (packed > file.size() - at) break;
    Bytes block(holds);
    uLongf length = block.size();
    uncompress(block.data(), &length, file.data() + at, static_cast<uLong>(packed));
    data.insert(data.end(), block.begin(), block.begin() + static_cast<long>(length));
    at += packed;
  }
  if (data.size() > limit) data.resize(limit);
  return data;
}
