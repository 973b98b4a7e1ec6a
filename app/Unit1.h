#pragma once

#include "core/ProgramFiles.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TForm1;
}
class BookLists;
class BookTransfer;
class ClientConnection;
class PasswordKeeper;
class EditingControls;
class Favourites;
class FindBar;
class LocalBook;
class NotesPane;
class QCloseEvent;
class QLabel;
class SettingsBinder;
class SharedBookPage;
class TIdIPWatch;
class WindowKeys;
class WindowPlace;

// The main window: the client book, the connection settings and the hidden controls that carry
// state between the handlers. The controls are the only copy of that state while it runs; the
// files and the viewer's command line are the core's.
//
// This class is the window's table of contents: the handlers the window has always had, each a
// short delegation to one of its parts:
//   BookLists       the book's table (ClientTable, its columns the lists ListBox1 and
//                   ListBox2): selection, filter, sort, edits and their undo
//   FindBar         the filter field, the count and their keys
//   SettingsBinder  the settings file's keys and their controls
//   WindowPlace     minimum size, the growing layout, the remembered place
//   LocalBook       the book's files: read, merged with another copy's commits, committed
//                   (BookWatch: another copy of the program on the same book)
//   BookTransfer    import (read, previewed, added as one step) and export
//   PasswordKeeper  the password in the file or in the system keyring
//   SharedBookPage  the book shared by a team on a server (SharedBook: its rows and edits)
//   ClientConnection  Connect To Client: the batch file's line, or the system's viewer
//                   (ViewerSessions: each viewer started, watched, its end told)
//
// Names: the layout's controls and the handlers keep the names the window has always had
// (ListBox1, Button2Click); our own methods are PascalCase; Qt's overrides keep Qt's names.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Window created: fills the controls from the list files and the settings file.
    void FormCreate();
    // Window closing: writes the lists and the settings back and removes the batch file (the
    // keyring has had its part first).
    void FormClose();
    // A connect or the close waits for the keyring (the password on its way in or out).
    bool KeyringWait() const;

    // Add, connect, remove, move up, move down.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();

    // The switches.
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();

    // Files brought in: read, then previewed (the command line's --import, a drop).
    void ImportFiles(const QStringList& paths);
    BookTransfer& Transfer() { return *transfer_; }
    // The command line's shared book (postgresql://user@server:port/database?sslmode=...):
    // connected as if typed on its page; false, said, when it cannot be.
    bool ShareBook(const QString& url);

    // "Recently removed": the book's recycle bin, to put a client back from.
    void ShowRecentlyRemoved();
    // The selected client's changes, as a shared book's server recorded them.
    void ShowHistory();
    // Every change of a shared book as CSV: the file asked for, or this one.
    void AskExportHistory();
    void ExportHistory(const QString& path);
    // The selected client's tags and note in a dialog of their own (F4): the pane beside the
    // table needs a wider window.
    void ShowNotes();
    // "Session log…": the connections made, for the selected client or all.
    void ShowSessionLog();
    NotesPane& Notes() { return *notes_; }
    Favourites& Favourite() { return *favourites_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConnectHandlers();
    void Say(const QString& what);
    void FitStatus(QLabel& line);
    // The selected client's editor (F2, the context menu), or why the book takes no edit.
    void EditSelected();
    // What the user typed into a cell, checked, then one step of the undo stack.
    void EditCell(int row, int column, const QString& text);
    void CopySelectedId();
    // The table's order: a click on a header sorts by it, then the other way, then shows the
    // book's own order again. The last one chosen is the user's for the next start.
    void CycleOrder(int column);
    // A first run's line on the Settings page: what a repeater address and port are. The window
    // grows by its height, so the page's controls keep their places.
    void ShowFirstRunLine();
    // Which edits the book takes now: a filter stops the moves, a shared book that cannot be
    // changed stops them all; each disabled control's tooltip says why.
    void UpdateEditing();

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<TIdIPWatch> IdIPWatch1;
    std::unique_ptr<SettingsBinder> settings_;
    std::unique_ptr<WindowPlace> place_;
    BookLists* book_ = nullptr;
    BookTransfer* transfer_ = nullptr;
    PasswordKeeper* keeper_ = nullptr;
    FindBar* find_ = nullptr;
    LocalBook* local_ = nullptr;
    SharedBookPage* shared_ = nullptr;
    ClientConnection* connection_ = nullptr;
    WindowKeys* keys_ = nullptr;
    NotesPane* notes_ = nullptr;
    Favourites* favourites_ = nullptr;
    std::unique_ptr<EditingControls> editing_;
    bool keyringWait_ = false;
    bool askingKeyring_ = false;
    bool keyringSettled_ = false;
};
