// The writer's disk and random source on Windows.
#include <windows.h>
#include <ntsecapi.h>  // RtlGenRandom (SystemFunction036 in advapi32)

#include "base/handle.h"
#include "zip/zipper.h"

namespace kv {
namespace {

std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), n);
  return out;
}

std::string Ansi(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), n, nullptr, nullptr);
  return out;
}

class WinZipperDisk : public TZipperDisk {
 public:
  std::vector<TFoundFile> List(const std::string& folder) override {
    std::vector<TFoundFile> out;
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW fd;
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    FindHandle h(FindFirstFileW(Wide(pattern).c_str(), &fd));
    if (!h) return out;
    do {
      if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
      out.push_back({Ansi(fd.cFileName), (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, fd.dwFileAttributes});
    } while (FindNextFileW(h.Get(), &fd));
    return out;
  }
  std::optional<uint32_t> Attributes(const std::string& name) override {
    const DWORD a = GetFileAttributesW(Wide(name).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return a;
  }
  void SetAttributes(const std::string& name, uint32_t attributes) override {
    SetFileAttributesW(Wide(name).c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
  }
  std::string ShortName(const std::string& name) override {
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetShortPathNameW(Wide(name).c_str(), buf, MAX_PATH + 1);
    return n == 0 || n > MAX_PATH ? name : Ansi(buf);
  }
};

}  // namespace

TZipperDisk& DefaultZipperDisk() {
  static WinZipperDisk disk;
  return disk;
}

void SystemRandomBytes(std::span<uint8_t> buf) {
  if (!RtlGenRandom(buf.data(), static_cast<ULONG>(buf.size())))
    throw EZipWriteError("The system's random generator failed");
}

}  // namespace kv
