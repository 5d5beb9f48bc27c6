#pragma once
// Node storage: the state of explorer-tree items that must outlive their tree
// nodes (check marks, a folder's column layout, application data), kept in a
// tree of storage nodes addressed by absolute item-ID list. Byte-level: what
// needs the shell (ordering items inside a folder, file-system paths, the
// existence tests) comes through TNodeStorageShell; node_storage_win.h gives
// the real one.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "shell/streamable.h"

namespace kv {

class TStream;

// What a storage node holds (any combination; 0 is a pure path node).
inline constexpr uint8_t kStoreCheck = 1;
inline constexpr uint8_t kStoreColumns = 2;
inline constexpr uint8_t kStoreUserData = 4;

// The tree control's check values as stored.
inline constexpr uint8_t kStoredUnchecked = 0;
inline constexpr uint8_t kStoredChecked = 2;
inline constexpr uint8_t kStoredMixed = 4;
inline constexpr uint8_t kStoredTriStateType = 1;

// A stream that breaks the storage format, an unknown user-data class, or an
// insertion that meets an existing item. The storage is left as it was.
class ENodeStorage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Application data kept with a node. Descendants register a factory under
// their ClassName with the root storage so that a stream can recreate them.
class TNodeUserData : public TStreamableClass {
 public:
  virtual std::string ClassName() const = 0;
  virtual void Assign(const TNodeUserData& source) = 0;
};

struct TColumnStorage {
  std::vector<uint16_t> Widths;
  std::vector<uint16_t> Positions;
  std::vector<uint8_t> Visible;
};

struct TStorage {
  uint8_t Types = 0;
  uint8_t CheckState = kStoredUnchecked;
  uint8_t CheckType = 0;
  TColumnStorage Column;
  // Shared so that the application keeps its object when a node goes away;
  // the storage lets go of it only on request (FreeUserData).
  std::shared_ptr<TNodeUserData> UserData;
};

// A folder bound for a node, kept for later comparisons (the shell side's own type).
class TNodeFolder {
 public:
  virtual ~TNodeFolder() = default;
};

class TNodeStorage;

class TNodeStorageShell {
 public:
  virtual ~TNodeStorageShell() = default;
  // The order of two item IDs (each one item with its terminator) inside the
  // folder of `parent`: negative, 0 or positive. False when the folder cannot
  // be bound (the items then cannot be found). By default: the items' bytes.
  virtual bool CompareIDs(TNodeStorage& parent, std::span<const uint8_t> first,
                          std::span<const uint8_t> second, int& order);
  // A child read from a stream still exists in the shell.
  virtual bool ChildExists(const TNodeStorage& /*child*/) { return true; }
  // The file-system path of a node; empty when it is no file-system item.
  virtual std::u16string FileSystemPath(const TNodeStorage& /*node*/) { return {}; }
  // The path names an existing file, folder or drive.
  virtual bool PathExists(const std::u16string& /*path*/) { return false; }
  // Upper case for comparing paths without case.
  virtual std::u16string UpperCase(std::u16string_view text);
  // Sorts a path list as the wide string list sorts its texts; by default by
  // their upper case (UpperCase).
  virtual void SortPaths(std::vector<std::u16string>& paths);
  // Brackets the existence tests of one file-name collection.
  virtual void BeginPathTests() {}
  virtual void EndPathTests() {}
};

class TNodeStorageList;
class TRootNodeStorage;

class TNodeStorage : public TStreamableClass {
 public:
  // Takes the bytes of an absolute list (one whole list, validated by the caller).
  TNodeStorage(std::vector<uint8_t> absolutePIDL, TNodeStorage* parentNode);
  ~TNodeStorage() override;
  TNodeStorage(const TNodeStorage&) = delete;
  TNodeStorage& operator=(const TNodeStorage&) = delete;

  // Deep copy of the source's list, children and stored state; user data is
  // assigned only when both sides hold an object.
  virtual void Assign(const TNodeStorage& source);
  virtual void AssignTo(TNodeStorage& destination) const { destination.Assign(*this); }
  // Frees the list, the bound folder and the children; the stored bytes stay.
  virtual void Clear(bool freeUserData);

  void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false) override;
  void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false) override;

  const std::vector<uint8_t>& AbsolutePIDL() const { return absolutePIDL_; }
  // The last item of AbsolutePIDL with the list's terminator (just the
  // terminator for the desktop).
  std::span<const uint8_t> RelativePIDL() const;
  TNodeStorage* ParentNode() const { return parentNode_; }
  TNodeStorageList* ChildNodeList() const { return childNodeList_.get(); }
  TNodeStorageList& EnsureChildNodeList();

  TStorage Storage;
  // Held for the shell side between lookups.
  std::unique_ptr<TNodeFolder> ShellFolder;

 protected:
  friend class TRootNodeStorage;
  friend class TNodeStorageList;
  // The root that gives the shell and the user-data classes; none for a loose node.
  virtual TRootNodeStorage* Root();
  void ReadNode(TStream& stream, int32_t version, bool readVersion, int depth, TRootNodeStorage* root);

  std::vector<uint8_t> absolutePIDL_;
  TNodeStorage* parentNode_ = nullptr;
  std::unique_ptr<TNodeStorageList> childNodeList_;
};

// The children of a node, owned, kept in the parent folder's order.
class TNodeStorageList : public TStreamableList {
 public:
  size_t Count() const { return items_.size(); }
  TNodeStorage* Items(size_t i) const { return items_.at(i).get(); }
  void Clear() override { items_.clear(); }
  void Insert(size_t index, std::unique_ptr<TNodeStorage> node);
  void Append(std::unique_ptr<TNodeStorage> node) { items_.push_back(std::move(node)); }
  std::unique_ptr<TNodeStorage> Extract(const TNodeStorage* node);

 private:
  std::vector<std::unique_ptr<TNodeStorage>> items_;
};

class TRootNodeStorage : public TNodeStorage {
 public:
  // `desktopPIDL` is the desktop's list (2 zero bytes).
  explicit TRootNodeStorage(std::unique_ptr<TNodeStorageShell> shell,
                            std::vector<uint8_t> desktopPIDL = {0, 0});
  ~TRootNodeStorage() override;

  TNodeStorage* WalkPIDLToStorageNode(std::span<const uint8_t> pidl, bool force);
  TNodeStorage* Find(std::span<const uint8_t> pidl, uint8_t types);
  bool Find(std::span<const uint8_t> pidl, uint8_t types, TNodeStorage*& node);
  // The node of `pidl` with its missing ancestors made; none when the shell
  // cannot order the items of a folder on the way.
  TNodeStorage* Store(std::span<const uint8_t> pidl, uint8_t types);
  void Delete(std::span<const uint8_t> pidl, uint8_t types, bool force, bool freeUserData);

  // Checked (check kind stored, state exactly "checked") file-system paths
  // that exist or have a drive's form ("C:\"), the root's included, depth first.
  const std::vector<std::u16string>& GetCheckedFileNamesW();
  // The checked paths, sorted (SortPaths), less each one that lies below its
  // kept neighbour before it (ResolvePathList).
  const std::vector<std::u16string>& GetResolvedFileNamesW();
  void Clear(bool freeUserData) override;

  TNodeStorage* CacheNode() const { return cacheNode_; }
  TNodeStorageShell& Shell() { return *shell_; }

  using TUserDataFactory = std::function<std::unique_ptr<TNodeUserData>()>;
  void RegisterUserDataClass(const std::string& className, TUserDataFactory factory);
  std::unique_ptr<TNodeUserData> CreateUserData(const std::string& className) const;

 protected:
  TRootNodeStorage* Root() override { return this; }

 private:
  friend class TNodeStorage;
  // Searches `parent`'s children for `id`; `index` gets the hit or the insertion point.
  bool SearchChildren(TNodeStorage& parent, std::span<const uint8_t> id, size_t& index, bool& comparable);
  TNodeStorage* ProcessNode(std::span<const uint8_t> id, TNodeStorage& parent, bool intermediate, bool force);
  void ForgetCacheBelow(const TNodeStorage* node);
  // The checked existing paths, depth first.
  std::vector<std::u16string> CheckedPaths();

  std::unique_ptr<TNodeStorageShell> shell_;
  TNodeStorage* cacheNode_ = nullptr;
  std::vector<std::u16string> checkedFileNamesW_;
  std::vector<std::u16string> resolvedFileNamesW_;
  std::map<std::string, TUserDataFactory> userDataClasses_;
};

// `paths` in the order `sort` gives them, walked from the second entry: an
// entry that begins (case counts) with the kept entry before it and a
// backslash ("C:\Music\" for "C:\Music", "C:\" for "C:\") and is longer
// goes, and the same entry is compared with the next one. Only neighbours are
// compared: the scan drops what is left nested.
std::vector<std::u16string> ResolvePathList(std::vector<std::u16string> paths,
                                            const std::function<void(std::vector<std::u16string>&)>& sort);

// Deepest nesting a stream may hold.
inline constexpr int kMaxStoredDepth = 256;

}  // namespace kv
