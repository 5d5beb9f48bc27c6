#pragma once
// TWideFileStream: a TStream over a file opened by wide name.
// TWideStringList: the shell controls' list of wide strings, compared without
// case, with objects, optional sorting and a text and stream form led by the
// byte-order mark.
#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/uni_file_stream_win.h"
#include "zip/zip_stream.h"

namespace kv {

class TWideFileStream : public TStream {
 public:
  // kModeCreate creates the file (EFCreateError), any other mode opens it
  // (EFOpenError); the message names the file as given.
  TWideFileStream(const std::wstring& fileName, uint16_t mode);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return file_.Size(); }
  void SetSize(int64_t size) override;
  void Flush() override;
  void* Handle() override { return file_.Handle(); }

 private:
  TUniFileStream file_;
};

class EStringListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a list item may carry; freed by the list only with OwnsObjects.
class TListObject {
 public:
  virtual ~TListObject() = default;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TWideStringList {
 public:
  using TNotify = std::function<void(TWideStringList&)>;
  TWideStringList() = default;
  TWideStringList(const TWideStringList&) = delete;
  TWideStringList& operator=(const TWideStringList&) = delete;
  virtual ~TWideStringList();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates DuplicateRule = TDuplicates::dupIgnore;
  bool OwnsObjects = false;
  TNotify OnChange, OnChanging;

  int Count() const { return GetCount(); }
  int Capacity() const { return GetCapacity(); }

  // The overridable operations, in the order of the list's virtual table.
  virtual void AssignTo(TWideStringList& target) const { target.Assign(*this); }
  // Clears `target` and adds every item as ANSI text.
  virtual void AssignTo(std::vector<std::string>& target) const;
  virtual void Assign(const TWideStringList& other);
  virtual void Assign(const std::vector<std::string>& other);

 protected:
  virtual void Changed() { if (OnChange) OnChange(*this); }
  virtual void Changing() { if (OnChanging) OnChanging(*this); }

 public:
  virtual std::wstring Get(int index) const;
  virtual int GetCapacity() const { return static_cast<int>(items_.capacity()); }
  virtual int GetCount() const { return static_cast<int>(items_.size()); }
  virtual TListObject* GetObject(int index) const;
  virtual void Put(int index, const std::wstring& s);
  virtual void PutObject(int index, TListObject* object);
  // Exactly `capacity` places; below Count raises.
  virtual void SetCapacity(int capacity);
  virtual void SetUpdateState(bool updating) { updating ? Changing() : Changed(); }
  virtual int Add(const std::wstring& s) { return AddObject(s, nullptr); }
  virtual int AddObject(const std::wstring& s, TListObject* object);
  virtual void AddStrings(const TWideStringList& other);
  // A string list of the controls (ANSI texts), converted to wide.
  virtual void AddStrings(const std::vector<std::string>& other);
  virtual void Clear();
  virtual void CustomSort(const std::function<int(TWideStringList&, int, int)>& compare);
  virtual void Delete(int index);
  virtual void Exchange(int a, int b);
  // Sorted lists: true and the position when found, else false and the
  // insertion point. On a hit the search goes on to the first of the equal
  // items, except under dupAccept.
  virtual bool Find(const std::wstring& s, int& index) const;
  virtual int IndexOf(const std::wstring& s) const;
  virtual void Insert(int index, const std::wstring& s) { InsertObject(index, s, nullptr); }
  virtual void Sort();
  virtual void LoadFromFile(const std::wstring& fileName);
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToFile(const std::wstring& fileName) const;
  virtual void SaveToStream(TStream& stream) const;

  void InsertObject(int index, const std::wstring& s, TListObject* object);
  std::wstring GetTextStr() const;
  void SetTextStr(const std::wstring& text);

 private:
  struct Item {
    std::wstring text;
    TListObject* object = nullptr;
  };
  void CheckIndex(int index) const;
  void Grow();
  void InsertItem(int index, const std::wstring& s, TListObject* object);
  void QuickSort(int left, int right, const std::function<int(TWideStringList&, int, int)>& compare);

  std::vector<Item> items_;
  bool sorted_ = false;
};

}  // namespace kv
