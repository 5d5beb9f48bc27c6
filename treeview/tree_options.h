#pragma once
// The option object of a tree: five sets (six for string trees). Each setter
// stores the set and lets the owning tree apply the side effects of what changed.

#include <cstdint>

#include "treeview/tree_states.h"

namespace kv {

class TLazyTreeModel;

class TCustomLazyTreeOptions {
 public:
  explicit TCustomLazyTreeOptions(TLazyTreeModel* owner = nullptr) : owner_(owner) {}
  virtual ~TCustomLazyTreeOptions() = default;
  TCustomLazyTreeOptions(const TCustomLazyTreeOptions&) = delete;
  TCustomLazyTreeOptions& operator=(const TCustomLazyTreeOptions&) = delete;

  std::uint32_t PaintOptions() const { return paint_; }
  std::uint32_t AnimationOptions() const { return animation_; }
  std::uint32_t AutoOptions() const { return auto_; }
  std::uint32_t SelectionOptions() const { return selection_; }
  std::uint32_t MiscOptions() const { return misc_; }
  void SetPaintOptions(std::uint32_t v) { Change(TLTOptionSet::Paint, paint_, v); }
  void SetAnimationOptions(std::uint32_t v) { Change(TLTOptionSet::Animation, animation_, v); }
  void SetAutoOptions(std::uint32_t v) { Change(TLTOptionSet::Auto, auto_, v); }
  void SetSelectionOptions(std::uint32_t v) { Change(TLTOptionSet::Selection, selection_, v); }
  void SetMiscOptions(std::uint32_t v) { Change(TLTOptionSet::Misc, misc_, v); }

  // Copies the sets through the setters: paint, animation, auto, selection, misc.
  virtual void AssignTo(TCustomLazyTreeOptions& target) const;
  TLazyTreeModel* Owner() const { return owner_; }
  void SetOwner(TLazyTreeModel* owner) { owner_ = owner; }

 protected:
  void Change(TLTOptionSet which, std::uint32_t& field, std::uint32_t value);

 private:
  friend class TLazyTreeModel;  // lifts toReadOnly without side effects on destruction
  TLazyTreeModel* owner_;
  std::uint32_t paint_ = kDefaultPaintOptions;
  std::uint32_t animation_ = 0;
  std::uint32_t auto_ = kDefaultAutoOptions;
  std::uint32_t selection_ = 0;
  std::uint32_t misc_ = kDefaultMiscOptions;
};
using TLazyTreeOptions = TCustomLazyTreeOptions;

class TCustomStringTreeOptions : public TCustomLazyTreeOptions {
 public:
  using TCustomLazyTreeOptions::TCustomLazyTreeOptions;
  std::uint32_t StringOptions() const { return string_; }
  void SetStringOptions(std::uint32_t v) { Change(TLTOptionSet::String, string_, v); }
  void AssignTo(TCustomLazyTreeOptions& target) const override;

 private:
  std::uint32_t string_ = kDefaultStringOptions;
};
using TStringTreeOptions = TCustomStringTreeOptions;

}  // namespace kv
