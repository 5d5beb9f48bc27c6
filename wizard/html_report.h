#pragma once
// The HTML report of the result list: one page from two built-in templates,
// one small table per row, coloured by the parity of the row's group. Tag
// texts are untrusted bytes: every inserted text is escaped, and each
// template is filled in one pass, so a text holding a placeholder stays text.
// The translated title is the program's own text and part of the page's
// template.
// Window-free.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/audio_info.h"

namespace kv {

// Text for HTML: & < > " as entities, control characters as a blank.
std::string EscapeHtml(std::string_view text);

// Replaces every placeholder of the template by its value in one pass over
// the template (values are not searched again). At a position where several
// names match, the longest wins.
std::string FillTemplate(std::string_view pattern, const std::vector<std::pair<std::string, std::string>>& values);

// The charset name of a Windows ANSI code page ("windows-1252" for 1252).
std::string CharsetOfCodePage(unsigned codePage);

// One filled row table for the record.
std::string BuildReportRow(const TMP3Info& record);

// The whole page. title: the translated "Found mp3 duplicates"; date: today in
// the short date format; charset: of the texts' code page; rows: the records
// in list order.
std::string BuildReportPage(std::string_view title, std::string_view date, std::string_view charset,
                            const std::vector<const TMP3Info*>& rows);

}  // namespace kv
