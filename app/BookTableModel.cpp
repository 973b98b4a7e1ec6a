#include "app/BookTableModel.h"

#include "app/QtText.h"

#include <algorithm>

namespace {

// A tool tip shows a whole name, up to a length no screen holds anyway.
constexpr int MaxTipCharacters = 2000;

} // namespace

int BookTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return arranged_ ? static_cast<int>(shown_.size()) : Count();
}

int BookTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

int BookTableModel::Count() const {
    return static_cast<int>(std::max(columns_[Names].size(), columns_[Ids].size()));
}

QVariant BookTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto row = static_cast<size_t>(RowAt(index.row()));
    const auto cell = [&](int column, int characters) {
        return row < columns_[column].size() ? DisplayText(columns_[column][row], characters)
                                             : QString();
    };
    if (index.column() == Changed) {
        return changed_ && role == Qt::DisplayRole ? changed_(static_cast<int>(row)) : QVariant();
    }
    const auto noteTip = [&] {
        const QString note = extra_.note ? extra_.note(static_cast<int>(row)) : QString();
        return note.isEmpty() ? QString() : QStringLiteral("\n\n") + note;
    };
    if (index.column() == Tags) {
        switch (role) {
        case Qt::DisplayRole:
            return extra_.tags ? extra_.tags(static_cast<int>(row)) : QString();
        case Qt::ToolTipRole: {
            const QString tags = extra_.tags ? extra_.tags(static_cast<int>(row)) : QString();
            const QString tip = tags + noteTip();
            return tip.trimmed().isEmpty() ? QVariant() : QVariant(tip.trimmed());
        }
        default:
            return {};
        }
    }
    const bool star =
        index.column() == Names && extra_.favourite && extra_.favourite(static_cast<int>(row));
    switch (role) {
    case Qt::DisplayRole:
        // A favourite's star before its name.
        return star ? QStringLiteral("\u2605 ") + cell(Names, core::MaxShownCharacters)
                    : cell(index.column(), core::MaxShownCharacters);
    case Qt::EditRole:
        return cell(index.column(), core::MaxShownCharacters);
    case Qt::ToolTipRole:
        // The whole name, which the column may show shortened in its middle, and the note.
        return index.column() == Names ? cell(Names, MaxTipCharacters) + noteTip() : QVariant();
    case Qt::AccessibleTextRole:
        // Whichever cell has the focus, a screen reader says whose row it is.
        return cell(Names, core::MaxShownCharacters) + QStringLiteral(", ID ") +
               cell(Ids, core::MaxShownCharacters);
    case Qt::TextAlignmentRole:
        return index.column() == Ids ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant BookTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole) {
        // The ID column's title stands over its numbers.
        return section == Ids ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                              : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return section == Names  ? QStringLiteral("Client")
           : section == Ids  ? QStringLiteral("ID")
           : section == Tags ? QStringLiteral("Tags")
                             : QStringLiteral("Changed");
}

void BookTableModel::ShowChanged(std::function<QString(int row)> changed) {
    changed_ = std::move(changed);
    ExtraChanged();
}

void BookTableModel::ExtraChanged() {
    if (rowCount() > 0) {
        emit dataChanged(index(0, Tags), index(rowCount() - 1, Changed));
    }
}

Qt::ItemFlags BookTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Who changed a client is the server's record, not the user's to type; tags are edited in
    // the notes pane.
    return index.column() >= Tags ? Qt::ItemIsSelectable | Qt::ItemIsEnabled
                                  : Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool BookTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.row() >= rowCount() ||
        index.column() >= Tags) {
        return false;
    }
    emit EditRequested(RowAt(index.row()), index.column(), value.toString());
    return true;
}

void BookTableModel::SetRows(int column, core::Rows rows) {
    beginResetModel();
    columns_[column] = std::move(rows);
    arranged_ = false;
    shown_.clear();
    placeOf_.clear();
    endResetModel();
    emit RowsReplaced(column);
}

void BookTableModel::CellsMoved(int column, int row) {
    const int rows = rowCount();
    if (rows == 0) {
        return;
    }
    // Arranged rows stand anywhere; in the book's order the cells from the row down moved.
    const int first = arranged_ ? 0 : std::min(row, rows - 1);
    emit dataChanged(index(first, column), index(rows - 1, column));
}

void BookTableModel::Insert(int column, int position, std::string_view row) {
    const int other = 1 - column;
    const bool grows = columns_[column].size() >= columns_[other].size();
    if (!grows) {
        // The longer column already has this row: only this column's cells move down.
        columns_[column].insert(static_cast<size_t>(position), row);
        CellsMoved(column, position);
        emit RowInserted(column, position);
        return;
    }
    if (arranged_) {
        // A row inserted under a filter or a sort is not shown until it is applied again.
        columns_[column].insert(static_cast<size_t>(position), row);
        for (int& shown : shown_) {
            shown += shown >= position ? 1 : 0;
        }
        placeOf_.clear();
    } else {
        beginInsertRows({}, position, position);
        columns_[column].insert(static_cast<size_t>(position), row);
        endInsertRows();
    }
    // The other column's cells have not moved yet: until its own insert they show its rows
    // as they stand.
    CellsMoved(other, position);
    emit RowInserted(column, position);
}

std::string BookTableModel::Take(int column, int position) {
    const int other = 1 - column;
    const bool shrinks = columns_[column].size() > columns_[other].size();
    std::string row(columns_[column][static_cast<size_t>(position)]);
    if (!shrinks) {
        columns_[column].erase(static_cast<size_t>(position));
        CellsMoved(column, position);
        emit RowTaken(column, position);
        return row;
    }
    const int place = PlaceOf(position);
    if (place >= 0) {
        beginRemoveRows({}, place, place);
    }
    columns_[column].erase(static_cast<size_t>(position));
    if (arranged_) {
        if (place >= 0) {
            shown_.erase(shown_.begin() + place);
        }
        for (int& shown : shown_) {
            shown -= shown > position ? 1 : 0;
        }
        placeOf_.clear();
    }
    if (place >= 0) {
        endRemoveRows();
    }
    CellsMoved(other, position);
    emit RowTaken(column, position);
    return row;
}

void BookTableModel::Set(int column, int position, std::string_view row) {
    columns_[column].set(static_cast<size_t>(position), row);
    if (const int place = PlaceOf(position); place >= 0) {
        emit dataChanged(index(place, Names), index(place, Ids));
    }
    emit RowChanged(column, position);
}

void BookTableModel::SetShown(const std::vector<int>* shown) {
    beginResetModel();
    arranged_ = shown != nullptr;
    // The callers' rows are all the book's.
    if (shown) {
        shown_.assign(shown->begin(), shown->end());
    } else {
        shown_.clear();
    }
    placeOf_.clear();
    endResetModel();
}

int BookTableModel::RowAt(int place) const {
    return arranged_ ? shown_[static_cast<size_t>(place)] : place;
}

int BookTableModel::PlaceOf(int row) const {
    if (!arranged_) {
        return row >= 0 && row < Count() ? row : -1;
    }
    if (row < 0 || row >= Count()) {
        return -1;
    }
    if (placeOf_.empty()) {
        placeOf_.assign(static_cast<size_t>(Count()), -1);
        for (size_t place = 0; place < shown_.size(); ++place) {
            placeOf_[static_cast<size_t>(shown_[place])] = static_cast<int>(place);
        }
    }
    return static_cast<size_t>(row) < placeOf_.size() ? placeOf_[static_cast<size_t>(row)] : -1;
}
