// The Win32 halves of the zip support helpers: the system's OEM conversion
// and the string-table resources of the running program.
#include <windows.h>

#include <climits>
#include <map>
#include <mutex>
#include <vector>

#include "zip/zip_errors.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

void SystemAnsiToOem(std::string& s) {
  if (!s.empty()) CharToOemBuffA(s.data(), s.data(), static_cast<DWORD>(s.size()));
}
void SystemOemToAnsi(std::string& s) {
  if (!s.empty()) OemToCharBuffA(s.data(), s.data(), static_cast<DWORD>(s.size()));
}

}  // namespace

std::string TempFileName(const std::string& path) {
  char name[MAX_PATH];
  if (path.size() >= MAX_PATH - 14 || GetTempFileNameA(path.c_str(), "~kv", 0, name) == 0) {
    throw EZipFileOpenError("Cannot create a temporary file in \"" + path + "\"");
  }
  return name;
}

bool SameTextAnsi(const std::string& a, const std::string& b) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return a == b;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

void UseSystemOemConversion() { SetOemCodec({&SystemAnsiToOem, &SystemOemToAnsi}); }

std::string LoadResourceString(const std::string& name, uint16_t id) {
  // Loaded tables are kept for the life of the process (module resources
  // need no freeing); one lock because any thread may format a message.
  static std::mutex lock;
  static std::map<std::string, TS_StringResource> tables;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto it = tables.find(name);
    if (it == tables.end()) {
      HRSRC res = FindResourceA(nullptr, name.c_str(), "S_STRINGTABLE");
      if (!res) throw EZipResourceError("No such string resource: " + name);
      HGLOBAL loaded = LoadResource(nullptr, res);
      if (!loaded) throw EZipResourceError("Cannot load string resource");
      const void* data = LockResource(loaded);
      if (!data) throw EZipResourceError("Cannot lock string resource");
      it = tables
               .emplace(name, TS_StringResource(std::span<const uint8_t>(static_cast<const uint8_t*>(data),
                                                                          SizeofResource(nullptr, res))))
               .first;
    }
    return it->second.Text(id);
  }
}

}  // namespace kv
