#include "app/ListBox.h"

#include "app/ClientTable.h"
#include "base/Exception.h"

ListBox::ListBox(ClientTable& table, int column, const QString& name)
    : QObject(&table), model_(table.Model()), table_(&table), column_(column) {
    setObjectName(name);
    Watch();
}

ListBox::ListBox(QObject* parent, const QString& name)
    : QObject(parent), own_(std::make_unique<BookTableModel>()), model_(*own_) {
    setObjectName(name);
    Watch();
}

ListBox::~ListBox() = default;

void ListBox::Watch() {
    connect(&model_, &BookTableModel::RowInserted, this, [this](int column, int position) {
        if (column == column_) {
            emit RowInserted(position);
        }
    });
    connect(&model_, &BookTableModel::RowTaken, this, [this](int column, int position) {
        if (column == column_) {
            emit RowTaken(position);
        }
    });
    connect(&model_, &BookTableModel::RowChanged, this, [this](int column, int position) {
        if (column == column_) {
            emit RowChanged(position);
        }
    });
    connect(&model_, &BookTableModel::RowsReplaced, this, [this](int column) {
        if (column == column_) {
            emit RowsReplaced();
        }
    });
}

template <class Change> void ListBox::FromCode(Change&& change) {
    if (table_) {
        table_->FromCode(std::forward<Change>(change));
    } else {
        change();
    }
}

const core::Rows& ListBox::Items() const {
    return model_.Rows(column_);
}

void ListBox::Check(int position) const {
    if (position < 0 || position >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(position) + ")");
    }
}

std::string ListBox::Item(int position) const {
    Check(position);
    return std::string(Items()[static_cast<size_t>(position)]);
}

void ListBox::SetItems(core::Rows rows) {
    FromCode([&] { model_.SetRows(column_, std::move(rows)); });
    ownIndex_ = -1;
}

void ListBox::Add(std::string_view row) {
    Insert(Count(), row);
}

void ListBox::Insert(int position, std::string_view row) {
    if (position < 0 || position > Count()) {
        throw EListError("List index out of bounds (" + std::to_string(position) + ")");
    }
    FromCode([&] { model_.Insert(column_, position, row); });
}

void ListBox::Delete(int position) {
    Check(position);
    FromCode([&] { model_.Take(column_, position); });
    SetItemIndex(-1);
}

void ListBox::Take(int position) {
    Check(position);
    FromCode([&] { model_.Take(column_, position); });
}

void ListBox::Set(int position, std::string_view row) {
    Check(position);
    FromCode([&] { model_.Set(column_, position, row); });
}

void ListBox::Rebase(const core::Rows::Bytes& bytes) {
    model_.Rebase(column_, bytes);
}

void ListBox::Move(int from, int to) {
    Check(from);
    if (to < 0 || to >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(to) + ")");
    }
    FromCode([&] {
        const std::string row = model_.Take(column_, from);
        model_.Insert(column_, to, row);
    });
    SetItemIndex(-1);
}

void ListBox::Clear() {
    SetItems({});
}

int ListBox::ItemIndex() const {
    const int row = table_ ? table_->SelectedRow() : ownIndex_;
    return row < Count() ? row : -1;
}

void ListBox::SetItemIndex(int position) {
    const bool inside = position >= 0 && position < Count();
    if (!table_) {
        ownIndex_ = inside ? position : -1;
        return;
    }
    FromCode([&] {
        if (inside) {
            table_->SelectRow(position);
        } else {
            table_->ClearSelection();
        }
    });
}
