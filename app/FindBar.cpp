#include "app/FindBar.h"

#include "app/QtText.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStringListModel>
#include <QToolButton>

#include <algorithm>

FindBar::FindBar(QLineEdit* field, QLabel* count, QObject* parent)
    : QObject(parent), field_(field), count_(count), completer_(new QCompleter(this)),
      tags_(new QStringListModel(this)) {
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textChanged, this, &FindBar::Changed);
    completer_->setModel(tags_);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setWidget(field_);
    connect(field_, &QLineEdit::textEdited, this, &FindBar::CompleteTag);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& tag) {
                // The word being typed becomes the tag chosen.
                const QString text = field_->text();
                const qsizetype space = text.lastIndexOf(u' ');
                field_->setText(text.left(space + 1) + tag);
            });
    // The field's clear button says what it does, to a screen reader and as a tool tip.
    for (QToolButton* button : field_->findChildren<QToolButton*>()) {
        button->setAccessibleName(QStringLiteral("Clear the filter"));
        button->setToolTip(QStringLiteral("Clear the filter (Esc)"));
    }
}

QString FindBar::Text() const {
    return field_->text();
}

void FindBar::SetText(const QString& text) {
    field_->setText(text);
}

void FindBar::Clear() {
    field_->clear();
}

void FindBar::CompleteTag() {
    const QString text = field_->text();
    QString word = text.mid(text.lastIndexOf(u' ') + 1);
    if (word.startsWith(u'#')) {
        word.remove(0, 1);
    }
    if (word.isEmpty() || !tagSource_) {
        completer_->popup()->hide();
        return;
    }
    QStringList offered;
    for (const QString& tag : tagSource_()) {
        offered.push_back(u'#' + tag);
    }
    if (offered != tags_->stringList()) {
        tags_->setStringList(offered);
    }
    completer_->setCompletionPrefix(u'#' + word);
    if (completer_->completionCount() == 0) {
        completer_->popup()->hide();
        return;
    }
    completer_->complete();
}

void FindBar::Focus() {
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void FindBar::SetCount(int shown, int total, bool filtered) {
    const QLocale locale;
    count_->setText(
        filtered ? QStringLiteral("%1 of %2").arg(locale.toString(shown), locale.toString(total))
                 : ClientCount(static_cast<qulonglong>(std::max(total, 0))));
}

void FindBar::TakeTypingFrom(QWidget* widget) {
    widget->installEventFilter(this);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    // Undo and redo in the filter are the book's, not the field's: the window's shortcuts take
    // them.
    if (watched == field_ && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            key->keyCombination() ==
                QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)) {
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool plain =
        (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier;
    if (watched != field_) {
        // A letter typed in a list filters instead of jumping to a row by its first letter.
        const QString text = key->text();
        if (plain && !text.isEmpty() && text.front().isPrint()) {
            field_->setFocus(Qt::OtherFocusReason);
            field_->insert(text);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
    if (!plain || (key->modifiers() & Qt::ShiftModifier)) {
        return QObject::eventFilter(watched, event);
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit Enter();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up:
        emit Step(key->key() == Qt::Key_Down ? 1 : -1);
        return true;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        emit Page(key->key() == Qt::Key_PageDown ? 1 : -1);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        emit Edge(key->key() == Qt::Key_End);
        return true;
    case Qt::Key_Escape:
        Clear();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
