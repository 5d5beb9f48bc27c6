#include "treeview/tree_options.h"

#include "treeview/lazy_tree_model.h"

namespace kv {

void TCustomLazyTreeOptions::Change(TLTOptionSet which, std::uint32_t& field, std::uint32_t value) {
  const std::uint32_t old = field;
  field = value;
  if (old != value && owner_ != nullptr) owner_->OptionsChanged(which, old, value);
}

void TCustomLazyTreeOptions::AssignTo(TCustomLazyTreeOptions& target) const {
  target.SetPaintOptions(paint_);
  target.SetAnimationOptions(animation_);
  target.SetAutoOptions(auto_);
  target.SetSelectionOptions(selection_);
  target.SetMiscOptions(misc_);
}

void TCustomStringTreeOptions::AssignTo(TCustomLazyTreeOptions& target) const {
  TCustomLazyTreeOptions::AssignTo(target);
  if (auto* strings = dynamic_cast<TCustomStringTreeOptions*>(&target))
    strings->SetStringOptions(string_);
}

}  // namespace kv
