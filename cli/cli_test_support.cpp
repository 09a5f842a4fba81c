#include "cli/cli_test_support.h"

#include <stdlib.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "gamefolders/game_folders.h"
#include "naming/name.h"
#include "platform/platform.h"
#include "tests/test_support.h"
#include "watcher/filing.h"

std::string Drain(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

CliRun RunWith(std::vector<std::string> args, const CliProgress* progress) {
  args.insert(args.begin(), "brindlecap-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, progress);
  return CliRun{code, Drain(out), Drain(err)};
}

#ifndef _WIN32
CliRun RunInChildWith(std::vector<std::string> args, long* peak_kib) {
  const ChildRun child = RunInChild([&args](std::string* said) {
    const CliRun run = RunWith(args);
    *said = run.out + '\0' + run.err;  // neither holds a NUL
    return run.code;
  });
  *peak_kib = child.peak_kib;
  const size_t split = child.said.find('\0');
  if (split == std::string::npos) return CliRun{child.code, child.said, std::string()};
  return CliRun{child.code, child.said.substr(0, split), child.said.substr(split + 1)};
}
#endif

#ifndef _WIN32
CliRun RunOnTerminal(std::vector<std::string> args) {
  CliRun run = {-1, "", ""};
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_GE(master, 0);
  if (master < 0) return run;
  EXPECT_EQ(0, grantpt(master));
  EXPECT_EQ(0, unlockpt(master));
  FILE* terminal = fopen(ptsname(master), "w");
  EXPECT_NE(nullptr, terminal);
  if (terminal == nullptr) return run;

  args.insert(args.begin(), "brindlecap-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  run.code = RunCli(static_cast<int>(argv.size()), argv.data(), out, terminal);
  fclose(terminal);
  char chunk[4096];
  ssize_t n;
  while ((n = read(master, chunk, sizeof chunk)) > 0) run.err.append(chunk, static_cast<size_t>(n));
  close(master);
  run.out = Drain(out);
  return run;
}

#endif

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const Bytes& AlphaBeta() {
  static const Bytes bytes = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  return bytes;
}

const Bytes& CleoDave() {
  static const Bytes bytes = BuildReplay(LadderReplay({{"Cleo", 2}, {"Dave", 4}}));
  return bytes;
}

const Bytes& ReforgedOneVsOne() {
  static const Bytes bytes = BuildModernReplay(
      ModernGame({{"anXieTy#2932", 0x41, 0}, {"IroNSoul#22724", 0x08, 1}, {"Blizzard", 0x60, 24}}));
  return bytes;
}
const char kReforgedName[] = "1v1\\anXieTy(h) vs IroNSoul(u).w3g";

Bytes LastByteChanged(const Bytes& replay, unsigned char value) {
  Bytes changed = replay;
  changed.back() = value;
  return changed;
}

std::string DateTagNow() {
  const NameOptions options;
  const NameDate now = LocalNameDate();
  char tag[kDateTagSize];
  BuildDateTag(&options, &now, tag, sizeof tag);
  return tag;
}

std::string RunDateTag(const std::string& before, const std::string& out) {
  const std::string after = DateTagNow();
  return after != before && Contains(out, after) ? after : before;
}

#ifndef _WIN32
std::string MakePrefix(const std::string& base) {
  const std::string prefix = base + "prefix";
  const std::string documents = "/drive_c/users/me/Documents";
  for (const std::string& part :
       {std::string(), std::string("/drive_c"), std::string("/drive_c/users"),
        std::string("/drive_c/users/me"), documents, documents + "/Warcraft III",
        documents + "/Warcraft III/BattleNet", documents + "/Warcraft III/BattleNet/1001",
        documents + "/Warcraft III/BattleNet/1001/Replays"}) {
    if (!PlatformMakeDirectory((prefix + part).c_str())) return "";
  }
  return prefix;
}
#endif

#ifdef _WIN32
void RedirectedUserKey::SetUp() {
  snprintf(root_, sizeof root_, "Software\\Brindlecap tests\\user %lu", GetCurrentProcessId());
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, root_, 0, NULL, 0, KEY_ALL_ACCESS,
                                           NULL, &user_, NULL));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_));
}

void RedirectedUserKey::TearDown() {
  RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
  RegDeleteTreeA(user_, NULL);
  RegCloseKey(user_);
  RegDeleteKeyA(HKEY_CURRENT_USER, root_);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brindlecap tests");  // only goes when empty
}

void RedirectedUserKey::SetGameValue(const char* name, const std::string& data, DWORD type) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(user_, kGameRegistryKey, 0, NULL, 0, KEY_WRITE, NULL,
                                           &key, NULL));
  const DWORD size = static_cast<DWORD>(data.size() + (type == REG_SZ ? 1 : 0));
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()), size));
  RegCloseKey(key);
}

void RedirectedUserKey::DeleteGameKey() { RegDeleteTreeA(user_, kGameRegistryKey); }
#endif

namespace {

struct JsonParser {
  const std::string& s;
  size_t at = 0;
  bool ok = true;

  void Space() {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n')) ++at;
  }
  bool Eat(char c) {
    Space();
    if (at < s.size() && s[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  std::string String() {
    std::string out;
    if (!Eat('"')) {
      ok = false;
      return out;
    }
    while (at < s.size() && s[at] != '"') {
      if (s[at] != '\\') {
        out += s[at++];
        continue;
      }
      if (++at >= s.size()) break;
      const char e = s[at++];
      if (e == 'u' && at + 4 <= s.size()) {
        const unsigned code = static_cast<unsigned>(strtoul(s.substr(at, 4).c_str(), nullptr, 16));
        at += 4;
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else {
          out += "\xEF\xBF\xBD";  // only U+FFFD is written above 0x7F
        }
      } else {
        out += e;
      }
    }
    if (!Eat('"')) ok = false;
    return out;
  }
  Json Value() {
    Json v;
    Space();
    if (at >= s.size()) {
      ok = false;
    } else if (s[at] == '{') {
      v.kind = Json::kObject;
      ++at;
      if (!Eat('}')) {
        do {
          const std::string key = String();
          if (!Eat(':')) ok = false;
          v.fields[key] = Value();
        } while (ok && Eat(','));
        if (!Eat('}')) ok = false;
      }
    } else if (s[at] == '[') {
      v.kind = Json::kArray;
      ++at;
      if (!Eat(']')) {
        do {
          v.items.push_back(Value());
        } while (ok && Eat(','));
        if (!Eat(']')) ok = false;
      }
    } else if (s[at] == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (s.compare(at, 4, "true") == 0 || s.compare(at, 5, "false") == 0) {
      v.kind = Json::kBool;
      v.boolean = s[at] == 't';
      at += v.boolean ? 4 : 5;
    } else {
      v.kind = Json::kNumber;
      char* end = nullptr;
      v.number = strtod(s.c_str() + at, &end);
      if (end == s.c_str() + at) ok = false;
      at = static_cast<size_t>(end - s.c_str());
    }
    return v;
  }
};

}  // namespace

bool ParseJson(const std::string& text, Json* value) {
  JsonParser parser{text};
  *value = parser.Value();
  parser.Space();
  return parser.ok && parser.at == text.size();
}

