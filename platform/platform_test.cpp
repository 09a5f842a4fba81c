// The seam's folder listing and its date arithmetic, on the real file system.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

struct Entry {
  std::string name;
  PlatformKind kind;
  bool link;
  bool operator<(const Entry& other) const { return name < other.name; }
};

int Collect(void* context, const char* name, PlatformKind kind, bool link) {
  static_cast<std::vector<Entry>*>(context)->push_back({name, kind, link});
  return 1;
}

int StopAtFirst(void* context, const char*, PlatformKind, bool) {
  ++*static_cast<int*>(context);
  return 0;
}

// Why a call failed is the failing thread's own: stats reads on many threads, and
// one thread's failure must not change what another is told of its own.
TEST(PlatformLastErrorTest, EachThreadIsToldOfItsOwnFailure) {
  const std::string folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  ASSERT_TRUE(WriteFileBytes(folder + "there.w3g", Bytes(10, 'x')));
  const struct {
    const char* what;
    PlatformError (*fail)(const std::string& folder);
  } failures[] = {
      {"a missing file opened",
       [](const std::string& f) {
         EXPECT_EQ(nullptr, PlatformOpenRead((f + "missing.w3g").c_str()));
         return PlatformLastError();
       }},
      {"a file made where one stands",
       [](const std::string& f) {
         EXPECT_EQ(nullptr, PlatformCreateNew((f + "there.w3g").c_str()));
         return PlatformLastError();
       }},
  };
  for (int mine = 0; mine < 2; ++mine) {
    const int other = 1 - mine;
    SCOPED_TRACE(failures[mine].what);
    const PlatformError before = failures[mine].fail(folder);
    EXPECT_NE(kPlatformOk, before);
    PlatformError told_there = kPlatformOk;
    std::thread there([&] { told_there = failures[other].fail(folder); });
    there.join();
    EXPECT_NE(before, told_there);
    EXPECT_EQ(before, PlatformLastError()) << "another thread's failure changed this one's";
  }
  EXPECT_EQ(kPlatformMissing, failures[0].fail(folder));
  EXPECT_EQ(kPlatformExists, failures[1].fail(folder));
  RemoveTree(folder);
}

class ListFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    ClearFaults();
  }
  void TearDown() override {
    ClearFaults();
    RemoveTree(folder_);
  }
  std::vector<Entry> List(const std::string& folder, int* result) {
    std::vector<Entry> entries;
    *result = PlatformListFolder(folder.c_str(), Collect, &entries);
    std::sort(entries.begin(), entries.end());
    return entries;
  }
  std::string folder_;
};

TEST_F(ListFolderTest, NamesEachEntryWithWhatItIs) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "123").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "\xE6\x97\xA5\xE6\x9C\xAC").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "LastReplay.w3g", Bytes(10, 'x')));
  // With and without the trailing separator, the same listing and one seam call.
  for (const std::string& folder : {folder_, folder_.substr(0, folder_.size() - 1)}) {
    SCOPED_TRACE(folder);
    const uint64_t calls = PlatformCallCount;
    int result = 0;
    const std::vector<Entry> entries = List(folder, &result);
    EXPECT_EQ(1u, PlatformCallCount - calls);
    EXPECT_EQ(1, result);
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("123", entries[0].name);
    EXPECT_EQ(kPlatformFolder, entries[0].kind);
    EXPECT_EQ("LastReplay.w3g", entries[1].name);
    EXPECT_EQ(kPlatformFile, entries[1].kind);
    EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC", entries[2].name);
    EXPECT_EQ(kPlatformFolder, entries[2].kind);
    for (const Entry& entry : entries) EXPECT_FALSE(entry.link) << entry.name;
  }
}

TEST_F(ListFolderTest, EmptyMissingFileAndRefusedFolders) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "empty").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "file", Bytes(1, 'x')));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "refused").c_str()));
  InjectFault(kPlatformCallList, 1, folder_ + "refused");
  struct Case {
    const char* name;
    int result;
    PlatformError error;  // kPlatformOk: listed
  } cases[] = {
      {"empty", 1, kPlatformOk},
      {"missing", 0, kPlatformMissing},
      {"file", 0, kPlatformOther},  // the cause differs by system; only the refusal matters
      {"refused", 0, kPlatformDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int result = -1;
    const std::vector<Entry> entries = List(folder_ + c.name, &result);
    EXPECT_EQ(c.result, result);
    EXPECT_TRUE(entries.empty());
    if (c.result == 0 && c.error != kPlatformOther) {
      EXPECT_EQ(c.error, PlatformLastError());
    }
  }
}

TEST_F(ListFolderTest, TheVisitorCanStopTheListing) {
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(WriteFileBytes(folder_ + name, Bytes(1, 'x')));
  }
  int visits = 0;
  EXPECT_EQ(1, PlatformListFolder(folder_.c_str(), StopAtFirst, &visits));
  EXPECT_EQ(1, visits);
}

#ifndef _WIN32
// A link named as the watcher names paths, with backslashes.
int MakeLink(const char* target, std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return symlink(target, path.c_str());
}

TEST_F(ListFolderTest, LinksAreMarkedAndCountAsWhatTheyLeadTo) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "real").c_str()));
  ASSERT_EQ(0, MakeLink("real", folder_ + "to-folder"));
  ASSERT_EQ(0, MakeLink(".", folder_ + "loop"));
  ASSERT_EQ(0, MakeLink("nowhere", folder_ + "dangling"));
  int result = 0;
  const std::vector<Entry> entries = List(folder_, &result);
  EXPECT_EQ(1, result);
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ("dangling", entries[0].name);
  EXPECT_EQ(kPlatformNothing, entries[0].kind);
  EXPECT_TRUE(entries[0].link);
  EXPECT_EQ("loop", entries[1].name);
  EXPECT_EQ(kPlatformFolder, entries[1].kind);
  EXPECT_TRUE(entries[1].link);
  EXPECT_EQ("real", entries[2].name);
  EXPECT_FALSE(entries[2].link);
  EXPECT_EQ("to-folder", entries[3].name);
  EXPECT_EQ(kPlatformFolder, entries[3].kind);
  EXPECT_TRUE(entries[3].link);
}
#endif

// One folder has one identity, whatever path leads to it; another has another.
TEST_F(ListFolderTest, IdentitiesTellFoldersApartWhateverThePath) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "a").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "a\\b").c_str()));
  struct Case {
    std::string path;
    const char* same_as;  // "" when nothing is there
  } cases[] = {
      {folder_ + "a", "a"},
      {folder_ + "a\\", "a"},
      {folder_ + "a\\b\\..", "a"},
      {folder_ + "a\\b", "b"},
      {folder_, "top"},
      {folder_ + "a\\..", "top"},
      {folder_ + "missing", ""},
  };
  PlatformIdentity a, b, top;
  ASSERT_EQ(1, PlatformIdentify((folder_ + "a").c_str(), &a));
  ASSERT_EQ(1, PlatformIdentify((folder_ + "a\\b").c_str(), &b));
  ASSERT_EQ(1, PlatformIdentify(folder_.c_str(), &top));
  EXPECT_FALSE(a.volume == b.volume && a.index == b.index);
  EXPECT_FALSE(a.volume == top.volume && a.index == top.index);
  for (const Case& c : cases) {
    PlatformIdentity id;
    const int found = PlatformIdentify(c.path.c_str(), &id);
    EXPECT_EQ(c.same_as[0] != '\0' ? 1 : 0, found) << c.path;
    if (!found) continue;
    const std::string name = c.same_as;
    const PlatformIdentity& expected = name == "a" ? a : name == "b" ? b : top;
    EXPECT_EQ(expected.volume, id.volume) << c.path;
    EXPECT_EQ(expected.index, id.index) << c.path;
  }
#ifndef _WIN32
  ASSERT_EQ(0, MakeLink("a", folder_ + "link"));
  PlatformIdentity linked;
  ASSERT_EQ(1, PlatformIdentify((folder_ + "link").c_str(), &linked));
  EXPECT_EQ(a.index, linked.index);
#endif
}

// Only a file on disk is a replay. A pipe, a socket or a device is refused at the
// open, before a byte is read; a FIFO's open would otherwise wait for a writer, for
// ever, and take the watch loop with it.
TEST_F(ListFolderTest, OnlyRegularFilesOpenForReading) {
  ASSERT_TRUE(WriteFileBytes(folder_ + "file.w3g", Bytes(10, 'x')));
  std::vector<std::string> refused;
#ifdef _WIN32
  // A pipe is opened as its client; NUL is a device.
  const char kPipe[] = "\\\\.\\pipe\\brindlecap-platform-test";
  HANDLE server = CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0,
                                   nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  refused = {kPipe, "NUL"};
#else
  const std::string fifo = folder_ + "fifo.w3g";
  ASSERT_TRUE(MakeFifo(fifo));
  const std::string socket_path = folder_ + "socket.w3g";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string native = socket_path;
  std::replace(native.begin(), native.end(), '\\', '/');
  ASSERT_LT(native.size(), sizeof address.sun_path);
  memcpy(address.sun_path, native.c_str(), native.size() + 1);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
  refused = {fifo, socket_path, "/dev/null"};
#endif
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    PlatformFile* file = nullptr;
    PlatformError error = kPlatformOk;
    const auto open_it = [&] {
      file = PlatformOpenRead(path.c_str());
      error = PlatformLastError();
    };
#ifdef _WIN32
    open_it();
#else
    EXPECT_TRUE(FinishesWithoutWaitingOn(fifo, open_it)) << "the open waited for a writer";
#endif
    EXPECT_EQ(nullptr, file);
    if (file != nullptr) PlatformClose(file);
    EXPECT_EQ(kPlatformNotAFile, error);
  }
  PlatformFile* file = PlatformOpenRead((folder_ + "file.w3g").c_str());
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(10, PlatformFileLength(file));
  char bytes[16];
  EXPECT_EQ(10u, PlatformRead(file, bytes, sizeof bytes));
  EXPECT_EQ(1, PlatformClose(file));
#ifdef _WIN32
  CloseHandle(server);
#else
  close(listener);
#endif
}

// A path from outside comes into the program's spelling and goes back unchanged,
// whatever bytes it holds; the program's own backslashes are separators.
TEST(PlatformPaths, SystemSpellingGoesInAndComesBackUnchanged) {
  for (const std::string& system :
       {std::string(""), std::string("/home/a/b.w3g"), std::string("w\\x"),
        std::string("..\\secret.w3g"), std::string("\x01"), std::string("\x01" "b\\\x01" "e"),
        std::string("\\\\"), std::string("\xE6\x97\xA5\\")}) {
    SCOPED_TRACE(system);
    char spelt[64];
    ASSERT_EQ(1, PlatformPathFromSystem(system.c_str(), spelt, sizeof spelt));
    char back[64];
    ASSERT_EQ(1, PlatformPathToSystem(spelt, back, sizeof back));
    EXPECT_EQ(system, back);
#ifdef _WIN32
    EXPECT_EQ(system, spelt);
#else
    // No separator of the program's in it: every backslash was a letter.
    EXPECT_EQ(nullptr, strchr(spelt, '\\'));
#endif
  }
  char out[8];
  EXPECT_EQ(1, PlatformPathFromSystem("1234567", out, sizeof out));
  EXPECT_EQ(0, PlatformPathFromSystem("12345678", out, sizeof out));
  EXPECT_EQ(1, PlatformPathToSystem("1234567", out, sizeof out));
  EXPECT_EQ(0, PlatformPathToSystem("12345678", out, sizeof out));
#ifndef _WIN32
  // Escaped, a backslash takes two bytes.
  EXPECT_EQ(0, PlatformPathFromSystem("123456\\", out, sizeof out));
  // The program's backslashes are this system's slashes.
  ASSERT_EQ(1, PlatformPathToSystem("a\\b\\", out, sizeof out));
  EXPECT_STREQ("a/b/", out);
#endif
}

#ifndef _WIN32
// A file whose name holds a backslash is found, opened and listed as itself.
TEST_F(ListFolderTest, ANameWithABackslashIsThatFile) {
  std::string native = folder_;
  std::replace(native.begin(), native.end(), '\\', '/');
  FILE* file = fopen((native + "..\\x.w3g").c_str(), "wb");
  ASSERT_NE(nullptr, file);
  fputs("mine", file);
  fclose(file);
  ASSERT_TRUE(WriteFileBytes(native + "x.w3g", Bytes(9, 'x')));  // not to be taken for it
  char spelt[kPlatformPathLimit];
  ASSERT_EQ(1, PlatformPathFromSystem((native + "..\\x.w3g").c_str(), spelt, sizeof spelt));
  EXPECT_EQ(kPlatformFile, PlatformKindOf(spelt));
  int64_t stamp = 0;
  int64_t length = 0;
  ASSERT_EQ(1, PlatformProbe(spelt, &stamp, &length));
  EXPECT_EQ(4, length);
  PlatformFile* opened = PlatformOpenRead(spelt);
  ASSERT_NE(nullptr, opened);
  char bytes[16] = {};
  EXPECT_EQ(4u, PlatformRead(opened, bytes, sizeof bytes));
  EXPECT_STREQ("mine", bytes);
  PlatformClose(opened);
  int result = 0;
  const std::vector<Entry> entries = List(folder_, &result);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("..\\x.w3g", entries[0].name);
  EXPECT_EQ(kPlatformFile, entries[0].kind);
}
#endif

TEST(PlatformTimeFromStamp, BreaksStampsIntoCivilDates) {
  struct Case {
    int64_t stamp;
    PlatformTime time;
  } cases[] = {
      {0, {1970, 1, 1, 0, 0, 0}},
      {-5, {1970, 1, 1, 0, 0, 0}},
      {951782400, {2000, 2, 29, 0, 0, 0}},             // a leap day of a century year
      {951868799, {2000, 2, 29, 23, 59, 59}},
      {1659212999, {2022, 7, 30, 20, 29, 59}},
      {1703980800 + 86399, {2023, 12, 31, 23, 59, 59}},  // the last second of a year
      {1703980800 + 86400, {2024, 1, 1, 0, 0, 0}},
      {1709164800, {2024, 2, 29, 0, 0, 0}},
      {INT32_MAX, {2038, 1, 19, 3, 14, 7}},
      // Past 32 bits of seconds, dates go on.
      {INT64_C(2147483648), {2038, 1, 19, 3, 14, 8}},
      {INT64_C(2227262400), {2040, 7, 30, 12, 0, 0}},
      {INT64_C(4294967296), {2106, 2, 7, 6, 28, 16}},
      {INT64_C(253402300799), {9999, 12, 31, 23, 59, 59}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    PlatformTime t;
    PlatformTimeFromStamp(c.stamp, &t);
    EXPECT_EQ(c.time.year, t.year);
    EXPECT_EQ(c.time.month, t.month);
    EXPECT_EQ(c.time.day, t.day);
    EXPECT_EQ(c.time.hour, t.hour);
    EXPECT_EQ(c.time.minute, t.minute);
    EXPECT_EQ(c.time.second, t.second);
  }
}

TEST(PlatformTimeFromStamp, AgreesWithTheProbeOfAFileWrittenThen) {
  const std::string folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "a.w3g";
  ASSERT_TRUE(WriteFileBytes(path, Bytes(1, 'x')));
  // Noon UTC of 30 July: whatever the zone, the local day is the 29th to the 31st.
  for (const int64_t noon : {INT64_C(1659182400), INT64_C(2227262400)}) {
    ASSERT_TRUE(SetWriteTime(path, noon));
    int64_t stamp = 0;
    ASSERT_EQ(1, PlatformProbe(path.c_str(), &stamp));
    PlatformTime t;
    PlatformTimeFromStamp(stamp, &t);
    EXPECT_EQ(noon < INT64_C(2227262400) ? 2022 : 2040, t.year);
    EXPECT_EQ(7, t.month);
    EXPECT_TRUE(t.day == 29 || t.day == 30 || t.day == 31) << t.day;
    // The pass's stamp is the same, cut to 32 bits.
    int32_t low = 0;
    ASSERT_EQ(1, PlatformProbe(path.c_str(), &low));
    EXPECT_EQ(static_cast<uint32_t>(stamp), static_cast<uint32_t>(low));
  }
  RemoveTree(folder);
}

}  // namespace
