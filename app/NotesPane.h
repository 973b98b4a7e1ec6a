#pragma once

#include "core/Book.h"
#include "core/ClientNotes.h"

#include <QWidget>

#include <optional>

class BookLists;
class QCompleter;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStringListModel;
class QTimer;
class QToolButton;

// The selected client's tags, note and star, beside the table when the window is wide enough and
// in a dialog of its own (F4) otherwise. Tags complete from those in use; a note is kept as it is
// typed, a pause or leaving the field making it one step of the undo stack.
class NotesPane final : public QWidget {
    Q_OBJECT
public:
    NotesPane(BookLists& book, QWidget* parent);

    // Shows the client at a row (-1: none); what was typed for the one before is kept first.
    void ShowRow(int row);
    // What was typed and not yet kept, kept now (before the close, a switch of book).
    void Flush();
    // Whether the book takes edits, and why not.
    void SetEditable(const QString& whyNot);

    QLineEdit& TagsField() const { return *tags_; }
    QPlainTextEdit& NoteField() const { return *note_; }
    QToolButton& Star() const { return *star_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The client's tags and note from the book, unless the user is typing over them.
    void Refresh(bool force);
    void Keep();
    void FitTitle();
    // The book's row of the client shown, nothing when it is gone.
    std::optional<int> Row() const;
    void CompleteTag();
    void FillCompletion();

    BookLists& book_;
    QLabel* title_;
    QToolButton* star_;
    QLineEdit* tags_;
    QPlainTextEdit* note_;
    QCompleter* completer_;
    QStringListModel* tagsInUse_;
    QTimer* pause_;
    bool shown_ = false;
    core::Client client_;
    int row_ = -1;
    // Typed and not yet kept.
    bool dirty_ = false;
    bool filling_ = false;
    QString whyNot_;
};
