#pragma once

#include "app/BookStore.h"

#include <QDialog>

#include <vector>

class BookLists;
class QLabel;
class QPushButton;
class QTableWidget;

// "Recently removed": the clients in the book's recycle bin (this computer's, or the shared
// book's that every technician sees), with who removed each and when; Restore puts the chosen
// one back where it stood, as a step Ctrl+Z undoes. A user who may only read sees the bin and
// cannot restore.
class RecycleBinDialog final : public QDialog {
    Q_OBJECT
public:
    RecycleBinDialog(BookLists& book, QWidget* parent);

    // The bin read again.
    void Reload();
    void RestoreSelected();

private:
    void Show(std::vector<BinItem> items, const QString& why);
    void UpdateRestore();

    BookLists& book_;
    QLabel* about_;
    QTableWidget* table_;
    QLabel* status_;
    QPushButton* restore_;
    std::vector<BinItem> items_;
    // The bin's read that is awaited; an older answer is let go.
    int reading_ = 0;
};
