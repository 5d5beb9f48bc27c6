// Object lists streamed through their class registry, and what bad stored
// bytes do to them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/zip/object_list_test_util.h"
#include "zip/object_list.h"
#include "zip/zip_errors.h"
#include "zip/zip_stream.h"

namespace kv {
namespace {

using namespace ziptest;

template <class T>
std::unique_ptr<Shape> Make(int key) {
  auto item = std::make_unique<T>();
  item->key = key;
  return item;
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// Records the properties an object declares.
struct Filer : TBinaryPropertyFiler {
  std::vector<std::string> stored;
  std::function<void(TStream&)> write;
  void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>&,
                            const std::function<void(TStream&)>& w, bool hasData) override {
    if (hasData) stored.push_back(name), write = w;
  }
};

struct AShapeWhoseClassNameIsMuchTooLongToBeRecordedInTheStreamedListsAAA : Shape {};

TEST(ZipObjectLists, RoundTripThroughTheRegistry) {
  const TClassRegistry<Shape> registry = Shapes();
  ShapeList list(TDuplicates::Accept);
  Filer empty;
  list.DefineProperties(empty, registry);
  EXPECT_TRUE(empty.stored.empty());  // an empty list stores nothing

  list.Add(Make<Box>(7));
  list.Add(Make<Dot>(3));
  list.Add(Make<Dot>(3));
  Filer filer;
  list.DefineProperties(filer, registry);
  ASSERT_EQ(filer.stored, std::vector<std::string>{"ObjectContainer"});
  TMemoryStream stream;
  filer.write(stream);
  const std::vector<uint8_t> expected = {1, 1, 3, 0, 0, 0, 3, 'D', 'o', 't', 3, 3, 'D', 'o', 't', 3,
                                         3, 'B', 'o', 'x', 7, 0};
  EXPECT_EQ(stream.Bytes(), expected);

  ShapeList copy(TDuplicates::Error);
  stream.SetPosition(0);
  copy.ReadData(stream, registry);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Duplicates(), TDuplicates::Accept);
  EXPECT_NE(dynamic_cast<Box*>(copy.Last()), nullptr);
  EXPECT_EQ(copy.Last()->key, 7);

  TClassRegistry<Shape> dotsOnly;
  dotsOnly.Register<Dot>([](TStream&) { return std::make_unique<Dot>(); }, [](const Shape&, TStream&) {});
  EXPECT_THROW(dotsOnly.Register<AShapeWhoseClassNameIsMuchTooLongToBeRecordedInTheStreamedListsAAA>(nullptr, nullptr),
               EListError);
  TMemoryStream sink;
  EXPECT_EQ(MessageOf([&] { list.WriteData(sink, dotsOnly); }), "Source Class <Box> not registered");
  TObjectList<Shape> refs(false);
  refs.AddRef(nullptr);
  EXPECT_EQ(MessageOf([&] { refs.WriteData(sink, registry); }), "Nil Source Class!");
}

TEST(ZipObjectLists, BadStoredBytesAddNothing) {
  const TClassRegistry<Shape> registry = Shapes();
  struct Case {
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {{1, 1, 1, 0, 0, 0, 3, 'C', 'a', 't', 1}, "Class <Cat> not registered"},
      {{3, 1, 0, 0, 0, 0}, "Bad duplicates mode (3)"},
      {{1, 2, 0, 0, 0, 0}, "Bad owns-objects flag (2)"},
      {{1, 1, 0xFF, 0xFF, 0, 0, 0}, "Bad object count (65535)"},
      {{1, 1, 9, 0, 0, 0, 3, 'D', 'o', 't', 1}, "Bad object count (9)"},  // more than the bytes left
      {{1, 1, 1, 0, 0, 0, 64}, "Bad class name length (64)"},
      {{1, 1, 2, 0, 0, 0, 3, 'D', 'o', 't', 1, 3, 'B', 'o', 'x', 2}, "Object list data ends early"},
      {{2, 1, 2, 0, 0, 0, 3, 'D', 'o', 't', 4, 3, 'D', 'o', 't', 4}, "Duplicate Object index"},
      {{2, 1, 1, 0, 0, 0, 3, 'D', 'o', 't', 5}, "Duplicate Object index"},  // one the list holds
  };
  for (const Case& c : cases) {
    ShapeList list(TDuplicates::Accept);
    list.Add(Make<Dot>(5));
    TMemoryStream stream(c.bytes);
    EXPECT_EQ(MessageOf([&] { list.ReadData(stream, registry); }), c.message);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Duplicates(), TDuplicates::Accept);
  }
  TObjectList<Shape> refs(false);
  TMemoryStream stream(std::vector<uint8_t>{1, 0, 0, 0, 0});
  EXPECT_THROW(refs.ReadData(stream, registry), EListError);
}

}  // namespace
}  // namespace kv
