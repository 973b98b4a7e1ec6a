#pragma once

#include <QAbstractListModel>

#include <string>
#include <vector>

// Rows of a list box, each kept as the bytes it was read or typed as; decoded only for
// display, and only for the rows on screen.
class ByteListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const std::vector<std::string>& Rows() const { return rows_; }
    void SetRows(std::vector<std::string> rows);
    void Insert(int position, std::string row);
    std::string Take(int position);

private:
    std::vector<std::string> rows_;
};
