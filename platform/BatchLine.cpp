#include "platform/BatchLine.h"

namespace platform {

BatchLineWriter& BatchLineWriter::Append(std::string_view text) {
    line_.reserve(line_.size() + text.size());
    for (const char c : text) {
        switch (c) {
        case '\r':
        case '\n':
            break;
        case '"':
            quoted_ = !quoted_;
            line_ += c;
            break;
        case '%':
            line_ += "%%";
            break;
        case '^':
        case '&':
        case '|':
        case '<':
        case '>':
            if (!quoted_) {
                line_ += '^';
            }
            line_ += c;
            break;
        default:
            line_ += c;
        }
    }
    return *this;
}

std::string UnescapeBatchLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            out += c;
        } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (c == '^' && !quoted) {
            if (i + 1 < line.size()) {
                out += line[++i];
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    const auto blank = [&](size_t at) { return line[at] == ' ' || line[at] == '\t'; };

    // The program name knows no backslash rules: up to the closing quote, or the first blank.
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && blank(i)) {
            break;
        } else {
            program += line[i];
        }
    }
    args.push_back(std::move(program));

    for (;;) {
        while (i < line.size() && blank(i)) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < line.size() && (quoted || !blank(i))) {
            if (line[i] == '\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace platform
