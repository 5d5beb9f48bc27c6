#pragma once
// Clipboard formats of the trees: the process-wide registry with priorities
// (lower is better) and the tree class that can render each, and the list of
// format names a single tree offers.

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace kv {

class TBaseLazyTree;

// A tree class as the registry sees it: whether a tree is of it or derived.
struct TTreeClass {
  const char* name = nullptr;
  bool (*contains)(const TBaseLazyTree&) = nullptr;
};

template <class T>
TTreeClass TreeClassOf(const char* name) {
  return {name, [](const TBaseLazyTree& tree) { return dynamic_cast<const T*>(&tree) != nullptr; }};
}

struct TClipboardFormatListEntry {
  std::string description;
  TTreeClass treeClass;
  std::uint32_t priority = 0;
  FORMATETC formatEtc{};
};

class TClipboardFormatList {
 public:
  // Keeps the list sorted by priority.
  void Add(const std::string& description, TTreeClass treeClass, std::uint32_t priority,
           const FORMATETC& formatEtc);
  void Clear() { entries_.clear(); }
  // The formats `tree` may offer, in priority order; with `allowed` only those
  // whose names it holds (compared without regard to case).
  std::vector<FORMATETC> EnumerateFormats(const TBaseLazyTree& tree,
                                          const std::vector<std::string>* allowed = nullptr) const;
  // Searched from the last entry; null when the name is unknown.
  const TClipboardFormatListEntry* FindFormat(const std::string& description) const;
  const std::vector<TClipboardFormatListEntry>& Entries() const { return entries_; }

 private:
  std::vector<TClipboardFormatListEntry> entries_;
};

// The process-wide registry, with the tree formats entered on first use.
TClipboardFormatList& ClipboardFormatList();

CLIPFORMAT RegisterLTClipboardFormat(const std::string& description, TTreeClass treeClass, std::uint32_t priority,
                                     DWORD tymed = TYMED_HGLOBAL, DVTARGETDEVICE* ptd = nullptr,
                                     DWORD aspect = DVASPECT_CONTENT, LONG lindex = -1);
// A format the system knows already; ids 1 to 16 take the standard names.
void RegisterLTClipboardFormat(CLIPFORMAT format, TTreeClass treeClass, std::uint32_t priority);

// Ids of the named formats.
CLIPFORMAT CF_LAZYTREE();            // "Lazy Tree Data"
CLIPFORMAT CF_LAZYTREEREFERENCE();   // "Lazy Tree Reference"
CLIPFORMAT CF_HTML();                // "HTML Format"
CLIPFORMAT CF_RTF();                 // "Rich Text Format"
CLIPFORMAT CF_RTFNOOBJS();           // "Rich Text Format Without Objects"
CLIPFORMAT CF_CSV();                 // "CSV"

// The names of the formats one tree offers: sorted, no duplicates, only
// names the registry knows for the tree's class.
class TClipboardFormats {
 public:
  explicit TClipboardFormats(const TBaseLazyTree& owner) : owner_(owner) {}
  // The index of the name, or -1 when it is refused.
  int Add(const std::string& description);
  int Insert(int index, const std::string& description);
  void Assign(const std::vector<std::string>& descriptions);
  void Clear() { names_.clear(); }
  const std::vector<std::string>& Names() const { return names_; }
  bool Empty() const { return names_.empty(); }

 private:
  const TBaseLazyTree& owner_;
  std::vector<std::string> names_;
};

}  // namespace kv
