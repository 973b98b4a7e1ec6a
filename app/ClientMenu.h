#pragma once

#include <QObject>

#include <functional>

class BookLists;
class BookTransfer;
class ClientTable;

// The client table's context menu: what can be done to the client under the pointer and to the
// book, each entry with the key that does the same without the menu.
class ClientMenu final : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> connect;
        std::function<void()> edit;
        std::function<void()> remove;
        std::function<void()> copyId;
        std::function<void()> recentlyRemoved;
        std::function<void()> history;
        std::function<void()> exportHistory;
        std::function<void()> notes;
        std::function<void()> favourite;
        std::function<void()> sessions;
    };

    ClientMenu(ClientTable& table, BookLists& book, BookTransfer& transfer, Actions actions);

    // The menu at a place of the table's viewport.
    void Open(QPoint at);

private:
    ClientTable& table_;
    BookLists& book_;
    BookTransfer& transfer_;
    Actions actions_;
};
