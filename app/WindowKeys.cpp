#include "app/WindowKeys.h"

#include "app/BookLists.h"
#include "app/ClientConnection.h"
#include "app/ClientTable.h"
#include "app/FindBar.h"
#include "app/ListBox.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "app/TypedText.h"
#include "ui_Unit1.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <functional>

WindowKeys::WindowKeys(QWidget& form, Ui::TForm1& ui, FindBar& find, BookLists& book,
                       ClientConnection& connection)
    : QObject(&form), ui_(ui), find_(find), book_(book), connection_(connection) {
    ui.BookTable->installEventFilter(this);
    find.TakeTypingFrom(ui.BookTable);
    // Esc clears the filter wherever the focus is on the page.
    for (QWidget* button : {ui.Button2, ui.Button3, ui.Button4, ui.Button5}) {
        button->installEventFilter(this);
    }
    const auto shortcut = [&form](const QKeySequence& keys, const std::function<void()>& action) {
        auto* s = new QShortcut(keys, &form);
        connect(s, &QShortcut::activated, &form, [action] { Guarded(action); });
    };
    shortcut(QKeySequence::Find, [&ui, &find] {
        ui.PageControl1->setCurrentWidget(ui.TabSheet1);
        find.Focus();
    });
    shortcut(QKeySequence::New, [&ui] {
        ui.PageControl1->setCurrentWidget(ui.TabSheet2);
        ui.Edit1->setFocus(Qt::ShortcutFocusReason);
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_I), [this] { emit ImportPressed(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_E), [this] { emit ExportPressed(); });
    shortcut(QKeySequence::Undo, [&book] { book.UndoLast(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [&book] { book.RedoLast(); });
    // On the Add page Enter in either field is OK, and focus entering the ID field selects its
    // text, so typing replaces it.
    connect(ui.Edit1, &QLineEdit::returnPressed, this, &WindowKeys::AddPressed);
    ui.NumEdit1->installEventFilter(this);
    // The filter's keys steer the selection among the clients shown.
    connect(&find, &FindBar::Changed, &book, &BookLists::SetFilter);
    connect(&find, &FindBar::Enter, this, [this] { Guarded([this] { EnterPress(); }); });
    connect(&find, &FindBar::Step, &book, &BookLists::SelectShown);
    connect(&find, &FindBar::Page, &book, [&book, table = ui.BookTable](int pages) {
        book.SelectShown(pages * table->PageRows());
    });
    connect(&find, &FindBar::Edge, &book,
            [&book](bool last) { book.SelectShownAt(last ? -1 : 0); });
    // Typing filters at once.
    ui.FilterEdit->setFocus(Qt::OtherFocusReason);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
    // Focus entering the ID field, by click or Tab, selects its text once the click is done.
    if (watched == ui_.NumEdit1) {
        if (event->type() == QEvent::FocusIn) {
            QTimer::singleShot(0, ui_.NumEdit1, [this] { ui_.NumEdit1->selectAll(); });
        }
        // The digits-only field lets no Enter through to its line edit: OK is pressed here.
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit AddPressed();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    // Keys a cell's editor lets through are the editor's: Enter ends the edit, not a connect.
    if (watched == ui_.BookTable && ui_.BookTable->Editing()) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ui_.BookTable && key->matches(QKeySequence::Copy)) {
        emit CopyIdPressed();
        return true;
    }
    // The client list's moves, from the table and the buttons below them.
    if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier &&
        (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        Guarded([&] { MoveKey(key->key() == Qt::Key_Up ? *ui_.Button4 : *ui_.Button5); });
        return true;
    }
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain) {
        return QObject::eventFilter(watched, event);
    }
    if (key->key() == Qt::Key_Escape) {
        find_.Clear();
        return true;
    }
    if (qobject_cast<QPushButton*>(watched)) {
        return QObject::eventFilter(watched, event);
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Guarded([this] { EnterPress(); });
        return true;
    case Qt::Key_Delete:
        Guarded([this] { DeletePress(); });
        return true;
    case Qt::Key_F2:
        emit EditPressed();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

// Alt+Up and Alt+Down press the move buttons; a move the book does not take now is said, as
// the button's tool tip says it.
void WindowKeys::MoveKey(QPushButton& button) {
    if (ui_.PageControl1->currentWidget() != ui_.TabSheet1) {
        return;
    }
    if (button.isEnabled()) {
        button.click();
    } else {
        ShowMessage(StoredText(button.toolTip()));
    }
}

// The selected client; for a filter of digits alone, the client with exactly that ID, or that
// ID itself after the user agrees (never another client that merely holds the digits); for a
// filter with letters, the only client shown.
void WindowKeys::EnterPress() {
    if (book_.Selected() < 0 && book_.Filtered()) {
        const QString filter = find_.Text().trimmed();
        if (AllDigits(filter)) {
            if (filter.size() > ui_.NumEdit1->maxLength()) {
                ShowMessage("An ID has at most " + std::to_string(ui_.NumEdit1->maxLength()) +
                            " digits");
                return;
            }
            const std::string id = StoredText(filter);
            const std::optional<int> known = book_.RowOfId(id);
            if (!known) {
                if (AskYesNo("Connect to ID " + id + "? It is not in your book.")) {
                    connection_.Connect(id, {});
                }
                return;
            }
            book_.Select(*known);
        } else if (book_.ShownCount() == 1) {
            book_.SelectShownAt(0);
        }
    }
    emit ConnectPressed();
}

void WindowKeys::DeletePress() {
    const ListBox& names = ui_.BookTable->Names();
    const ListBox& ids = ui_.BookTable->Ids();
    const int row = names.ItemIndex();
    if (row < 0) {
        return;
    }
    const int idRow = ids.ItemIndex();
    const std::string id = idRow >= 0 ? ids.Item(idRow) : std::string();
    // A book that asks its own question (a shared one: for the whole team) is asked once.
    const bool asksItself = !book_.Store().RemovalQuestion({names.Item(row), id}).isEmpty();
    if (asksItself || AskYesNo("Remove " + names.Item(row) + " (" + id + ") from your book?")) {
        emit RemovePressed();
    }
}
