#pragma once

#include "core/Book.h"

#include <QObject>

#include <vector>

class BookLists;
class FindBar;
class QToolButton;
class QWidget;

// This technician's favourites and the clients lately connected to: kept in the user's own
// settings, never in the book, so a shared book's team sees nobody's but their own. The last
// ten are one key away (Ctrl+1 … Ctrl+9, Ctrl+0) and in the Recent button's list.
class Favourites final : public QObject {
    Q_OBJECT
public:
    static constexpr size_t MaxRecent = 10;

    Favourites(QWidget& window, BookLists& book, FindBar& find, QToolButton& recent);

    // The favourites, the recent list and "Favourites first" from the user's settings.
    void Load();
    // A client connected to: first in the recent list.
    void Connected(const core::Client& client);
    const std::vector<core::Client>& Recent() const { return recent_; }
    // Selects the nth client of the recent list (from 1) and shows it, clearing a filter that
    // hides it; false, said, when there is none or it is no longer in the book.
    bool SelectRecent(size_t nth);
    // The selected client's star on or off.
    void ToggleSelected();

signals:
    // For the window's status line.
    void Said(const QString& what);

private:
    void Save() const;
    void FillMenu();

    BookLists& book_;
    FindBar& find_;
    QToolButton& recentButton_;
    std::vector<core::Client> recent_;
};
