#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Cuts text into lines at CR, at LF and at CR LF (one break). A last line without a break
// still counts; a break at the very end gives no extra empty line. A NUL byte is kept like
// any other: ending the text there would drop the rows after it at the next save.
std::vector<std::string> SplitLines(std::string_view text);
// The same lines as views into the text.
std::vector<std::string_view> SplitLineViews(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinLines(const std::vector<std::string>& lines);
std::string JoinLineViews(const std::vector<std::string_view>& lines);

} // namespace platform
