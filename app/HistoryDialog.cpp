#include "app/HistoryDialog.h"

#include "app/BookLists.h"
#include "app/Messages.h"
#include "app/QtText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Named(const core::Client& client) {
    return DisplayText(client.name, 60) + QStringLiteral(" (") + DisplayText(client.id, 20) + u')';
}

// What a change did, in a few words.
QString What(const HistoryItem& item) {
    if (item.action == QLatin1String("add")) {
        return QStringLiteral("Added as ") + Named(item.now);
    }
    if (item.action == QLatin1String("edit")) {
        return QStringLiteral("Changed from ") + Named(item.was) + QStringLiteral(" to ") +
               Named(item.now);
    }
    if (item.action == QLatin1String("move")) {
        return QStringLiteral("Moved in the list");
    }
    if (item.action == QLatin1String("remove")) {
        return QStringLiteral("Removed (to the recycle bin)");
    }
    if (item.action == QLatin1String("restore")) {
        return QStringLiteral("Restored from the recycle bin");
    }
    if (item.action == QLatin1String("note")) {
        return QStringLiteral("Changed the tags or note");
    }
    return DisplayText(item.action.toStdString(), 16);
}

} // namespace

HistoryDialog::HistoryDialog(BookLists& book, int row, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)), status_(new QLabel(this)) {
    setObjectName(QStringLiteral("ClientHistory"));
    const core::Client client = book.At(row);
    setWindowTitle(QStringLiteral("History of ") + Named(client) + QStringLiteral(" - ") +
                   ApplicationTitle());
    table_->setObjectName(QStringLiteral("HistoryTable"));
    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("When"), QStringLiteral("Who"), QStringLiteral("What")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setAccessibleName(QStringLiteral("Changes of ") + Named(client));
    status_->setObjectName(QStringLiteral("HistoryStatus"));
    status_->setWordWrap(true);
    status_->setText(QStringLiteral("Reading the history\u2026"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(600, 320);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    book.Store().ReadHistory(row, [self = QPointer<HistoryDialog>(this)](
                                      std::vector<HistoryItem> items, const QString& why) {
        if (self) {
            self->Show(items, why);
        }
    });
}

void HistoryDialog::Show(const std::vector<HistoryItem>& items, const QString& why) {
    table_->setRowCount(static_cast<int>(items.size()));
    const QLocale locale;
    for (size_t i = 0; i < items.size(); ++i) {
        const HistoryItem& item = items[i];
        const QStringList cells{locale.toString(item.when.toLocalTime(), QLocale::ShortFormat),
                                item.who, What(item)};
        for (int column = 0; column < cells.size(); ++column) {
            table_->setItem(static_cast<int>(i), column, new QTableWidgetItem(cells[column]));
        }
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    status_->setText(!why.isEmpty()      ? why
                     : items.empty()     ? QStringLiteral("No change of this client is recorded")
                     : items.size() == 1 ? QStringLiteral("1 change")
                                         : QStringLiteral("%1 changes").arg(items.size()));
}
