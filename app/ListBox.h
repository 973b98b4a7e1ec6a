#pragma once

#include "app/ByteListModel.h"

#include <QListView>

#include <string>
#include <vector>

// A single-selection list of text rows. Changes made through its operations are changes from
// code: only the user's own selection changes are announced. Positions are always the rows'
// own (the book's), also while a filter shows only some of them.
class ListBox final : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);

    int Count() const { return static_cast<int>(model_.Rows().size()); }
    const core::Rows& Items() const { return model_.Rows(); }
    // The row at a position; EListError "List index out of bounds (n)" outside the list.
    std::string Item(int position) const;

    void SetItems(core::Rows rows);
    void Add(std::string_view row);
    void Insert(int position, std::string_view row);
    void Delete(int position);
    // Changes made elsewhere (a shared book's server): the selection stays with its row, or
    // goes with it.
    void Take(int position);
    void Set(int position, std::string_view row);
    // The same rows, read from the bytes of the file they were just written to.
    void Rebase(const core::Rows::Bytes& bytes) { model_.Rebase(bytes); }
    // Takes the row out and inserts it at another position; leaves the list without a
    // selection.
    void Move(int from, int to);
    void Clear();

    // Selected position, -1 without a selection.
    int ItemIndex() const;
    // Selects the row; without a selection when it is outside the list or not shown.
    void SetItemIndex(int position);

    // Shows only these rows (ascending positions), or every row for none; the selection stays
    // on its row when that row is still shown.
    void SetShown(const std::vector<int>* rows);
    bool Filtered() const { return model_.Filtered(); }
    int ShownCount() const { return model_.rowCount(); }
    // The row shown at a place of the view, and the place of a row (-1 when not shown).
    int ShownRow(int viewPosition) const { return model_.RowAt(viewPosition); }
    int ShownPlaceOf(int row) const { return model_.ViewPositionOf(row); }
    const ByteListModel& Rows() const { return model_; }

signals:
    void UserSelectionChanged();

protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    template <class Change> void FromCode(Change&& change);
    // EListError "List index out of bounds (n)" outside the list.
    void Check(int position) const;

    ByteListModel model_;
    int codeChanges_ = 0;
};
