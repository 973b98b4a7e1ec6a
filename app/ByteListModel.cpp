#include "app/ByteListModel.h"

#include "app/QtText.h"

#include <algorithm>

int ByteListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(filtered_ ? shown_.size() : rows_.size());
}

QVariant ByteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    return DisplayText(rows_[static_cast<size_t>(RowAt(index.row()))], core::MaxShownCharacters);
}

void ByteListModel::SetRows(core::Rows rows) {
    beginResetModel();
    rows_ = std::move(rows);
    filtered_ = false;
    shown_.clear();
    endResetModel();
    emit RowsReplaced();
}

void ByteListModel::Insert(int position, std::string_view row) {
    if (!filtered_) {
        beginInsertRows({}, position, position);
        rows_.insert(static_cast<size_t>(position), row);
        endInsertRows();
        emit RowInserted(position);
        return;
    }
    // A row inserted under a filter is not shown until the filter is applied again.
    rows_.insert(static_cast<size_t>(position), row);
    for (int& shown : shown_) {
        shown += shown >= position ? 1 : 0;
    }
    emit RowInserted(position);
}

std::string ByteListModel::Take(int position) {
    const int viewPosition = ViewPositionOf(position);
    if (viewPosition >= 0) {
        beginRemoveRows({}, viewPosition, viewPosition);
    }
    std::string row(rows_[static_cast<size_t>(position)]);
    rows_.erase(static_cast<size_t>(position));
    if (filtered_) {
        if (viewPosition >= 0) {
            shown_.erase(shown_.begin() + viewPosition);
        }
        for (int& shown : shown_) {
            shown -= shown > position ? 1 : 0;
        }
    }
    if (viewPosition >= 0) {
        endRemoveRows();
    }
    emit RowTaken(position);
    return row;
}

void ByteListModel::Set(int position, std::string_view row) {
    rows_.set(static_cast<size_t>(position), row);
    if (const int viewPosition = ViewPositionOf(position); viewPosition >= 0) {
        emit dataChanged(index(viewPosition), index(viewPosition), {Qt::DisplayRole});
    }
    emit RowChanged(position);
}

void ByteListModel::SetShown(const std::vector<int>* shown) {
    beginResetModel();
    filtered_ = shown != nullptr;
    shown_.clear();
    if (shown) {
        const auto end =
            std::lower_bound(shown->begin(), shown->end(), static_cast<int>(rows_.size()));
        shown_.assign(shown->begin(), end);
    }
    endResetModel();
}

int ByteListModel::RowAt(int viewPosition) const {
    return filtered_ ? shown_[static_cast<size_t>(viewPosition)] : viewPosition;
}

int ByteListModel::ViewPositionOf(int row) const {
    if (!filtered_) {
        return row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
    }
    const auto at = std::lower_bound(shown_.begin(), shown_.end(), row);
    return at != shown_.end() && *at == row ? static_cast<int>(at - shown_.begin()) : -1;
}
