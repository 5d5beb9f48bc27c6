#pragma once
// The text form of a declared layout: one block per component,
//
//   object OkButton: TButton      # name, colon, class
//     Left = 148                  # properties: integer, "string", identifier,
//     Caption = "OK"              #   [set, of, identifiers], ("list", "of", "values")
//     OnClick = OkButtonClick     # event binding: a handler of the root class
//     Columns = <                 # a collection: items of properties
//       item
//         Text = "Name"
//       end>
//     object ...: ...             # nested blocks are children of this one
//     end
//   end
//
// "#" starts a comment outside strings; strings know \" \\ \n \r \t \xNN.
// Nesting is by object/end, indentation is free.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv::ui {

// A layout that cannot be parsed or built; the message starts "file:line: ".
class ELayoutError : public std::runtime_error {
 public:
  ELayoutError(const std::string& file, int line, const std::string& message)
      : std::runtime_error(file + ":" + std::to_string(line) + ": " + message), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

struct TLayoutItem;

struct TLayoutValue {
  enum class Kind { Integer, String, Ident, Set, List, Collection };
  Kind kind = Kind::Integer;
  int64_t number = 0;
  std::string text;                      // String and Ident
  std::vector<TLayoutValue> items;       // Set (identifiers) and List
  std::vector<TLayoutItem> collection;   // Collection
};

struct TLayoutProperty {
  std::string name;
  TLayoutValue value;
  int line = 0;
};

// One "item ... end" of a collection.
struct TLayoutItem {
  int line = 0;
  std::vector<TLayoutProperty> properties;
};

struct TLayoutNode {
  std::string name, className;
  int line = 0;
  std::vector<TLayoutProperty> properties;
  std::vector<TLayoutNode> children;
};

constexpr int kMaxLayoutDepth = 32;
constexpr size_t kMaxLayoutBytes = 1 << 20;
constexpr size_t kMaxLayoutItems = 1000;  // items of one collection

// Parses one layout holding exactly one root block; file names the errors.
TLayoutNode ParseLayout(std::string_view text, const std::string& file);

}  // namespace kv::ui
