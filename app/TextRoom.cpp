#include "app/TextRoom.h"

#include "app/UserSettings.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QFontInfo>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace {

QSize Missing(QSize needs, QSize has) {
    return {std::max(0, needs.width() - has.width()), std::max(0, needs.height() - has.height())};
}

// How much more room the control's text needs than it has.
QSize MissingForText(const QWidget& w) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&w)) {
        if (button->text().isEmpty()) {
            return {};
        }
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(button)) {
            contents = QStyle::SE_CheckBoxContents;
        } else if (qobject_cast<const QRadioButton*>(button)) {
            contents = QStyle::SE_RadioButtonContents;
        }
        QSize has = button->style()->subElementRect(contents, &option, button).size();
        if (!button->icon().isNull()) {
            has.rwidth() -= button->iconSize().width() + 4;
        }
        return Missing(button->fontMetrics().size(Qt::TextShowMnemonic, button->text()), has);
    }
    if (const auto* label = qobject_cast<const QLabel*>(&w)) {
        if (label->text().isEmpty()) {
            return {};
        }
        // A wrapped label grows downwards; any other keeps its text on one line.
        return label->wordWrap()
                   ? QSize(0, std::max(0, label->heightForWidth(label->width()) - label->height()))
                   : Missing(label->sizeHint(), label->size());
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&w)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.lineWidth = 1;
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        return Missing(QSize(title.right() + 1, title.bottom() + 1), group->size());
    }
    return {};
}

// Moves the siblings that stand right of (or below) the old place of a control that grew.
void MoveAlong(const QWidget& grown, const QRect& was, QSize by) {
    for (QObject* object : grown.parentWidget()->children()) {
        auto* other = qobject_cast<QWidget*>(object);
        if (!other || other == &grown || other->isWindow()) {
            continue;
        }
        const QRect r = other->geometry();
        QPoint move;
        if (by.width() > 0 && r.left() > was.right() && r.top() <= was.bottom() &&
            r.bottom() >= was.top()) {
            move.rx() = by.width();
        }
        if (by.height() > 0 && r.top() > was.bottom() && r.left() <= was.right() &&
            r.right() >= was.left()) {
            move.ry() = by.height();
        }
        if (!move.isNull()) {
            other->move(r.topLeft() + move);
        }
    }
}

// Fits the children of a page or a group box, inside out; returns how much more room than
// `room` the container needs to hold them.
QSize Fit(QWidget& container, QSize room) {
    // Top to bottom, left to right, so that a control moved along is measured where it ends.
    QList<QWidget*> children;
    for (QObject* object : container.children()) {
        auto* w = qobject_cast<QWidget*>(object);
        if (w && !w->isWindow() && !w->isHidden()) {
            children.append(w);
        }
    }
    std::sort(children.begin(), children.end(), [](const QWidget* a, const QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (QWidget* child : children) {
        // A scroll area's parts (a table's header, its scroll bars) are its own to place.
        const bool holdsControls = !qobject_cast<QAbstractScrollArea*>(child);
        const QSize more =
            MissingForText(*child).expandedTo(holdsControls ? Fit(*child, child->size()) : QSize());
        if (more.width() > 0 || more.height() > 0) {
            const QRect was = child->geometry();
            child->resize(child->size() + more);
            MoveAlong(*child, was, more);
        }
    }
    QRect holds;
    for (const QWidget* child : children) {
        holds |= child->geometry();
    }
    if (holds.isEmpty()) {
        return {};
    }
    // A group box keeps its frame's margin around what it holds.
    const int margin = qobject_cast<QGroupBox*>(&container) ? 2 : 0;
    return Missing(QSize(holds.right() + 1 + margin, holds.bottom() + 1 + margin), room);
}

// The size of a page: the page control less its tab row and frame, as the style lays them
// out. A window not shown yet has not laid its pages out.
QSize PageSize(const QTabWidget& pages) {
    QStyleOptionTabWidgetFrame option;
    option.initFrom(&pages);
    option.lineWidth = pages.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &pages);
    option.shape = pages.tabBar()->shape();
    option.tabBarSize = pages.tabBar()->sizeHint().boundedTo(pages.size());
    return pages.style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, &pages).size();
}

// What the fit depends on: the fonts as the system resolves them, the style, the screen, and
// every control's text and place as drawn.
QByteArray Fingerprint(const QTabWidget& pages) {
    // Everything is gathered first and hashed once: start-up pays for this on every run.
    QByteArray data;
    data.reserve(32 * 1024);
    const auto add = [&data](QStringView text) {
        data.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        data.append("\x1F\0", 2);
    };
    const auto addNumbers = [&data](std::initializer_list<int> numbers) {
        for (const int n : numbers) {
            data.append(reinterpret_cast<const char*>(&n), sizeof n);
        }
    };
    add(QString::fromLatin1(qVersion()));
    add(pages.style()->name());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        add(QString::number(screen->logicalDotsPerInch()) + u' ' +
            QString::number(screen->devicePixelRatio()));
    }
    QList<QWidget*> widgets = pages.findChildren<QWidget*>();
    widgets.prepend(const_cast<QTabWidget*>(&pages));
    // Each font as asked for, and once as the system resolves it: most controls share one.
    std::vector<std::pair<QFont, QString>> fonts;
    for (const QWidget* w : widgets) {
        const QFont& asked = w->font();
        auto found = std::find_if(fonts.begin(), fonts.end(),
                                  [&asked](const auto& known) { return known.first == asked; });
        if (found == fonts.end()) {
            const QFontInfo font(asked);
            fonts.emplace_back(asked, asked.key() + u' ' + font.family() + u' ' +
                                          QString::number(font.pixelSize()));
            found = fonts.end() - 1;
        }
        addNumbers({static_cast<int>(found - fonts.begin())});
        add(QString::fromLatin1(w->metaObject()->className()));
        add(w->objectName());
        const QRect r = w->geometry();
        addNumbers({r.x(), r.y(), r.width(), r.height(), w->isHidden() ? 1 : 0});
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            add(button->text());
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            add(label->text());
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            add(group->title());
        }
    }
    for (int i = 0; i < pages.count(); ++i) {
        add(pages.tabText(i));
    }
    for (const auto& font : fonts) {
        add(font.second);
    }
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QSize FitPages(QTabWidget& pages) {
    const QSize page = PageSize(pages);
    QSize more = Missing(QSize(pages.tabBar()->sizeHint().width(), 0), pages.size());
    for (int i = 0; i < pages.count(); ++i) {
        more = more.expandedTo(Fit(*pages.widget(i), page));
    }
    if (more.width() > 0 || more.height() > 0) {
        pages.resize(pages.size() + more);
    }
    return more;
}

} // namespace

QSize MakeRoomForTexts(QTabWidget& pages) {
    // Measuring every text loads the glyphs of every page, also of those not shown yet. Where
    // the same fonts met the same texts before, the room they made then is made again without
    // measuring: each control that grew or moved, by name, and the growth.
    // A few are kept, for a user who starts copies kept in different folders.
    constexpr qsizetype MostKept = 4;
    const QString print = QString::fromLatin1(Fingerprint(pages));
    const QString key = QStringLiteral("textRoom/") + print;
    QList<QWidget*> widgets = pages.findChildren<QWidget*>();
    widgets.prepend(&pages);
    QSettings settings = UserSettings();
    const QStringList kept = settings.value(key).toStringList();
    if (kept.size() >= 2 && kept.front() == print) {
        for (qsizetype i = 2; i < kept.size(); ++i) {
            const QStringList place = kept[i].split(u' ');
            QWidget* w = place.front() == pages.objectName()
                             ? &pages
                             : pages.findChild<QWidget*>(place.front());
            if (w && place.size() == 5) {
                w->setGeometry(place[1].toInt(), place[2].toInt(), place[3].toInt(),
                               place[4].toInt());
            }
        }
        const QStringList more = kept[1].split(u' ');
        return more.size() == 2 ? QSize(more[0].toInt(), more[1].toInt()) : QSize();
    }
    std::vector<QRect> was;
    was.reserve(static_cast<size_t>(widgets.size()));
    for (const QWidget* w : widgets) {
        was.push_back(w->geometry());
    }
    const QSize more = FitPages(pages);
    QStringList room{print, QStringLiteral("%1 %2").arg(more.width()).arg(more.height())};
    bool named = true;
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        const QWidget* w = widgets[i];
        const QRect r = w->geometry();
        if (r == was[static_cast<size_t>(i)]) {
            continue;
        }
        // Only what can be found again by its name is kept.
        named = named && !w->objectName().isEmpty() && !w->objectName().contains(u' ') &&
                (w == &pages || pages.findChildren<QWidget*>(w->objectName()).size() == 1);
        room.append(QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(w->objectName())
                        .arg(r.x())
                        .arg(r.y())
                        .arg(r.width())
                        .arg(r.height()));
    }
    if (!named) {
        return more;
    }
    QStringList recent = settings.value(QStringLiteral("textRoom/recent")).toStringList();
    recent.removeAll(print);
    recent.prepend(print);
    while (recent.size() > MostKept) {
        settings.remove(QStringLiteral("textRoom/") + recent.takeLast());
    }
    settings.setValue(QStringLiteral("textRoom/recent"), recent);
    settings.setValue(key, room);
    return more;
}
