#include "controls/Hintbox.h"
#include "controls/Swcurllabel.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QTest>

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

class Links : public ::testing::Test {
protected:
    void SetUp() override {
        TSwCURLLabel::SetOpener([this](const QString& url) { opened << url; });
    }
    void TearDown() override { TSwCURLLabel::SetOpener(nullptr); }

    static void Enter(QWidget* w) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(w, &event);
    }
    static void Leave(QWidget* w) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(w, &event);
    }

    QStringList opened;
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

TEST_F(Links, ColoursFollowThePointerOnlyWithAnAddress) {
    TSwCURLLabel label;
    label.setText(QStringLiteral("link"));
    EXPECT_EQ(label.FontColor(), QColor(Qt::blue));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);

    Enter(&label);
    EXPECT_EQ(label.FontColor(), QColor(Qt::blue));
    label.SetTextColor(Qt::green);
    EXPECT_EQ(label.FontColor(), QColor(Qt::green));

    label.SetURL(QStringLiteral("https://example.org/"));
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    Enter(&label);
    EXPECT_EQ(label.FontColor(), QColor(Qt::red));
    // A new rest colour waits for the pointer to leave; a new hover colour shows at once.
    label.SetTextColor(Qt::darkGreen);
    EXPECT_EQ(label.FontColor(), QColor(Qt::red));
    label.SetMouseOverColor(Qt::magenta);
    EXPECT_EQ(label.FontColor(), QColor(Qt::magenta));
    Leave(&label);
    EXPECT_EQ(label.FontColor(), QColor(Qt::darkGreen));

    // Leaving sets the rest colour even over a colour set by other means.
    QPalette other = label.palette();
    other.setColor(QPalette::WindowText, Qt::cyan);
    label.setPalette(other);
    label.SetTextColor(Qt::black);
    EXPECT_EQ(label.FontColor(), QColor(Qt::cyan));
    Leave(&label);
    EXPECT_EQ(label.FontColor(), QColor(Qt::black));

    // The same address leaves a cursor set by other means; an empty one restores the arrow.
    label.setCursor(Qt::CrossCursor);
    label.SetURL(QStringLiteral("https://example.org/"));
    EXPECT_EQ(label.cursor().shape(), Qt::CrossCursor);
    label.SetURL(QString());
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Links, AClickOpensTheAddressOnlyWhenThereIsOne) {
    TSwCURLLabel label;
    label.setText(QStringLiteral("link"));
    label.resize(60, 20);
    int clicks = 0;
    QObject::connect(&label, &TSwCURLLabel::clicked, [&] { ++clicks; });
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(opened.isEmpty());
    label.SetURL(QStringLiteral("https://example.org/a"));
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/a")});
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(Links, TheWindowsFourLinksOpenTheirPages) {
    ProgramFolder folder;
    RecordingSink sink;
    auto form = folder.Start();
    for (const char* name : {"SwCURLLabel1", "SwCURLLabel2", "SwCURLLabel3", "SwCURLLabel4"}) {
        auto* link = Find<TSwCURLLabel>(*form, name);
        EXPECT_FALSE(link->URL().isEmpty()) << name;
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << name;
        EXPECT_EQ(link->FontColor(), QColor(Qt::blue)) << name;
        EXPECT_TRUE(link->font().underline()) << name;
        EXPECT_FALSE(link->URL().contains(QStringLiteral("brindle"), Qt::CaseInsensitive));
        QTest::mouseClick(link, Qt::LeftButton);
    }
    EXPECT_EQ(opened.size(), 4);
    EXPECT_EQ(Find<TSwCURLLabel>(*form, "SwCURLLabel1")->toolTip(),
              QStringLiteral("Click here to donate and support development"));
}
