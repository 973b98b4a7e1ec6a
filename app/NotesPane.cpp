#include "app/NotesPane.h"

#include "app/BookLists.h"
#include "app/QtText.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QStringListModel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A pause this long in typing keeps the note.
constexpr int KeepAfterMs = 800;

} // namespace

NotesPane::NotesPane(BookLists& book, QWidget* parent)
    : QWidget(parent), book_(book), title_(new QLabel(this)), star_(new QToolButton(this)),
      tags_(new QLineEdit(this)), note_(new QPlainTextEdit(this)), completer_(new QCompleter(this)),
      tagsInUse_(new QStringListModel(this)), pause_(new QTimer(this)) {
    setObjectName(QStringLiteral("NotesPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* top = new QHBoxLayout();
    top->setSpacing(4);
    title_->setTextFormat(Qt::PlainText);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    top->addWidget(title_, 1);
    star_->setCheckable(true);
    star_->setAutoRaise(true);
    star_->setText(QStringLiteral("\u2606"));
    star_->setAccessibleName(QStringLiteral("Favourite"));
    star_->setToolTip(QStringLiteral("Favourite (Ctrl+D): yours alone, never the book's"));
    top->addWidget(star_);
    layout->addLayout(top);
    tags_->setObjectName(QStringLiteral("TagsEdit"));
    tags_->setPlaceholderText(QStringLiteral("Tags, separated by commas"));
    tags_->setAccessibleName(QStringLiteral("Tags"));
    tags_->setMaxLength(static_cast<int>(core::MaxTags * (core::MaxTagBytes + 2)));
    layout->addWidget(tags_);
    note_->setObjectName(QStringLiteral("NoteEdit"));
    note_->setPlaceholderText(QStringLiteral("Note: what to know next time"));
    note_->setAccessibleName(QStringLiteral("Note"));
    note_->setTabChangesFocus(true);
    layout->addWidget(note_, 1);

    completer_->setModel(tagsInUse_);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setWidget(tags_);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& tag) {
                // The tag being typed (after the last comma) becomes the one chosen.
                QString text = tags_->text();
                const qsizetype comma = text.lastIndexOf(u',');
                text = text.left(comma + 1) + (comma >= 0 ? QStringLiteral(" ") : QString()) + tag +
                       QStringLiteral(", ");
                tags_->setText(text);
            });
    connect(tags_, &QLineEdit::textEdited, this, [this] {
        dirty_ = true;
        CompleteTag();
    });
    connect(tags_, &QLineEdit::editingFinished, this, [this] {
        if (!completer_->popup()->isVisible()) {
            Keep();
        }
    });
    pause_->setSingleShot(true);
    pause_->setInterval(KeepAfterMs);
    connect(pause_, &QTimer::timeout, this, &NotesPane::Keep);
    connect(note_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_) {
            dirty_ = true;
            pause_->start();
        }
    });
    note_->installEventFilter(this);
    tags_->installEventFilter(this);
    connect(star_, &QToolButton::clicked, this, [this](bool on) {
        if (const std::optional<int> row = Row()) {
            book_.SetFavourite(*row, on);
        }
    });
    connect(&book_, &BookLists::ExtrasChanged, this, [this] { Refresh(false); });
    connect(&book_, &BookLists::FavouritesChanged, this, [this] { Refresh(false); });
    ShowRow(-1);
}

bool NotesPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == note_ && event->type() == QEvent::FocusOut) {
        Keep();
    }
    // The tags in use are offered from when the field is entered: worked out then, not at
    // every change of the book.
    if (watched == tags_ && event->type() == QEvent::FocusIn) {
        FillCompletion();
    }
    return QWidget::eventFilter(watched, event);
}

void NotesPane::ShowRow(int row) {
    Keep();
    shown_ = row >= 0;
    client_ = shown_ ? book_.At(row) : core::Client();
    row_ = row;
    Refresh(true);
}

std::optional<int> NotesPane::Row() const {
    // Where it was selected, unless the book has moved it since: a search of the whole book
    // only then, not at every step of the selection.
    if (row_ >= 0 && row_ < book_.Count() && book_.At(row_) == client_) {
        return row_;
    }
    return book_.RowOf(client_);
}

void NotesPane::SetEditable(const QString& whyNot) {
    whyNot_ = whyNot;
    Refresh(false);
}

void NotesPane::Refresh(bool force) {
    const bool editable = shown_ && whyNot_.isEmpty();
    for (QWidget* field : {static_cast<QWidget*>(tags_), static_cast<QWidget*>(note_)}) {
        field->setEnabled(shown_);
        field->setToolTip(shown_ && !whyNot_.isEmpty() ? whyNot_ : QString());
    }
    tags_->setReadOnly(!editable);
    note_->setReadOnly(!editable);
    star_->setEnabled(shown_);
    title_->setToolTip(shown_ ? DisplayText(client_.name, 2000) + QStringLiteral(" (") +
                                    DisplayText(client_.id, 20) + u')'
                              : QString());
    FitTitle();
    const std::optional<int> row = shown_ ? Row() : std::nullopt;
    const bool favourite = row && book_.Favourite(*row);
    star_->setChecked(favourite);
    star_->setText(favourite ? QStringLiteral("\u2605") : QStringLiteral("\u2606"));
    if (dirty_ && !force) {
        // The user's typing is not thrown away by somebody else's change.
        return;
    }
    const core::ClientExtra* extra = row ? book_.ExtraAt(*row) : nullptr;
    filling_ = true;
    const QString tags = extra ? QString::fromStdString(core::JoinTags(extra->tags)) : QString();
    if (tags_->text() != tags) {
        tags_->setText(tags);
    }
    const QString note = extra ? QString::fromStdString(extra->note) : QString();
    if (note_->toPlainText() != note) {
        note_->setPlainText(note);
    }
    filling_ = false;
    dirty_ = false;
}

void NotesPane::FitTitle() {
    // The client's name shortened in its middle to the room the pane has now.
    const QString whole = title_->toolTip();
    title_->setText(whole.isEmpty()
                        ? QStringLiteral("No client selected")
                        : title_->fontMetrics().elidedText(
                              whole, Qt::ElideMiddle, std::max(40, width() - star_->width() - 8)));
}

void NotesPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitTitle();
}

void NotesPane::Keep() {
    pause_->stop();
    if (!dirty_ || !shown_ || !whyNot_.isEmpty()) {
        return;
    }
    dirty_ = false;
    const std::optional<int> row = Row();
    if (!row) {
        return;
    }
    core::ClientExtra extra;
    extra.tags = core::CleanTags(tags_->text().toStdString());
    extra.note = core::CleanNote(note_->toPlainText().toStdString());
    // Shown as cleaned ("key account" reads "key-account"), not read back: a shared book shows
    // them once its server has them.
    const QString tags = QString::fromStdString(core::JoinTags(extra.tags));
    book_.EditExtra(*row, std::move(extra));
    if (tags_->text() != tags && !tags_->hasFocus()) {
        filling_ = true;
        tags_->setText(tags);
        filling_ = false;
    }
}

void NotesPane::Flush() {
    Keep();
}

void NotesPane::CompleteTag() {
    const QString text = tags_->text();
    const QString typed = text.mid(text.lastIndexOf(u',') + 1).trimmed();
    if (typed.isEmpty()) {
        completer_->popup()->hide();
        return;
    }
    completer_->setCompletionPrefix(typed);
    if (completer_->completionCount() == 0) {
        completer_->popup()->hide();
        return;
    }
    completer_->complete();
}

void NotesPane::FillCompletion() {
    QStringList tags;
    for (const auto& [tag, count] : book_.TagsInUse()) {
        tags.push_back(QString::fromStdString(tag));
    }
    tagsInUse_->setStringList(tags);
}
