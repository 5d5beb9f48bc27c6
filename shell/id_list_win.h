#pragma once
// Item-ID lists in the shell's task allocator: the owning type, the list
// manager, a list of lists, conversions between paths and lists, special
// folders, default icon indexes and the shell's clipboard formats.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "shell/com_ptr_win.h"
#include "shell/id_list.h"

namespace kv {

class TStream;
class TNamespace;

struct TaskMemDeleter {
  void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};
// An item-ID list owned by its holder, freed with the shell's task allocator.
using TPidl = std::unique_ptr<ITEMIDLIST, TaskMemDeleter>;

// A copy of `bytes` (one whole list) in the task allocator; none when it runs out.
[[nodiscard]] TPidl PidlFromBytes(std::span<const uint8_t> bytes);
inline std::span<const uint8_t> PidlBytes(LPCITEMIDLIST list) {
  return {reinterpret_cast<const uint8_t*>(list), IDListSize(list)};
}

// The list tools. Every operation accepts an absent list and answers 0, false
// or nothing. Lists it makes come from the shell's task allocator.
class TPIDLManager {
 public:
  // Throws std::runtime_error when the shell has no task allocator.
  TPIDLManager();

  static size_t PIDLSize(LPCITEMIDLIST list) { return IDListSize(list); }
  static size_t IDCount(LPCITEMIDLIST list) { return IDListCount(list); }
  static LPITEMIDLIST NextID(LPCITEMIDLIST item);
  static bool IsDesktopFolder(LPCITEMIDLIST list) { return IsDesktopIDList(list); }
  static LPITEMIDLIST GetPointerToLastID(LPCITEMIDLIST list);
  [[nodiscard]] static TPidl CopyPIDL(LPCITEMIDLIST list);
  // The items of `first` (none for the desktop) followed by all of `second`;
  // a copy of `first` when `second` is absent.
  [[nodiscard]] static TPidl AppendPIDL(LPCITEMIDLIST first, LPCITEMIDLIST second);
  // Cuts the last item off in place and answers the same list.
  static LPITEMIDLIST StripLastID(LPITEMIDLIST list);
  // The same, also answering the cut item's count and position so that
  // RestoreLastID can put it back.
  static LPITEMIDLIST StripLastID(LPITEMIDLIST list, uint16_t& count, LPITEMIDLIST& item);
  static void RestoreLastID(LPITEMIDLIST item, uint16_t count);
  // The leading list's items are the first items of the full list.
  static bool IsSubPIDL(LPCITEMIDLIST full, LPCITEMIDLIST leading);
  // Free with the task allocator; FreeAndNilPIDL clears the variable first.
  static void FreePIDL(LPITEMIDLIST list);
  static void FreeOLEStr(LPWSTR text);
  static void FreeAndNilPIDL(LPITEMIDLIST& list);
  static void SaveToStream(TStream& stream, LPCITEMIDLIST list) { WriteIDList(stream, list); }
  // None for a list stored as absent (size 0), and none when the stored
  // size holds no whole list; the stream's own read errors pass through.
  [[nodiscard]] static TPidl LoadFromStream(TStream& stream);

  IMalloc* Allocator() const { return malloc_.Get(); }

 private:
  ComPtr<IMalloc> malloc_;
};

// Binds AnimateWindow and the shell's exports 21, 23 and 747 (once); true
// when the two comparisons were found.
bool LoadShell32Functions();
// The shell's comparisons (exports 21 and 23, bound on first use); false when
// either list is absent or the export is missing.
bool ILIsEqualSafe(LPCITEMIDLIST a, LPCITEMIDLIST b);
bool ILIsParentSafe(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate);

// A list of item-ID lists; owns them unless SharePIDLs is set.
class TPIDLList {
 public:
  TPIDLList() = default;
  TPIDLList(const TPIDLList&) = delete;
  TPIDLList& operator=(const TPIDLList&) = delete;
  ~TPIDLList() { Clear(); }

  bool SharePIDLs = false;
  size_t Count() const { return items_.size(); }
  LPITEMIDLIST operator[](size_t i) const { return items_.at(i); }
  // Adds the list itself (owned unless SharePIDLs).
  void Add(LPITEMIDLIST list) { items_.push_back(list); }
  void CopyAdd(LPCITEMIDLIST list);
  void Exchange(size_t i, size_t j) { std::swap(items_.at(i), items_.at(j)); }
  void Clear();
  // Stream form: a 32-bit count, then each list (an absent one with size 0).
  // Loading adds each list as it is read, so the lists before a fault stay;
  // both answer false on any failure.
  bool SaveToStream(TStream& stream) const;
  bool LoadFromStream(TStream& stream);

 private:
  std::vector<LPITEMIDLIST> items_;
};

// The desktop's parse of `path` into a new absolute list; none on failure.
[[nodiscard]] TPidl PathToPIDL(const std::wstring& path);
// The parsing name of `list` (the desktop directory for the desktop).
std::wstring PIDLToPath(LPCITEMIDLIST list);
// Each item's own absolute / relative list (not copies).
std::vector<LPITEMIDLIST> NamespaceToAbsolutePIDLArray(const std::vector<TNamespace*>& items);
std::vector<LPITEMIDLIST> NamespaceToRelativePIDLArray(const std::vector<TNamespace*>& items);
// The shell item of a special folder, its parent folder bound; none when the folder does not exist.
std::unique_ptr<TNamespace> CreateSpecialNamespace(int csidl);
// The virtual My Documents folder on the desktop; none when no desktop folder matches.
[[nodiscard]] TPidl GetMyDocumentsVirtualFolder();
// Kind 0 closed folder, 1 open folder, 2 unknown document, 3 the fixed
// index 29, 4 My Documents; -1 for any other kind or a failed lookup.
int DefaultSystemImageIndex(int kind);
// The shell's icon-cache initialisation (export 660); false when missing.
bool FileIconInit(bool restore);
bool ValidFileTime(const FILETIME& time);
// The extended free-space request of the DOS-based systems; false wherever
// their device does not exist (every NT system), and then the outs are untouched.
bool GetDiskFreeSpaceFAT32(const std::wstring& drivePath, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                           DWORD& freeClusters, DWORD& totalClusters);
// Local date and time in the short date and long time formats; empty for an invalid time.
std::wstring ConvertTFileTimeToLocalStr(const FILETIME& time);

// The shell's data-transfer clipboard formats, registered by ShellInitialize.
struct TShellClipboardFormats {
  // Registered formats lie in 0xC000..0xFFFF: 16 bits hold them.
  uint16_t shellIDList = 0, logicalPerformedDropEffect = 0, preferredDropEffect = 0;
  uint16_t fileContents = 0, fileGroupDescriptor = 0, fileGroupDescriptorW = 0;
};
const TShellClipboardFormats& ShellClipboardFormats();
void RegisterShellClipboardFormats();

}  // namespace kv
