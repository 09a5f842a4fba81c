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
