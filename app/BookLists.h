#pragma once

#include "app/BookFilter.h"
#include "app/BookStore.h"
#include "core/Book.h"
#include "core/ClientNotes.h"

#include <QObject>
#include <QUndoStack>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class ClientTable;
class ListBox;

// The client book as its table shows it, its two lists side by side (row i of the names beside
// row i of the IDs): the selection, the filter and the sort over them, and every edit as a step
// of the undo stack, done by the book's store (BookStore). This part learns of every change
// from the lists, so no caller has to say that the book changed.
class BookLists final : public QObject {
    Q_OBJECT
public:
    // How the table orders the clients: the book's own order, or a column's.
    struct Order {
        int column = -1;
        bool descending = false;
        bool operator==(const Order&) const = default;
    };

    explicit BookLists(ClientTable& table, QObject* parent = nullptr);

    // Where edits go: the book on this computer, from the start.
    void SetStore(BookStore& home);
    // A shared book takes the edits while it is on (nullptr: this computer's book again).
    void Share(BookStore* shared);

    // Edits, each one step of the undo stack.
    void Add(core::Client client);
    // Clients brought in at the end of the book, as one step, with their tags and notes where
    // the file had any (one a client, or none).
    void AddMany(core::Book clients, std::vector<core::ClientExtra> extras = {});
    // Removes each list's selected row; nothing without a selection.
    void RemoveSelected();
    // Moves the selected client a place up (-1) or down (+1); false, changing nothing, when it
    // cannot move that way. The client moved stays selected.
    bool MoveSelected(int step);
    // The client at a row changed to this; false when it is what it was.
    bool Edit(int row, core::Client now);
    // A client put back from the recycle bin where it stood.
    void PutBack(const BinItem& item);
    // Where the edits go now: this computer's book or the shared one.
    BookStore& Store() const { return *store_; }
    // Ctrl+Z and Ctrl+Shift+Z: each says what it undid or did again.
    void UndoLast();
    void RedoLast();
    // What Ctrl+Z and Ctrl+Shift+Z would do now, empty when nothing.
    QString UndoText() const;
    QString RedoText() const;

    // The whole book anew (another copy's changes merged in): the undo steps no longer fit it;
    // the selected client stays selected.
    void Replace(core::Book book);
    void Replace(core::Rows names, core::Rows ids);
    // The lists as they stand (a copy costs little: the rows share their bytes).
    std::pair<core::Rows, core::Rows> Lists() const;
    // Another book's first rows shown over the first rows of this one, the rest left as it
    // is; whole: they are the other book's every row, and the rest goes.
    void ShowFirst(const core::Book& first, bool whole);

    // Another's change of the book, as a shared book's server tells it: applied to both lists
    // as it is, with no undo step; the selection stays on its client.
    void FollowInsert(int row, const core::Client& client);
    void FollowTake(int row);
    void FollowMove(int from, int to);
    void FollowSet(int row, const core::Client& client);
    // The client at a row (a side the row is missing on reads empty).
    core::Client At(int row) const;

    void Select(int row);
    int Selected() const;
    // Selects the client a number of places further down (or up) among those shown; from no
    // selection, the first (or last) one.
    void SelectShown(int step);
    // Selects the first (at = 0) or last (at = -1) client shown.
    void SelectShownAt(int at);

    void SetFilter(const QString& text);
    const QString& FilterText() const { return filterText_; }
    bool Filtered() const { return filtered_; }
    // The clients shown in a column's order (names naturally, digits as numbers), or in the
    // book's own; the book itself keeps its order.
    void SetOrder(Order order);
    const Order& CurrentOrder() const { return order_; }
    bool Sorted() const { return order_.column >= 0; }
    // Why the clients cannot be moved now (a filter or a sort on), empty when they can.
    QString WhyNoMove() const;
    // Why the book's store takes no edits now; empty when it does.
    QString WhyNoEdit() const { return store_->WhyNoEdit(); }
    int ShownCount() const;
    int Count() const;
    // The clients' names and IDs, all of them or only those shown, in the book's order.
    core::Book Clients(bool shownOnly) const;
    // The first client whose ID is exactly this one.
    std::optional<int> RowOfId(const std::string& id) const;
    // The first row of this very client (name and ID).
    std::optional<int> RowOf(const core::Client& client) const;

    // Each client's tags and note.
    const core::ClientNotes& Notes() const { return notes_; }
    // The tags in use, most used first, worked out once until they change.
    const std::vector<std::pair<std::string, size_t>>& TagsInUse() const;
    // All of them anew (read from the files, another copy's merged in, the server's): no step.
    void SetNotes(core::ClientNotes notes);
    // Counts the times the notes were set anew or changed: what was read of them before is
    // stale once it moved on.
    uint64_t NotesGeneration() const { return notesGeneration_; }
    // Notes still being read: every edit of them waits for this first (nullptr: none).
    void NotesComing(std::function<void()> wait) { notesComing_ = std::move(wait); }
    // The tags and note of the client at a row; nullptr when it has none.
    const core::ClientExtra* ExtraAt(int row) const;
    // The client at a row given these tags and this note, as one step of the undo stack (a
    // note typed on is one step); false when they are what they were.
    bool EditExtra(int row, core::ClientExtra now);
    // A client's tags and note as its store made them: at once for this computer's book, as
    // the server tells it for a shared one.
    void FollowExtra(const core::Client& client, core::ClientExtra extra);

    // The favourites: this technician's own, never the book's.
    bool Favourite(int row) const;
    void SetFavourite(int row, bool on);
    void SetFavourites(std::vector<core::Client> favourites);
    const std::vector<core::Client>& Favourites() const { return favourites_; }
    // Whether favourites come first, whatever the order.
    void SetFavouritesFirst(bool on);
    bool FavouritesFirst() const { return favouritesFirst_; }

signals:
    // What an edit did, in one line for the user ("Removed Baker & Sons (204518) · Ctrl+Z
    // undoes").
    void Done(const QString& what);
    // The clients shown changed: how many of how many, and whether a filter is on.
    void ShownChanged(int shown, int total, bool filtered);
    void OrderChanged(const BookLists::Order& order);
    // A client's tags, note or star changed, or all of them did.
    void ExtrasChanged();
    void FavouritesChanged();

private:
    friend class BookEdit;
    void Reapply();
    // The rows shown, in the order shown; nullptr: all, in the book's order.
    void Arrange(const std::vector<int>* rows);
    void SortRows(std::vector<int>& rows) const;
    // The edit is done (and the line said) as a step of the undo stack.
    void Push(QUndoCommand* edit, const QString& said);
    // Each list's row selected; -1 leaves that list as it is.
    void SelectEach(int nameRow, int idRow);
    void Watch(ListBox* list, BookFilter::List which);
    // The notes read at start are here before anything edits them.
    void AwaitNotes();
    // A client renamed takes its tags, note and star along (where the new name has none);
    // whether it took any.
    bool Carry(const core::Client& from, const core::Client& to);
    // Whether any client of the book has tags.
    bool AnyTags() const;
    // The lists changed: the Tags column shows whether any client still has tags, soon.
    void TagsColumnDue();

    ClientTable& table_;
    ListBox* names_;
    ListBox* ids_;
    BookFilter filter_;
    QString filterText_;
    bool filtered_ = false;
    Order order_;
    std::vector<int> arranged_;
    QUndoStack undo_;
    bool reapplying_ = false;
    BookStore* home_ = nullptr;
    BookStore* store_ = nullptr;
    core::ClientNotes notes_;
    mutable std::optional<std::vector<std::pair<std::string, size_t>>> tagsInUse_;
    uint64_t notesGeneration_ = 0;
    bool tagsColumnDue_ = false;
    std::function<void()> notesComing_;
    std::vector<core::Client> favourites_;
    bool favouritesFirst_ = false;
};
