#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Builds one line of a batch file so that the command interpreter hands the program exactly
// the text appended, and runs nothing else: outside double quotes "^ & | < >" get a caret,
// every "%" is doubled, and the quote state is followed as the interpreter follows it (each
// '"' opens or closes a quoted stretch, inside which only "%" needs escaping). Text holding
// none of "^ & | < > % \"" goes in unchanged. Line breaks cannot be escaped and are dropped.
class BatchLineWriter {
public:
    BatchLineWriter& Append(std::string_view text);
    const std::string& Line() const { return line_; }

private:
    std::string line_;
    bool quoted_ = false;
};

// What the command interpreter makes of such a line: the command line it hands the program.
std::string UnescapeBatchLine(std::string_view line);

// Splits a command line into arguments as the Windows C runtime does: the program name up to
// the first blank or inside its quotes; then blanks and tabs separate, double quotes group,
// 2n backslashes before a quote give n and the quote groups, 2n+1 give n and a literal quote,
// and "" inside a quoted stretch gives a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

} // namespace platform
