#include "wizard/file_mask.h"

namespace kv {

std::string MaskToExpression(std::string_view mask) {
  std::string expression = "^";
  for (const char c : mask) {
    switch (c) {
      case '?': expression += '.'; break;
      case '*': expression += ".*"; break;
      // Characters the expression language reads as operators are escaped:
      // file names hold brackets, parentheses and plus signs.
      case '.': case '\\': case '^': case '$': case '[': case ']': case '(': case ')':
      case '|': case '+': case '{': case '}': case '#':
        expression += '\\';
        expression += c;
        break;
      default: expression += c; break;
    }
  }
  return expression + "$";
}

}  // namespace kv
