#include "app/ClientTable.h"

#include "app/ListBox.h"
#include "app/TypedText.h"
#include "core/DisplayText.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

// A cell's editor: a name takes what the Add page's name field takes, an ID digits only.
class ClientCellEditor final : public QStyledItemDelegate {
public:
    explicit ClientCellEditor(ClientTable& table) : QStyledItemDelegate(&table), table_(table) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        if (index.column() == BookTableModel::Names) {
            editor->setMaxLength(static_cast<int>(core::MaxNameCharacters));
            editor->setValidator(new NoControlCharacters(editor));
            editor->setAccessibleName(QStringLiteral("Client name"));
        } else {
            editor->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(table_.maxIdLength_)),
                editor));
            editor->setAccessibleName(QStringLiteral("Client ID"));
        }
        return editor;
    }

private:
    ClientTable& table_;
};

ClientTable::ClientTable(QWidget* parent)
    : QTableView(parent), model_(this),
      names_(new ListBox(*this, BookTableModel::Names, QStringLiteral("ListBox1"))),
      ids_(new ListBox(*this, BookTableModel::Ids, QStringLiteral("ListBox2"))) {
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new ClientCellEditor(*this));
    SetEditable(true);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    // A long name loses its middle, never its end nor its start: "Zürich … Atelier".
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QHeaderView* rows = verticalHeader();
    rows->hide();
    // Every row as high as one line: no row is measured, whatever the book's size.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    rows->setMinimumSectionSize(1);
    QHeaderView* columns = horizontalHeader();
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(BookTableModel::Names, QHeaderView::Stretch);
    columns->setSectionResizeMode(BookTableModel::Ids, QHeaderView::Fixed);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setMinimumSectionSize(1);
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(false);
    connect(columns, &QHeaderView::sectionClicked, this, &ClientTable::HeaderClicked);
}

ClientTable::~ClientTable() = default;

int ClientTable::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : model_.RowAt(rows.first().row());
}

void ClientTable::SelectRow(int row) {
    const int place = model_.PlaceOf(row);
    if (place < 0) {
        ClearSelection();
        return;
    }
    FromCode([&] {
        const QModelIndex index = model_.index(place, BookTableModel::Names);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        scrollTo(index);
    });
}

void ClientTable::ClearSelection() {
    FromCode([&] { selectionModel()->clear(); });
}

void ClientTable::SetIdWidth(int width) {
    horizontalHeader()->resizeSection(BookTableModel::Ids, width);
}

int ClientTable::PageRows() const {
    return std::max(1, viewport()->height() / std::max(1, verticalHeader()->defaultSectionSize()));
}

void ClientTable::EditRow(int row, int column) {
    const int place = model_.PlaceOf(row);
    if (place >= 0) {
        const QModelIndex index = model_.index(place, column);
        scrollTo(index);
        edit(index);
    }
}

void ClientTable::SetEditable(bool editable) {
    // F2 is the window's key, which says why when the book takes no edit.
    setEditTriggers(editable ? QAbstractItemView::SelectedClicked
                             : QAbstractItemView::NoEditTriggers);
}

void ClientTable::ShowOrder(int column, bool descending) {
    QHeaderView* columns = horizontalHeader();
    columns->setSortIndicatorShown(column >= 0);
    if (column >= 0) {
        columns->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void ClientTable::SetMaxIdLength(int digits) {
    maxIdLength_ = digits;
}

void ClientTable::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (codeChanges_ == 0) {
        emit UserSelectionChanged();
    }
}
