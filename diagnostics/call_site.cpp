#include "diagnostics/call_site.h"

#include <cstring>

namespace kv {

const TDiagModuleInfo* TDiagModuleInfoList::CreateItemForAddress(uint64_t address, bool systemModule) const {
  TDiagModuleInfo info;
  if (!creator_ || !creator_(address, systemModule, info)) return nullptr;
  // A creator's item must hold the address, or lookups would add it again.
  if (info.size == 0 || address < info.startAddr || address > info.endAddr) return nullptr;
  items_.push_back(std::move(info));
  return &items_.back();
}

const TDiagModuleInfo* TDiagModuleInfoList::GetModuleFromAddress(uint64_t address) const {
  for (const TDiagModuleInfo& item : items_) {
    if (item.startAddr <= address && address <= item.endAddr) return &item;
  }
  return DynamicBuild() ? CreateItemForAddress(address, false) : nullptr;
}

bool TDiagModuleInfoList::IsSystemModuleAddress(uint64_t address) const {
  const TDiagModuleInfo* item = GetModuleFromAddress(address);
  return item != nullptr && item->systemModule;
}

bool TDiagModuleInfoList::IsCodeRange(uint64_t first, uint64_t count, bool allModules) const {
  const TDiagModuleInfo* item = GetModuleFromAddress(first);
  if (item == nullptr || (!allModules && !item->systemModule)) return false;
  for (const auto& [low, high] : item->codeRanges) {
    if (first >= low && first < high && count <= high - first) return true;
  }
  return false;
}

bool IsCallSiteBytes(std::span<const uint8_t, 8> before) noexcept {
  uint32_t d8 = 0;
  uint32_t d4 = 0;
  std::memcpy(&d8, before.data(), 4);
  std::memcpy(&d4, before.data() + 4, 4);
  return (d8 & 0xFF000000u) == 0xE8000000u ||  // call rel32
         (d4 & 0x38FF0000u) == 0x10FF0000u ||  // FF /2, two bytes
         (d4 & 0x0038FF00u) == 0x0010FF00u ||  // three bytes
         (d4 & 0x000038FFu) == 0x000010FFu ||  // four bytes
         (d8 & 0x38FF0000u) == 0x10FF0000u ||  // six bytes (call [rip+disp32])
         (d8 & 0x0038FF00u) == 0x0010FF00u ||  // seven bytes
         (d4 & 0xFF000000u) == 0xC3000000u;    // push + ret
}

bool ValidCallSite(uint64_t r, const TDiagModuleInfoList& modules, bool allModules) noexcept {
  if (r <= 8) return false;
  if (!modules.IsCodeRange(r - 8, 8, allModules)) return false;
  uint8_t bytes[8];
  std::memcpy(bytes, reinterpret_cast<const void*>(static_cast<uintptr_t>(r - 8)), 8);
  return IsCallSiteBytes(bytes);
}

std::vector<uint64_t> ScanStackWords(std::span<const uint64_t> words, const TDiagModuleInfoList& modules,
                                     bool allModules) {
  std::vector<uint64_t> found;
  uint64_t last = 0;
  bool any = false;
  for (const uint64_t word : words) {
    if (!ValidCallSite(word, modules, allModules)) continue;
    if (any && word == last) continue;
    found.push_back(word);
    last = word;
    any = true;
  }
  return found;
}

}  // namespace kv
