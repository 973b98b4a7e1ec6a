#include "app/TextRoom.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
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
        const QSize more = MissingForText(*child).expandedTo(Fit(*child, child->size()));
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

} // namespace

QSize MakeRoomForTexts(QTabWidget& pages) {
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
