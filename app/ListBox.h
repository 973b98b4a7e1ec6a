#pragma once

#include "app/ByteListModel.h"

#include <QListView>

#include <string>
#include <vector>

// A single-selection list of text rows. Changes made through its operations are changes from
// code: only the user's own selection changes are announced.
class ListBox final : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);

    int Count() const { return model_.rowCount(); }
    const std::vector<std::string>& Items() const { return model_.Rows(); }
    // The row at a position; EListError "List index out of bounds (n)" outside the list.
    const std::string& Item(int position) const;

    void SetItems(std::vector<std::string> rows);
    void Add(std::string row);
    void Insert(int position, std::string row);
    void Delete(int position);
    // Takes the row out and inserts it at another position; leaves the list without a
    // selection.
    void Move(int from, int to);
    void Clear();

    // Selected position, -1 without a selection.
    int ItemIndex() const;
    void SetItemIndex(int position);

signals:
    void UserSelectionChanged();

protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    template <class Change> void FromCode(Change&& change);

    ByteListModel model_;
    int codeChanges_ = 0;
};
