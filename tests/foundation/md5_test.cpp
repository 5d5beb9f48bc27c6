#include "foundation/md5.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/strings.h"

namespace kv {
namespace {

std::string HexOf(const std::array<uint8_t, 16>& d) {
  return ToHex(std::string(d.begin(), d.end()));
}

TEST(Md5, Rfc1321Vectors) {
  const struct { const char* text; const char* hex; } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHex(GetMD5(c.text)), c.hex) << c.text;
}

// Lengths around the padding boundaries and a large buffer, against md5sum.
TEST(Md5, PaddingBoundariesAndLargeBuffersMatchTheReferenceTool) {
  const struct { size_t length; const char* hex; } cases[] = {
      {0, "D41D8CD98F00B204E9800998ECF8427E"},  {55, "52C0E574E1198DE5FE3F8F11440DCB1B"},
      {56, "46C9907FC908EE68B1E7B8E71286A518"}, {63, "A62F6D59E837867693F042F5B8F5A236"},
      {64, "7160B8FB5E9E4023D549C3971FBAEEAD"}, {65, "70BD662E7AEFBDA85A0F7244167B7897"},
      {1u << 20, "D8A469BB35FB5FAD7156842BA2242434"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> buffer(c.length);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 7 + 3);
    EXPECT_EQ(HexOf(Md5Of(buffer)), c.hex) << c.length;
    // Fed in uneven pieces, the digest is the same.
    TCrMD5 md5;
    for (size_t at = 0, step = 1; at < buffer.size(); at += step, step = step * 3 % 97 + 1) {
      md5.Update(std::span<const uint8_t>(buffer).subspan(at, std::min(step, buffer.size() - at)));
    }
    EXPECT_EQ(HexOf(md5.MD5_Finish()), c.hex) << c.length << " in pieces";
  }
}

}  // namespace
}  // namespace kv
