#pragma once
// Code addresses of this process resolved to unit, procedure, line and
// source file: per module the first source that serves it, in the order: the
// program's own debug data ("DIAGINFO" section or a ".diag" file beside the
// module), TD32 data (in the image or a ".tds" file), a ".map" file, the
// export table. Lookups are serialised by one process-wide lock.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "diagnostics/diag_binary.h"
#include "diagnostics/diag_location.h"
#include "diagnostics/diag_lock_win.h"
#include "diagnostics/diag_streams.h"
#include "diagnostics/map_scanner.h"
#include "diagnostics/pe_image.h"
#include "diagnostics/td32.h"

namespace kv {

class TDiagDebugInfoSource {
 public:
  explicit TDiagDebugInfoSource(HMODULE module) : module_(module) {}
  TDiagDebugInfoSource(const TDiagDebugInfoSource&) = delete;
  TDiagDebugInfoSource& operator=(const TDiagDebugInfoSource&) = delete;
  virtual ~TDiagDebugInfoSource() = default;

  // True when this source can serve the module.
  virtual bool InitializeSource() = 0;
  // The address relative to the module's code (address - base - 0x1000).
  virtual uint32_t VAFromAddr(uint64_t address) const;
  virtual bool GetLocationInfo(uint64_t address, TDiagLocationInfo& info) = 0;

  HMODULE Module() const noexcept { return module_; }
  std::string GetFileName() const;

 protected:
  // Fills info from the four lookups of a scanner; false without a unit name.
  template <class Scanner>
  bool FillFrom(Scanner& scanner, uint64_t address, TDiagLocationInfo& info);

 private:
  HMODULE module_;
};

class TDiagDebugInfoBinary : public TDiagDebugInfoSource {
 public:
  using TDiagDebugInfoSource::TDiagDebugInfoSource;
  bool InitializeSource() override;
  bool GetLocationInfo(uint64_t address, TDiagLocationInfo& info) override;
  TDiagBinDebugScanner* Scanner() const noexcept { return scanner_.get(); }

 private:
  std::unique_ptr<TDiagMemoryStream> stream_;
  std::unique_ptr<TDiagBinDebugScanner> scanner_;
};

// The image reader that also finds the module's TD32 data when it is
// attached: inside an image of the compiler's kind whose debug directory
// holds one entry, of type 0; for any other image in the ".tds" file beside
// the module. Never raises; without valid data it has no scanner.
class TDiagPeQarnTD32Image : public TDiagPeQarnImage {
 public:
  using TDiagPeQarnImage::TDiagPeQarnImage;
  bool IsTD32DebugPresent() const noexcept { return scanner_ != nullptr; }
  const TDiagTD32InfoScanner* TD32Scanner() const noexcept { return scanner_.get(); }

 protected:
  void AfterOpen() override;

 private:
  std::unique_ptr<TDiagMemoryStream> stream_;
  std::unique_ptr<TDiagTD32InfoScanner> scanner_;
};

class TDiagDebugInfoTD32 : public TDiagDebugInfoSource {
 public:
  using TDiagDebugInfoSource::TDiagDebugInfoSource;
  bool InitializeSource() override;
  bool GetLocationInfo(uint64_t address, TDiagLocationInfo& info) override;

 private:
  TDiagPeQarnTD32Image image_;
};

class TDiagDebugInfoMap : public TDiagDebugInfoSource {
 public:
  using TDiagDebugInfoSource::TDiagDebugInfoSource;
  bool InitializeSource() override;
  bool GetLocationInfo(uint64_t address, TDiagLocationInfo& info) override;

 private:
  std::unique_ptr<TDiagMemoryStream> stream_;
  std::unique_ptr<TDiagMapScanner> scanner_;
};

class TDiagDebugInfoExports : public TDiagDebugInfoSource {
 public:
  using TDiagDebugInfoSource::TDiagDebugInfoSource;
  bool InitializeSource() override;
  uint32_t VAFromAddr(uint64_t address) const override;
  bool GetLocationInfo(uint64_t address, TDiagLocationInfo& info) override;

 private:
  TDiagPeQarnImage image_;
};

// Resolves address; false (info cleared) when no source knows it. Never throws.
bool GetLocationInfo(const void* address, TDiagLocationInfo& info) noexcept;
// The same, the info alone (all cleared when no source knows the address).
TDiagLocationInfo GetLocationInfo(const void* address) noexcept;
// The one lock of every location lookup (the sources and their tables).
TDiagCriticalSection& DiagLookupLock();
// The location line of address; a return address is looked up one byte
// earlier, inside the call that it follows.
std::string GetLocationInfoStr(const void* address, bool includeModuleName = false, bool includeAddressOffset = false,
                               bool includeStartProcLineOffset = false, bool returnAddress = false);

// The source kept for a module, made on first use (null when none serves it).
TDiagDebugInfoSource* DebugInfoSourceOf(HMODULE module);

}  // namespace kv
