#include "controls/Swcurllabel.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QAccessible>
#include <QTest>

namespace {

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
    QObject::connect(&label, &TSwCURLLabel::Clicked, [&] { ++clicks; });
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

TEST_F(Links, TheKeyboardAndAScreenReaderOpenThemToo) {
    TSwCURLLabel label;
    label.setText(QStringLiteral("Download"));
    label.SetURL(QStringLiteral("https://example.org/d"));
    EXPECT_EQ(label.focusPolicy(), Qt::StrongFocus);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QTest::keyClick(&label, key);
    }
    QTest::keyClick(&label, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&label, Qt::Key_A);
    EXPECT_EQ(opened.size(), 3);

    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(&label);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name), QStringLiteral("Download"));
    EXPECT_EQ(link->text(QAccessible::Value), QStringLiteral("https://example.org/d"));
    ASSERT_NE(link->actionInterface(), nullptr);
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(opened.size(), 4);
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
