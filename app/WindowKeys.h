#pragma once

#include <QObject>

namespace Ui {
class TForm1;
}
class BookLists;
class ClientConnection;
class FindBar;
class TForm1;

// The keys of the window: those that find a client and act on it wherever the focus is on the
// Client List page (Enter connects, Delete removes, Esc clears the filter, typing filters),
// Ctrl+F, Ctrl+N, undo and redo, and Enter on the Add page.
class WindowKeys final : public QObject {
public:
    WindowKeys(TForm1& form, Ui::TForm1& ui, FindBar& find, BookLists& book,
               ClientConnection& connection);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enter in the filter or a list: the selected client; for a filter of digits alone, the
    // client with exactly that ID, or that ID itself after the user agrees; for a filter with
    // letters, the only client shown.
    void EnterPress();
    // Delete in a list: the selected client, after the user agrees.
    void DeletePress();

    TForm1& form_;
    Ui::TForm1& ui_;
    FindBar& find_;
    BookLists& book_;
    ClientConnection& connection_;
};
