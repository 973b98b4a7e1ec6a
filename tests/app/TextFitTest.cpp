// Every text of the window at its smallest size fits its control with the platform's own fonts:
// nothing is cut, elided, wrapped out of sight or pushed past its page. Runs offscreen here
// and, in the Windows build, under Wine with the font the form asks for.
#include "app/Unit1.h"
#include "app/UserSettings.h"
#include "platform/Files.h"
#include "ui_Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::string Described(const QWidget& w, const QString& text, QSize needs, QSize has) {
    return w.objectName().toStdString() + " \"" + text.toStdString() + "\" needs " +
           std::to_string(needs.width()) + "x" + std::to_string(needs.height()) + ", has " +
           std::to_string(has.width()) + "x" + std::to_string(has.height());
}

bool Within(QSize needs, QSize has) {
    return needs.width() <= has.width() && needs.height() <= has.height();
}

// The room the style gives a button's text, and the text's own size.
void CheckButton(const QAbstractButton& button, std::vector<std::string>& cut) {
    if (button.text().isEmpty()) {
        return;
    }
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(&button)) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton*>(&button)) {
        contents = QStyle::SE_RadioButtonContents;
    }
    QSize has = button.style()->subElementRect(contents, &option, &button).size();
    if (!button.icon().isNull()) {
        has.rwidth() -= button.iconSize().width() + 4;
    }
    const QSize needs = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
    if (!Within(needs, has)) {
        cut.push_back(Described(button, button.text(), needs, has));
    }
}

void CheckLabel(const QLabel& label, std::vector<std::string>& cut) {
    if (label.text().isEmpty()) {
        return;
    }
    // A wrapped label needs its height at its width; any other its whole text on one line.
    const QSize needs = label.wordWrap() ? QSize(label.width(), label.heightForWidth(label.width()))
                                         : label.sizeHint();
    if (!Within(needs, label.size())) {
        cut.push_back(Described(label, label.text(), needs, label.size()));
    }
}

void CheckPlaceholder(const QLineEdit& edit, std::vector<std::string>& cut) {
    if (edit.placeholderText().isEmpty()) {
        return;
    }
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.hasFrame()
                           ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit)
                           : 0;
    const QMargins margins = edit.textMargins();
    // The line edit keeps two pixels on either side of its text.
    const QSize has = edit.style()
                          ->subElementRect(QStyle::SE_LineEditContents, &option, &edit)
                          .marginsRemoved(margins)
                          .adjusted(2, 0, -2, 0)
                          .size();
    const QSize needs = edit.fontMetrics().size(0, edit.placeholderText());
    if (!Within(needs, has)) {
        cut.push_back(Described(edit, edit.placeholderText(), needs, has));
    }
}

// What the page shows now of each control on it.
void CheckShown(const QWidget& window, std::set<const QWidget*>& seen,
                std::vector<std::string>& cut) {
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || !seen.insert(w).second) {
            continue;
        }
        // A control that reaches past its parent is cut whatever its text.
        if (w->parentWidget() != &window && !w->isWindow() &&
            !w->parentWidget()->rect().contains(w->geometry()) &&
            (qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
             qobject_cast<const QLineEdit*>(w) || qobject_cast<const QGroupBox*>(w))) {
            const QRect r = w->geometry();
            const QSize room = w->parentWidget()->size();
            cut.push_back(w->objectName().toStdString() + " at " + std::to_string(r.x()) + "," +
                          std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
                          std::to_string(r.height()) + " reaches past " +
                          w->parentWidget()->objectName().toStdString() + " of " +
                          std::to_string(room.width()) + "x" + std::to_string(room.height()));
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            CheckButton(*button, cut);
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            CheckLabel(*label, cut);
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            CheckPlaceholder(*edit, cut);
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            // The style places the title; a title wider than the box runs past its edge.
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.lineWidth = 1;
            option.textAlignment = group->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, group);
            if (!group->rect().contains(title)) {
                cut.push_back(Described(*group, group->title(),
                                        QSize(title.right() + 1, title.bottom() + 1),
                                        group->size()));
            }
        } else if (const auto* tabs = qobject_cast<const QTabBar*>(w)) {
            // Tabs that do not fit are elided or scrolled: the bar asks for more than it has.
            if (tabs->sizeHint().width() > tabs->width()) {
                cut.push_back(Described(*tabs, tabs->tabText(tabs->count() - 1), tabs->sizeHint(),
                                        tabs->size()));
            }
        }
    }
}

} // namespace

// Where the program is kept: its book's folder is named on the About page, and a deep one
// takes more lines than the layout drew.
class TextFit : public ::testing::TestWithParam<const char*> {};

TEST_P(TextFit, EveryTextOfEveryPageFitsItsControlAtTheSmallestSize) {
    const QString below = QString::fromUtf8(GetParam());
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/a book kept down-XXXXXX"));
    if (!below.isEmpty()) {
        ASSERT_TRUE(QDir(folder.path()).mkpath(below));
        platform::SetExecutablePathForTesting(
            (folder.path() + u'/' + below + QStringLiteral("/MyBrindleViewer")).toStdString());
    }
    TForm1 form;
    form.resize(form.minimumSize());
    form.show();
    QApplication::processEvents();
    ASSERT_EQ(form.size(), form.minimumSize());
#ifdef _WIN32
    // Measured with the font the form asks for, not a stand-in.
    ASSERT_EQ(QFontInfo(form.font()).family(), form.font().family());
#else
    // The fonts here fit the layout as drawn: the window takes no room it does not need,
    // beyond the width of its seventh tab's title.
    if (below.isEmpty()) {
        EXPECT_EQ(form.minimumSize(), QSize(418, 213));
    }
#endif

    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    ASSERT_NE(pages, nullptr);

    // The book's folder is on a line of its own, shortened in its middle when it is deep
    // (never broken after a drive's colon or inside a name); its tool tip holds it whole.
    const auto* kept = form.findChild<QLabel*>(QStringLiteral("BookFolderLabel"));
    ASSERT_NE(kept, nullptr);
    const QStringList lines = kept->text().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LE(kept->fontMetrics().horizontalAdvance(lines[1]), kept->width());
    // Shortened where it does not fit the page (where, depends on the platform's font; a font
    // without "…" gets "..."); whole otherwise.
    if (!lines[1].contains(QChar(0x2026)) && !lines[1].contains(QLatin1String("..."))) {
        EXPECT_TRUE(kept->toolTip().endsWith(lines[1])) << lines[1].toStdString();
    }
    QString whole = kept->toolTip();
    whole.replace(u'\\', u'/'); // Windows shows its own separators
    EXPECT_TRUE(whole.endsWith(below.isEmpty() ? QStringLiteral("/") : below + QStringLiteral("/")))
        << whole.toStdString();

    // The room made for texts elsewhere is the client table's too: it keeps the margin it was
    // drawn with at its page's right edge, where the count ends.
    QWidget drawnWindow;
    Ui::TForm1 drawn;
    drawn.setupUi(&drawnWindow);
    const auto margin = [](const QWidget& pageControl, const QWidget& ids, const QWidget& count) {
        return pageControl.width() - std::max(ids.geometry().right(), count.geometry().right());
    };
    const auto* ids = form.findChild<QWidget*>(QStringLiteral("BookTable"));
    const auto* count = form.findChild<QWidget*>(QStringLiteral("FilterCount"));
    ASSERT_TRUE(ids && count);
    EXPECT_EQ(margin(*pages, *ids, *count),
              margin(*drawn.PageControl1, *drawn.BookTable, *drawn.FilterCount));

    std::vector<std::string> cut;
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        QApplication::processEvents();
        std::set<const QWidget*> seen;
        std::vector<std::string> onPage;
        CheckShown(form, seen, onPage);
        for (const std::string& problem : onPage) {
            cut.push_back(pages->tabText(page).toStdString() + ": " + problem);
        }
    }
    std::string all;
    for (const std::string& problem : std::set<std::string>(cut.begin(), cut.end())) {
        all += "\n  " + problem;
    }
    EXPECT_TRUE(cut.empty()) << "texts cut with the font " << form.font().family().toStdString()
                             << " (" << QFontInfo(form.font()).family().toStdString() << ")" << all;
}

INSTANTIATE_TEST_SUITE_P(
    KeptIn, TextFit,
    ::testing::Values("", "customers in the north of the county/second shift on weekdays/kept by "
                          "the support desk"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        return std::string(*info.param ? "ADeepFolder" : "TheBuildFolder");
    });

// The room made for the texts is kept with what it depends on: the next window with the same
// fonts and texts takes the same places without measuring a text, and any other measures.
TEST(TextRoom, IsMadeAgainFromWhatWasKeptOnlyForTheSameFontsAndTexts) {
    const auto places = [](const TForm1& form) {
        std::vector<std::pair<std::string, QRect>> all;
        for (const QWidget* w : form.findChildren<QWidget*>()) {
            all.emplace_back(w->objectName().toStdString(), w->geometry());
        }
        return all;
    };
    UserSettings().remove(QStringLiteral("textRoom"));
    const TForm1 measured;
    const QStringList recent =
        UserSettings().value(QStringLiteral("textRoom/recent")).toStringList();
    ASSERT_EQ(recent.size(), 1);
    const QString key = QStringLiteral("textRoom/") + recent.front();
    const QStringList kept = UserSettings().value(key).toStringList();
    ASSERT_GE(kept.size(), 2);
    {
        const TForm1 again;
        EXPECT_EQ(places(again), places(measured));
        EXPECT_EQ(again.size(), measured.size());
    }
    // What was kept is what the next window takes, unmeasured: a place written there shows.
    QStringList altered = kept;
    altered.append(QStringLiteral("Button2 1 2 3 4"));
    UserSettings().setValue(key, altered);
    {
        const TForm1 fromKept;
        EXPECT_EQ(fromKept.findChild<QWidget*>(QStringLiteral("Button2"))->geometry(),
                  QRect(1, 2, 3, 4));
    }
    // Kept for other fonts: this window measures, and keeps its own anew.
    altered[0] = QStringLiteral("another font");
    UserSettings().setValue(key, altered);
    const TForm1 remeasured;
    EXPECT_EQ(places(remeasured), places(measured));
    EXPECT_EQ(UserSettings().value(key).toStringList(), kept);
}

int main(int argc, char** argv) {
    // The window's remembered size and place go to a folder of the run's own.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("mbv-text-fit"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
