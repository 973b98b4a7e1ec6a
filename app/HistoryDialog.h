#pragma once

#include "app/BookStore.h"

#include <QDialog>

class BookLists;
class QLabel;
class QTableWidget;

// "History": every change of one client as the shared book's server recorded it, newest first:
// when, who, and what changed.
class HistoryDialog final : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(BookLists& book, int row, QWidget* parent);

private:
    void Show(const std::vector<HistoryItem>& items, const QString& why);

    QTableWidget* table_;
    QLabel* status_;
};
