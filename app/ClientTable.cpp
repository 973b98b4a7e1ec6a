#include "app/ClientTable.h"

#include "app/ListBox.h"
#include "app/TypedText.h"
#include "core/DisplayText.h"

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QToolTip>

// A row's two cells, each drawn as the style draws an item in its column's place; and a cell's
// editor: a name takes what the Add page's name field takes, an ID digits only.
class ClientCells final : public QStyledItemDelegate {
public:
    explicit ClientCells(ClientTable& table) : QStyledItemDelegate(&table), table_(table) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // The columns shown; a hidden one (no tags, no server) is not drawn.
        int last = 0;
        for (int column = 0; column < BookTableModel::Columns; ++column) {
            last = table_.header_->isSectionHidden(column) ? last : column;
        }
        for (int column = 0; column <= last; ++column) {
            if (table_.header_->isSectionHidden(column)) {
                continue;
            }
            QStyleOptionViewItem cell = option;
            const QModelIndex at = index.siblingAtColumn(column);
            initStyleOption(&cell, at);
            cell.rect = CellIn(option.rect, column);
            // A long name loses its middle, never its end nor its start.
            cell.textElideMode = Qt::ElideMiddle;
            cell.viewItemPosition = column == 0      ? QStyleOptionViewItem::Beginning
                                    : column == last ? QStyleOptionViewItem::End
                                                     : QStyleOptionViewItem::Middle;
            if (column == BookTableModel::Tags) {
                // Tags read from their start; a note's find is in italics.
                cell.textElideMode = Qt::ElideRight;
                cell.font.setItalic(cell.text.startsWith(NoteFindMark()));
            }
            // The focus frame goes round the row, once.
            cell.state &= ~QStyle::State_HasFocus;
            Style(option).drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
        }
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            Style(option).drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // One line, however long the name: rows are never measured one by one.
        const QSize line = QStyledItemDelegate::sizeHint(option, index);
        return {1, line.height()};
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        if (table_.editColumn_ == BookTableModel::Names) {
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
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QLineEdit*>(editor)->setText(
            index.siblingAtColumn(table_.editColumn_).data(Qt::EditRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index.siblingAtColumn(table_.editColumn_),
                       static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(CellIn(option.rect, table_.editColumn_));
    }

private:
    static QStyle& Style(const QStyleOptionViewItem& option) {
        return option.widget ? *option.widget->style() : *QApplication::style();
    }
    QRect CellIn(const QRect& row, int column) const {
        const QHeaderView& header = table_.Header();
        return {row.left() + header.sectionViewportPosition(column), row.top(),
                header.sectionSize(column), row.height()};
    }

    ClientTable& table_;
};

ClientTable::ClientTable(QWidget* parent)
    : QListView(parent), model_(this), header_(new QHeaderView(Qt::Horizontal, this)),
      names_(new ListBox(*this, BookTableModel::Names, QStringLiteral("ListBox1"))),
      ids_(new ListBox(*this, BookTableModel::Ids, QStringLiteral("ListBox2"))) {
    setModel(&model_);
    setModelColumn(BookTableModel::Names);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new ClientCells(*this));
    SetEditable(true);
    setAlternatingRowColors(true);
    setUniformItemSizes(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    // A filter keystroke over a large book lays out the rows on screen at once and the rest
    // while the user reads them, instead of every row before the next key.
    setLayoutMode(QListView::Batched);
    setBatchSize(256);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The header holds the columns' places: the names stretch, the IDs keep their width.
    header_->setModel(&model_);
    header_->setHighlightSections(false);
    header_->setSectionsClickable(true);
    header_->setSortIndicatorShown(false);
    header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header_->setMinimumSectionSize(1);
    header_->setSectionResizeMode(BookTableModel::Names, QHeaderView::Stretch);
    header_->setSectionResizeMode(BookTableModel::Ids, QHeaderView::Fixed);
    header_->setSectionHidden(BookTableModel::Tags, true);
    header_->setSectionHidden(BookTableModel::Changed, true);
    header_->setFocusPolicy(Qt::NoFocus);
    header_->setFont(font());
    connect(header_, &QHeaderView::sectionClicked, this, &ClientTable::HeaderClicked);
    connect(header_, &QHeaderView::sectionResized, viewport(), [this] { viewport()->update(); });
    updateGeometries();
}

ClientTable::~ClientTable() = default;

void ClientTable::updateGeometries() {
    // The header stands above the rows, as wide as they are, one line of the table's font
    // high: measuring its sections would load a font of its own at start-up.
    const int height = fontMetrics().height() +
                       2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header_) + 2;
    setViewportMargins(0, height, 0, 0);
    const QRect rows = viewport()->geometry();
    header_->setGeometry(rows.left(), rows.top() - height, rows.width(), height);
    QListView::updateGeometries();
}

bool ClientTable::viewportEvent(QEvent* event) {
    // The whole name of the row under the pointer, however it is shortened on screen.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString tip = index.isValid() ? index.data(Qt::ToolTipRole).toString() : QString();
        if (!tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
            return true;
        }
    }
    return QListView::viewportEvent(event);
}

bool ClientTable::ShowsTags() const {
    return !header_->isSectionHidden(BookTableModel::Tags);
}

void ClientTable::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    if (event->button() != Qt::LeftButton || !index.isValid() ||
        header_->logicalIndexAt(at.x()) != BookTableModel::Tags) {
        return;
    }
    // The tag under the pointer, measured as the cell draws its text.
    const QString text = index.siblingAtColumn(BookTableModel::Tags).data().toString();
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    int x = header_->sectionViewportPosition(BookTableModel::Tags) + margin;
    const QStringList parts = text.split(QStringLiteral(", "));
    for (const QString& part : parts) {
        const int width = fontMetrics().horizontalAdvance(part + QStringLiteral(", "));
        if (at.x() < x + width) {
            if (!part.startsWith(NoteFindMark())) {
                emit TagClicked(part);
            }
            return;
        }
        x += width;
    }
}

int ClientTable::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
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
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        scrollTo(index);
    });
}

void ClientTable::ClearSelection() {
    FromCode([&] { selectionModel()->clear(); });
}

void ClientTable::ShowTags(bool on) {
    if (on == !header_->isSectionHidden(BookTableModel::Tags)) {
        return;
    }
    header_->setSectionHidden(BookTableModel::Tags, !on);
    if (on) {
        // A few tags' room; the names keep the rest.
        header_->setSectionResizeMode(BookTableModel::Tags, QHeaderView::Fixed);
        header_->resizeSection(BookTableModel::Tags,
                               fontMetrics().horizontalAdvance(QStringLiteral("key-account, vip")));
    }
    viewport()->update();
}

void ClientTable::ShowChanged(std::function<QString(int row)> changed) {
    const bool on = static_cast<bool>(changed);
    model_.ShowChanged(std::move(changed));
    header_->setSectionHidden(BookTableModel::Changed, !on);
    if (on) {
        // Wide enough for a user's name and a date and time as this computer writes them.
        const QString widest = QStringLiteral("technician \u00B7 ") +
                               QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)),
                                                  QLocale::ShortFormat);
        const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
        header_->setSectionResizeMode(BookTableModel::Changed, QHeaderView::Fixed);
        header_->resizeSection(BookTableModel::Changed,
                               fontMetrics().horizontalAdvance(widest) + margins);
    }
    viewport()->update();
}

void ClientTable::SetIdWidth(int width) {
    header_->resizeSection(BookTableModel::Ids, width);
}

int ClientTable::ColumnWidth(int column) const {
    return header_->sectionSize(column);
}

QRect ClientTable::CellRect(int place, int column) const {
    const QRect row = visualRect(model_.index(place, BookTableModel::Names));
    return {row.left() + header_->sectionViewportPosition(column), row.top(),
            header_->sectionSize(column), row.height()};
}

std::pair<int, int> ClientTable::CellAt(QPoint at) const {
    const QModelIndex index = indexAt(at);
    return {index.isValid() ? index.row() : -1, header_->logicalIndexAt(at.x())};
}

int ClientTable::PageRows() const {
    const int row = std::max(1, sizeHintForRow(0));
    return std::max(1, viewport()->height() / row);
}

void ClientTable::EditRow(int row, int column) {
    const int place = model_.PlaceOf(row);
    if (place >= 0) {
        const QModelIndex index = model_.index(place, BookTableModel::Names);
        scrollTo(index);
        editColumn_ = column;
        QListView::edit(index, QAbstractItemView::AllEditTriggers, nullptr);
    }
}

bool ClientTable::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A click opens the editor on the cell clicked.
    if (event && (event->type() == QEvent::MouseButtonRelease ||
                  event->type() == QEvent::MouseButtonPress)) {
        const int column =
            header_->logicalIndexAt(static_cast<QMouseEvent*>(event)->position().toPoint().x());
        editColumn_ = column < 0 ? BookTableModel::Names : column;
        if (editColumn_ >= BookTableModel::Tags) {
            return false;
        }
    }
    return QListView::edit(index, trigger, event);
}

void ClientTable::SetEditable(bool editable) {
    // F2 is the window's key, which says why when the book takes no edit.
    setEditTriggers(editable ? QAbstractItemView::SelectedClicked
                             : QAbstractItemView::NoEditTriggers);
}

void ClientTable::ShowOrder(int column, bool descending) {
    header_->setSortIndicatorShown(column >= 0);
    if (column >= 0) {
        header_->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void ClientTable::SetMaxIdLength(int digits) {
    maxIdLength_ = digits;
}

void ClientTable::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    if (codeChanges_ == 0) {
        emit UserSelectionChanged();
    }
}
