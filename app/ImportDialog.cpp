#include "app/ImportDialog.h"

#include "core/DisplayText.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// The preview's rows: a light model over the core's preview, so that a file of a hundred
// thousand rows opens at once.
class ImportRows final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Show(core::ImportPreview preview) {
        beginResetModel();
        preview_ = std::move(preview);
        ticked_.assign(preview_.entries.size(), false);
        for (size_t i = 0; i < ticked_.size(); ++i) {
            // A name the book has under another ID waits for the user's own tick.
            ticked_[i] = preview_.entries[i].status == core::ImportPreview::New &&
                         preview_.entries[i].reason == core::ImportPreview::None;
        }
        endResetModel();
    }
    const core::ImportPreview& Preview() const { return preview_; }
    bool Ticked(size_t row) const { return ticked_[row]; }
    size_t TickedCount() const {
        return static_cast<size_t>(std::count(ticked_.begin(), ticked_.end(), true));
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(preview_.entries.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 3;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        static const char* const titles[] = {"Client", "ID", "Status"};
        return QString::fromLatin1(titles[section]);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.column() == 0 && Entry(index).status == core::ImportPreview::New) {
            flags |= Qt::ItemIsUserCheckable;
        }
        return flags;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const auto row = static_cast<size_t>(index.row());
        if (role == Qt::CheckStateRole && index.column() == 0) {
            return ticked_[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
        }
        // Whole in the tool tip: a column shows a long name or reason shortened in its middle.
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
            return {};
        }
        switch (index.column()) {
        case 0:
            return Utf8(preview_.Name(row));
        case 1:
            return role == Qt::DisplayRole ? Utf8(preview_.Id(row)) : QVariant();
        default:
            return Entry(index).status == core::ImportPreview::New &&
                           Entry(index).reason == core::ImportPreview::None
                       ? QStringLiteral("new")
                       : Utf8(preview_.ReasonText(row));
        }
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable)) {
            return false;
        }
        ticked_[static_cast<size_t>(index.row())] = value.toInt() == Qt::Checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

private:
    const core::ImportPreview::Entry& Entry(const QModelIndex& index) const {
        return preview_.entries[static_cast<size_t>(index.row())];
    }
    core::ImportPreview preview_;
    std::vector<bool> ticked_;
};

ImportDialog::ImportDialog(const QString& from, core::ImportSource source,
                           core::ImportPreview first, core::Book book, size_t maxIdLength,
                           QWidget* parent)
    : QDialog(parent), source_(std::move(source)), book_(std::move(book)),
      maxIdLength_(maxIdLength), rows_(new ImportRows(this)), counts_(new QLabel(this)),
      table_(new QTableView(this)) {
    setWindowTitle(QStringLiteral("Import clients"));
    auto* layout = new QVBoxLayout(this);
    auto* fromLabel = new QLabel(QStringLiteral("From ") + from, this);
    fromLabel->setWordWrap(true);
    layout->addWidget(fromLabel);
    // The fields the file leaves open, each a choice the preview follows at once.
    const auto choice = [&](const QString& text, size_t current) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(text, this);
        auto* fields = new QComboBox(this);
        for (const std::string& field : source_.idFields) {
            fields->addItem(Utf8(field));
        }
        fields->setCurrentIndex(static_cast<int>(current));
        label->setBuddy(fields);
        row->addWidget(label);
        row->addWidget(fields, 1);
        layout->addLayout(row);
        connect(fields, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
        return fields;
    };
    if (source_.nameChoice) {
        field_ = choice(QStringLiteral("Which column holds the ID"), source_.defaultField);
        nameField_ = choice(QStringLiteral("Which holds the name"), source_.defaultNameField);
    } else if (source_.idFields.size() > 1) {
        field_ = choice(QStringLiteral("Take the ID from"), source_.defaultField);
    }
    table_->setModel(rows_);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    // A long name (a folder path in front of it) loses its middle, never its end; the columns
    // share the dialog's width.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(table_, 1);
    layout->addWidget(counts_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* import =
        buttons->addButton(QStringLiteral("Import"), QDialogButtonBox::AcceptRole);
    import->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(rows_, &QAbstractItemModel::dataChanged, this,
            [import, this] { import->setEnabled(rows_->TickedCount() > 0); });
    connect(rows_, &QAbstractItemModel::modelReset, this,
            [import, this] { import->setEnabled(rows_->TickedCount() > 0); });
    // The preview refers to the source and the book, which live here now.
    first.source = &source_;
    first.book = &book_;
    Show(std::move(first));
    resize(520, 420);
}

ImportDialog::~ImportDialog() = default;

void ImportDialog::Refresh() {
    const size_t field =
        field_ ? static_cast<size_t>(field_->currentIndex()) : source_.defaultField;
    const size_t name =
        nameField_ ? static_cast<size_t>(nameField_->currentIndex()) : source_.defaultNameField;
    Show(core::Preview(source_, field, book_, maxIdLength_, name));
}

void ImportDialog::Show(core::ImportPreview preview) {
    rows_->Show(std::move(preview));
    counts_->setText(Counts());
    // A width set, not measured: measuring a hundred thousand rows would keep the preview from
    // opening.
    table_->setColumnWidth(1,
                           table_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
}

QString ImportDialog::Counts() const {
    return Utf8(core::PreviewCounts(rows_->Preview()));
}

std::vector<core::ClientExtra> ImportDialog::TickedExtras() const {
    const core::ImportPreview& preview = rows_->Preview();
    std::vector<core::ClientExtra> extras;
    if (preview.source->notes.empty() && preview.source->tags.empty()) {
        return extras;
    }
    for (size_t i = 0; i < preview.entries.size(); ++i) {
        if (rows_->Ticked(i)) {
            extras.push_back({core::CleanTags(preview.source->Tags(i)),
                              core::CleanNote(preview.source->Note(i))});
        }
    }
    return extras;
}

core::Book ImportDialog::Ticked() const {
    core::Book ticked;
    const core::ImportPreview& preview = rows_->Preview();
    for (size_t i = 0; i < preview.entries.size(); ++i) {
        if (rows_->Ticked(i)) {
            // A name from any column follows the rule every name of the book follows.
            ticked.Add({core::CleanName(preview.Name(i)), std::string(preview.Id(i))});
        }
    }
    return ticked;
}
