#include "diagnostics/debug_info_win.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "diagnostics/diag_file_utils_win.h"
#include "diagnostics/diag_utils.h"
#include "diagnostics/pe_image_win.h"
#include "diagnostics/sys_info_win.h"

namespace kv {

namespace {

constexpr uint64_t kCodeStart = 0x1000;

// Maps a file beside the module read-only, others may not write it; null when it is missing or unreadable.
std::unique_ptr<TDiagFileMappingStream> MapBeside(HMODULE module, const char* extension) {
  const std::string modulePath = GetModulePath(module);
  if (modulePath.empty()) return nullptr;  // not a module: no file beside it
  const std::string path = PathRemoveExtension(modulePath) + extension;
  if (FileGetSize(path) == -1) return nullptr;
  try {
    return std::make_unique<TDiagFileMappingStream>(path, kOpenRead | kShareRead);
  } catch (const std::exception&) {
    return nullptr;
  }
}

// The sources made so far, one per module; kept until the process ends.
class TDiagDebugInfoList {
 public:
  TDiagDebugInfoSource* GetItemFromModule(HMODULE module) {
    if (module == nullptr) return nullptr;
    for (const auto& source : items_) {
      if (source->Module() == module) return source.get();
    }
    std::unique_ptr<TDiagDebugInfoSource> made = CreateDebugInfo(module);
    if (!made) return nullptr;  // nothing kept: the next lookup tries again
    items_.push_back(std::move(made));
    return items_.back().get();
  }

 private:
  // Each kind in turn is made for the module and asked; the first that can
  // serve it is kept, one that cannot is freed before the next is made.
  static std::unique_ptr<TDiagDebugInfoSource> CreateDebugInfo(HMODULE module) {
    using Make = std::unique_ptr<TDiagDebugInfoSource> (*)(HMODULE);
    static constexpr Make kKinds[] = {
        [](HMODULE m) -> std::unique_ptr<TDiagDebugInfoSource> { return std::make_unique<TDiagDebugInfoBinary>(m); },
        [](HMODULE m) -> std::unique_ptr<TDiagDebugInfoSource> { return std::make_unique<TDiagDebugInfoTD32>(m); },
        [](HMODULE m) -> std::unique_ptr<TDiagDebugInfoSource> { return std::make_unique<TDiagDebugInfoMap>(m); },
        [](HMODULE m) -> std::unique_ptr<TDiagDebugInfoSource> { return std::make_unique<TDiagDebugInfoExports>(m); }};
    for (const Make make : kKinds) {
      std::unique_ptr<TDiagDebugInfoSource> candidate = make(module);
      bool usable = false;
      try {
        usable = candidate->InitializeSource();
      } catch (const std::exception&) {
        usable = false;
      }
      if (usable) return candidate;
    }
    return nullptr;
  }

  std::vector<std::unique_ptr<TDiagDebugInfoSource>> items_;
};

// Process-wide: the sources, made at the first lookup, and the lock, made
// when this unit initialises (or sooner, when another unit's initialisation
// looks up first). Neither is ever destroyed: a thread still running while
// the process exits, or an exit handler, may look up a location after the
// static objects are gone. The holders are let go on purpose (the system
// frees them with the process), so what they hold (mapped files, scanners,
// tables) stays usable to the end.
TDiagDebugInfoList& NeedDebugInfoList() {
  static TDiagDebugInfoList& list = *std::make_unique<TDiagDebugInfoList>().release();
  return list;
}

}  // namespace

TDiagCriticalSection& DiagLookupLock() {
  static TDiagCriticalSection& lock = *std::make_unique<TDiagCriticalSection>().release();  // never destroyed, as above
  return lock;
}

namespace {
[[maybe_unused]] TDiagCriticalSection& gLookupLockAtStart = DiagLookupLock();
}  // namespace

uint32_t TDiagDebugInfoSource::VAFromAddr(uint64_t address) const {
  return static_cast<uint32_t>(address - reinterpret_cast<uint64_t>(module_) - kCodeStart);
}

std::string TDiagDebugInfoSource::GetFileName() const { return GetModulePath(module_); }

template <class Scanner>
bool TDiagDebugInfoSource::FillFrom(Scanner& scanner, uint64_t address, TDiagLocationInfo& info) {
  const uint32_t r = VAFromAddr(address);
  std::string unit = scanner.ModuleNameFromAddr(r);
  if (unit.empty()) return false;
  info.address = address;
  info.unitName = std::move(unit);
  info.procedureName = scanner.ProcNameFromAddr(r, info.offsetFromProcName);
  info.lineNumber = scanner.LineNumberFromAddr(r, info.offsetFromLineNumber);
  info.sourceName = scanner.SourceNameFromAddr(r);
  info.debugInfo = this;
  return true;
}

// ------------------------------------------------------------------ binary --

bool TDiagDebugInfoBinary::InitializeSource() {
  const auto view = LoadedModuleView(Module());
  bool fromFile = false;
  if (view && PeMapImgFindSection(*view, *PeMapImgNtHeaders(*view), "DIAGINFO")) {
    stream_ = std::make_unique<TDiagPeSectionStream>(Module(), "DIAGINFO");
  } else {
    stream_ = MapBeside(Module(), ".diag");
    fromFile = true;
  }
  if (!stream_) return false;
  scanner_ = std::make_unique<TDiagBinDebugScanner>(stream_->Bytes(), true);
  if (!scanner_->ValidFormat()) return false;
  return !fromFile || scanner_->IsModuleNameValid(GetFileName());
}

bool TDiagDebugInfoBinary::GetLocationInfo(uint64_t address, TDiagLocationInfo& info) {
  return FillFrom(*scanner_, address, info);
}

// -------------------------------------------------------------------- TD32 --

void TDiagPeQarnTD32Image::AfterOpen() {
  TDiagPeQarnImage::AfterOpen();
  scanner_.reset();
  stream_.reset();
  if (!StatusOK()) return;
  try {
    // An image of the compiler's kind with one debug entry of type 0 has its
    // data there, and only there; any other image may have a ".tds" file.
    std::unique_ptr<TDiagMemoryStream> stream;
    if (IsCompilerImage() && DebugList().size() == 1 && DebugList()[0].type == 0) {
      const TDiagPeDebugEntry& entry = DebugList()[0];
      const auto data = Image().Sub(entry.addressOfRawData, entry.sizeOfData);
      if (!data || !IsTD32DebugData(*data)) return;
      stream = std::make_unique<TDiagReferenceMemoryStream>(data->Data(), data->Size());
    } else {
      stream = MapBeside(reinterpret_cast<HMODULE>(const_cast<uint8_t*>(Image().Data())), ".tds");
    }
    if (!stream) return;
    auto scanner = std::make_unique<TDiagTD32InfoScanner>(stream->Bytes());
    if (!scanner->ValidData()) return;
    stream_ = std::move(stream);
    scanner_ = std::move(scanner);
  } catch (const std::exception&) {
    scanner_.reset();
    stream_.reset();
  }
}

bool TDiagDebugInfoTD32::InitializeSource() {
  image_.AttachLoadedModule(Module());
  return image_.StatusOK() && image_.IsTD32DebugPresent();
}

bool TDiagDebugInfoTD32::GetLocationInfo(uint64_t address, TDiagLocationInfo& info) {
  return FillFrom(*image_.TD32Scanner(), address, info);
}

// --------------------------------------------------------------------- map --

bool TDiagDebugInfoMap::InitializeSource() {
  stream_ = MapBeside(Module(), ".map");
  if (!stream_) return false;
  const auto bytes = stream_->Bytes();
  scanner_ = std::make_unique<TDiagMapScanner>(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return true;
}

bool TDiagDebugInfoMap::GetLocationInfo(uint64_t address, TDiagLocationInfo& info) {
  return FillFrom(*scanner_, address, info);
}

// ----------------------------------------------------------------- exports --

bool TDiagDebugInfoExports::InitializeSource() {
  image_.AttachLoadedModule(Module());
  if (!image_.StatusOK() || image_.ExportList().Count() == 0) return false;
  image_.ExportList().SortList(TDiagPeExportSort::kAddress, false);
  return true;
}

uint32_t TDiagDebugInfoExports::VAFromAddr(uint64_t address) const {
  return static_cast<uint32_t>(address - reinterpret_cast<uint64_t>(Module()));
}

bool TDiagDebugInfoExports::GetLocationInfo(uint64_t address, TDiagLocationInfo& info) {
  const uint32_t r = VAFromAddr(address);
  info.offsetFromProcName = 0;
  info.offsetFromLineNumber = 0;
  const auto& items = image_.ExportList().Items();
  for (size_t i = items.size(); i-- > 0;) {
    const TDiagPeExportFuncItem& item = items[i];
    if (item.address > r) continue;
    if (image_.IsPackage()) {
      bool withOffset = false;
      if (!PackageExportLocation(item.name, info.unitName, info.procedureName, withOffset)) continue;
      if (withOffset) info.offsetFromProcName = r - item.address;
    } else {
      info.procedureName = item.name;
      info.offsetFromProcName = r - item.address;
    }
    info.address = address;
    info.debugInfo = this;
    return true;
  }
  return false;
}

// ------------------------------------------------------------------ lookup --

TDiagDebugInfoSource* DebugInfoSourceOf(HMODULE module) {
  const TDiagLockGuard guard(DiagLookupLock());
  if (!guard.Owns()) return nullptr;
  try {
    return NeedDebugInfoList().GetItemFromModule(module);
  } catch (const std::exception&) {
    return nullptr;
  }
}

bool GetLocationInfo(const void* address, TDiagLocationInfo& info) noexcept {
  try {
    // A fault report whose thread holds the lock prints the bare address.
    const TDiagLockGuard guard(DiagLookupLock());
    if (guard.Owns()) {
      TDiagDebugInfoList& list = NeedDebugInfoList();
      info = TDiagLocationInfo{};
      TDiagDebugInfoSource* source = list.GetItemFromModule(ModuleFromAddr(address));
      if (source != nullptr && source->GetLocationInfo(reinterpret_cast<uint64_t>(address), info)) return true;
    }
  } catch (...) {
  }
  info = TDiagLocationInfo{};
  return false;
}

TDiagLocationInfo GetLocationInfo(const void* address) noexcept {
  TDiagLocationInfo info;
  (void)GetLocationInfo(address, info);
  return info;
}

std::string GetLocationInfoStr(const void* address, bool includeModuleName, bool includeAddressOffset,
                               bool includeStartProcLineOffset, bool returnAddress) {
  const auto* at = static_cast<const uint8_t*>(address);
  TDiagLocationInfo info;
  const bool found = GetLocationInfo(returnAddress ? at - 1 : at, info);
  if (found && returnAddress) {
    // Offsets count from the address printed, not the byte looked up.
    info.address = reinterpret_cast<uint64_t>(address);
    ++info.offsetFromProcName;
    ++info.offsetFromLineNumber;
  }
  std::optional<uint32_t> procStartLine;
  if (found && includeStartProcLineOffset && info.lineNumber >= 1) {
    TDiagLocationInfo start;
    if (GetLocationInfo(at - info.offsetFromProcName, start) && start.lineNumber >= 1) procStartLine = start.lineNumber;
  }
  std::optional<std::string> moduleName;
  if (includeModuleName) moduleName = PathExtractFileName(GetModulePath(ModuleFromAddr(address)));
  return FormatLocationLine(reinterpret_cast<uint64_t>(address), found ? &info : nullptr, moduleName,
                            includeAddressOffset, procStartLine);
}

}  // namespace kv
