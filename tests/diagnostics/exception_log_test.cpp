#include "diagnostics/exception_log.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(ExceptionLog, StampWidthsAndTheLineBeforeALaterReport) {
  const std::string line100(100, '=');
  EXPECT_EQ(ExceptionLogStamp(0, true, "07.12.2026 08:15:00"),
            line100 + "\r\n= " + std::string("07.12.2026 08:15:00") + std::string(96 - 19, ' ') + " =\r\n" + line100 +
                "\r\n");
  // Not the file's first text: an empty line first. Too narrow: 20.
  EXPECT_EQ(ExceptionLogStamp(5, false, "x"), "\r\n" + std::string(20, '=') + "\r\n= x" + std::string(15, ' ') +
                                                  " =\r\n" + std::string(20, '=') + "\r\n");
  // A date wider than the stamp is not cut.
  EXPECT_EQ(ExceptionLogStamp(20, true, std::string(30, 'd')).substr(22, 34), "= " + std::string(30, 'd') + " =");
}

TEST(ExceptionLog, LinesAreTrimmedIndentedAndEndedWithCrLf) {
  EXPECT_EQ(ExceptionLogLines("a  \r\nb\t\n\nc\rd\r\n", 2), "  a\r\n  b\r\n  \r\n  c\r\n  d\r\n");
  EXPECT_EQ(ExceptionLogLines("", 4), "");
  EXPECT_EQ(ExceptionLogLines("last", 0), "last\r\n");
  EXPECT_EQ(ExceptionLogLines("\r\n", 0), "\r\n");
}

}  // namespace
}  // namespace kv
