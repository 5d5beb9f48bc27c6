#pragma once
// Building components from declared layouts: the class registry (a factory
// and named property setters per class, inherited along the base class),
// and the loader that reads a layout resource of type LAYOUT and builds it
// into an existing root component.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/gdi_win.h"
#include "ui/layout_parser.h"

namespace kv::ui {

class TLayoutContext;
using TPropertySetter = std::function<void(TComponent&, const TLayoutValue&, TLayoutContext&)>;

struct TClassInfo {
  std::string name, base;
  std::function<std::unique_ptr<TComponent>()> create;
  std::map<std::string, TPropertySetter, std::less<>> properties;
};

class TClassRegistry {
 public:
  // Adds or replaces a class; its properties start empty.
  TClassInfo& Register(std::string name, std::string base,
                       std::function<std::unique_ptr<TComponent>()> create);
  const TClassInfo* Find(std::string_view name) const;
  // The setter of the class or its nearest base class that has it.
  const TPropertySetter* FindProperty(std::string_view className, std::string_view property) const;

 private:
  std::map<std::string, TClassInfo, std::less<>> classes_;
};

// The registry, with the standard classes already in it.
TClassRegistry& ClassRegistry();

template <class T>
TClassInfo& RegisterComponentClass(std::string name, std::string base) {
  return ClassRegistry().Register(std::move(name), std::move(base),
                                  [] { return std::make_unique<T>(); });
}

// What a property setter may use while a layout is built.
class TLayoutContext {
 public:
  TLayoutContext(TComponent& root, const std::string& file) : root_(root), file_(file) {}
  TComponent& Root() const { return root_; }
  int Line() const { return line_; }
  void SetLine(int line) { line_ = line; }
  [[noreturn]] void Fail(const std::string& message) const { throw ELayoutError(file_, line_, message); }

  int64_t Integer(const TLayoutValue& v) const;
  bool Boolean(const TLayoutValue& v) const;
  const std::string& String(const TLayoutValue& v) const;
  std::vector<std::string> Strings(const TLayoutValue& v) const;
  // One of the named values.
  int Enum(const TLayoutValue& v, std::initializer_list<std::pair<const char*, int>> names) const;
  // A set of the named bits.
  int Set(const TLayoutValue& v, std::initializer_list<std::pair<const char*, int>> names) const;
  // The root's handler named by the value, of event type E.
  template <class E>
  E Handler(const TLayoutValue& v) const {
    if (v.kind != TLayoutValue::Kind::Ident) Fail("expected the name of a handler");
    const THandler* found = root_.FindHandler(v.text);
    if (!found) Fail("unknown handler \"" + v.text + "\" of " + root_.ClassName());
    if (const E* typed = std::get_if<E>(found)) return *typed;
    Fail("handler \"" + v.text + "\" does not fit this event");
  }
  // Runs after every component of the layout exists (references by name).
  void Defer(std::function<void()> action) { deferred_.push_back(std::move(action)); }
  // The component of the layout with this name, checked once all exist.
  template <class T>
  void Reference(const TLayoutValue& v, std::function<void(T*)> assign) {
    if (v.kind != TLayoutValue::Kind::Ident) Fail("expected a component name");
    const int line = line_;
    std::string name = v.text;
    Defer([this, line, name, assign] {
      T* found = dynamic_cast<T*>(root_.FindComponent(name));
      if (!found) throw ELayoutError(file_, line, "no suitable component named \"" + name + "\"");
      assign(found);
    });
  }
  void RunDeferred();

 private:
  TComponent& root_;
  const std::string& file_;
  int line_ = 0;
  std::vector<std::function<void()>> deferred_;
};

// A colour: a number (RGB, or a system colour index with the top bit) or a
// name such as clBtnFace (standard_classes_win.cpp).
uint32_t LayoutColor(const TLayoutValue& v, const TLayoutContext& ctx);
// A cursor by name (crDefault, crArrow, crHandPoint, ...): its system cursor
// id, 0 for the control's own.
int LayoutCursor(const TLayoutValue& v, const TLayoutContext& ctx);
// A number that fits the setter's 32-bit type, else the layout fails.
uint32_t LayoutUnsigned(const TLayoutValue& v, const TLayoutContext& ctx);
int LayoutSigned(const TLayoutValue& v, const TLayoutContext& ctx);
// A bitmap resource of the program named by a quoted text; a missing one fails
// the layout. Shared, so that copies of a control's settings keep it alive.
std::shared_ptr<const BitmapObject> LayoutBitmap(const TLayoutValue& v, const TLayoutContext& ctx);

// Adds a property to a class; the setter takes the concrete class T
// (subsystems register their controls' properties this way):
//   AddProperty<TMyTree>(info, "Indent", [](TMyTree& x, const TLayoutValue& v,
//                                           TLayoutContext& ctx) { x.SetIndent(ctx.Integer(v)); });
template <class T, class F>
void AddProperty(TClassInfo& info, const char* name, F setter) {
  info.properties[name] = [setter](TComponent& c, const TLayoutValue& v, TLayoutContext& ctx) {
    T* typed = dynamic_cast<T*>(&c);
    if (!typed) ctx.Fail(std::string(c.ClassName()) + " is registered under the wrong base class");
    setter(*typed, v, ctx);
  };
}

// Builds the parsed layout into root: the root block's class must be the
// root's class; children are created through the registry and owned by root.
// On failure everything it created is freed again.
void BuildLayout(TComponent& root, const TLayoutNode& layout, const std::string& file);
// The text of a LAYOUT resource of the executable; throws when missing.
std::string LayoutResourceText(const std::string& name);
// LayoutResourceText, ParseLayout and BuildLayout; errors name the file
// (the resource name + ".layout").
void LoadLayout(TComponent& root, const std::string& resourceName);
// The names of every LAYOUT resource in the executable.
std::vector<std::string> LayoutResourceNames();

}  // namespace kv::ui
