#include "ui/layout_loader_win.h"

#include <windows.h>

#include <exception>

#include "base/ansi_text_win.h"
#include "ui/resource_ids.h"

namespace kv::ui {

void RegisterStandardClasses(TClassRegistry& registry);  // standard_classes_win.cpp

namespace {
constexpr int kMaxBaseChain = 32;
}

TClassInfo& TClassRegistry::Register(std::string name, std::string base,
                                     std::function<std::unique_ptr<TComponent>()> create) {
  TClassInfo info{name, std::move(base), std::move(create), {}};
  auto [it, inserted] = classes_.insert_or_assign(std::move(name), std::move(info));
  return it->second;
}

const TClassInfo* TClassRegistry::Find(std::string_view name) const {
  auto it = classes_.find(name);
  return it == classes_.end() ? nullptr : &it->second;
}

const TPropertySetter* TClassRegistry::FindProperty(std::string_view className,
                                                    std::string_view property) const {
  const TClassInfo* info = Find(className);
  for (int depth = 0; info && depth < kMaxBaseChain; ++depth) {
    auto it = info->properties.find(property);
    if (it != info->properties.end()) return &it->second;
    info = info->base.empty() ? nullptr : Find(info->base);
  }
  return nullptr;
}

TClassRegistry& ClassRegistry() {
  static TClassRegistry registry = [] {
    TClassRegistry made;
    RegisterStandardClasses(made);
    return made;
  }();
  return registry;
}

// ---------------------------------------------------------------- context --
int64_t TLayoutContext::Integer(const TLayoutValue& v) const {
  if (v.kind != TLayoutValue::Kind::Integer) Fail("expected a number");
  return v.number;
}

bool TLayoutContext::Boolean(const TLayoutValue& v) const {
  if (v.kind == TLayoutValue::Kind::Ident) {
    if (v.text == "true") return true;
    if (v.text == "false") return false;
  }
  Fail("expected true or false");
}

const std::string& TLayoutContext::String(const TLayoutValue& v) const {
  if (v.kind != TLayoutValue::Kind::String) Fail("expected a quoted text");
  return v.text;
}

std::vector<std::string> TLayoutContext::Strings(const TLayoutValue& v) const {
  if (v.kind != TLayoutValue::Kind::List) Fail("expected a list of texts");
  std::vector<std::string> out;
  for (const auto& item : v.items) out.push_back(String(item));
  return out;
}

int TLayoutContext::Enum(const TLayoutValue& v,
                         std::initializer_list<std::pair<const char*, int>> names) const {
  if (v.kind == TLayoutValue::Kind::Ident)
    for (const auto& [name, value] : names)
      if (v.text == name) return value;
  std::string known;
  for (const auto& n : names) known += std::string(known.empty() ? "" : ", ") + n.first;
  Fail("expected one of " + known);
}

int TLayoutContext::Set(const TLayoutValue& v,
                        std::initializer_list<std::pair<const char*, int>> names) const {
  if (v.kind != TLayoutValue::Kind::Set) Fail("expected a set like [a, b]");
  int bits = 0;
  for (const auto& item : v.items) bits |= Enum(item, names);
  return bits;
}

void TLayoutContext::RunDeferred() {
  for (auto& action : deferred_) action();
  deferred_.clear();
}

// ---------------------------------------------------------------- builder --
namespace {

class Builder {
 public:
  Builder(TComponent& root, const std::string& file) : root_(root), ctx_(root, file) {}

  void Build(const TLayoutNode& layout) {
    ctx_.SetLine(layout.line);
    if (!SameName(layout.className, root_.ClassName()))
      ctx_.Fail("the layout is for " + layout.className + ", not " + root_.ClassName());
    const bool wasLoading = root_.Loading();
    root_.SetLoading(true);
    try {
      if (!layout.name.empty()) root_.SetName(layout.name);
      Properties(root_, layout);
      for (const auto& child : layout.children) Node(child, &root_);
      ctx_.RunDeferred();
    } catch (...) {
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) root_.FreeComponent(*it);
      root_.SetLoading(wasLoading);
      throw;
    }
    for (TComponent* c : created_) c->Loaded();
    root_.Loaded();
  }

 private:
  void Node(const TLayoutNode& node, TComponent* parent) {
    ctx_.SetLine(node.line);
    const TClassInfo* info = ClassRegistry().Find(node.className);
    if (!info) ctx_.Fail("unknown class \"" + node.className + "\"");
    std::unique_ptr<TComponent> made = info->create();
    TComponent* c = made.get();
    try {
      made->SetName(node.name);
      made->SetLoading(true);
      root_.InsertComponent(std::move(made));
    } catch (const std::exception& e) {
      ctx_.Fail(e.what());
    }
    created_.push_back(c);
    c->SetParentComponent(parent);
    Properties(*c, node);
    for (const auto& child : node.children) Node(child, c);
  }

  void Properties(TComponent& c, const TLayoutNode& node) {
    for (const auto& prop : node.properties) {
      ctx_.SetLine(prop.line);
      const TPropertySetter* setter = ClassRegistry().FindProperty(node.className, prop.name);
      if (!setter) ctx_.Fail("unknown property \"" + prop.name + "\" of " + node.className);
      try {
        (*setter)(c, prop.value, ctx_);
      } catch (const ELayoutError&) {
        throw;
      } catch (const std::exception& e) {  // a setter's own failure gets the place too
        ctx_.Fail(prop.name + ": " + e.what());
      }
    }
  }

  TComponent& root_;
  TLayoutContext ctx_;
  std::vector<TComponent*> created_;
};

}  // namespace

void BuildLayout(TComponent& root, const TLayoutNode& layout, const std::string& file) {
  Builder(root, file).Build(layout);
}

std::string LayoutResourceText(const std::string& name) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, AnsiToWString(name).c_str(), kLayoutResourceType);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) throw ELayoutError(name + ".layout", 0, "layout resource not found");
  return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

void LoadLayout(TComponent& root, const std::string& resourceName) {
  const std::string file = resourceName + ".layout";
  BuildLayout(root, ParseLayout(LayoutResourceText(resourceName), file), file);
}

std::vector<std::string> LayoutResourceNames() {
  struct Collect {
    std::vector<std::string> names;
    std::exception_ptr error;
  } collect;
  auto callback = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) noexcept -> BOOL {
    auto* out = reinterpret_cast<Collect*>(param);
    try {
      if (IS_INTRESOURCE(name))
        out->names.push_back("#" + std::to_string(reinterpret_cast<uintptr_t>(name)));
      else
        out->names.push_back(WStringToAnsi(name));
      return TRUE;
    } catch (...) {
      out->error = std::current_exception();
      return FALSE;
    }
  };
  EnumResourceNamesW(GetModuleHandleW(nullptr), kLayoutResourceType, callback,
                     reinterpret_cast<LONG_PTR>(&collect));
  if (collect.error) std::rethrow_exception(collect.error);
  return collect.names;
}

}  // namespace kv::ui
