// QuotedText - a text as the host shows it to a person: in double quotes,
// with '"', '\\' and every byte outside printable ASCII escaped (\n, \t, \r,
// \xNN), so that every byte shows and a line stays one line.
#pragma once

#include <string>

namespace wqhost {

std::string quoteText(const std::string &text);

} // namespace wqhost
