#include "shell/node_storage.h"

#include <algorithm>
#include <cstring>

#include "shell/id_list.h"
#include "shell/wide_strings.h"
#include "zip/zip_stream.h"

namespace kv {

namespace {

int64_t BytesLeft(TStream& stream) { return std::max<int64_t>(0, stream.Size() - stream.Position()); }

uint8_t ReadU8(TStream& stream) {
  uint8_t b;
  stream.ReadBuffer(&b, 1);
  return b;
}
uint32_t ReadU32(TStream& stream) {
  uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
int32_t ReadVersion(TStream& stream) { return static_cast<int32_t>(ReadU32(stream)); }
void WriteU8(TStream& stream, uint8_t v) { stream.WriteBuffer(&v, 1); }
void WriteU32(TStream& stream, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  stream.WriteBuffer(b, 4);
}

// A count of items of `itemSize` bytes each that the rest of the stream can hold.
uint32_t ReadCount(TStream& stream, int64_t itemSize, const char* what) {
  uint32_t n = ReadU32(stream);
  if (static_cast<int64_t>(n) * itemSize > BytesLeft(stream))
    throw ENodeStorage(std::string("Node storage stream: ") + what + " count beyond the stream");
  return n;
}

void ReadWords(TStream& stream, std::vector<uint16_t>& words, const char* what) {
  uint32_t n = ReadCount(stream, 2, what);
  std::vector<uint8_t> bytes(size_t(n) * 2);
  if (n) stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  words.resize(n);
  for (uint32_t i = 0; i < n; ++i) words[i] = uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
}
void WriteWords(TStream& stream, const std::vector<uint16_t>& words) {
  WriteU32(stream, static_cast<uint32_t>(words.size()));
  std::vector<uint8_t> bytes;
  bytes.reserve(words.size() * 2);
  for (uint16_t w : words) {
    bytes.push_back(uint8_t(w));
    bytes.push_back(uint8_t(w >> 8));
  }
  if (!bytes.empty()) stream.WriteBuffer(bytes);
}

// `child` is `parent` with exactly one item appended.
bool ExtendsByOne(const std::vector<uint8_t>& parent, const std::vector<uint8_t>& child) {
  size_t head = parent.size() - 2;
  if (child.size() <= parent.size() || std::memcmp(parent.data(), child.data(), head) != 0) return false;
  return IDListCount(child.data()) == IDListCount(parent.data()) + 1;
}

// The last item plus terminator of a whole list.
std::span<const uint8_t> LastItemSpan(const std::vector<uint8_t>& list) {
  auto* last = static_cast<const uint8_t*>(LastIDItem(list.data()));
  return {last, list.data() + list.size()};
}

}  // namespace

bool TNodeStorageShell::CompareIDs(TNodeStorage&, std::span<const uint8_t> first, std::span<const uint8_t> second,
                                   int& order) {
  order = CompareIDItemBytes(IDItemBytes(first.data()), IDItemBytes(second.data()));
  return true;
}

std::u16string TNodeStorageShell::UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return out;
}

void TNodeStorageShell::SortPaths(std::vector<std::u16string>& paths) {
  std::stable_sort(paths.begin(), paths.end(),
                   [this](const std::u16string& a, const std::u16string& b) { return UpperCase(a) < UpperCase(b); });
}

// ------------------------------------------------------------ TNodeStorage --

TNodeStorage::TNodeStorage(std::vector<uint8_t> absolutePIDL, TNodeStorage* parentNode)
    : absolutePIDL_(std::move(absolutePIDL)), parentNode_(parentNode) {
  if (absolutePIDL_.size() < 2) absolutePIDL_ = {0, 0};
}

TNodeStorage::~TNodeStorage() = default;

std::span<const uint8_t> TNodeStorage::RelativePIDL() const { return LastItemSpan(absolutePIDL_); }

TNodeStorageList& TNodeStorage::EnsureChildNodeList() {
  if (!childNodeList_) childNodeList_ = std::make_unique<TNodeStorageList>();
  return *childNodeList_;
}

TRootNodeStorage* TNodeStorage::Root() { return parentNode_ ? parentNode_->Root() : nullptr; }

void TNodeStorage::Assign(const TNodeStorage& source) {
  if (&source == this) return;
  if (TRootNodeStorage* root = Root()) root->ForgetCacheBelow(this);
  childNodeList_.reset();
  ShellFolder.reset();
  if (!dynamic_cast<TRootNodeStorage*>(this)) parentNode_ = nullptr;
  absolutePIDL_ = source.absolutePIDL_;
  if (source.childNodeList_) {
    auto& list = EnsureChildNodeList();
    for (size_t i = 0; i < source.childNodeList_->Count(); ++i) {
      auto child = std::make_unique<TNodeStorage>(std::vector<uint8_t>{0, 0}, nullptr);
      child->Assign(*source.childNodeList_->Items(i));
      child->parentNode_ = this;
      list.Append(std::move(child));
    }
  }
  Storage.Types = source.Storage.Types;
  Storage.CheckState = source.Storage.CheckState;
  Storage.CheckType = source.Storage.CheckType;
  Storage.Column = source.Storage.Column;
  if (Storage.UserData && source.Storage.UserData) Storage.UserData->Assign(*source.Storage.UserData);
}

void TNodeStorage::Clear(bool freeUserData) {
  if (TRootNodeStorage* root = Root()) root->ForgetCacheBelow(this);
  absolutePIDL_ = {0, 0};
  ShellFolder.reset();
  childNodeList_.reset();
  if (freeUserData) Storage.UserData.reset();
}

void TNodeStorage::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  WriteIDList(stream, absolutePIDL_.data());
  WriteU8(stream, childNodeList_ ? 1 : 0);
  if (childNodeList_) {
    childNodeList_->SaveToStream(stream, version, writeVerToStream);
    WriteU32(stream, static_cast<uint32_t>(childNodeList_->Count()));
    for (size_t i = 0; i < childNodeList_->Count(); ++i)
      childNodeList_->Items(i)->SaveToStream(stream, version, writeVerToStream);
  }
  WriteU8(stream, Storage.Types);
  WriteU8(stream, Storage.CheckState);
  if (version >= 2) WriteU8(stream, Storage.CheckType);
  WriteWords(stream, Storage.Column.Widths);
  WriteWords(stream, Storage.Column.Positions);
  WriteU32(stream, static_cast<uint32_t>(Storage.Column.Visible.size()));
  if (!Storage.Column.Visible.empty()) stream.WriteBuffer(Storage.Column.Visible);
  if (version >= 1) {
    WriteU8(stream, Storage.UserData ? 1 : 0);
    if (Storage.UserData) {
      std::string name = Storage.UserData->ClassName();
      WriteU32(stream, static_cast<uint32_t>(name.size()));
      stream.WriteBuffer(reinterpret_cast<const uint8_t*>(name.data()), static_cast<int64_t>(name.size()));
      Storage.UserData->SaveToStream(stream, version, writeVerToStream);
    }
  }
}

void TNodeStorage::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  // Everything is read into a loose node first: a bad stream leaves this one as it was.
  TRootNodeStorage* root = Root();
  TNodeStorage fresh({0, 0}, nullptr);
  fresh.ReadNode(stream, version, readVerFromStream, 0, root);
  if (root == this && !IsDesktopIDList(fresh.absolutePIDL_.data()))
    throw ENodeStorage("Node storage stream: the root is not the desktop");
  if (root) root->ForgetCacheBelow(this);
  TStreamableClass::LoadFromStream(*std::make_unique<TMemoryStream>(), fresh.StreamVersion(), false);
  absolutePIDL_ = std::move(fresh.absolutePIDL_);
  ShellFolder.reset();
  if (fresh.childNodeList_) {
    childNodeList_ = std::move(fresh.childNodeList_);
    for (size_t i = 0; i < childNodeList_->Count(); ++i) childNodeList_->Items(i)->parentNode_ = this;
  }
  Storage = std::move(fresh.Storage);
}

void TNodeStorage::ReadNode(TStream& stream, int32_t version, bool readVersion, int depth, TRootNodeStorage* root) {
  if (depth > kMaxStoredDepth) throw ENodeStorage("Node storage stream: nesting too deep");
  if (readVersion) version = ReadVersion(stream);
  TStreamableClass::LoadFromStream(stream, version, false);
  try {
    absolutePIDL_ = ReadIDList(stream);
  } catch (const EIDListFormat& e) {
    throw ENodeStorage(std::string("Node storage stream: ") + e.what());
  }
  // Every node is stored with its list (the root with the desktop's).
  if (absolutePIDL_.empty()) throw ENodeStorage("Node storage stream: a node without its item-ID list");
  if (ReadU8(stream) == 1) {
    auto list = std::make_unique<TNodeStorageList>();
    int32_t listVersion = readVersion ? ReadVersion(stream) : version;
    list->TStreamableList::LoadFromStream(*std::make_unique<TMemoryStream>(), listVersion, false);
    // The smallest node: a list of one item (2+2+2 bytes plus its size), three
    // flags and three empty arrays.
    uint32_t count = ReadCount(stream, 4 + 6 + 3 + 12, "child");
    for (uint32_t i = 0; i < count; ++i) {
      auto child = std::make_unique<TNodeStorage>(std::vector<uint8_t>{0, 0}, this);
      child->ReadNode(stream, listVersion, readVersion, depth + 1, root);
      if (!ExtendsByOne(absolutePIDL_, child->absolutePIDL_))
        throw ENodeStorage("Node storage stream: a child is not one item below its parent");
      if (root && !root->Shell().ChildExists(*child)) continue;  // vanished since
      if (root && list->Count() > 0) {
        int order = 0;
        if (root->Shell().CompareIDs(*this, list->Items(list->Count() - 1)->RelativePIDL(), child->RelativePIDL(),
                                     order) &&
            order >= 0)
          throw ENodeStorage("Node storage stream: children out of order");
      }
      list->Append(std::move(child));
    }
    childNodeList_ = std::move(list);
  }
  Storage.Types = ReadU8(stream);
  Storage.CheckState = ReadU8(stream);
  Storage.CheckType = version >= 2 ? ReadU8(stream) : 0;
  ReadWords(stream, Storage.Column.Widths, "width");
  ReadWords(stream, Storage.Column.Positions, "position");
  uint32_t n = ReadCount(stream, 1, "visibility");
  Storage.Column.Visible.resize(n);
  if (n) stream.ReadBuffer(Storage.Column.Visible.data(), n);
  for (auto& v : Storage.Column.Visible)
    if (v > 1) throw ENodeStorage("Node storage stream: a visibility is neither 0 nor 1");
  if (version >= 1 && ReadU8(stream) == 1) {
    uint32_t length = ReadCount(stream, 1, "class name");
    if (length > 255) throw ENodeStorage("Node storage stream: class name too long");
    std::string name(length, '\0');
    if (length) stream.ReadBuffer(name.data(), length);
    auto data = root ? root->CreateUserData(name) : nullptr;
    if (!data) throw ENodeStorage("Node storage stream: unknown user-data class \"" + name + "\"");
    data->LoadFromStream(stream, version, readVersion);
    Storage.UserData = std::move(data);
  }
}

// -------------------------------------------------------- TNodeStorageList --

void TNodeStorageList::Insert(size_t index, std::unique_ptr<TNodeStorage> node) {
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())), std::move(node));
}

std::unique_ptr<TNodeStorage> TNodeStorageList::Extract(const TNodeStorage* node) {
  auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == node; });
  if (it == items_.end()) return nullptr;
  auto out = std::move(*it);
  items_.erase(it);
  return out;
}

// -------------------------------------------------------- TRootNodeStorage --

TRootNodeStorage::TRootNodeStorage(std::unique_ptr<TNodeStorageShell> shell, std::vector<uint8_t> desktopPIDL)
    : TNodeStorage(std::move(desktopPIDL), nullptr), shell_(std::move(shell)) {
  if (!shell_) shell_ = std::make_unique<TNodeStorageShell>();
  EnsureChildNodeList();
}

TRootNodeStorage::~TRootNodeStorage() { cacheNode_ = nullptr; }

void TRootNodeStorage::ForgetCacheBelow(const TNodeStorage* node) {
  for (TNodeStorage* n = cacheNode_; n; n = n->parentNode_)
    if (n == node) {
      cacheNode_ = nullptr;
      return;
    }
}

bool TRootNodeStorage::SearchChildren(TNodeStorage& parent, std::span<const uint8_t> id, size_t& index,
                                      bool& comparable) {
  auto& list = parent.EnsureChildNodeList();
  size_t lo = 0, hi = list.Count();
  comparable = true;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    int order = 0;
    if (!shell_->CompareIDs(parent, list.Items(mid)->RelativePIDL(), id, order)) {
      comparable = false;
      return false;
    }
    if (order > 0)
      hi = mid;
    else if (order < 0)
      lo = mid + 1;
    else {
      index = mid;
      return true;
    }
  }
  index = lo;
  return false;
}

TNodeStorage* TRootNodeStorage::ProcessNode(std::span<const uint8_t> id, TNodeStorage& parent, bool intermediate,
                                            bool force) {
  size_t index = 0;
  bool comparable = true;
  if (SearchChildren(parent, id, index, comparable)) return parent.childNodeList_->Items(index);
  if (!force || !comparable) return nullptr;
  std::vector<uint8_t> pidl(parent.absolutePIDL_.begin(), parent.absolutePIDL_.end() - 2);
  pidl.insert(pidl.end(), id.begin(), id.end());
  auto node = std::make_unique<TNodeStorage>(std::move(pidl), &parent);
  if (intermediate && Storage.CheckType == kStoredTriStateType) {
    node->Storage.CheckType = kStoredTriStateType;
    node->Storage.CheckState = kStoredMixed;
    node->Storage.Types = kStoreCheck;
  }
  TNodeStorage* raw = node.get();
  parent.childNodeList_->Insert(index, std::move(node));
  return raw;
}

TNodeStorage* TRootNodeStorage::WalkPIDLToStorageNode(std::span<const uint8_t> pidl, bool force) {
  std::vector<uint8_t> list(pidl.begin(), pidl.end());
  try {
    ValidateIDList(list);
  } catch (const EIDListFormat&) {
    return nullptr;
  }
  if (IsDesktopIDList(list.data())) return this;
  auto last = LastItemSpan(list);
  if (cacheNode_) {
    size_t head = list.size() - last.size();
    const auto& cached = cacheNode_->absolutePIDL_;
    if (cached.size() == head + 2 && std::memcmp(cached.data(), list.data(), head) == 0)
      if (TNodeStorage* hit = ProcessNode(last, *cacheNode_, false, force)) return hit;
  }
  cacheNode_ = nullptr;
  TNodeStorage* current = this;
  const uint8_t* item = list.data();
  while (current && IDCountAt(item) != 0) {
    uint16_t count = IDCountAt(item);
    std::vector<uint8_t> id(item, item + count);
    id.push_back(0);
    id.push_back(0);
    const uint8_t* next = item + count;
    current = ProcessNode(id, *current, IDCountAt(next) != 0, force);
    item = next;
  }
  if (current) cacheNode_ = current->parentNode_;
  return current;
}

TNodeStorage* TRootNodeStorage::Find(std::span<const uint8_t> pidl, uint8_t types) {
  TNodeStorage* node = WalkPIDLToStorageNode(pidl, false);
  return node && (node->Storage.Types & types) ? node : nullptr;
}

bool TRootNodeStorage::Find(std::span<const uint8_t> pidl, uint8_t types, TNodeStorage*& node) {
  node = Find(pidl, types);
  return node != nullptr;
}

TNodeStorage* TRootNodeStorage::Store(std::span<const uint8_t> pidl, uint8_t types) {
  TNodeStorage* node = WalkPIDLToStorageNode(pidl, true);
  if (node) node->Storage.Types |= types;
  return node;
}

void TRootNodeStorage::Delete(std::span<const uint8_t> pidl, uint8_t types, bool force, bool freeUserData) {
  TNodeStorage* node = WalkPIDLToStorageNode(pidl, false);
  if (!node) return;
  node->Storage.Types &= uint8_t(~types);
  if ((node->Storage.Types == 0 || force) && node != this) {
    ForgetCacheBelow(node);
    if (freeUserData) node->Storage.UserData.reset();
    auto owned = node->parentNode_->childNodeList_->Extract(node);
    return;  // `owned` frees the node with its subtree
  }
  if ((types & kStoreUserData) && freeUserData) node->Storage.UserData.reset();
  if (node == this) Storage.CheckState = kStoredUnchecked;
}

std::vector<std::u16string> TRootNodeStorage::CheckedPaths() {
  std::vector<std::u16string> paths;
  struct Bracket {
    TNodeStorageShell& shell;
    explicit Bracket(TNodeStorageShell& s) : shell(s) { shell.BeginPathTests(); }
    ~Bracket() { shell.EndPathTests(); }
  } bracket(*shell_);
  std::vector<const TNodeStorage*> stack{this};
  while (!stack.empty()) {
    const TNodeStorage* node = stack.back();
    stack.pop_back();
    // A node whose check was deleted while it keeps another kind (a folder's
    // column layout) keeps its old state byte: only the kind says it counts.
    if ((node->Storage.Types & kStoreCheck) && node->Storage.CheckState == kStoredChecked) {
      std::u16string path = shell_->FileSystemPath(*node);
      // A drive counts by its form: one without a medium is still listed.
      if (!path.empty() && (IsDriveW(std::u16string_view(path)) || shell_->PathExists(path)))
        paths.push_back(std::move(path));
    }
    if (node->childNodeList_)
      for (size_t i = node->childNodeList_->Count(); i-- > 0;) stack.push_back(node->childNodeList_->Items(i));
  }
  return paths;
}

const std::vector<std::u16string>& TRootNodeStorage::GetCheckedFileNamesW() {
  checkedFileNamesW_ = CheckedPaths();
  return checkedFileNamesW_;
}

const std::vector<std::u16string>& TRootNodeStorage::GetResolvedFileNamesW() {
  resolvedFileNamesW_ =
      ResolvePathList(GetCheckedFileNamesW(), [this](std::vector<std::u16string>& paths) { shell_->SortPaths(paths); });
  return resolvedFileNamesW_;
}

void TRootNodeStorage::Clear(bool freeUserData) {
  checkedFileNamesW_.clear();
  resolvedFileNamesW_.clear();
  cacheNode_ = nullptr;
  std::vector<uint8_t> desktop = absolutePIDL_;
  TNodeStorage::Clear(freeUserData);
  absolutePIDL_ = std::move(desktop);  // the root keeps standing for the desktop
  EnsureChildNodeList();
}

void TRootNodeStorage::RegisterUserDataClass(const std::string& className, TUserDataFactory factory) {
  userDataClasses_[className] = std::move(factory);
}

std::unique_ptr<TNodeUserData> TRootNodeStorage::CreateUserData(const std::string& className) const {
  auto it = userDataClasses_.find(className);
  return it == userDataClasses_.end() ? nullptr : it->second();
}

// ------------------------------------------------------------- resolving --

std::vector<std::u16string> ResolvePathList(std::vector<std::u16string> paths,
                                            const std::function<void(std::vector<std::u16string>&)>& sort) {
  if (sort) sort(paths);
  std::vector<std::u16string> out;
  for (std::u16string& path : paths) {
    if (!out.empty()) {
      std::u16string prefix = out.back();
      if (prefix.empty() || prefix.back() != u'\\') prefix += u'\\';
      if (prefix.size() < path.size() && path.compare(0, prefix.size(), prefix) == 0) continue;
    }
    out.push_back(std::move(path));
  }
  return out;
}

}  // namespace kv
