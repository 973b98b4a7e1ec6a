#pragma once

#include "base/Exception.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace core::importing {

// ---- A small XML reader: start tags and their attributes, end tags; nothing is expanded but
// the five predefined entities and character references, and a document type is refused. ----

struct XmlTag {
    std::string name; // local name, without a namespace prefix
    std::map<std::string, std::string> attributes;
    bool closing = false;
    bool empty = false;
};

// Text with the five predefined entities and character references replaced.
std::string XmlUnescaped(std::string_view text);
// A name without its namespace prefix.
std::string LocalName(std::string_view name);

class XmlReader {
public:
    explicit XmlReader(std::string_view text) : text_(text) {}

    // The next tag, or nothing at the end of the document.
    std::optional<XmlTag> Next() {
        while (true) {
            const size_t open = text_.find('<', at_);
            if (open == std::string_view::npos) {
                return std::nullopt;
            }
            at_ = open;
            const std::string_view rest = text_.substr(at_);
            if (rest.substr(0, 4) == "<!--") {
                Skip("-->", "a comment");
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                Skip("]]>", "a CDATA section");
            } else if (rest.substr(0, 2) == "<?") {
                Skip("?>", "a processing instruction");
            } else if (rest.substr(0, 2) == "<!") {
                // A document type may declare entities that expand without end.
                throw Exception("The XML file has a document type or entity declarations: "
                                "refused, never expanded");
            } else {
                return Tag();
            }
        }
    }

private:
    void Skip(std::string_view end, const char* what) {
        const size_t found = text_.find(end, at_);
        if (found == std::string_view::npos) {
            throw Exception(std::string("The XML file ends inside ") + what);
        }
        at_ = found + end.size();
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool IsNameChar(char c) {
        return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'';
    }

    XmlTag Tag() {
        XmlTag tag;
        ++at_;
        if (at_ < text_.size() && text_[at_] == '/') {
            tag.closing = true;
            ++at_;
        }
        tag.name = LocalName(Name());
        if (tag.name.empty()) {
            throw Exception("The XML file is not well-formed: a tag without a name");
        }
        while (true) {
            SkipSpace();
            if (at_ >= text_.size()) {
                throw Exception("The XML file ends inside a tag");
            }
            if (text_[at_] == '>') {
                ++at_;
                return tag;
            }
            if (text_.substr(at_, 2) == "/>") {
                at_ += 2;
                tag.empty = true;
                return tag;
            }
            const std::string name = Name();
            SkipSpace();
            if (name.empty() || at_ >= text_.size() || text_[at_] != '=') {
                throw Exception("The XML file is not well-formed: an attribute without a value");
            }
            ++at_;
            SkipSpace();
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
                throw Exception("The XML file is not well-formed: a value without quotes");
            }
            const char quote = text_[at_++];
            const size_t end = text_.find(quote, at_);
            if (end == std::string_view::npos) {
                throw Exception("The XML file ends inside an attribute's value");
            }
            tag.attributes[LocalName(name)] = XmlUnescaped(text_.substr(at_, end - at_));
            at_ = end + 1;
        }
    }

    std::string Name() {
        const size_t start = at_;
        while (at_ < text_.size() && IsNameChar(text_[at_])) {
            ++at_;
        }
        return std::string(text_.substr(start, at_ - start));
    }

    void SkipSpace() {
        while (at_ < text_.size() && IsSpace(text_[at_])) {
            ++at_;
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

} // namespace core::importing
