#include "controls/HintPainter.h"
#include "support/FakeCanvas.h"

#include <gtest/gtest.h>

using namespace hintpaint;
using Texts = std::vector<FakeCanvas::Text>;

namespace {

// The default box: text rectangle (4, 4, 196, 196), usable width 188, rows of 10 pixels.
HintBoxState Box(std::vector<std::string> lines, bool formatted = true) {
    HintBoxState box;
    box.Lines = std::move(lines);
    box.HTMLFormatting = formatted;
    return box;
}

Texts Painted(HintBoxState box, FakeCanvas* out = nullptr) {
    FakeCanvas canvas;
    Paint(canvas, box, PaintCause::PaintCycle);
    if (out) {
        *out = canvas;
    }
    return canvas.texts;
}

} // namespace

TEST(HintPainter, TheBoxHasItsShadowAndTheTextItsRectangle) {
    FakeCanvas canvas;
    Painted(Box({"hi"}), &canvas);
    EXPECT_EQ(canvas.fills, (std::vector<FakeCanvas::Shape>{{{4, 4, 200, 200}, clGray}}));
    EXPECT_EQ(canvas.rectangles, (std::vector<FakeCanvas::Shape>{{{0, 0, 196, 196}, clInfoBk}}));
    EXPECT_TRUE(canvas.solid);
    EXPECT_EQ(canvas.texts, (Texts{{4, 4, "hi", 0}}));
    EXPECT_EQ(canvas.invalidations, 0);
}

TEST(HintPainter, RowsWrapAtTheLastBlankAndWordsAreCutBeforeTheOverflow) {
    // 31 characters make 186 pixels, within 188; the 32nd makes 192.
    const std::string exact(31, 'a');
    EXPECT_EQ(Painted(Box({exact})), (Texts{{4, 4, exact, 0}}));
    EXPECT_EQ(Painted(Box({exact}, false)), (Texts{{4, 4, exact, 0}}));

    const std::string words = "aaaa bbbb cccc dddd eeee ffff gggg hhhh";
    EXPECT_EQ(Painted(Box({words}, false)),
              (Texts{{4, 4, "aaaa bbbb cccc dddd eeee ffff", 0}, {4, 14, "gggg hhhh", 0}}));
    EXPECT_EQ(Painted(Box({words})),
              (Texts{{4, 4, "aaaa bbbb cccc dddd eeee ffff", 0}, {4, 14, "gggg hhhh", 0}}));

    // A blank that ends a row's text stays; the blank at the break is dropped.
    EXPECT_EQ(Painted(Box({std::string(29, 'x') + "  yy"}, false)),
              (Texts{{4, 4, std::string(29, 'x') + " ", 0}, {4, 14, "yy", 0}}));

    const std::string word(40, 'w');
    EXPECT_EQ(Painted(Box({word}, false)),
              (Texts{{4, 4, std::string(31, 'w'), 0}, {4, 14, std::string(9, 'w'), 0}}));

    // The break candidate does not carry over to the next line.
    EXPECT_EQ(Painted(Box({"a b", word}, false)), (Texts{{4, 4, "a b", 0},
                                                         {4, 14, std::string(31, 'w'), 0},
                                                         {4, 24, std::string(9, 'w'), 0}}));
}

TEST(HintPainter, RowsStopAtTheBottom) {
    // Rows are 10 high from 4: row 18 would end at 194 < 196 and is drawn; row 19 is not.
    std::vector<std::string> lines(25, "r");
    const Texts texts = Painted(Box(lines, false));
    ASSERT_EQ(texts.size(), 19u);
    EXPECT_EQ(texts.back().y, 184);

    // A row that would end exactly at the bottom is not drawn.
    HintBoxState box = Box(std::vector<std::string>(25, "r"), false);
    box.Height = 198; // bottom of the text rectangle: 194 = 4 + 19 * 10
    EXPECT_EQ(Painted(box).size(), 18u);

    // A full row that does not fit ends the paint: no later line is drawn.
    std::vector<std::string> many(18, "r");
    many.push_back(std::string(70, 'z'));
    many.push_back("never");
    const Texts cut = Painted(Box(many, false));
    EXPECT_EQ(cut.size(), 19u);
    EXPECT_EQ(cut.back().text, std::string(31, 'z'));
}

TEST(HintPainter, AlignmentsPlaceRowsCentredAndRight) {
    EXPECT_EQ(Painted(Box({"<CENTER>abcd</CENTER>", "<RIGHT>xy"})),
              (Texts{{4 + (192 - 24) / 2 - 4, 4, "abcd", 0}, {196 - 12 - 4, 14, "xy", 0}}));
}

TEST(HintPainter, StylesRunThroughRowsAndLinesAndResetAtTheNextPaint) {
    HintBoxState box = Box({"a<B>b", "c</B>d", "<I>", "e", "", "f"});
    FakeCanvas canvas;
    Paint(canvas, box, PaintCause::PaintCycle);
    EXPECT_EQ(canvas.texts, (Texts{{4, 4, "a", 0},
                                   {10, 4, "b", fsBold},
                                   {4, 14, "c", fsBold},
                                   {12, 14, "d", 0},
                                   {-1, -1, "", 0},
                                   {4, 24, "e", fsItalic},
                                   {4, 44, "f", fsItalic}}));
    // The next paint starts plain.
    canvas.texts.clear();
    Paint(canvas, box, PaintCause::PaintCycle);
    EXPECT_EQ(canvas.texts.front(), (FakeCanvas::Text{4, 4, "a", 0}));

    // Measuring leaves the styles as they were and sums the runs in their own styles.
    canvas.styles = fsItalic;
    EXPECT_EQ(TextExtentEx(canvas, "ab<B>cd</B>e<X>"), (TSize{3 * 6 + 2 * 8 + 3 * 6, 10}));
    EXPECT_EQ(canvas.styles, fsItalic);
    EXPECT_EQ(TextExtentEx(canvas, ""), (TSize{0, 0}));
}

TEST(HintPainter, UnknownTagsAreTextAndPlainModeShowsTags) {
    EXPECT_EQ(Painted(Box({"a<X>b"})), (Texts{{4, 4, "a<X>", 0}, {28, 4, "b", 0}}));
    EXPECT_EQ(Painted(Box({"<B>x</B>"}, false)), (Texts{{4, 4, "<B>x</B>", 0}}));
    // A wrap inside a tag leaves both halves as text.
    const std::string line = std::string(30, 'q') + "<B>xx";
    EXPECT_EQ(Painted(Box({line})),
              (Texts{{4, 4, std::string(30, 'q') + "<", 0}, {4, 14, "B>xx", 0}}));
}

TEST(HintPainter, TextOnlyModeAsksForAFreshBackgroundOnlyFromASetter) {
    HintBoxState box = Box({"plain"});
    box.DrawHintBox = false;
    FakeCanvas canvas;
    Paint(canvas, box, PaintCause::PaintCycle);
    EXPECT_EQ(canvas.invalidations, 0);
    EXPECT_TRUE(canvas.fills.empty());
    EXPECT_TRUE(canvas.rectangles.empty());
    EXPECT_FALSE(canvas.solid);
    EXPECT_EQ(canvas.texts, (Texts{{0, 0, "plain", 0}}));
    Paint(canvas, box, PaintCause::Setter);
    EXPECT_EQ(canvas.invalidations, 1);

    // The usable width is Width - ShadowSize: 196 pixels, so 32 characters fit.
    box.Lines = {std::string(33, 'k')};
    box.Parsed = false;
    canvas.texts.clear();
    Paint(canvas, box, PaintCause::PaintCycle);
    EXPECT_EQ(canvas.texts.front().text, std::string(32, 'k'));
}

TEST(HintPainter, TabbedExtentKeepsSixteenBits) {
    FakeCanvas canvas;
    EXPECT_EQ(GetTextExtentRH(canvas, "a\tb"), (TSize{54, 10}));
    EXPECT_EQ(GetTextExtentRH(canvas, std::string("ab\0cd", 5)), (TSize{12, 10}));
    EXPECT_EQ(GetTextExtentRH(canvas, std::string(11000, 'x')), (TSize{66000 & 0xFFFF, 10}));
}
