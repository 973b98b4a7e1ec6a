#pragma once

#include "app/BookTableModel.h"

#include <QListView>

class QHeaderView;
class ListBox;

// The client book on screen: one view of one table, Client and ID, with one selection and one
// scroll bar. A row is one item drawn as two cells under a header, so a name can never stand
// beside another client's ID. Long names are shortened in their middle and shown whole in the
// row's tool tip.
//
// Rows are laid out a screen at a time and the rest in the background, whatever the book's size:
// a filter's keystroke over a million clients costs what the rows on screen cost.
//
// Its two columns are the window's lists ListBox1 (names) and ListBox2 (IDs), children of the
// table, through which the rest of the window reads and edits the book. Changes made through
// them are changes from code: only the user's own selection changes are announced.
class ClientTable final : public QListView {
    Q_OBJECT
public:
    explicit ClientTable(QWidget* parent = nullptr);
    ~ClientTable() override;

    BookTableModel& Model() { return model_; }
    const BookTableModel& Model() const { return model_; }
    ListBox& Names() const { return *names_; }
    ListBox& Ids() const { return *ids_; }
    QHeaderView& Header() const { return *header_; }

    // The book's row selected, -1 without a selection.
    int SelectedRow() const;
    // Selects the book's row and shows it; no selection when it is not shown.
    void SelectRow(int row);
    void ClearSelection();
    // The column of who changed each client last and when, from this (nullptr: none).
    void ShowChanged(std::function<QString(int row)> changed);
    // The Tags column, shown while any client has tags.
    void ShowTags(bool on);
    bool ShowsTags() const;
    // The ID column's width; the names take the rest.
    void SetIdWidth(int width);
    int ColumnWidth(int column) const;
    // Where a cell is drawn in the viewport (a place of the view, a column), and which cell is
    // at a point of it (column -1: none).
    QRect CellRect(int place, int column) const;
    std::pair<int, int> CellAt(QPoint at) const;
    // Rows the viewport shows at once.
    int PageRows() const;
    // Opens the editor on a book's row and column (0 the name, 1 the ID).
    void EditRow(int row, int column);
    // Whether a click on the selected row opens its editor (not while the book takes no edit).
    void SetEditable(bool editable);
    // The header's arrow on the column the clients are sorted by; none for the book's order.
    void ShowOrder(int column, bool descending);
    // Whether a cell's editor is open.
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    // The longest ID the editor takes.
    void SetMaxIdLength(int digits);

    // Runs a change made by code: it announces no selection change.
    template <class Change> void FromCode(Change&& change) {
        ++codeChanges_;
        try {
            change();
        } catch (...) {
            --codeChanges_;
            throw;
        }
        --codeChanges_;
    }

signals:
    void UserSelectionChanged();
    // A click on a tag in the Tags column.
    void TagClicked(const QString& tag);
    // A click on a column's header.
    void HeaderClicked(int column);

protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void updateGeometries() override;
    bool viewportEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class ClientCells;
    BookTableModel model_;
    QHeaderView* header_;
    ListBox* names_;
    ListBox* ids_;
    int codeChanges_ = 0;
    int maxIdLength_ = 6;
    // The column the editor opens on.
    int editColumn_ = 0;
};
