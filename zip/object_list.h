#pragma once
// The library's object lists: an ordered list that may own its items, and a
// sorted variant kept in the order of a virtual Compare (the base of the zip
// entry lists). Counts and capacities stay at most kMaxListCount, the most
// entries the end record's 16-bit count can hold.
#include <cxxabi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <typeinfo>
#include <memory>
#include <string>
#include <vector>

#include "zip/zip_errors.h"
#include "zip/zip_stream.h"

namespace kv {

inline constexpr int kMaxListCount = 65535;

// The name of an object's class, without its namespace (for messages).
inline std::string ClassNameOf(const std::type_info& type) {
  const char* mangled = type.name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && plain != nullptr ? plain : mangled;
  std::free(plain);  // allocated by the demangler with malloc
  const size_t cut = name.rfind("::");
  return cut == std::string::npos ? name : name.substr(cut + 2);
}
template <class T>
std::string ClassNameOf(const T& object) {
  return ClassNameOf(typeid(object));
}

// The longest class name a streamed list records.
inline constexpr size_t kMaxStreamedClassName = 63;

// What a list's items are streamed as: per class name, a routine that reads
// an item of that class from a stream and one that writes it.
template <class T>
class TClassRegistry {
 public:
  using Reader = std::function<std::unique_ptr<T>(TStream&)>;
  using Writer = std::function<void(const T&, TStream&)>;

  // Registers class C (a T) under its own name; EListError when the name is
  // too long to be recorded.
  template <class C>
  void Register(Reader reader, Writer writer) {
    const std::string name = ClassNameOf(typeid(C));
    if (name.size() > kMaxStreamedClassName) throw EListError("Class name too long: <" + name + ">");
    entries_[name] = Entry{std::move(reader), std::move(writer)};
  }
  // The reader of a class name; EListError when it is not registered.
  const Reader& ReaderOf(const std::string& name) const {
    const auto it = entries_.find(name);
    if (it == entries_.end()) throw EListError("Class <" + name + "> not registered");
    return it->second.reader;
  }
  // The writer of an item's class; EListError when it is not registered.
  const Writer& WriterOf(const std::string& name) const {
    const auto it = entries_.find(name);
    if (it == entries_.end()) throw EListError("Source Class <" + name + "> not registered");
    return it->second.writer;
  }

 private:
  struct Entry {
    Reader reader;
    Writer writer;
  };
  std::map<std::string, Entry> entries_;
};

// Where an object declares the binary properties it stores: a name, the
// routines that read and write the property's bytes, and whether it has
// anything to store.
class TBinaryPropertyFiler {
 public:
  virtual ~TBinaryPropertyFiler() = default;
  virtual void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>& read,
                                    const std::function<void(TStream&)>& write, bool hasData) = 0;
};

namespace object_stream {

// Exact reads; a stream that ends early raises EZipReadError.
inline void ReadExact(TStream& s, void* buffer, int64_t count) {
  if (s.Read(buffer, count) != count) throw EZipReadError("Object list data ends early");
}
inline uint8_t ReadByte(TStream& s) {
  uint8_t b = 0;
  ReadExact(s, &b, 1);
  return b;
}
inline void WriteExact(TStream& s, const void* buffer, int64_t count) {
  if (s.Write(buffer, count) != count) throw EZipWriteError("Object list data not written");
}
inline void WriteByte(TStream& s, uint8_t b) { WriteExact(s, &b, 1); }

}  // namespace object_stream

template <class T>
class TObjectList {
 public:
  // ownsObjects: items are freed when removed, when the list is cleared or freed.
  explicit TObjectList(bool ownsObjects = true) : owns_(ownsObjects) {}
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  virtual ~TObjectList() { Clear(); }

  bool OwnsObjects() const { return owns_; }
  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  bool Empty() const { return items_.empty(); }

  T* Get(int index) const {
    Check(index, Count() - 1);
    return items_[static_cast<size_t>(index)];
  }
  T* operator[](int index) const { return Get(index); }
  virtual T* First() const { return items_.empty() ? nullptr : items_.front(); }
  virtual T* Last() const { return items_.empty() ? nullptr : items_.back(); }

  // Appends (a sorted list places it by its key and answers 0); the list
  // must own its items. Returns the index. An item that a sorted list
  // ignoring duplicates dropped is freed here: the list took it over.
  int Add(std::unique_ptr<T> item) {
    const int index = AddItem(item.get());
    if (index >= 0) static_cast<void>(item.release());
    return std::max(index, 0);
  }
  // Appends an item someone else owns; the list must not own its items.
  int AddRef(T* item) { return std::max(AddItem(item), 0); }
  // The nominal room; below the count or above kMaxListCount raises.
  void SetCapacity(int capacity) {
    if (capacity < Count() || capacity > kMaxListCount) {
      throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
    }
    capacity_ = capacity;
  }
  // Inserts before index (0..Count); sorted lists ignore the index.
  virtual int Insert(int index, T* item) {
    Check(index, Count());
    GrowFor(Count() + 1);
    items_.insert(items_.begin() + index, item);
    return index;
  }
  virtual void Put(int index, T* item) {
    Check(index, Count() - 1);
    if (owns_ && items_[static_cast<size_t>(index)] != item) FreeItem(items_[static_cast<size_t>(index)]);
    items_[static_cast<size_t>(index)] = item;
  }
  // The first index holding the item, -1 when none.
  virtual int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i] == item) return static_cast<int>(i);
    }
    return -1;
  }
  // Removes (and frees, when owning) the item at index.
  void Delete(int index) {
    Check(index, Count() - 1);
    T* item = items_[static_cast<size_t>(index)];
    items_.erase(items_.begin() + index);
    if (owns_) FreeItem(item);
  }
  virtual void Clear() {
    std::vector<T*> old;
    old.swap(items_);
    capacity_ = 0;
    if (owns_) {
      for (T* item : old) FreeItem(item);
    }
  }
  // The item after (forward) or before item; nullptr past either end; with
  // item nullptr the first (forward) or last. An item not in the list
  // raises EListError.
  virtual T* Next(const T* item, bool forward) const {
    if (item == nullptr) return forward ? First() : Last();
    const int i = IndexOf(item);
    if (i < 0) throw EListError("tObject " + ClassNameOf(*item) + " not in item list");
    const int j = forward ? i + 1 : i - 1;
    return j >= 0 && j < Count() ? items_[static_cast<size_t>(j)] : nullptr;
  }

  // Declares the binary property "ObjectContainer", stored only when the
  // list holds items.
  virtual void DefineProperties(TBinaryPropertyFiler& filer, const TClassRegistry<T>& registry) {
    filer.DefineBinaryProperty(
        "ObjectContainer", [this, &registry](TStream& s) { ReadData(s, registry); },
        [this, &registry](TStream& s) { WriteData(s, registry); }, !Empty());
  }
  // The owns-objects flag (1 byte), the count (32-bit little-endian), then
  // per item its class name (a length byte and the characters) and what the
  // class's writer writes. A null item raises EListError "Nil Source Class!".
  virtual void WriteData(TStream& s, const TClassRegistry<T>& registry) const {
    object_stream::WriteByte(s, owns_ ? 1 : 0);
    const auto count = static_cast<uint32_t>(items_.size());
    const uint8_t le[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                           static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
    object_stream::WriteExact(s, le, 4);
    for (const T* item : items_) {
      if (item == nullptr) throw EListError("Nil Source Class!");
      const std::string name = ClassNameOf(*item);
      const auto& writer = registry.WriterOf(name);
      object_stream::WriteByte(s, static_cast<uint8_t>(name.size()));
      object_stream::WriteExact(s, name.data(), static_cast<int64_t>(name.size()));
      writer(*item, s);
    }
  }
  // Reads what WriteData wrote and adds the items. Stored bytes are not
  // trusted: the count is bounded by the list's limit and by the bytes left,
  // and nothing is added unless every item was read (EListError or
  // EZipReadError, the list as it was). Items made by reading belong to
  // the list, so a list that does not own its items refuses them.
  virtual void ReadData(TStream& s, const TClassRegistry<T>& registry) {
    std::vector<std::unique_ptr<T>> read = ReadItems(s, registry);
    for (auto& item : read) Add(std::move(item));
  }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 protected:
  std::vector<std::unique_ptr<T>> ReadItems(TStream& s, const TClassRegistry<T>& registry) {
    using namespace object_stream;
    if (!owns_) throw EListError("Cannot read objects into a list that does not own them");
    const uint8_t owns = ReadByte(s);
    if (owns > 1) throw EListError("Bad owns-objects flag (" + std::to_string(owns) + ")");
    uint8_t le[4];
    ReadExact(s, le, 4);
    const uint32_t count = le[0] | le[1] << 8 | le[2] << 16 | static_cast<uint32_t>(le[3]) << 24;
    const int64_t left = s.Size() - s.Position();
    // Each item takes at least its name's length byte.
    if (static_cast<int64_t>(count) + Count() >= kMaxListCount || static_cast<int64_t>(count) > left) {
      throw EListError("Bad object count (" + std::to_string(count) + ")");
    }
    GrowFor(Count() + static_cast<int>(count));
    std::vector<std::unique_ptr<T>> items;
    items.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t length = ReadByte(s);
      if (length == 0 || length > kMaxStreamedClassName) {
        throw EListError("Bad class name length (" + std::to_string(length) + ")");
      }
      std::string name(length, '\0');
      ReadExact(s, name.data(), length);
      std::unique_ptr<T> item = registry.ReaderOf(name)(s);
      if (!item) throw EListError("Class <" + name + "> read no object");
      items.push_back(std::move(item));
    }
    return items;
  }

  virtual int AddItem(T* item) { return Insert(Count(), item); }
  void InsertAt(int index, T* item) {
    GrowFor(Count() + 1);
    items_.insert(items_.begin() + index, item);
  }
  T* At(int index) const { return items_[static_cast<size_t>(index)]; }
  static void Check(int index, int last) {
    if (index < 0 || index > last) throw EListError("Index " + std::to_string(index) + " is out of range");
  }

 private:
  static void FreeItem(T* item) { std::default_delete<T>()(item); }
  // Capacity grows by 4 while below 5, by 8 while below 9, then by 16. It
  // is the list's nominal room; the storage beneath grows geometrically, so
  // that filling a list stays linear.
  void GrowFor(int count) {
    if (count > kMaxListCount) throw EListError("List capacity exceeded (" + std::to_string(count) + ")");
    while (capacity_ < count) capacity_ = std::min(capacity_ + (capacity_ < 5 ? 4 : capacity_ < 9 ? 8 : 16), kMaxListCount);
  }

  bool owns_;
  int capacity_ = 0;
  std::vector<T*> items_;
};

enum class TDuplicates : uint8_t { Ignore = 0, Accept = 1, Error = 2 };

// Kept in ascending order of Compare; positions given to Insert are ignored.
template <class T>
class TSortedObjectList : public TObjectList<T> {
 public:
  explicit TSortedObjectList(TDuplicates duplicates, bool ownsObjects = true)
      : TObjectList<T>(ownsObjects), duplicates_(duplicates) {}

  TDuplicates Duplicates() const { return duplicates_; }

  // The key an item is sorted by: the item itself unless a subclass says otherwise.
  virtual const T& KeyOf(const T& item) const { return item; }
  // Negative, 0 or positive as key a sorts before, with or after key b.
  virtual int Compare(const T& a, const T& b) const = 0;

  // Binary search: true when an item equal to key exists; index is the
  // first equal item or the insertion place.
  virtual bool Search(const T& key, int& index) const {
    int lo = 0, hi = this->Count();
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (Compare(KeyOf(*this->At(mid)), key) < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    index = lo;
    return lo < this->Count() && Compare(KeyOf(*this->At(lo)), key) == 0;
  }

  int Insert(int /*index*/, T* item) override {
    int place = 0;
    if (Search(KeyOf(*item), place)) {
      if (duplicates_ == TDuplicates::Ignore) return -1;
      if (duplicates_ == TDuplicates::Error) throw EListError("Duplicate Object index");
    }
    this->InsertAt(place, item);
    return place;
  }
  void Put(int, T*) override { throw EListError("Cannot <Put> an Object in a sorted list!"); }

  // The duplicates mode (1 byte) goes ahead of the list's data.
  void WriteData(TStream& s, const TClassRegistry<T>& registry) const override {
    object_stream::WriteByte(s, static_cast<uint8_t>(duplicates_));
    TObjectList<T>::WriteData(s, registry);
  }
  void ReadData(TStream& s, const TClassRegistry<T>& registry) override {
    const uint8_t mode = object_stream::ReadByte(s);
    if (mode > 2) throw EListError("Bad duplicates mode (" + std::to_string(mode) + ")");
    std::vector<std::unique_ptr<T>> read = this->ReadItems(s, registry);
    if (static_cast<TDuplicates>(mode) == TDuplicates::Error) {
      // A duplicate fails the whole read before anything is added.
      std::vector<const T*> sorted;
      for (const auto& item : read) sorted.push_back(item.get());
      std::sort(sorted.begin(), sorted.end(), [this](const T* a, const T* b) { return Compare(KeyOf(*a), KeyOf(*b)) < 0; });
      int place = 0;
      for (size_t i = 0; i < sorted.size(); ++i) {
        if (Search(KeyOf(*sorted[i]), place) || (i > 0 && Compare(KeyOf(*sorted[i - 1]), KeyOf(*sorted[i])) == 0)) {
          throw EListError("Duplicate Object index");
        }
      }
    }
    duplicates_ = static_cast<TDuplicates>(mode);
    for (auto& item : read) this->Add(std::move(item));
  }
  int IndexOf(const T* item) const override {
    int place = 0;
    if (!Search(KeyOf(*item), place)) return -1;
    for (int i = place; i < this->Count() && Compare(KeyOf(*this->At(i)), KeyOf(*item)) == 0; ++i) {
      if (this->At(i) == item) return i;
    }
    return TObjectList<T>::IndexOf(item);  // comparisons that never give 0
  }

 protected:
  // Adding answers 0 wherever the item was placed (-1 inside the list when
  // one ignoring duplicates dropped it, so that Add frees it).
  int AddItem(T* item) override { return Insert(this->Count(), item) < 0 ? -1 : 0; }

 private:
  TDuplicates duplicates_;
};

}  // namespace kv
