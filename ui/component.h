#pragma once
// Components: named objects owned by an owner that frees them, with free
// notification, the owned list (how layouts and translation reach every
// component by name) and texts reachable by property name.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/strings.h"

namespace kv::ui {

class TComponent;

enum class TOperation { Insert, Remove };
enum class TCloseAction { None, Hide, Free, Minimize };

// Events are an object's bound method; the sender comes first.
using TNotifyEvent = std::function<void(TComponent* sender)>;
using TKeyPressEvent = std::function<void(TComponent* sender, char& key)>;
using TCloseEvent = std::function<void(TComponent* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TComponent* sender, bool& canClose)>;
using THandler = std::variant<TNotifyEvent, TKeyPressEvent, TCloseEvent, TCloseQueryEvent>;

class TComponent {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  // Frees every owned component (newest first) and tells the owner and the
  // components that asked for free notification.
  virtual ~TComponent();

  // Makes a T owned by this component.
  template <class T, class... Args>
  T& Create(Args&&... args) {
    auto made = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *made;
    InsertComponent(std::move(made));
    return ref;
  }
  void InsertComponent(std::unique_ptr<TComponent> component);
  // Gives up ownership of an owned component (null when not owned here).
  [[nodiscard]] std::unique_ptr<TComponent> RemoveComponent(TComponent* component);
  // Frees an owned component now.
  void FreeComponent(TComponent* component);

  TComponent* Owner() const { return owner_; }
  size_t ComponentCount() const { return owned_.size(); }
  TComponent* Components(size_t index) const { return owned_.at(index).get(); }
  // The owned component with this name (letter case ignored), or null.
  TComponent* FindComponent(std::string_view name) const;
  // The owned component with this name and type; throws when missing.
  template <class T>
  T& Get(std::string_view name) const {
    T* found = dynamic_cast<T*>(FindComponent(name));
    if (!found) throw std::runtime_error("component \"" + std::string(name) + "\" not found");
    return *found;
  }

  const std::string& Name() const { return name_; }
  // Throws when the owner already has another component of this name.
  void SetName(std::string name);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t tag) { tag_ = tag; }
  // True while a layout is being built into this component.
  bool Loading() const { return loading_; }
  // The component's state as a set of bits: csLoading while its layout is
  // built; csDesigning never, as the program has no design mode.
  static constexpr std::uint32_t csLoading = 1u << 0, csDesigning = 1u << 4;
  std::uint32_t ComponentState() const { return loading_ ? csLoading : 0u; }
  void SetLoading(bool loading) { loading_ = loading; }
  // Called once the layout holding this component has been built.
  virtual void Loaded() { loading_ = false; }

  // other->Notification(this, Remove) runs when this component is freed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);
  virtual void Notification(TComponent* component, TOperation operation);

  virtual const char* ClassName() const { return "TComponent"; }
  // A layout nests this component inside parent (a control's children,
  // a tool bar's buttons).
  virtual void SetParentComponent(TComponent* parent);

  // Translatable texts ("Caption", "Title", "Text", "Hint"); false when the
  // component has no such text.
  virtual bool GetTextProperty(std::string_view name, std::string& value) const;
  virtual bool SetTextProperty(std::string_view name, const std::string& value);

  // Event handlers a layout may bind by name (registered by the root class).
  void RegisterHandler(std::string name, THandler handler);
  const THandler* FindHandler(std::string_view name) const;
  // The same for a method of the derived class C.
  template <class C>
  void RegisterHandler(std::string name, void (C::*method)(TComponent*)) {
    C* self = static_cast<C*>(this);
    RegisterHandler(std::move(name), TNotifyEvent([self, method](TComponent* s) { (self->*method)(s); }));
  }
  template <class C>
  void RegisterHandler(std::string name, void (C::*method)(TComponent*, char&)) {
    C* self = static_cast<C*>(this);
    RegisterHandler(std::move(name),
                    TKeyPressEvent([self, method](TComponent* s, char& k) { (self->*method)(s, k); }));
  }
  template <class C>
  void RegisterHandler(std::string name, void (C::*method)(TComponent*, TCloseAction&)) {
    C* self = static_cast<C*>(this);
    RegisterHandler(std::move(name), TCloseEvent([self, method](TComponent* s, TCloseAction& a) {
                      (self->*method)(s, a);
                    }));
  }
  template <class C>
  void RegisterHandler(std::string name, void (C::*method)(TComponent*, bool&)) {
    C* self = static_cast<C*>(this);
    RegisterHandler(std::move(name), TCloseQueryEvent([self, method](TComponent* s, bool& b) {
                      (self->*method)(s, b);
                    }));
  }

 protected:
  // Frees the owned components now; derived destructors call it so that
  // owned parts go while the owner is still whole.
  void DestroyComponents();

 private:
  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> owned_;
  std::vector<TComponent*> notified_;  // both directions: cleared on either side's death
  std::string name_;
  intptr_t tag_ = 0;
  bool loading_ = false;
  std::map<std::string, THandler, std::less<>> handlers_;
};

// Property and class names compare without regard to ASCII letter case.
inline bool SameName(std::string_view a, std::string_view b) { return SameTextAscii(a, b); }

// Runs an event through a copy, so a handler may replace or clear the very
// event that runs it (the application shell swaps handlers from inside them).
template <class Event, class... Args>
void Fire(const Event& event, Args&&... args) {
  if (!event) return;
  Event running = event;
  running(std::forward<Args>(args)...);
}

}  // namespace kv::ui
