#include "treeview/clipboard_formats_win.h"

#include <algorithm>
#include <mutex>

#include "treeview/lazy_trees_win.h"

namespace kv {

namespace {

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool LessText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }

FORMATETC MakeFormatEtc(CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL, DVTARGETDEVICE* ptd = nullptr,
                        DWORD aspect = DVASPECT_CONTENT, LONG lindex = -1) {
  FORMATETC f{};
  f.cfFormat = format;
  f.ptd = ptd;
  f.dwAspect = aspect;
  f.lindex = lindex;
  f.tymed = tymed;
  return f;
}

CLIPFORMAT Registered(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

const char* const kStandardNames[] = {
    "Plain text", "Windows bitmap", "Windows metafile", "Symbolic link", "Data interchange format",
    "Tiff image", "OEM text", "DIB image", "Palette data", "Pen data", "Riff audio data", "Wav audio data",
    "Unicode text", "Enhanced metafile image", "File name(s)", "Locale descriptor"};

TClipboardFormatList& TheList() {
  static TClipboardFormatList list;
  return list;
}

}  // namespace

CLIPFORMAT CF_LAZYTREE() {
  static const CLIPFORMAT f = Registered(L"Lazy Tree Data");
  return f;
}
CLIPFORMAT CF_LAZYTREEREFERENCE() {
  static const CLIPFORMAT f = Registered(L"Lazy Tree Reference");
  return f;
}
CLIPFORMAT CF_HTML() {
  static const CLIPFORMAT f = Registered(L"HTML Format");
  return f;
}
CLIPFORMAT CF_RTF() {
  static const CLIPFORMAT f = Registered(L"Rich Text Format");
  return f;
}
CLIPFORMAT CF_RTFNOOBJS() {
  static const CLIPFORMAT f = Registered(L"Rich Text Format Without Objects");
  return f;
}
CLIPFORMAT CF_CSV() {
  static const CLIPFORMAT f = Registered(L"CSV");
  return f;
}

void TClipboardFormatList::Add(const std::string& description, TTreeClass treeClass, std::uint32_t priority,
                               const FORMATETC& formatEtc) {
  entries_.push_back({description, treeClass, priority, formatEtc});
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const auto& a, const auto& b) { return a.priority < b.priority; });
}

std::vector<FORMATETC> TClipboardFormatList::EnumerateFormats(const TBaseLazyTree& tree,
                                                              const std::vector<std::string>* allowed) const {
  std::vector<FORMATETC> formats;
  for (const auto& e : entries_) {
    if (!e.treeClass.contains(tree)) continue;
    if (allowed != nullptr &&
        std::none_of(allowed->begin(), allowed->end(), [&](const std::string& n) { return SameText(n, e.description); }))
      continue;
    formats.push_back(e.formatEtc);
  }
  return formats;
}

const TClipboardFormatListEntry* TClipboardFormatList::FindFormat(const std::string& description) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (SameText(it->description, description)) return &*it;
  return nullptr;
}

TClipboardFormatList& ClipboardFormatList() {
  static std::once_flag once;
  std::call_once(once, [] {
    const TTreeClass base = TreeClassOf<TBaseLazyTree>("TBaseLazyTree");
    const TTreeClass strings = TreeClassOf<TCustomLazyStringTree>("TCustomLazyStringTree");
    TClipboardFormatList& list = TheList();
    list.Add("Lazy Tree Data", base, 50, MakeFormatEtc(CF_LAZYTREE()));
    list.Add("HTML Format", strings, 80, MakeFormatEtc(CF_HTML()));
    list.Add("Rich Text Format Without Objects", strings, 84, MakeFormatEtc(CF_RTFNOOBJS()));
    list.Add("Rich Text Format", strings, 85, MakeFormatEtc(CF_RTF()));
    list.Add("CSV", strings, 90, MakeFormatEtc(CF_CSV()));
    list.Add("Unicode text", strings, 95, MakeFormatEtc(CF_UNICODETEXT));
    list.Add("Plain text", strings, 100, MakeFormatEtc(CF_TEXT));
    CF_LAZYTREEREFERENCE();
  });
  return TheList();
}

CLIPFORMAT RegisterLTClipboardFormat(const std::string& description, TTreeClass treeClass, std::uint32_t priority,
                                     DWORD tymed, DVTARGETDEVICE* ptd, DWORD aspect, LONG lindex) {
  const auto format = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(description.c_str()));
  ClipboardFormatList().Add(description, treeClass, priority, MakeFormatEtc(format, tymed, ptd, aspect, lindex));
  return format;
}

void RegisterLTClipboardFormat(CLIPFORMAT format, TTreeClass treeClass, std::uint32_t priority) {
  if (format == 0) return;
  std::string name;
  if (format <= 16) {
    name = kStandardNames[format - 1];
  } else {
    char buffer[2049] = {};
    const int n = GetClipboardFormatNameA(format, buffer, sizeof buffer - 1);
    name.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  ClipboardFormatList().Add(name, treeClass, priority, MakeFormatEtc(format));
}

int TClipboardFormats::Add(const std::string& description) {
  const TClipboardFormatListEntry* entry = ClipboardFormatList().FindFormat(description);
  if (entry == nullptr || !entry->treeClass.contains(owner_)) return -1;
  auto it = std::lower_bound(names_.begin(), names_.end(), description, LessText);
  if (it == names_.end() || !SameText(*it, description)) it = names_.insert(it, description);
  return static_cast<int>(it - names_.begin());
}

int TClipboardFormats::Insert(int /*index*/, const std::string& description) {
  // A sorted list puts every name at its place.
  return Add(description);
}

void TClipboardFormats::Assign(const std::vector<std::string>& descriptions) {
  names_.clear();
  for (const auto& d : descriptions) Add(d);
}

}  // namespace kv
