#include "diagnostics/pe_image_win.h"

#include <cstring>

#include "diagnostics/diag_errors.h"
#include "diagnostics/diag_file_utils_win.h"

namespace kv {

namespace {

bool WritableProtection(DWORD protect) {
  return (protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Readable bytes from address on within one allocation, up to limit.
size_t ReadableRun(const void* address, size_t limit) {
  const auto* start = static_cast<const uint8_t*>(address);
  const uint8_t* p = start;
  const void* allocation = nullptr;
  while (static_cast<size_t>(p - start) < limit) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof info) == 0 || info.State != MEM_COMMIT || !IsReadableProtection(info.Protect)) break;
    if (allocation == nullptr) allocation = info.AllocationBase;
    if (info.AllocationBase != allocation) break;
    p = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
  }
  const size_t run = static_cast<size_t>(p - start);
  return run < limit ? run : limit;
}

}  // namespace

bool IsReadableProtection(DWORD protect) {
  if ((protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                     PAGE_EXECUTE_WRITECOPY)) != 0;
}

bool IsReadableMemory(const void* address, size_t count) {
  return address != nullptr && ReadableRun(address, count) >= count;
}

std::optional<ByteView> LoadedModuleView(const void* moduleBase) {
  if (moduleBase == nullptr) return std::nullopt;
  // The headers first: they say how large the image is. The NT headers lie
  // wherever the DOS header's offset puts them.
  if (ReadableRun(moduleBase, 64) < 64) return std::nullopt;
  uint32_t ntOffset = 0;
  std::memcpy(&ntOffset, static_cast<const uint8_t*>(moduleBase) + 60, sizeof ntOffset);
  const ByteView headers(moduleBase, ReadableRun(moduleBase, uint64_t{ntOffset} + kPe32PlusNtHeadersSize));
  const auto nt = PeMapImgNtHeaders(headers);
  if (!nt) return std::nullopt;
  const uint32_t sizeOfImage = *headers.U32(*nt + 24 + 56);
  return ByteView(moduleBase, ReadableRun(moduleBase, sizeOfImage));
}

void TDiagPeImage::AttachLoadedModule(const void* moduleBase) {
  Clear();
  if (moduleBase == nullptr) return;
  const auto view = LoadedModuleView(moduleBase);
  AttachView(view.value_or(ByteView()), GetModulePath(static_cast<HMODULE>(const_cast<void*>(moduleBase))));
}

TDiagPeSectionStream::TDiagPeSectionStream(const void* moduleBase, const std::string& sectionName) {
  const auto view = LoadedModuleView(moduleBase);
  if (!view) throw EDiagError(DiagText::kNotPeFormat);
  const auto header = PeMapImgFindSection(*view, *PeMapImgNtHeaders(*view), sectionName);
  if (!header) throw EDiagError(DiagFormat(DiagText::kSectionNotFound, sectionName));
  header_.name = sectionName;
  header_.virtualSize = *view->U32(*header + 8);
  header_.virtualAddress = *view->U32(*header + 12);
  header_.sizeOfRawData = *view->U32(*header + 16);
  header_.pointerToRawData = *view->U32(*header + 20);
  header_.characteristics = *view->U32(*header + 36);
  header_.headerOffset = *header;
  uint64_t size = std::min(header_.sizeOfRawData, header_.virtualSize);
  // Only what is mapped and readable belongs to the stream.
  if (!view->Has(header_.virtualAddress, size)) {
    size = header_.virtualAddress < view->Size() ? view->Size() - header_.virtualAddress : 0;
  }
  SetMemory(const_cast<uint8_t*>(view->Data()) + std::min<uint64_t>(header_.virtualAddress, view->Size()), size);
}

size_t TDiagPeSectionStream::Write(const void*, size_t) { throw EDiagError(DiagText::kReadOnlyResourceStream); }

bool TDiagPeMapImgHooks::ReplaceImport(const void* moduleBase, const std::string& moduleName, const void* from,
                                       const void* to) {
  const auto view = LoadedModuleView(moduleBase);
  if (!view) return false;
  bool replaced = false;
  for (uint64_t rva : FindImportEntries(*view, moduleName, reinterpret_cast<uint64_t>(from))) {
    if (!IsReadableMemory(from, 4)) continue;
    auto* slot = reinterpret_cast<const void**>(const_cast<uint8_t*>(view->Data()) + rva);
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(slot, &info, sizeof info) == 0) continue;
    DWORD previous = 0;
    const bool unprotect = !WritableProtection(info.Protect);
    if (unprotect && !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) continue;
    *slot = to;
    if (unprotect) VirtualProtect(slot, sizeof *slot, previous, &previous);
    replaced = true;
  }
  return replaced;
}

HMODULE TDiagPeMapImgHooks::SystemBase() { return GetModuleHandleA(nullptr); }

}  // namespace kv
