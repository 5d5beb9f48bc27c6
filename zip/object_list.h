#pragma once
// The library's object lists: an ordered list that may own its items, and a
// sorted variant kept in the order of a virtual Compare (the base of the zip
// entry lists). Counts and capacities stay at most kMaxListCount, the most
// entries the end record's 16-bit count can hold.
#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>
#include <memory>
#include <string>
#include <vector>

#include "zip/zip_errors.h"

namespace kv {

inline constexpr int kMaxListCount = 65535;

// The name of an object's class, without its namespace (for messages).
template <class T>
std::string ClassNameOf(const T& object) {
  const char* mangled = typeid(object).name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && plain != nullptr ? plain : mangled;
  std::free(plain);  // allocated by the demangler with malloc
  const size_t cut = name.rfind("::");
  return cut == std::string::npos ? name : name.substr(cut + 2);
}

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
  T* First() const { return items_.empty() ? nullptr : items_.front(); }
  T* Last() const { return items_.empty() ? nullptr : items_.back(); }

  // Appends (a sorted list places it by its key); the list must own its
  // items. Returns the index, or -1 when a sorted list ignoring duplicates
  // dropped it (the item is then freed by the caller's pointer).
  int Add(std::unique_ptr<T> item) {
    const int index = AddItem(item.get());
    if (index >= 0) static_cast<void>(item.release());
    return index;
  }
  // Appends an item someone else owns; the list must not own its items.
  int AddRef(T* item) { return AddItem(item); }
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
  T* Next(const T* item, bool forward) const {
    if (item == nullptr) return forward ? First() : Last();
    const int i = IndexOf(item);
    if (i < 0) throw EListError("tObject " + ClassNameOf(*item) + " not in item list");
    const int j = forward ? i + 1 : i - 1;
    return j >= 0 && j < Count() ? items_[static_cast<size_t>(j)] : nullptr;
  }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 protected:
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

  // Negative, 0 or positive as a sorts before, with or after b.
  virtual int Compare(const T& a, const T& b) const = 0;

  // Binary search: true when an item equal to key exists; index is the
  // first equal item or the insertion place.
  bool Search(const T& key, int& index) const {
    int lo = 0, hi = this->Count();
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (Compare(*this->At(mid), key) < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    index = lo;
    return lo < this->Count() && Compare(*this->At(lo), key) == 0;
  }

  int Insert(int /*index*/, T* item) override {
    int place = 0;
    if (Search(*item, place)) {
      if (duplicates_ == TDuplicates::Ignore) return -1;
      if (duplicates_ == TDuplicates::Error) throw EListError("Duplicate Object index");
    }
    this->InsertAt(place, item);
    return place;
  }
  void Put(int, T*) override { throw EListError("Cannot <Put> an Object in a sorted list!"); }
  int IndexOf(const T* item) const override {
    int place = 0;
    if (!Search(*item, place)) return -1;
    for (int i = place; i < this->Count() && Compare(*this->At(i), *item) == 0; ++i) {
      if (this->At(i) == item) return i;
    }
    return TObjectList<T>::IndexOf(item);  // comparisons that never give 0
  }

 private:
  TDuplicates duplicates_;
};

}  // namespace kv
