// A settings key in memory behind the seam, for the tests of what the program
// and the settings window make of the values it holds.
#ifndef BRINDLECAP_APP_FAKE_SETTINGS_KEY_H_
#define BRINDLECAP_APP_FAKE_SETTINGS_KEY_H_

#include <string.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/stored_settings.h"

// A settings key in memory, with the faults the registry can give.
struct FakeKey {
  struct Value {
    DWORD type;
    std::string bytes;
  };
  bool exists = true;
  std::map<std::string, Value> values;
  std::map<std::string, LONG> query_faults;  // query of that value gives this
  LONG set_fault = ERROR_SUCCESS;
  bool changed = true;
  std::vector<std::string> written;  // names, in the order they were written

  void Dword(const char* name, DWORD value) {
    values[name] = {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
  }
  void Text(const char* name, const std::string& text, DWORD type = REG_SZ) {
    values[name] = {type, text + std::string(1, '\0')};
  }
  void Raw(const char* name, DWORD type, const std::string& bytes) { values[name] = {type, bytes}; }

  static LONG Query(void* context, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    FakeKey* key = static_cast<FakeKey*>(context);
    auto fault = key->query_faults.find(name);
    if (fault != key->query_faults.end()) return fault->second;
    auto found = key->values.find(name);
    if (!key->exists || found == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const std::string& bytes = found->second.bytes;
    *type = found->second.type;
    if (bytes.size() > *size) {
      *size = static_cast<DWORD>(bytes.size());
      return ERROR_MORE_DATA;
    }
    memcpy(data, bytes.data(), bytes.size());
    *size = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
  }
  static LONG Set(void* context, const char* name, DWORD type, const BYTE* data, DWORD size) {
    FakeKey* key = static_cast<FakeKey*>(context);
    if (key->set_fault != ERROR_SUCCESS) return key->set_fault;
    key->exists = true;
    key->values[name] = {type, std::string(reinterpret_cast<const char*>(data), size)};
    key->written.push_back(name);
    return ERROR_SUCCESS;
  }
  static bool Changed(void* context) {
    FakeKey* key = static_cast<FakeKey*>(context);
    const bool was = key->changed;
    key->changed = false;
    return was;
  }
  SettingsSeam Seam() { return SettingsSeam{this, Query, Set, Changed}; }
};

#endif  // BRINDLECAP_APP_FAKE_SETTINGS_KEY_H_
