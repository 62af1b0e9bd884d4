#pragma once

#include <string>
#include <string_view>

namespace varnel {

// One field of a delimited file (CSV with ',' or ';', TSV with a tab), as RFC 4180 has it: a
// field holding the separator, a quote or a line break is enclosed in quotes and a quote inside
// doubled, so that a spreadsheet or a script splits rows and fields where the table has them.
// The text is UTF-8; every byte that decides the quoting is ASCII, so no character is split.
void AppendDelimited(std::string& out, std::string_view text, char separator);

} // namespace varnel
