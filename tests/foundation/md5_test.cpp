#include "foundation/md5.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "base/strings.h"

namespace kv {
namespace {

// The digest of one input of the given kind, in hexadecimal; empty when
// the digest could not run.
std::string HexOf(TCrMD5& md5, uint8_t kind) {
  uint8_t digest[16] = {};
  md5.InputType = kind;
  md5.OutputDigest = digest;
  md5.MD5_Initialize();
  if (!md5.MD5_Hash()) return {};
  md5.MD5_Finish();
  return ToHex(std::string(std::begin(digest), std::end(digest)));
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
  const std::filesystem::path file = std::filesystem::path(KV_TEST_BINARY_DIR) / "md5_input.bin";
  for (const auto& c : cases) {
    std::vector<uint8_t> buffer(c.length);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 7 + 3);
    TCrMD5 md5;
    md5.InputBuffer = buffer;
    EXPECT_EQ(HexOf(md5, kMd5InputBuffer), c.hex) << c.length;
    // The same bytes as a string and as a file (read in blocks of 4096).
    md5.InputString = std::string_view(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    EXPECT_EQ(HexOf(md5, kMd5InputString), c.hex) << c.length << " as a string";
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    }
    md5.InputFilePath = file;
    EXPECT_EQ(HexOf(md5, kMd5InputFile), c.hex) << c.length << " as a file";
  }
  std::filesystem::remove(file);
  // A missing file, or a kind that names no input, gives no digest.
  TCrMD5 md5;
  md5.InputFilePath = file;
  EXPECT_EQ(HexOf(md5, kMd5InputFile), "");
  EXPECT_EQ(HexOf(md5, 3), "");
}

}  // namespace
}  // namespace kv
