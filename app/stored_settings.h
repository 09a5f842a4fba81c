// The settings a player chose in the settings window, kept in
// HKEY_CURRENT_USER\Software\Brindlecap. The tray program only reads them; the
// settings window writes them, and only what the player changed, when OK or Apply
// is pressed. Both go through a seam over the registry key, so that what a
// missing key, a value of the wrong type or one too long does can be tried in
// process.
//
// A value that is missing means the default. One that cannot be used (the wrong
// type, too long, not 0 or 1, a template that does not parse) is passed over, and
// the default stands; problems says which and why, for the about box. Nothing is
// ever rewritten to mend it.
#ifndef BRINDLECAP_APP_STORED_SETTINGS_H_
#define BRINDLECAP_APP_STORED_SETTINGS_H_

#include <stddef.h>
#include <windows.h>

#include "naming/name.h"

extern const char kSettingsKey[];           // "Software\Brindlecap", below HKEY_CURRENT_USER
extern const char kKeepCustomGamesValue[];  // REG_DWORD 0 or 1
extern const char kDateTagValue[];          // REG_DWORD 0 or 1
extern const char kModernValue[];           // REG_DWORD 0 or 1
extern const char kNotifyValue[];           // REG_DWORD 0 or 1
extern const char kNameTemplateValue[];     // REG_SZ
extern const char kFoldersValue[];          // REG_MULTI_SZ

enum {
  kMaxStoredFolders = 16,   // as many as -folder switches are read
  kStoredProblemsSize = 2048,
};

// The seam: the settings key of one user.
struct SettingsSeam {
  void* context;
  // As RegQueryValueExA on the key: ERROR_SUCCESS with *type and *size (bytes)
  // set; ERROR_FILE_NOT_FOUND when the value or the key is missing;
  // ERROR_MORE_DATA when the value holds more than *size bytes; anything else
  // when it could not be read.
  LONG (*query)(void* context, const char* name, DWORD* type, BYTE* data, DWORD* size);
  // As RegSetValueExA, the key made when missing.
  LONG (*set)(void* context, const char* name, DWORD type, const BYTE* data, DWORD size);
  // True when the key may have changed since the last call; the first call says
  // true. Asked on every tick: it must cost no file-system call and allocate
  // nothing.
  bool (*changed)(void* context);
};

// A flag as stored.
enum StoredFlag {
  kFlagMissing = -1,  // not there, or passed over: the default stands
  kFlagOff = 0,
  kFlagOn = 1,
};

// Which values were passed over, one bit each.
enum StoredValueBit {
  kStoredKeepCustom = 1,
  kStoredDateTag = 2,
  kStoredModern = 4,
  kStoredNotify = 8,
  kStoredTemplate = 16,
  kStoredFolders = 32,
};

struct StoredSettings {
  int keep_custom;  // StoredFlag each
  int date_tag;
  int modern;
  int notify;
  bool has_template;
  char name_template[kPathSize];
  bool has_folders;
  int folder_count;
  char folders[kMaxStoredFolders][kPathSize];
  int passed_over;  // StoredValueBit of each value passed over
  // What was passed over and why, a line each ("Modern: ..."); "" when nothing.
  char problems[kStoredProblemsSize];
};

// Nothing stored: every value missing.
void ClearStoredSettings(StoredSettings* stored);

// Reads every value through the seam. Allocates nothing.
void ReadStoredSettings(const SettingsSeam* seam, StoredSettings* stored);

// True when both hold the same usable values (what was passed over aside).
bool SameStoredSettings(const StoredSettings* a, const StoredSettings* b);

// Writes the values of after that the player changed from before (what
// ReadStoredSettings gave when the window opened): a value that differs, or was
// passed over. A value that was missing and is left at its default stays missing.
// Returns the number written, or -1 after a failure, with its words in problem.
int WriteStoredSettings(const SettingsSeam* seam, const StoredSettings* before,
                        const StoredSettings* after, char* problem, size_t problem_size);

// The seam over the real registry: root\key (HKEY_CURRENT_USER, kSettingsKey).
// changed is the registry's own change notice (RegNotifyChangeKeyValue) on an
// event, asked with a wait of no time: the key's values while it exists, and its
// parent's subkeys until it does, so that a key made later is noticed too.
struct RegistrySettings {
  HKEY root;
  char key[128];
  HANDLE event;     // NULL until changed is first asked
  HKEY watched;     // the key, or its parent, whose changes signal event
  bool armed;
};

void OpenRegistrySettings(RegistrySettings* registry, HKEY root, const char* key);
void CloseRegistrySettings(RegistrySettings* registry);
SettingsSeam RegistrySeam(RegistrySettings* registry);

#endif  // BRINDLECAP_APP_STORED_SETTINGS_H_
