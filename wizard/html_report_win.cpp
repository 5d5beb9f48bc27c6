#include "wizard/html_report_win.h"

#include <windows.h>

#include "base/ansi_text_win.h"
#include "base/file_replacement_win.h"
#include "foundation/translate.h"
#include "ui/application_win.h"
#include "wizard/html_report.h"

namespace kv {
namespace {

std::string ShortDate() {
  char text[128] = {};
  const int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, sizeof text);
  return n > 0 ? std::string(text, static_cast<size_t>(n - 1)) : std::string();
}

}  // namespace

void ExportReport(const std::string& fileName, const std::vector<const TMP3Info*>& rows) {
  ExportReport(AnsiToWString(fileName), rows);
}

void ExportReport(const std::wstring& fileName, const std::vector<const TMP3Info*>& rows) {
  const std::string page =
      BuildReportPage(Translate("Found mp3 duplicates"), ShortDate(), CharsetOfCodePage(GetACP()), rows);
  ReplaceFileContent(fileName, page);
  ui::ShellDefault(fileName);  // the program the user chose for web pages
}

}  // namespace kv
