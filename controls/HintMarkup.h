#pragma once

#include <string>
#include <vector>

// The hint box's tag markup: structural tags (CENTER, RIGHT, /CENTER, /RIGHT, BR) split a
// source line into display lines with an alignment each; style tags (B, I, U, STRIKE and their
// closing forms) stay in the text for the painter. Positions are 1-based.
namespace hintmarkup {

enum Alignment { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };

// Position of the first occurrence of pattern at or after start, or 0.
int FindNext(const std::string& text, const std::string& pattern, int start);

// One tag found by the scan: where it stands and its upper-cased name.
struct Tag {
    int open = 0;  // position of "<"
    int close = 0; // position of ">"
    std::string name;
};

// Finds the next tag from start: false when the text holds no further tag. A ">" that stands
// before the next "<" is skipped.
bool ScanTag(const std::string& text, int start, Tag& tag);

bool IsStyleTag(const std::string& name);

// The display lines of one source line, appended with their alignments.
void ParseLine(const std::string& line, std::vector<std::string>& parsedLines,
               std::vector<int>& alignments);

// True for a line of nothing but tags with at least one style tag among them.
bool OnlyContainsTags(const std::string& line);

} // namespace hintmarkup
