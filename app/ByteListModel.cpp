#include "app/ByteListModel.h"

#include "app/QtText.h"

int ByteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ByteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    return DisplayText(rows_[static_cast<size_t>(index.row())], core::MaxShownCharacters);
}

void ByteListModel::SetRows(std::vector<std::string> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ByteListModel::Insert(int position, std::string row) {
    beginInsertRows({}, position, position);
    rows_.insert(rows_.begin() + position, std::move(row));
    endInsertRows();
}

std::string ByteListModel::Take(int position) {
    beginRemoveRows({}, position, position);
    std::string row = std::move(rows_[static_cast<size_t>(position)]);
    rows_.erase(rows_.begin() + position);
    endRemoveRows();
    return row;
}
