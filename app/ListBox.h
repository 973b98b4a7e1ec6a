#pragma once

#include "core/Rows.h"

#include <QObject>

#include <memory>
#include <string>
#include <string_view>

class BookTableModel;
class ClientTable;

// A list of text rows: a column of the client table (the names, or the IDs), or a list of its
// own shown nowhere (the batch file's staging list). Positions are always the rows' own (the
// book's), also while a filter or a sort shows the table's rows otherwise. A column shares the
// table's one selection: its selected position is the selected row, when the column has it.
class ListBox final : public QObject {
    Q_OBJECT
public:
    ListBox(ClientTable& table, int column, const QString& name);
    explicit ListBox(QObject* parent = nullptr, const QString& name = {});
    ~ListBox() override;

    int Count() const { return static_cast<int>(Items().size()); }
    const core::Rows& Items() const;
    // The row at a position; EListError "List index out of bounds (n)" outside the list.
    std::string Item(int position) const;

    void SetItems(core::Rows rows);
    void Add(std::string_view row);
    void Insert(int position, std::string_view row);
    // Takes the row out; leaves the list without a selection.
    void Delete(int position);
    // Changes made elsewhere (a shared book's server): the selection stays with its row, or
    // goes with it.
    void Take(int position);
    void Set(int position, std::string_view row);
    // The same rows, read from the bytes of the file they were just written to.
    void Rebase(const core::Rows::Bytes& bytes);
    // Takes the row out and inserts it at another position; leaves the list without a
    // selection.
    void Move(int from, int to);
    void Clear();

    // Selected position, -1 without a selection.
    int ItemIndex() const;
    // Selects the row; without a selection when it is outside the list or not shown.
    void SetItemIndex(int position);

signals:
    // The list's rows changed, shown or not: one row inserted at a position or taken from it,
    // one changed in place, or all replaced.
    void RowInserted(int position);
    void RowTaken(int position);
    void RowChanged(int position);
    void RowsReplaced();

private:
    // EListError "List index out of bounds (n)" outside the list.
    void Check(int position) const;
    void Watch();
    template <class Change> void FromCode(Change&& change);

    std::unique_ptr<BookTableModel> own_;
    BookTableModel& model_;
    ClientTable* table_ = nullptr;
    int column_ = 0;
    int ownIndex_ = -1;
};
