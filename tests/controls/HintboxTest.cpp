#include "controls/Hintbox.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Counts the paints a hint box gets.
class CountingHintBox final : public THintBox {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        THintBox::paintEvent(event);
    }
};

} // namespace

TEST(HintBoxWidget, SettersRepaintAtOnceOnlyWhenSomethingChanged) {
    CountingHintBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QApplication::processEvents();
    EXPECT_EQ(box.size(), QSize(200, 200));
    EXPECT_EQ(box.ShadowSize(), 4);
    EXPECT_TRUE(box.HTMLFormatting());
    EXPECT_TRUE(box.DrawHintBox());

    const auto paintsFor = [&](const std::function<void()>& change) {
        const int before = box.paints;
        change();
        return box.paints - before; // counted before any event loop runs: only direct paints
    };
    EXPECT_EQ(paintsFor([&] { box.SetColor(Qt::yellow); }), 1);
    EXPECT_EQ(paintsFor([&] { box.SetColor(Qt::yellow); }), 0);
    EXPECT_EQ(paintsFor([&] { box.SetShadowColor(Qt::darkBlue); }), 1);
    EXPECT_EQ(paintsFor([&] { box.SetShadowColor(Qt::darkBlue); }), 0);
    EXPECT_EQ(paintsFor([&] { box.SetHintBox(false); }), 1);
    EXPECT_EQ(paintsFor([&] { box.SetHintBox(false); }), 0);
    EXPECT_EQ(paintsFor([&] { box.SetHTMLFormatting(false); }), 1);
    EXPECT_EQ(paintsFor([&] { box.SetHTMLFormatting(false); }), 0);
    const QStringList lines{QStringLiteral("<B>one</B>"), QStringLiteral("two")};
    EXPECT_EQ(paintsFor([&] { box.SetLines(lines); }), 1);
    EXPECT_EQ(paintsFor([&] { box.SetLines(lines); }), 1);
    EXPECT_EQ(box.Lines(), lines);
    EXPECT_EQ(paintsFor([&] { box.Update(); }), 1);

    EXPECT_EQ(paintsFor([&] { box.SetShadowSize(10); }), 1);
    EXPECT_EQ(box.size(), QSize(206, 206));
    EXPECT_EQ(paintsFor([&] { box.SetShadowSize(-1); }), 0);
    EXPECT_EQ(paintsFor([&] { box.SetShadowSize(10); }), 0);
    EXPECT_EQ(box.ShadowSize(), 10);
    EXPECT_EQ(box.size(), QSize(206, 206));

    // The paint cycle itself does not ask for more paints in the text-only mode.
    QApplication::processEvents();
    const int settled = box.paints;
    QTest::qWait(50);
    EXPECT_EQ(box.paints, settled);
}

TEST(HintBoxWidget, PaintsTheBoxShadowAndText) {
    THintBox box;
    box.SetColor(QColor(255, 255, 0));
    box.SetShadowColor(QColor(0, 0, 255));
    box.SetLines({QStringLiteral("<CENTER><B>Title</B>"), QStringLiteral("Body text")});
    const QImage image = box.grab().toImage();
    EXPECT_EQ(image.pixelColor(198, 198), QColor(0, 0, 255));   // shadow
    EXPECT_EQ(image.pixelColor(100, 190), QColor(255, 255, 0)); // box
    EXPECT_NE(image.pixelColor(199, 1), QColor(0, 0, 255));     // corner outside both
    EXPECT_EQ(image.pixelColor(0, 0), box.palette().color(QPalette::WindowText)); // border
    bool inked = false;
    for (int x = 4; x < 190 && !inked; ++x) {
        for (int y = 4; y < 30 && !inked; ++y) {
            inked = image.pixelColor(x, y) != QColor(255, 255, 0);
        }
    }
    EXPECT_TRUE(inked);
}
