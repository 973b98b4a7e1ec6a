#pragma once

#include "core/Rows.h"

#include <QAbstractListModel>

#include <string>
#include <vector>

// Rows of a list box, each kept as the bytes it was read or typed as; decoded only for
// display, and only for the rows on screen. A filter may show some rows only: positions in the
// view then differ from positions in the rows, which are the book's.
class ByteListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const core::Rows& Rows() const { return rows_; }
    void SetRows(core::Rows rows);
    void Insert(int position, std::string_view row);
    std::string Take(int position);
    void Set(int position, std::string_view row);
    // The same rows, read from the bytes of the file they were just written to.
    void Rebase(const core::Rows::Bytes& bytes) { rows_.Rebase(bytes); }

    // Shows only these rows (ascending positions), or every row for none.
    void SetShown(const std::vector<int>* shown);
    bool Filtered() const { return filtered_; }
    // The row shown at a place of the view, and the place of a row; -1 when it is not shown.
    int RowAt(int viewPosition) const;
    int ViewPositionOf(int row) const;

signals:
    // The book's rows changed, shown or not: one row inserted at a position or taken from it,
    // or all replaced.
    void RowInserted(int position);
    void RowTaken(int position);
    void RowsReplaced();
    // One row's bytes changed in place.
    void RowChanged(int position);

private:
    core::Rows rows_;
    bool filtered_ = false;
    // Positions of the shown rows that this list has (another list of the book may be longer).
    std::vector<int> shown_;
};
