#pragma once
// The loaded-module side of the image reader: views over modules of this
// process whose readability comes from VirtualQuery, the section stream and
// the import patcher.
#include <windows.h>

#include <optional>
#include <string>

#include "diagnostics/byte_view.h"
#include "diagnostics/diag_streams.h"
#include "diagnostics/pe_image.h"

namespace kv {

// The readable part of a loaded module, from its base up to the image size
// its headers give; nullopt when the headers are unreadable or not PE.
std::optional<ByteView> LoadedModuleView(const void* moduleBase);
// True when count bytes from address lie in committed, readable memory.
bool IsReadableMemory(const void* address, size_t count);
// True for a page protection that lets the page be read.
bool IsReadableProtection(DWORD protect);

// A read-only stream over one section of a loaded module: EDiagError "This is
// not a PE format" without headers, "Section "<name>" not found" without the section.
class TDiagPeSectionStream : public TDiagMemoryStream {
 public:
  TDiagPeSectionStream(const void* moduleBase, const std::string& sectionName);
  size_t Write(const void* buffer, size_t count) override;
  const TDiagPeSectionHeader& SectionHeader() const noexcept { return header_; }

 private:
  TDiagPeSectionHeader header_;
};

class TDiagPeMapImgHooks {
 public:
  // Replaces every import entry of moduleName in the module's import table
  // that holds from by to; true when at least one was replaced.
  static bool ReplaceImport(const void* moduleBase, const std::string& moduleName, const void* from, const void* to);
  // The module that holds the run-time library: the executable.
  static HMODULE SystemBase();
};

}  // namespace kv
