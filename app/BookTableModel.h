#pragma once

#include "core/Rows.h"

#include <QAbstractTableModel>

#include <functional>

#include <string>
#include <string_view>
#include <vector>

// The client book as one table: column 0 the names, column 1 the IDs, row i of one beside row
// i of the other. Each column is kept as the bytes it was read or typed as and decoded only for
// the rows on screen.
//
// The columns are edited one at a time (the two lists of the book may even differ in length);
// the table's rows change only when the longer column's length does, so an edit of both
// columns at a row inserts or removes that row once and never shows a name beside another
// client's ID.
//
// A filter or a sort arranges the rows: the view then shows some of the book's rows, in an
// order of their own. Positions in the columns are always the book's.
class BookTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Names = 0, Ids = 1, Changed = 2 };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A cell edited in place changes nothing here: it is asked for (EditRequested), and the
    // book's store makes the change, as one step of the undo stack.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    const core::Rows& Rows(int column) const { return columns_[column]; }
    // The book's rows: the longer column's.
    int Count() const;
    void SetRows(int column, core::Rows rows);
    void Insert(int column, int position, std::string_view row);
    std::string Take(int column, int position);
    void Set(int column, int position, std::string_view row);
    // The same rows, read from the bytes of the file they were just written to.
    void Rebase(int column, const core::Rows::Bytes& bytes) { columns_[column].Rebase(bytes); }

    // A third column, "Changed": who changed each book row last and when, as this tells
    // (nullptr: none, the table's two columns).
    void ShowChanged(std::function<QString(int row)> changed);
    bool ShowsChanged() const { return static_cast<bool>(changed_); }

    // Shows only these rows, in this order, or every row in the book's order for none.
    void SetShown(const std::vector<int>* shown);
    bool Arranged() const { return arranged_; }
    // The book's row shown at a place of the view, and the place of a row; -1 when it is not
    // shown.
    int RowAt(int place) const;
    int PlaceOf(int row) const;

signals:
    // A column's rows changed, shown or not: one row inserted at a position or taken from it,
    // one changed in place, or all replaced.
    void RowInserted(int column, int position);
    void RowTaken(int column, int position);
    void RowChanged(int column, int position);
    void RowsReplaced(int column);
    // The user typed this into a cell of a book's row.
    void EditRequested(int row, int column, const QString& text);

private:
    // A column's cells from a book row on show other rows than before.
    void CellsMoved(int column, int row);

    core::Rows columns_[2];
    std::function<QString(int)> changed_;
    bool arranged_ = false;
    // The book's rows shown, place by place, while arranged.
    std::vector<int> shown_;
    // The place of each book row while arranged, -1 for one not shown.
    mutable std::vector<int> placeOf_;
};
