#pragma once
// One move-only owner for every kind of OS handle. Each kind is a traits
// class (handle type, invalid value, close function) and a one-line alias.
#include <windows.h>

#include <utility>

namespace kv {

template <class Traits>
class Handle {
 public:
  using Type = typename Traits::Type;

  Handle() noexcept = default;
  explicit Handle(Type h) noexcept : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.Release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~Handle() { Reset(); }

  Type Get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
  [[nodiscard]] Type Release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  void Reset(Type h = Traits::Invalid()) noexcept {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Type h_ = Traits::Invalid();
};

struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE on failure
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
struct KernelHandleTraits {  // events, threads, mappings: null on failure
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { FindClose(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { FreeLibrary(h); }
};
struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { GlobalFree(h); }
};

struct MenuTraits {  // CreatePopupMenu: null on failure
  using Type = HMENU;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyMenu(h); }
};

using FileHandle = Handle<FileHandleTraits>;
using KernelHandle = Handle<KernelHandleTraits>;
using FindHandle = Handle<FindHandleTraits>;
using ModuleHandle = Handle<ModuleTraits>;
using GlobalMemory = Handle<GlobalMemoryTraits>;
using MenuHandle = Handle<MenuTraits>;

// Restores the previous error mode when it goes out of scope.
class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) noexcept : previous_(SetErrorMode(mode)) {}
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;
  ~ErrorModeScope() { SetErrorMode(previous_); }

 private:
  UINT previous_;
};

}  // namespace kv
