#include "ui/component.h"

#include <algorithm>

namespace kv::ui {

TComponent::~TComponent() {
  DestroyComponents();
  // Tell everyone linked to us; each link is dropped on the other side first
  // so a Notification that frees further components sees a consistent list.
  while (!notified_.empty()) {
    TComponent* other = notified_.back();
    notified_.pop_back();
    auto& back = other->notified_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, TOperation::Remove);
  }
}

void TComponent::DestroyComponents() {
  while (!owned_.empty()) {
    // Detach before destroying: the child's destructor may look at its owner.
    std::unique_ptr<TComponent> last = std::move(owned_.back());
    owned_.pop_back();
    last->owner_ = nullptr;
    Notification(last.get(), TOperation::Remove);
    last.reset();
  }
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  if (!component) return;
  if (!component->name_.empty() && FindComponent(component->name_))
    throw std::runtime_error("a component named \"" + component->name_ + "\" already exists");
  component->owner_ = this;
  owned_.push_back(std::move(component));
  Notification(owned_.back().get(), TOperation::Insert);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find_if(owned_.begin(), owned_.end(),
                         [&](const auto& p) { return p.get() == component; });
  if (it == owned_.end()) return nullptr;
  std::unique_ptr<TComponent> taken = std::move(*it);
  owned_.erase(it);
  taken->owner_ = nullptr;
  Notification(taken.get(), TOperation::Remove);
  return taken;
}

void TComponent::FreeComponent(TComponent* component) {
  std::unique_ptr<TComponent> taken = RemoveComponent(component);
  taken.reset();
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : owned_)
    if (SameName(c->name_, name)) return c.get();
  return nullptr;
}

void TComponent::SetName(std::string name) {
  if (owner_ && !name.empty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this)
      throw std::runtime_error("a component named \"" + name + "\" already exists");
  }
  name_ = std::move(name);
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(notified_.begin(), notified_.end(), other) != notified_.end()) return;
  notified_.push_back(other);
  other->notified_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  notified_.erase(std::remove(notified_.begin(), notified_.end(), other), notified_.end());
  if (other)
    other->notified_.erase(std::remove(other->notified_.begin(), other->notified_.end(), this),
                           other->notified_.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SetParentComponent(TComponent*) {}

bool TComponent::GetTextProperty(std::string_view, std::string&) const { return false; }
bool TComponent::SetTextProperty(std::string_view, const std::string&) { return false; }

void TComponent::RegisterHandler(std::string name, THandler handler) {
  handlers_.insert_or_assign(std::move(name), std::move(handler));
}

const THandler* TComponent::FindHandler(std::string_view name) const {
  auto it = handlers_.find(name);
  return it == handlers_.end() ? nullptr : &it->second;
}

}  // namespace kv::ui
