#pragma once

#include "app/BookFilter.h"

#include <QObject>
#include <QUndoStack>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class ListBox;

// Who edits the book when the lists are not the book themselves (a shared book on a server):
// edits go there, and come back to the lists once they are done.
class BookEditor {
public:
    using Clients = std::vector<std::pair<std::string, std::string>>;
    virtual ~BookEditor() = default;
    virtual void AddClients(Clients clients) = 0;
    virtual void RemoveRow(int row) = 0;
    virtual void MoveRow(int row, int step) = 0;
};

// The client book as its two list boxes hold it, row i of one belonging to row i of the other:
// the rules that keep them paired (add, remove, move, the mirrored selection, scrolling
// together), the filter over them, and the undo of every edit. The list boxes stay the only
// copy of the book; this part learns of every change from their models, so no caller has to
// say that the book changed.
class BookLists final : public QObject {
    Q_OBJECT
public:
    BookLists(ListBox* names, ListBox* ids, QObject* parent = nullptr);

    // Edits go to the editor from now on (nullptr: the lists are the book again).
    void SetEditor(BookEditor* editor) { editor_ = editor; }

    // Edits, each one step of the undo stack.
    void Add(std::string name, std::string id);
    // Clients brought in at the end of the book, as one step.
    void AddMany(std::vector<std::string> names, std::vector<std::string> ids);
    // Removes each list's selected row; nothing without a selection.
    void RemoveSelected();
    // Moves the selected client a place up (-1) or down (+1); false, changing nothing, when it
    // cannot move that way. Neither list has a selection afterwards.
    bool MoveSelected(int step);
    // Ctrl+Z and Ctrl+Shift+Z: each says what it undid or did again.
    void UndoLast();
    void RedoLast();

    // The whole book anew (another copy's changes merged in): the undo steps no longer fit it;
    // the selected client stays selected.
    void Replace(std::vector<std::string> names, std::vector<std::string> ids);

    // Selects in the other list the row the user selected in this one.
    void Mirror(const ListBox* from);
    void Select(int row);
    int Selected() const;
    // Selects the client a number of places further down (or up) among those shown; from no
    // selection, the first (or last) one.
    void SelectShown(int step);
    // Selects the first (at = 0) or last (at = -1) client shown.
    void SelectShownAt(int at);

    void SetFilter(const QString& text);
    const QString& FilterText() const { return filterText_; }
    bool Filtered() const;
    int ShownCount() const;
    int Count() const;
    // The clients' names and IDs, all of them or only those shown, in the book's order.
    std::pair<std::vector<std::string>, std::vector<std::string>> Clients(bool shownOnly) const;
    // The first client whose ID is exactly this one.
    std::optional<int> RowOfId(const std::string& id) const;

signals:
    // What an edit did, in one line for the user ("Removed Baker & Sons (204518) · Ctrl+Z
    // undoes").
    void Done(const QString& what);
    // The clients shown changed: how many of how many, and whether a filter is on.
    void ShownChanged(int shown, int total, bool filtered);

private:
    friend class BookEdit;
    void Reapply();
    void Watch(ListBox* list, BookFilter::List which);

    ListBox* names_;
    ListBox* ids_;
    BookFilter filter_;
    QString filterText_;
    QUndoStack undo_;
    bool reapplying_ = false;
    BookEditor* editor_ = nullptr;
};
