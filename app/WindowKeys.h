#pragma once

#include <QObject>

class QPushButton;

namespace Ui {
class TForm1;
}
class BookLists;
class ClientConnection;
class FindBar;
class QWidget;

// The keys of the window: those that find a client and act on it wherever the focus is on the
// Client List page (Enter connects, Delete removes, Esc clears the filter, typing filters), those
// of the client table (F2 edits, Ctrl+C copies the ID), Ctrl+F, Ctrl+N, Ctrl+I and Ctrl+E
// (import and export), undo and redo, and Enter on the Add page.
// What a key asks of the window's buttons is a signal: the window runs the button's handler.
class WindowKeys final : public QObject {
    Q_OBJECT
public:
    WindowKeys(QWidget& window, Ui::TForm1& ui, FindBar& find, BookLists& book,
               ClientConnection& connection);

signals:
    // Enter on the Add page (OK), Enter on the client list (Connect), Delete agreed (Remove).
    void AddPressed();
    void ConnectPressed();
    void RemovePressed();
    // F2 and Ctrl+C on the client table; Ctrl+I and Ctrl+E anywhere.
    void EditPressed();
    void CopyIdPressed();
    void ImportPressed();
    void ExportPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enter in the filter or a list: the selected client; for a filter of digits alone, the
    // client with exactly that ID, or that ID itself after the user agrees; for a filter with
    // letters, the only client shown.
    void EnterPress();
    // Delete in a list: the selected client, after the user agrees.
    void DeletePress();
    // Alt+Up or Alt+Down: the move button pressed, or why it cannot be.
    void MoveKey(QPushButton& button);

    Ui::TForm1& ui_;
    FindBar& find_;
    BookLists& book_;
    ClientConnection& connection_;
};
