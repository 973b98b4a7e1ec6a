#include "app/RecycleBinDialog.h"

#include "app/BookLists.h"
#include "app/Messages.h"
#include "app/QtText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Days(int days) {
    return days == 1 ? QStringLiteral("day") : QStringLiteral("%1 days").arg(days);
}

} // namespace

RecycleBinDialog::RecycleBinDialog(BookLists& book, QWidget* parent)
    : QDialog(parent), book_(book), about_(new QLabel(this)), table_(new QTableWidget(this)),
      status_(new QLabel(this)), restore_(new QPushButton(QStringLiteral("Restore"), this)) {
    setObjectName(QStringLiteral("RecentlyRemoved"));
    setWindowTitle(QStringLiteral("Recently removed - ") + ApplicationTitle());
    about_->setWordWrap(true);
    table_->setObjectName(QStringLiteral("RecycleBinTable"));
    table_->setColumnCount(4);
    table_->setHorizontalHeaderLabels({QStringLiteral("Client"), QStringLiteral("ID"),
                                       QStringLiteral("Removed by"), QStringLiteral("Removed")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->setAccessibleName(QStringLiteral("Recently removed clients"));
    status_->setObjectName(QStringLiteral("RecycleBinStatus"));
    status_->setWordWrap(true);
    restore_->setObjectName(QStringLiteral("RestoreButton"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(restore_, QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about_);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(560, 360);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore_, &QPushButton::clicked, this,
            [this] { Guarded([this] { RestoreSelected(); }); });
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this] { Guarded([this] { RestoreSelected(); }); });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &RecycleBinDialog::UpdateRestore);
    Reload();
}

void RecycleBinDialog::Reload() {
    const BookStore& store = book_.Store();
    about_->setText((store.KeepsOwnSteps()
                         ? QStringLiteral("The shared book's recycle bin, the same for "
                                          "every technician: the clients removed in the "
                                          "last %1.")
                         : QStringLiteral("The clients removed from this book in the last "
                                          "%1."))
                        .arg(Days(store.BinDays())));
    status_->setText(QStringLiteral("Reading the recycle bin\u2026"));
    table_->setRowCount(0);
    items_.clear();
    UpdateRestore();
    const int reading = ++reading_;
    book_.Store().ReadBin([self = QPointer<RecycleBinDialog>(this),
                           reading](std::vector<BinItem> items, const QString& why) {
        if (self && self->reading_ == reading) {
            self->Show(std::move(items), why);
        }
    });
}

void RecycleBinDialog::Show(std::vector<BinItem> items, const QString& why) {
    items_ = std::move(items);
    table_->setRowCount(static_cast<int>(items_.size()));
    const QLocale locale;
    for (size_t i = 0; i < items_.size(); ++i) {
        const BinItem& item = items_[i];
        const auto row = static_cast<int>(i);
        const QStringList cells{
            DisplayText(item.client.name), DisplayText(item.client.id), item.removedBy,
            locale.toString(item.removedAt.toLocalTime(), QLocale::ShortFormat)};
        for (int column = 0; column < cells.size(); ++column) {
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    if (!why.isEmpty()) {
        status_->setText(why);
    } else if (items_.empty()) {
        status_->setText(QStringLiteral("Nothing was removed in the last %1")
                             .arg(Days(book_.Store().BinDays())));
    } else {
        status_->setText(ClientCount(items_.size()));
    }
    if (!items_.empty()) {
        table_->selectRow(0);
    }
    UpdateRestore();
}

void RecycleBinDialog::UpdateRestore() {
    const QString why = book_.WhyNoEdit();
    const bool chosen = table_->currentRow() >= 0 && !table_->selectedItems().isEmpty();
    restore_->setEnabled(why.isEmpty() && chosen);
    restore_->setToolTip(why.isEmpty() ? QStringLiteral("Put the client back where it stood")
                                       : why);
}

void RecycleBinDialog::RestoreSelected() {
    const int row = table_->currentRow();
    if (!restore_->isEnabled() || row < 0 || static_cast<size_t>(row) >= items_.size()) {
        return;
    }
    book_.PutBack(items_[static_cast<size_t>(row)]);
    // Gone from the bin: a shared book's bin says so once the server has it back in the book.
    items_.erase(items_.begin() + row);
    table_->removeRow(row);
    status_->setText(items_.empty() ? QStringLiteral("The bin is empty")
                                    : ClientCount(items_.size()));
    UpdateRestore();
}
