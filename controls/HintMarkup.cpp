#include "controls/HintMarkup.h"

namespace hintmarkup {
namespace {

// The text from position a to position b, both included; empty when b < a.
std::string Slice(const std::string& text, int a, int b) {
    if (b < a || a > static_cast<int>(text.size())) {
        return {};
    }
    return text.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a + 1));
}

std::string UpperCase(std::string name) {
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return name;
}

std::string TrimControlPrefix(const std::string& text) {
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= 32) {
        ++first;
    }
    return text.substr(first);
}

} // namespace

int FindNext(const std::string& text, const std::string& pattern, int start) {
    const int length = static_cast<int>(text.size());
    for (int p = start; p <= length; ++p) {
        if (text.compare(static_cast<size_t>(p - 1), pattern.size(), pattern) == 0) {
            return p;
        }
    }
    return 0;
}

bool ScanTag(const std::string& text, int start, Tag& tag) {
    for (;;) {
        const int open = FindNext(text, "<", start);
        if (open == 0) {
            return false;
        }
        const int close = FindNext(text, ">", start);
        if (close == 0) {
            return false;
        }
        if (close < open) {
            start = close + 1;
            continue;
        }
        tag.open = open;
        tag.close = close;
        tag.name = UpperCase(Slice(text, open + 1, close - 1));
        return true;
    }
}

bool IsStyleTag(const std::string& name) {
    return name == "B" || name == "I" || name == "U" || name == "STRIKE" || name == "/B" ||
           name == "/I" || name == "/U" || name == "/STRIKE";
}

void ParseLine(const std::string& line, std::vector<std::string>& parsedLines,
               std::vector<int>& alignments) {
    std::string rest = line;
    int start = 1;
    int current = AlignLeft;
    int opened = AlignLeft;
    const auto emit = [&](std::string text, int alignment) {
        parsedLines.push_back(std::move(text));
        alignments.push_back(alignment);
    };
    for (;;) {
        if (rest.empty()) {
            emit(rest, current);
            return;
        }
        Tag tag;
        if (!ScanTag(rest, start, tag)) {
            emit(rest, current);
            return;
        }
        const std::string before = Slice(rest, 1, tag.open - 1);
        const auto cutAfterTag = [&] {
            rest = TrimControlPrefix(Slice(rest, tag.close + 1, static_cast<int>(rest.size())));
            start = 1;
        };
        if (tag.name == "CENTER" || tag.name == "RIGHT") {
            const int code = tag.name == "CENTER" ? AlignCenter : AlignRight;
            if (tag.open != 1) {
                emit(before, current);
            }
            opened = code;
            cutAfterTag();
            current = code;
        } else if (tag.name == "BR") {
            emit(before, current);
            cutAfterTag();
        } else if (tag.name == "/CENTER" || tag.name == "/RIGHT") {
            emit(before, opened);
            cutAfterTag();
            current = AlignLeft;
            if (rest.empty()) {
                return;
            }
        } else {
            start = tag.open + 1;
        }
    }
}

bool OnlyContainsTags(const std::string& line) {
    std::string rest = line;
    bool styleTagSeen = false;
    for (;;) {
        if (rest.empty()) {
            return styleTagSeen;
        }
        if (rest.front() != '<') {
            return false;
        }
        Tag tag;
        if (!ScanTag(rest, 1, tag)) {
            return false;
        }
        if (IsStyleTag(tag.name)) {
            styleTagSeen = true;
        }
        rest = Slice(rest, tag.close + 1, static_cast<int>(rest.size()));
    }
}

} // namespace hintmarkup
