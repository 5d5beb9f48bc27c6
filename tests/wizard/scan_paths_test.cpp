#include "wizard/scan_paths.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using Paths = std::vector<std::string>;

TEST(ScanRoots, NoFileIsScannedTwice) {
  struct Case {
    Paths in, out;
  };
  const Case cases[] = {
      {{"C:\\Music", "C:\\Music\\Rock"}, {"C:\\Music"}},
      {{"C:\\Music\\Rock", "c:\\MUSIC"}, {"c:\\MUSIC"}},                 // inner listed first, other case
      {{"C:\\Music", "C:\\Music2", "C:\\Mus"}, {"C:\\Music", "C:\\Music2", "C:\\Mus"}},  // whole components
      {{"C:\\Music\\", "c:\\music", "C:/Music/a.mp3"}, {"C:\\Music\\"}},  // repeats, separators
      {{"C:\\", "C:\\Music", "D:\\x"}, {"C:\\", "D:\\x"}},
      {{"", "C:\\a", ""}, {"C:\\a"}},                                      // never "" (every drive)
      {{"C:\\\xC9t\xE9", "c:\\\xE9T\xC9\\x.mp3"}, {"C:\\\xC9t\xE9"}},      // accented letters fold too
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ScanRoots(c.in), c.out) << (c.in.empty() ? "" : c.in[0]);
}

}  // namespace
}  // namespace kv
