#pragma once
// A small class family streamed through a registry, for the object-list
// tests and the fuzz target: a Dot stores its key, a Box its key and side.
#include <memory>

#include "zip/object_list.h"
#include "zip/zip_stream.h"

namespace kv::ziptest {

struct Shape {
  virtual ~Shape() = default;
  int key = 0;
};
struct Dot : Shape {};
struct Box : Shape {
  uint8_t side = 0;
};

struct ShapeList : TSortedObjectList<Shape> {
  using TSortedObjectList<Shape>::TSortedObjectList;
  int Compare(const Shape& a, const Shape& b) const override { return a.key - b.key; }
};

inline TClassRegistry<Shape> Shapes() {
  using namespace object_stream;
  TClassRegistry<Shape> r;
  r.Register<Dot>(
      [](TStream& s) {
        auto d = std::make_unique<Dot>();
        d->key = ReadByte(s);
        return d;
      },
      [](const Shape& d, TStream& s) { WriteByte(s, static_cast<uint8_t>(d.key)); });
  r.Register<Box>(
      [](TStream& s) {
        auto b = std::make_unique<Box>();
        b->key = ReadByte(s);
        b->side = ReadByte(s);
        return b;
      },
      [](const Shape& b, TStream& s) {
        WriteByte(s, static_cast<uint8_t>(b.key));
        WriteByte(s, static_cast<const Box&>(b).side);
      });
  return r;
}

}  // namespace kv::ziptest
