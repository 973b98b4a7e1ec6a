#include "app/ListBox.h"

#include "base/Exception.h"

#include <QItemSelectionModel>

ListBox::ListBox(QWidget* parent) : QListView(parent), model_(this) {
    setModel(&model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    // A filter keystroke over a large book lays out the rows on screen at once and the rest
    // while the user reads them, instead of every row before the next key.
    setLayoutMode(QListView::Batched);
    setBatchSize(256);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

template <class Change> void ListBox::FromCode(Change&& change) {
    ++codeChanges_;
    try {
        change();
    } catch (...) {
        --codeChanges_;
        throw;
    }
    --codeChanges_;
}

void ListBox::Check(int position) const {
    if (position < 0 || position >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(position) + ")");
    }
}

std::string ListBox::Item(int position) const {
    Check(position);
    return std::string(model_.Rows()[static_cast<size_t>(position)]);
}

void ListBox::SetItems(core::Rows rows) {
    FromCode([&] { model_.SetRows(std::move(rows)); });
}

void ListBox::Add(std::string_view row) {
    Insert(Count(), row);
}

void ListBox::Insert(int position, std::string_view row) {
    if (position < 0 || position > Count()) {
        throw EListError("List index out of bounds (" + std::to_string(position) + ")");
    }
    FromCode([&] { model_.Insert(position, row); });
}

void ListBox::Delete(int position) {
    Check(position);
    FromCode([&] {
        model_.Take(position);
        selectionModel()->clear();
    });
}

void ListBox::Take(int position) {
    Check(position);
    FromCode([&] { model_.Take(position); });
}

void ListBox::Set(int position, std::string_view row) {
    Check(position);
    FromCode([&] { model_.Set(position, row); });
}

void ListBox::Move(int from, int to) {
    Check(from);
    if (to < 0 || to >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(to) + ")");
    }
    FromCode([&] {
        const std::string row = model_.Take(from);
        model_.Insert(to, row);
        selectionModel()->clear();
    });
}

void ListBox::Clear() {
    FromCode([&] { model_.SetRows({}); });
}

int ListBox::ItemIndex() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : model_.RowAt(rows.first().row());
}

void ListBox::SetItemIndex(int position) {
    FromCode([&] {
        const int viewPosition = model_.ViewPositionOf(position);
        if (viewPosition < 0) {
            selectionModel()->clear();
        } else {
            const QModelIndex index = model_.index(viewPosition);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            scrollTo(index);
        }
    });
}

void ListBox::SetShown(const std::vector<int>* rows) {
    const int selected = ItemIndex();
    FromCode([&] { model_.SetShown(rows); });
    if (selected >= 0) {
        SetItemIndex(selected);
    }
}

void ListBox::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    if (codeChanges_ == 0) {
        emit UserSelectionChanged();
    }
}
