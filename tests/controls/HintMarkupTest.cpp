#include "controls/HintMarkup.h"

#include <gtest/gtest.h>

using namespace hintmarkup;

namespace {

using Display = std::vector<std::pair<std::string, int>>;

Display Parsed(const std::string& line) {
    std::vector<std::string> lines;
    std::vector<int> alignments;
    ParseLine(line, lines, alignments);
    Display result;
    for (size_t i = 0; i < lines.size(); ++i) {
        result.emplace_back(lines[i], alignments[i]);
    }
    return result;
}

} // namespace

TEST(HintMarkup, StructuralTagsSplitAndAlign) {
    EXPECT_EQ(Parsed(""), (Display{{"", 0}}));
    EXPECT_EQ(Parsed("Hello<BR>World"), (Display{{"Hello", 0}, {"World", 0}}));
    EXPECT_EQ(Parsed("<CENTER>Title</CENTER>"), (Display{{"Title", 1}}));
    EXPECT_EQ(Parsed("a<CENTER>b"), (Display{{"a", 0}, {"b", 1}}));
    EXPECT_EQ(Parsed("a<BR>"), (Display{{"a", 0}, {"", 0}}));
    EXPECT_EQ(Parsed("<BR>a"), (Display{{"", 0}, {"a", 0}}));
    EXPECT_EQ(Parsed("a<CENTER>"), (Display{{"a", 0}, {"", 1}}));
    EXPECT_EQ(Parsed("a <CENTER>   b"), (Display{{"a ", 0}, {"b", 1}}));
    EXPECT_EQ(Parsed("x<RIGHT>y</CENTER>z"), (Display{{"x", 0}, {"y", 2}, {"z", 0}}));
    EXPECT_EQ(Parsed("<CENTER>a</CENTER>b</RIGHT>c"), (Display{{"a", 1}, {"b", 1}, {"c", 0}}));
    EXPECT_EQ(Parsed("<CENTER>a<RIGHT>b</RIGHT>c"), (Display{{"a", 1}, {"b", 2}, {"c", 0}}));
    EXPECT_EQ(Parsed("a</CENTER>b"), (Display{{"a", 0}, {"b", 0}}));
    EXPECT_EQ(Parsed("<RIGHT>\t\x01 r"), (Display{{"r", 2}}));
}

TEST(HintMarkup, CaseBlanksUnknownAndMalformedTagsStayText) {
    EXPECT_EQ(Parsed("<center>x"), (Display{{"x", 1}}));
    EXPECT_EQ(Parsed("<Center>x"), (Display{{"x", 1}}));
    EXPECT_EQ(Parsed("< CENTER>x"), (Display{{"< CENTER>x", 0}}));
    EXPECT_EQ(Parsed("<CENTER >x"), (Display{{"<CENTER >x", 0}}));
    EXPECT_EQ(Parsed("<B>bold</B> text"), (Display{{"<B>bold</B> text", 0}}));
    EXPECT_EQ(Parsed("<X>a<br>b"), (Display{{"<X>a", 0}, {"b", 0}}));
    EXPECT_EQ(Parsed("a<b"), (Display{{"a<b", 0}}));
    EXPECT_EQ(Parsed("a>b<BR>c"), (Display{{"a>b", 0}, {"c", 0}}));
    EXPECT_EQ(Parsed("a>b<c"), (Display{{"a>b<c", 0}}));
    EXPECT_EQ(Parsed("<<BR>>"), (Display{{"<", 0}, {">", 0}}));
}

TEST(HintMarkup, OnlyContainsTagsAndFindNext) {
    EXPECT_TRUE(OnlyContainsTags("<B><I>"));
    EXPECT_TRUE(OnlyContainsTags("<B><X>"));
    EXPECT_TRUE(OnlyContainsTags("</strike>"));
    EXPECT_FALSE(OnlyContainsTags("<B> <I>"));
    EXPECT_FALSE(OnlyContainsTags("<X>"));
    EXPECT_FALSE(OnlyContainsTags("text<B>"));
    EXPECT_FALSE(OnlyContainsTags("<B>text"));
    EXPECT_FALSE(OnlyContainsTags("<B"));
    EXPECT_FALSE(OnlyContainsTags(""));

    EXPECT_EQ(FindNext("ab<c", "<", 1), 3);
    EXPECT_EQ(FindNext("ab<c", "<", 4), 0);
    EXPECT_EQ(FindNext("", ">", 1), 0);
    EXPECT_EQ(FindNext("abc", "c", 9), 0);
    EXPECT_EQ(FindNext("a<b<c", "<", 3), 4);
}
