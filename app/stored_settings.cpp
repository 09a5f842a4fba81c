// The settings key: reading and passing over what cannot be used, writing what
// the player changed, and the registry behind the seam.
#include "app/stored_settings.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "naming/name_template.h"

const char kSettingsKey[] = "Software\\Brindlecap";
const char kKeepCustomGamesValue[] = "KeepCustomGames";
const char kDateTagValue[] = "DateTag";
const char kModernValue[] = "Modern";
const char kNotifyValue[] = "Notify";
const char kNameTemplateValue[] = "NameTemplate";
const char kFoldersValue[] = "Folders";

namespace {

// A REG_MULTI_SZ of every folder at its longest, and the NUL that ends the list.
const DWORD kFoldersBytes = kMaxStoredFolders * kPathSize + 1;

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "value of another type";
  }
}

// Adds a line to what was passed over, as much of it as fits.
void PassOver(StoredSettings* stored, int bit, const char* name, const char* format, ...) {
  stored->passed_over |= bit;
  size_t used = strlen(stored->problems);
  const size_t size = sizeof stored->problems;
  if (used + 1 >= size) return;
  int n = snprintf(stored->problems + used, size - used, "%s%s: ", used > 0 ? "\n" : "", name);
  if (n < 0 || static_cast<size_t>(n) >= size - used) {
    stored->problems[used] = '\0';
    return;
  }
  used += static_cast<size_t>(n);
  va_list args;
  va_start(args, format);
  vsnprintf(stored->problems + used, size - used, format, args);
  va_end(args);
}

// Says why a value that the seam did not give could not be used; false when it
// is simply missing.
bool Unreadable(StoredSettings* stored, int bit, const char* name, LONG status,
                const char* too_long) {
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status == ERROR_MORE_DATA) {
    PassOver(stored, bit, name, "%s", too_long);
  } else {
    PassOver(stored, bit, name, "could not be read (error %ld)", static_cast<long>(status));
  }
  return true;
}

int ReadFlag(const SettingsSeam* seam, const char* name, int bit, StoredSettings* stored) {
  // Room for more than a REG_DWORD, so that a longer value says what it is.
  BYTE data[8];
  DWORD type = REG_NONE;
  DWORD size = sizeof data;
  const LONG status = seam->query(seam->context, name, &type, data, &size);
  if (status != ERROR_SUCCESS) {
    Unreadable(stored, bit, name, status, "is longer than a REG_DWORD of 0 or 1");
    return kFlagMissing;
  }
  if (type != REG_DWORD || size != sizeof(DWORD)) {
    PassOver(stored, bit, name, "is a %s, not a REG_DWORD of 0 or 1",
             type == REG_DWORD ? "REG_DWORD of another length" : TypeName(type));
    return kFlagMissing;
  }
  DWORD value;
  memcpy(&value, data, sizeof value);
  if (value > 1) {
    PassOver(stored, bit, name, "is %lu, not 0 or 1", static_cast<unsigned long>(value));
    return kFlagMissing;
  }
  return static_cast<int>(value);
}

// A string value whole, with its NUL: false (and passed over) when it is not one.
bool ReadText(const SettingsSeam* seam, const char* name, int bit, DWORD want_type, BYTE* data,
              DWORD capacity, const char* too_long, StoredSettings* stored, DWORD* size) {
  DWORD type = REG_NONE;
  *size = capacity - 2;  // room to end the text ourselves, whatever was stored
  const LONG status = seam->query(seam->context, name, &type, data, size);
  if (status != ERROR_SUCCESS) {
    Unreadable(stored, bit, name, status, too_long);
    return false;
  }
  if (type != want_type) {
    PassOver(stored, bit, name, "is a %s, not a %s", TypeName(type), TypeName(want_type));
    return false;
  }
  // The registry does not promise the NULs a string should end in.
  data[*size] = '\0';
  data[*size + 1] = '\0';
  return true;
}

void ReadTemplate(const SettingsSeam* seam, StoredSettings* stored) {
  BYTE data[kPathSize + 2];
  DWORD size = 0;
  if (!ReadText(seam, kNameTemplateValue, kStoredTemplate, REG_SZ, data, sizeof data,
                "is longer than 1023 characters", stored, &size)) {
    return;
  }
  const char* text = reinterpret_cast<const char*>(data);
  if (strlen(text) >= kPathSize) {
    PassOver(stored, kStoredTemplate, kNameTemplateValue, "is longer than 1023 characters");
    return;
  }
  // Refused as the switch would be, rather than filing odd names.
  char problem[256];
  if (NameTemplateProblem(text, problem, sizeof problem)) {
    PassOver(stored, kStoredTemplate, kNameTemplateValue, "%s", problem);
    return;
  }
  stored->has_template = true;
  snprintf(stored->name_template, sizeof stored->name_template, "%s", text);
}

void ReadFolders(const SettingsSeam* seam, StoredSettings* stored) {
  static_assert(kFoldersBytes < 32 * 1024, "the folders are read on the stack");
  BYTE data[kFoldersBytes + 2];
  DWORD size = 0;
  char too_long[96];
  snprintf(too_long, sizeof too_long, "holds more than %d folders of up to 1023 characters",
           kMaxStoredFolders);
  if (!ReadText(seam, kFoldersValue, kStoredFolders, REG_MULTI_SZ, data, sizeof data, too_long,
                stored, &size)) {
    return;
  }
  // Strings one after another, each with its NUL; an empty one ends the list.
  int count = 0;
  for (const char* at = reinterpret_cast<const char*>(data); *at != '\0';) {
    const size_t length = strlen(at);
    if (length >= kPathSize) {
      PassOver(stored, kStoredFolders, kFoldersValue, "holds a folder longer than 1023 characters");
      return;
    }
    if (count == kMaxStoredFolders) {
      PassOver(stored, kStoredFolders, kFoldersValue, "holds more than %d folders",
               kMaxStoredFolders);
      return;
    }
    memcpy(stored->folders[count++], at, length + 1);
    at += length + 1;
  }
  stored->has_folders = true;
  stored->folder_count = count;
}

// What the window shows for a flag that is missing.
int FlagOrDefault(int flag, int fallback) { return flag == kFlagMissing ? fallback : flag; }

bool FlagChanged(const StoredSettings* before, const StoredSettings* after, int bit,
                 int StoredSettings::*flag, int fallback) {
  if (after->*flag == kFlagMissing) return false;
  if (before->passed_over & bit) return true;
  return after->*flag != FlagOrDefault(before->*flag, fallback);
}

bool SameFolders(const StoredSettings* a, const StoredSettings* b) {
  const int a_count = a->has_folders ? a->folder_count : 0;
  const int b_count = b->has_folders ? b->folder_count : 0;
  if (a_count != b_count) return false;
  for (int i = 0; i < a_count; ++i) {
    if (strcmp(a->folders[i], b->folders[i]) != 0) return false;
  }
  return true;
}

const char* TemplateOf(const StoredSettings* stored) {
  return stored->has_template ? stored->name_template : "";
}

}  // namespace

void ClearStoredSettings(StoredSettings* stored) {
  stored->keep_custom = kFlagMissing;
  stored->date_tag = kFlagMissing;
  stored->modern = kFlagMissing;
  stored->notify = kFlagMissing;
  stored->has_template = false;
  stored->name_template[0] = '\0';
  stored->has_folders = false;
  stored->folder_count = 0;
  stored->passed_over = 0;
  stored->problems[0] = '\0';
}

void ReadStoredSettings(const SettingsSeam* seam, StoredSettings* stored) {
  ClearStoredSettings(stored);
  stored->keep_custom = ReadFlag(seam, kKeepCustomGamesValue, kStoredKeepCustom, stored);
  stored->date_tag = ReadFlag(seam, kDateTagValue, kStoredDateTag, stored);
  stored->modern = ReadFlag(seam, kModernValue, kStoredModern, stored);
  stored->notify = ReadFlag(seam, kNotifyValue, kStoredNotify, stored);
  ReadTemplate(seam, stored);
  ReadFolders(seam, stored);
}

bool SameStoredSettings(const StoredSettings* a, const StoredSettings* b) {
  return a->keep_custom == b->keep_custom && a->date_tag == b->date_tag &&
         a->modern == b->modern && a->notify == b->notify &&
         a->has_template == b->has_template &&
         strcmp(TemplateOf(a), TemplateOf(b)) == 0 && a->has_folders == b->has_folders &&
         SameFolders(a, b);
}

int WriteStoredSettings(const SettingsSeam* seam, const StoredSettings* before,
                        const StoredSettings* after, char* problem, size_t problem_size) {
  if (problem_size > 0) problem[0] = '\0';
  struct Flag {
    const char* name;
    int bit;
    int StoredSettings::*flag;
    int fallback;
  } const flags[] = {
      {kKeepCustomGamesValue, kStoredKeepCustom, &StoredSettings::keep_custom, kFlagOff},
      {kDateTagValue, kStoredDateTag, &StoredSettings::date_tag, kFlagOn},
      {kModernValue, kStoredModern, &StoredSettings::modern, kFlagOff},
      {kNotifyValue, kStoredNotify, &StoredSettings::notify, kFlagOff},
  };
  int written = 0;
  LONG status = ERROR_SUCCESS;
  const char* failed = nullptr;
  for (const Flag& f : flags) {
    if (!FlagChanged(before, after, f.bit, f.flag, f.fallback)) continue;
    const DWORD value = static_cast<DWORD>(after->*f.flag);
    status = seam->set(seam->context, f.name, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    if (status != ERROR_SUCCESS) {
      failed = f.name;
      break;
    }
    ++written;
  }
  if (failed == nullptr && ((before->passed_over & kStoredTemplate) ||
                            strcmp(TemplateOf(before), TemplateOf(after)) != 0)) {
    const char* text = TemplateOf(after);
    status = seam->set(seam->context, kNameTemplateValue, REG_SZ,
                       reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
    if (status != ERROR_SUCCESS) failed = kNameTemplateValue;
    else ++written;
  }
  if (failed == nullptr && ((before->passed_over & kStoredFolders) || !SameFolders(before, after))) {
    BYTE data[kFoldersBytes + 1];
    DWORD size = 0;
    const int count = after->has_folders ? after->folder_count : 0;
    for (int i = 0; i < count; ++i) {
      const size_t length = strlen(after->folders[i]);
      if (length == 0) continue;  // an empty string would end the list
      memcpy(data + size, after->folders[i], length + 1);
      size += static_cast<DWORD>(length + 1);
    }
    data[size++] = '\0';
    status = seam->set(seam->context, kFoldersValue, REG_MULTI_SZ, data, size);
    if (status != ERROR_SUCCESS) failed = kFoldersValue;
    else ++written;
  }
  if (failed != nullptr) {
    snprintf(problem, problem_size, "%s could not be written (error %ld)", failed,
             static_cast<long>(status));
    return -1;
  }
  return written;
}

// --- the registry -----------------------------------------------------------

namespace {

LONG RegistryQuery(void* context, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  const RegistrySettings* registry = static_cast<const RegistrySettings*>(context);
  HKEY key;
  const LONG opened = RegOpenKeyExA(registry->root, registry->key, 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  const LONG status = RegQueryValueExA(key, name, NULL, type, data, size);
  RegCloseKey(key);
  return status;
}

LONG RegistrySet(void* context, const char* name, DWORD type, const BYTE* data, DWORD size) {
  const RegistrySettings* registry = static_cast<const RegistrySettings*>(context);
  HKEY key;
  const LONG made = RegCreateKeyExA(registry->root, registry->key, 0, NULL, 0, KEY_SET_VALUE,
                                    NULL, &key, NULL);
  if (made != ERROR_SUCCESS) return made;
  const LONG status = RegSetValueExA(key, name, 0, type, data, size);
  RegCloseKey(key);
  return status;
}

// Asks the registry to signal the event at the next change of the key's values,
// or of its parent's subkeys while the key is missing (the key being made). A
// notice is good for one change: asked again after each.
void Arm(RegistrySettings* registry) {
  if (registry->watched != NULL) RegCloseKey(registry->watched);
  registry->watched = NULL;
  registry->armed = false;
  HKEY key;
  if (RegOpenKeyExA(registry->root, registry->key, 0, KEY_NOTIFY, &key) == ERROR_SUCCESS) {
    // The key's own values, and its going (a name change of the key itself).
    if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                registry->event, TRUE) == ERROR_SUCCESS) {
      registry->watched = key;
      registry->armed = true;
      return;
    }
    RegCloseKey(key);
  }
  char parent[sizeof registry->key];
  snprintf(parent, sizeof parent, "%s", registry->key);
  char* last = strrchr(parent, '\\');
  if (last == nullptr) return;
  *last = '\0';
  if (RegOpenKeyExA(registry->root, parent, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) return;
  if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME, registry->event, TRUE) ==
      ERROR_SUCCESS) {
    registry->watched = key;
    registry->armed = true;
    return;
  }
  RegCloseKey(key);
}

bool RegistryChanged(void* context) {
  RegistrySettings* registry = static_cast<RegistrySettings*>(context);
  if (registry->event == NULL) {
    registry->event = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (registry->event == NULL) return true;  // read once, at start-up; never again
    Arm(registry);
    return true;
  }
  // A wait of no time on an event: no file is touched, nothing allocated.
  if (WaitForSingleObject(registry->event, 0) != WAIT_OBJECT_0) {
    // Made after the key went or before it came, say: asked again next time.
    if (registry->armed) return false;
    Arm(registry);
    return registry->armed;
  }
  // Asked again before the values are read, so that a change made while they are
  // read signals the next tick.
  Arm(registry);
  return true;
}

}  // namespace

void OpenRegistrySettings(RegistrySettings* registry, HKEY root, const char* key) {
  registry->root = root;
  snprintf(registry->key, sizeof registry->key, "%s", key);
  registry->event = NULL;
  registry->watched = NULL;
  registry->armed = false;
}

void CloseRegistrySettings(RegistrySettings* registry) {
  if (registry->watched != NULL) RegCloseKey(registry->watched);
  if (registry->event != NULL) CloseHandle(registry->event);
  registry->watched = NULL;
  registry->event = NULL;
  registry->armed = false;
}

SettingsSeam RegistrySeam(RegistrySettings* registry) {
  SettingsSeam seam;
  seam.context = registry;
  seam.query = RegistryQuery;
  seam.set = RegistrySet;
  seam.changed = RegistryChanged;
  return seam;
}
