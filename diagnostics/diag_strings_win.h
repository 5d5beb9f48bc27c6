#pragma once
// The character tables of the user's locale for the 256 single-byte
// characters: the character-type flags and the lower-, upper- and
// swapped-case forms. Filled once, when the module initialises.
#include <array>
#include <cstdint>

namespace kv {

struct TDiagCharTables {
  std::array<uint16_t, 256> types{};  // C1_* flags
  std::array<char, 256> lower{};
  std::array<char, 256> upper{};
  std::array<char, 256> swapped{};  // upper case of a lower-case letter, lower case of an upper-case one
};

const TDiagCharTables& DiagCharTables();

}  // namespace kv
