#include "shell/wide_string_list_win.h"

#include <string>

#include "base/ansi_text_win.h"
#include "shell/wide_text.h"

namespace kv {

// ----------------------------------------------------------- TWideFileStream

TWideFileStream::TWideFileStream(const std::wstring& fileName, uint16_t mode) try : file_(fileName, mode) {
} catch (const EFCreateError&) {
  throw EFCreateError("Cannot create file " + WStringToAnsi(fileName));
} catch (const EFOpenError&) {
  throw EFOpenError("Cannot open file " + WStringToAnsi(fileName));
}

int64_t TWideFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return file_.Read(buffer, count);
}

int64_t TWideFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return file_.Write(buffer, count);
}

int64_t TWideFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  return file_.Seek(offset, origin);
}

void TWideFileStream::SetSize(int64_t size) {
  int64_t pos = Position();
  LARGE_INTEGER to;
  to.QuadPart = size;
  if (!SetFilePointerEx(file_.Handle(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.Handle()))
    throw std::runtime_error("Stream write error");
  Seek(std::min(pos, size), TSeekOrigin::Beginning);
}

void TWideFileStream::Flush() {
  if (!FlushFileBuffers(file_.Handle())) throw std::runtime_error("Stream write error");
}

// ----------------------------------------------------------- TWideStringList

namespace {
// `format` holds the text before the index: "List index out of bounds (%d)".
[[noreturn]] void ListError(const char* format, int index) {
  std::string text(format);
  text.replace(text.find("%d"), 2, std::to_string(index));
  throw EStringListError(text);
}
int CompareText(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()); }
}  // namespace

TWideStringList::~TWideStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  Clear();
}

void TWideStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) ListError("List index out of bounds (%d)", index);
}

void TWideStringList::Grow() {
  size_t cap = items_.capacity();
  size_t delta = cap > 64 ? cap / 4 : (cap > 8 ? 16 : 4);
  items_.reserve(cap + delta);
}

void TWideStringList::SetCapacity(int capacity) {
  if (capacity < Count()) ListError("List capacity out of bounds (%d)", capacity);
  if (static_cast<size_t>(capacity) == items_.capacity()) return;
  std::vector<Item> resized;
  resized.reserve(static_cast<size_t>(capacity));
  for (Item& item : items_) resized.push_back(std::move(item));
  items_.swap(resized);
}

void TWideStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

std::wstring TWideStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

TListObject* TWideStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TWideStringList::Put(int index, const std::wstring& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

void TWideStringList::PutObject(int index, TListObject* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

int TWideStringList::AddObject(const std::wstring& s, TListObject* object) {
  int index = Count();
  if (sorted_ && Find(s, index)) {
    if (DuplicateRule == TDuplicates::dupIgnore) return index;
    if (DuplicateRule == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, s, object);
  return index;
}

void TWideStringList::InsertItem(int index, const std::wstring& s, TListObject* object) {
  Changing();
  if (items_.size() == items_.capacity()) Grow();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TWideStringList::InsertObject(int index, const std::wstring& s, TListObject* object) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) ListError("List index out of bounds (%d)", index);
  InsertItem(index, s, object);
}

void TWideStringList::AddStrings(const TWideStringList& other) {
  for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
}

void TWideStringList::AddStrings(const std::vector<std::string>& other) {
  for (const std::string& text : other) Add(AnsiToWString(text));
}

void TWideStringList::Assign(const TWideStringList& other) {
  if (&other == this) return;
  Clear();
  AddStrings(other);
}

void TWideStringList::Assign(const std::vector<std::string>& other) {
  Clear();
  AddStrings(other);
}

void TWideStringList::AssignTo(std::vector<std::string>& target) const {
  target.clear();
  for (int i = 0; i < Count(); ++i) target.push_back(WStringToAnsi(Get(i)));
}

void TWideStringList::Clear() {
  // An empty list still tells its listeners: a clear is a modification.
  Changing();
  while (!items_.empty()) Delete(0);
  items_.shrink_to_fit();
  Changed();
}

void TWideStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  std::unique_ptr<TListObject> owned(OwnsObjects ? items_[static_cast<size_t>(index)].object : nullptr);
  items_.erase(items_.begin() + index);
  Changed();
}

void TWideStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  Changing();
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
  Changed();
}

bool TWideStringList::Find(const std::wstring& s, int& index) const {
  int low = 0, high = Count() - 1;
  bool found = false;
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int c = CompareText(items_[static_cast<size_t>(mid)].text, s);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        // Under dupAccept the plain hit stands; under the other rules the
        // search goes on to the first of the equal items.
        if (DuplicateRule == TDuplicates::dupAccept) {
          low = mid;
          break;
        }
      }
    }
  }
  index = low;
  return found;
}

int TWideStringList::IndexOf(const std::wstring& s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareText(items_[static_cast<size_t>(i)].text, s) == 0) return i;
  return -1;
}

void TWideStringList::QuickSort(int left, int right, const std::function<int(TWideStringList&, int, int)>& compare) {
  while (left < right) {
    int i = left, j = right, pivot = left + (right - left) / 2;
    do {
      while (compare(*this, i, pivot) < 0) ++i;
      while (compare(*this, j, pivot) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
        if (pivot == i) pivot = j;
        else if (pivot == j) pivot = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSort(left, j, compare);
    left = i;
  }
}

void TWideStringList::CustomSort(const std::function<int(TWideStringList&, int, int)>& compare) {
  if (sorted_ || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1, compare);
  Changed();
}

void TWideStringList::Sort() {
  CustomSort([](TWideStringList& list, int a, int b) {
    return CompareText(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
  });
}

std::wstring TWideStringList::GetTextStr() const {
  std::wstring out;
  for (const Item& item : items_) {
    out += item.text;
    out += L"\r\n";
  }
  return out;
}

void TWideStringList::SetTextStr(const std::wstring& text) {
  Changing();
  Clear();
  for (const auto& piece : SplitWideText(ToU16(text))) Add(ToWString(piece));
  Changed();
}

void TWideStringList::LoadFromStream(TStream& stream) { SetTextStr(ToWString(ReadWideText(stream))); }

void TWideStringList::SaveToStream(TStream& stream) const { WriteWideText(stream, ToU16(GetTextStr())); }

void TWideStringList::LoadFromFile(const std::wstring& fileName) {
  TWideFileStream stream(fileName, kOpenRead | kShareReadWrite);
  LoadFromStream(stream);
}

void TWideStringList::SaveToFile(const std::wstring& fileName) const {
  TWideFileStream stream(fileName, kModeCreate);
  SaveToStream(stream);
  stream.Flush();
}

}  // namespace kv
