// The settings key through its seam: what each value holds, what is passed over
// and why, what the settings window writes; then the registry behind the seam.
#include "app/stored_settings.h"

#include <string.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/fake_settings_key.h"
#include "cli/cli_test_support.h"
#include "gtest/gtest.h"

namespace {

std::unique_ptr<StoredSettings> Read(FakeKey* key) {
  std::unique_ptr<StoredSettings> stored(new StoredSettings);
  const SettingsSeam seam = key->Seam();
  ReadStoredSettings(&seam, stored.get());
  return stored;
}

std::string Folders(const StoredSettings& stored) {
  std::string joined;
  for (int i = 0; i < stored.folder_count; ++i) joined += (i > 0 ? "|" : "") + std::string(stored.folders[i]);
  return stored.has_folders ? joined : "(none)";
}

TEST(StoredSettings, EachValueReadOrPassedOverWithTheReason) {
  const std::string longest_template(1023, 't');
  struct Case {
    const char* what;
    void (*fill)(FakeKey*);
    int custom, date_tag, modern, notify;
    const char* name_template;  // "(none)" when there is none
    const char* folders;        // joined by '|'; "(none)"
    const char* problems;
  } cases[] = {
      {"the key is missing", [](FakeKey* k) { k->exists = false; }, -1, -1, -1, -1, "(none)",
       "(none)", ""},
      {"every flag on",
       [](FakeKey* k) {
         for (const char* n : {"KeepCustomGames", "DateTag", "Modern", "Notify"}) k->Dword(n, 1);
       },
       1, 1, 1, 1, "(none)", "(none)", ""},
      {"every flag off",
       [](FakeKey* k) {
         for (const char* n : {"KeepCustomGames", "DateTag", "Modern", "Notify"}) k->Dword(n, 0);
       },
       0, 0, 0, 0, "(none)", "(none)", ""},
      {"a flag of 2", [](FakeKey* k) { k->Dword("KeepCustomGames", 2); }, -1, -1, -1, -1,
       "(none)", "(none)", "KeepCustomGames: is 2, not 0 or 1"},
      {"a flag as text", [](FakeKey* k) { k->Text("Modern", "1"); }, -1, -1, -1, -1, "(none)",
       "(none)", "Modern: is a REG_SZ, not a REG_DWORD of 0 or 1"},
      {"a flag of 64 bits", [](FakeKey* k) { k->Raw("Notify", REG_QWORD, std::string(8, '\0')); },
       -1, -1, -1, -1, "(none)", "(none)", "Notify: is a REG_QWORD, not a REG_DWORD of 0 or 1"},
      {"a flag far too long",
       [](FakeKey* k) { k->Raw("DateTag", REG_BINARY, std::string(16, '\1')); }, -1, -1, -1, -1,
       "(none)", "(none)", "DateTag: is longer than a REG_DWORD of 0 or 1"},
      {"a flag two bytes short",
       [](FakeKey* k) { k->Raw("DateTag", REG_DWORD, std::string(2, '\0')); }, -1, -1, -1, -1,
       "(none)", "(none)", "DateTag: is a REG_DWORD of another length, not a REG_DWORD of 0 or 1"},
      {"a flag that cannot be read",
       [](FakeKey* k) {
         k->Dword("Modern", 1);
         k->query_faults["Modern"] = ERROR_ACCESS_DENIED;
       },
       -1, -1, -1, -1, "(none)", "(none)", "Modern: could not be read (error 5)"},
      {"a template", [](FakeKey* k) { k->Text("NameTemplate", "{players} on {map}"); }, -1, -1,
       -1, -1, "{players} on {map}", "(none)", ""},
      {"a template stored without its NUL",
       [](FakeKey* k) { k->Raw("NameTemplate", REG_SZ, "{players}"); }, -1, -1, -1, -1,
       "{players}", "(none)", ""},
      {"a template that does not parse",
       [](FakeKey* k) { k->Text("NameTemplate", "{players} on {mapname}"); }, -1, -1, -1, -1,
       "(none)", "(none)",
       "NameTemplate: the -name template has an unknown field {mapname} (the fields are "},
      {"a template with a colon", [](FakeKey* k) { k->Text("NameTemplate", "{players}: {map}"); },
       -1, -1, -1, -1, "(none)", "(none)",
       "NameTemplate: the -name template holds ':', which no file name can hold"},
      {"a template too long", [](FakeKey* k) { k->Text("NameTemplate", std::string(2000, 'x')); },
       -1, -1, -1, -1, "(none)", "(none)", "NameTemplate: is longer than 1023 characters"},
      {"a template to expand",
       [](FakeKey* k) { k->Text("NameTemplate", "{players}", REG_EXPAND_SZ); }, -1, -1, -1, -1,
       "(none)", "(none)", "NameTemplate: is a REG_EXPAND_SZ, not a REG_SZ"},
      {"two folders",
       [](FakeKey* k) {
         k->Raw("Folders", REG_MULTI_SZ, std::string("D:\\a\0E:\\my games\\r\0\0", 20));
       },
       -1, -1, -1, -1, "(none)", "D:\\a|E:\\my games\\r", ""},
      {"no folder", [](FakeKey* k) { k->Raw("Folders", REG_MULTI_SZ, std::string(1, '\0')); }, -1,
       -1, -1, -1, "(none)", "", ""},
      {"too many folders",
       [](FakeKey* k) {
         std::string many;
         for (int i = 0; i < 17; ++i) many += "C:\\f" + std::to_string(i) + std::string(1, '\0');
         k->Raw("Folders", REG_MULTI_SZ, many + std::string(1, '\0'));
       },
       -1, -1, -1, -1, "(none)", "(none)", "Folders: holds more than 16 folders"},
      {"a folder too long",
       [](FakeKey* k) {
         k->Raw("Folders", REG_MULTI_SZ, std::string(1500, 'f') + std::string(2, '\0'));
       },
       -1, -1, -1, -1, "(none)", "(none)", "Folders: holds a folder longer than 1023 characters"},
      {"folders as text", [](FakeKey* k) { k->Text("Folders", "D:\\a"); }, -1, -1, -1, -1,
       "(none)", "(none)", "Folders: is a REG_SZ, not a REG_MULTI_SZ"},
      {"several wrong at once",
       [](FakeKey* k) {
         k->Dword("KeepCustomGames", 1);
         k->Dword("Modern", 7);
         k->Text("NameTemplate", "{players");
       },
       1, -1, -1, -1, "(none)", "(none)",
       "Modern: is 7, not 0 or 1\n"
       "NameTemplate: the -name template has a \"{\" without its \"}\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKey key;
    c.fill(&key);
    const std::unique_ptr<StoredSettings> stored = Read(&key);
    EXPECT_EQ(c.custom, stored->keep_custom);
    EXPECT_EQ(c.date_tag, stored->date_tag);
    EXPECT_EQ(c.modern, stored->modern);
    EXPECT_EQ(c.notify, stored->notify);
    EXPECT_EQ(c.name_template, stored->has_template ? std::string(stored->name_template) : "(none)");
    EXPECT_EQ(c.folders, Folders(*stored));
    // The template's own problem ends in the list of fields, which is the CLI's.
    EXPECT_EQ(0u, std::string(stored->problems).rfind(c.problems, 0)) << stored->problems;
    EXPECT_EQ(c.problems[0] != '\0', stored->passed_over != 0);
    EXPECT_TRUE(key.written.empty()) << "reading never writes";
  }
  // The longest template there is fits.
  FakeKey key;
  key.Text("NameTemplate", longest_template);
  EXPECT_EQ(longest_template, Read(&key)->name_template);
}

TEST(StoredSettings, OnlyWhatThePlayerChangedIsWritten) {
  struct Case {
    const char* what;
    void (*before)(FakeKey*);
    void (*change)(StoredSettings*);
    std::vector<std::string> written;
  } cases[] = {
      {"nothing stored, defaults kept", [](FakeKey*) {},
       [](StoredSettings* s) {
         s->keep_custom = 0;
         s->date_tag = 1;
         s->modern = 0;
         s->notify = 0;
       },
       {}},
      {"one box ticked", [](FakeKey*) {}, [](StoredSettings* s) { s->keep_custom = 1; },
       {"KeepCustomGames"}},
      {"a stored value set back to the default", [](FakeKey* k) { k->Dword("Modern", 1); },
       [](StoredSettings* s) { s->modern = 0; }, {"Modern"}},
      {"a value passed over, mended by OK", [](FakeKey* k) { k->Text("DateTag", "yes"); },
       [](StoredSettings* s) { s->date_tag = 1; }, {"DateTag"}},
      {"the template cleared", [](FakeKey* k) { k->Text("NameTemplate", "{players}"); },
       [](StoredSettings* s) {
         s->has_template = true;
         s->name_template[0] = '\0';
       },
       {"NameTemplate"}},
      {"a folder added", [](FakeKey*) {},
       [](StoredSettings* s) {
         s->has_folders = true;
         s->folder_count = 2;
         strcpy(s->folders[0], "D:\\a");
         strcpy(s->folders[1], "E:\\my games");
       },
       {"Folders"}},
      {"the same folders again",
       [](FakeKey* k) { k->Raw("Folders", REG_MULTI_SZ, std::string("D:\\a\0\0", 6)); },
       [](StoredSettings*) {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKey key;
    c.before(&key);
    const std::unique_ptr<StoredSettings> before = Read(&key);
    std::unique_ptr<StoredSettings> after(new StoredSettings(*before));
    c.change(after.get());
    const SettingsSeam seam = key.Seam();
    char problem[128] = "x";
    EXPECT_EQ(static_cast<int>(c.written.size()),
              WriteStoredSettings(&seam, before.get(), after.get(), problem, sizeof problem));
    EXPECT_STREQ("", problem);
    EXPECT_EQ(c.written, key.written);
    // What was written reads back as the player left it.
    const std::unique_ptr<StoredSettings> again = Read(&key);
    EXPECT_STREQ("", again->problems);
    if (!c.written.empty()) {
      EXPECT_EQ(Folders(*after), Folders(*again));
      EXPECT_EQ(after->has_template ? after->name_template : "",
                std::string(again->has_template ? again->name_template : ""));
    }
  }
  // The folders as the registry keeps a list: each with its NUL, one more at the end.
  FakeKey key;
  const std::unique_ptr<StoredSettings> before = Read(&key);
  std::unique_ptr<StoredSettings> after(new StoredSettings(*before));
  after->has_folders = true;
  after->folder_count = 2;
  strcpy(after->folders[0], "D:\\a");
  strcpy(after->folders[1], "E:\\b c");
  const SettingsSeam seam = key.Seam();
  char problem[128];
  ASSERT_EQ(1, WriteStoredSettings(&seam, before.get(), after.get(), problem, sizeof problem));
  EXPECT_EQ(std::string("D:\\a\0E:\\b c\0\0", 13), key.values["Folders"].bytes);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), key.values["Folders"].type);
}

TEST(StoredSettings, AFailedWriteSaysWhichValue) {
  FakeKey key;
  key.set_fault = ERROR_ACCESS_DENIED;
  const std::unique_ptr<StoredSettings> before = Read(&key);
  std::unique_ptr<StoredSettings> after(new StoredSettings(*before));
  after->notify = 1;
  const SettingsSeam seam = key.Seam();
  char problem[128];
  EXPECT_EQ(-1, WriteStoredSettings(&seam, before.get(), after.get(), problem, sizeof problem));
  EXPECT_STREQ("Notify could not be written (error 5)", problem);
}

// The registry behind the seam, in a key of the test's own (HKEY_CURRENT_USER
// is redirected there).
class RegistryStore : public RedirectedUserKey {
 protected:
  void SetUp() override {
    RedirectedUserKey::SetUp();
    OpenRegistrySettings(&registry_, HKEY_CURRENT_USER, kSettingsKey);
    seam_ = RegistrySeam(&registry_);
  }
  void TearDown() override {
    CloseRegistrySettings(&registry_);
    RedirectedUserKey::TearDown();
  }
  void Put(const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0,
                                             KEY_SET_VALUE, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof value));
    RegCloseKey(key);
  }
  std::unique_ptr<StoredSettings> ReadKey() {
    std::unique_ptr<StoredSettings> stored(new StoredSettings);
    ReadStoredSettings(&seam_, stored.get());
    return stored;
  }
  RegistrySettings registry_;
  SettingsSeam seam_;
};

TEST_F(RegistryStore, ChangesAreNoticedFromTheKeysMakingOn) {
  EXPECT_TRUE(seam_.changed(seam_.context)) << "the first question reads the key";
  EXPECT_EQ(-1, ReadKey()->modern);
  EXPECT_FALSE(seam_.changed(seam_.context));
  EXPECT_FALSE(seam_.changed(seam_.context));

  Put("Modern", 1);  // the key is made, by another program
  EXPECT_TRUE(seam_.changed(seam_.context));
  EXPECT_EQ(1, ReadKey()->modern);
  EXPECT_FALSE(seam_.changed(seam_.context));

  Put("Notify", 1);
  EXPECT_TRUE(seam_.changed(seam_.context));
  EXPECT_FALSE(seam_.changed(seam_.context)) << "one change, one notice";
  EXPECT_EQ(1, ReadKey()->notify);
  EXPECT_FALSE(seam_.changed(seam_.context)) << "reading is no change";
}

TEST_F(RegistryStore, WhatTheWindowWritesIsWhatTheProgramReads) {
  seam_.changed(seam_.context);
  const std::unique_ptr<StoredSettings> before = ReadKey();
  std::unique_ptr<StoredSettings> after(new StoredSettings(*before));
  after->keep_custom = 1;
  after->date_tag = 0;
  after->has_template = true;
  strcpy(after->name_template, "{players} \xD0\x96 {length}");  // a letter outside ASCII
  after->has_folders = true;
  after->folder_count = 1;
  strcpy(after->folders[0], "D:\\Replays");
  char problem[128];
  EXPECT_EQ(4, WriteStoredSettings(&seam_, before.get(), after.get(), problem, sizeof problem))
      << problem;
  EXPECT_TRUE(seam_.changed(seam_.context));
  const std::unique_ptr<StoredSettings> read = ReadKey();
  EXPECT_TRUE(SameStoredSettings(after.get(), read.get()));
  EXPECT_STREQ("", read->problems);
  // The type the registry was given, as regedit shows it.
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key));
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "KeepCustomGames", NULL, &type, NULL, NULL));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Folders", NULL, &type, NULL, NULL));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Modern", NULL, &type, NULL, NULL))
      << "a value left at its default is not written";
  RegCloseKey(key);
}

}  // namespace
