#pragma once

#include <optional>
#include <string>
#include <string_view>

// A free text (a note, a viewer's line) as one field of a tab-separated line: its backslashes,
// tabs and line ends written \\, \t and \n; any other control character left out.
namespace core {

std::string EscapeField(std::string_view text);
// The text back; nothing for a field no escaping makes (an escape not known, a cut one).
std::optional<std::string> UnescapeField(std::string_view field);

// A free text as one CSV cell a spreadsheet reads on one line: its line ends and tabs blanks.
std::string OnOneLine(std::string text);

} // namespace core
