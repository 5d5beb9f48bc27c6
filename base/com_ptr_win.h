#pragma once
// ComPtr<T>: the owner of one COM interface reference.
#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace kv {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on `p`.
  explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ComPtr() { Reset(); }

  void Reset() { if (auto p = std::exchange(p_, nullptr)) p->Release(); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases what is held and answers the slot for an out parameter.
  T** Put() { Reset(); return &p_; }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  // Adopts a reference the caller already owns.
  static ComPtr Adopt(T* p) { ComPtr c; c.p_ = p; return c; }

  template <class U>
  ComPtr<U> As(const IID& iid, HRESULT* result = nullptr) const {
    ComPtr<U> out;
    HRESULT hr = p_ ? p_->QueryInterface(iid, out.PutVoid()) : E_POINTER;
    if (result) *result = hr;
    if (FAILED(hr)) out.Reset();
    return out;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace kv
