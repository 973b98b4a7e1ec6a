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
// What the Tags cell starts with when the filter found a word only in the client's note.
inline QString NoteFindMark() {
    return QStringLiteral("\u270E in note");
}

class BookTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Names = 0, Ids = 1, Tags = 2, Changed = 3 };
    // Every column is always there; the view hides those a book does not use (no tags, no
    // server to say who changed what).
    static constexpr int Columns = 4;

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

    // The "Changed" column: who changed each book row last and when, as this tells (nullptr:
    // nobody says).
    void ShowChanged(std::function<QString(int row)> changed);
    bool ShowsChanged() const { return static_cast<bool>(changed_); }
    // What a book row shows of its client beyond the name and ID, and its note for the tool tip.
    struct Extra {
        // Tags, or where the filter found a word in the note only, that and the tags.
        std::function<QString(int row)> tags;
        std::function<QString(int row)> note;
        // Whether the client is a favourite (a star before its name).
        std::function<bool(int row)> favourite;
    };
    void ShowExtra(Extra extra) { extra_ = std::move(extra); }
    // The cells of these book rows changed (their tags, note or star): drawn anew.
    void ExtraChanged();

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
    Extra extra_;
    bool arranged_ = false;
    // The book's rows shown, place by place, while arranged.
    std::vector<int> shown_;
    // The place of each book row while arranged, -1 for one not shown.
    mutable std::vector<int> placeOf_;
};
