#include "app/SessionLogDialog.h"

#include "app/ConnectionLog.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "base/Exception.h"
#include "core/ClientNotes.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimeZone>
#include <QVBoxLayout>

#include <memory>

namespace {

QString Named(const core::Client& client) {
    return DisplayText(client.name, 60) + QStringLiteral(" (") + DisplayText(client.id, 20) + u')';
}

QDateTime FromLog(const std::string& utc) {
    QDateTime when = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    when.setTimeSpec(Qt::UTC);
    return when.toLocalTime();
}

QString Duration(int64_t seconds) {
    if (seconds < 0) {
        return {};
    }
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

// The sessions as rows; the note is typed in its cell.
class SessionTable final : public QAbstractTableModel {
public:
    enum Column { Start, End, Length, Client, Id, Technician, Ended, Note, Columns };

    SessionTable(ConnectionLog& log, QObject* parent) : QAbstractTableModel(parent), log_(log) {}

    void Set(std::vector<core::Session> sessions) {
        beginResetModel();
        sessions_ = std::move(sessions);
        endResetModel();
    }
    const std::vector<core::Session>& Sessions() const { return sessions_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(sessions_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : Columns;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const Titles[] = {"Start", "End",        "Duration", "Client",
                                             "ID",    "Technician", "Ended",    "Note"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return QAbstractTableModel::headerData(section, orientation, role);
        }
        return QString::fromLatin1(Titles[section]);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        return index.column() == Note ? flags | Qt::ItemIsEditable : flags;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() ||
            (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)) {
            return {};
        }
        const core::Session& s = sessions_[static_cast<size_t>(index.row())];
        const QLocale locale;
        switch (index.column()) {
        case Start:
            return locale.toString(FromLog(s.start), QLocale::ShortFormat);
        case End:
            return s.end.empty() ? QString()
                                 : locale.toString(FromLog(s.end), QLocale::ShortFormat);
        case Length:
            return Duration(core::DurationSeconds(s));
        case Client:
            return DisplayText(s.client.name, 200);
        case Id:
            return DisplayText(s.client.id, 20);
        case Technician:
            return DisplayText(s.technician, 64);
        case Ended: {
            const QString word =
                QString::fromLatin1(core::EndedWord(s.how).data(),
                                    static_cast<qsizetype>(core::EndedWord(s.how).size()));
            return s.line.empty() ? word : word + QStringLiteral(": ") + DisplayText(s.line, 400);
        }
        case Note:
            return QString::fromStdString(s.note);
        default:
            return {};
        }
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || index.column() != Note || role != Qt::EditRole) {
            return false;
        }
        core::Session& s = sessions_[static_cast<size_t>(index.row())];
        const std::string note = core::CleanNote(value.toString().toStdString());
        if (note == s.note) {
            return false;
        }
        s.note = note;
        emit dataChanged(index, index);
        // Last: the log tells the dialog it changed, and the dialog reads the rows anew.
        const std::string id = s.id;
        log_.Note(id, QString::fromStdString(note));
        return true;
    }

private:
    ConnectionLog& log_;
    std::vector<core::Session> sessions_;
};

SessionLogDialog::SessionLogDialog(ConnectionLog& log, std::optional<core::Client> client,
                                   QWidget* parent)
    : QDialog(parent), log_(log), client_(std::move(client)), who_(new QComboBox(this)),
      from_(new QDateEdit(this)), to_(new QDateEdit(this)), view_(new QTableView(this)),
      table_(new SessionTable(log, this)), status_(new QLabel(this)) {
    setObjectName(QStringLiteral("SessionLog"));
    setWindowTitle(QStringLiteral("Session log - ") + ApplicationTitle());
    who_->setObjectName(QStringLiteral("SessionClient"));
    who_->addItem(QStringLiteral("All clients"));
    if (client_) {
        who_->insertItem(0, Named(*client_));
        who_->setCurrentIndex(0);
    }
    for (QDateEdit* day : {from_, to_}) {
        day->setCalendarPopup(true);
        day->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    from_->setObjectName(QStringLiteral("SessionFrom"));
    to_->setObjectName(QStringLiteral("SessionTo"));
    const QDate today = QDate::currentDate();
    to_->setDate(today);
    from_->setDate(today.addDays(-29));
    auto* filters = new QHBoxLayout();
    filters->addWidget(who_, 1);
    filters->addWidget(new QLabel(QStringLiteral("From"), this));
    filters->addWidget(from_);
    filters->addWidget(new QLabel(QStringLiteral("to"), this));
    filters->addWidget(to_);

    view_->setObjectName(QStringLiteral("SessionTable"));
    view_->setModel(table_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setAccessibleName(QStringLiteral("Sessions"));
    status_->setObjectName(QStringLiteral("SessionStatus"));
    status_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* exportButton =
        buttons->addButton(QStringLiteral("Export\u2026"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("SessionExport"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Export the sessions"),
                                         QDir::home().filePath(QStringLiteral("sessions.csv")),
                                         QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty()) {
            ExportTo(path);
        }
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(820, 400);
    connect(who_, &QComboBox::currentIndexChanged, this, &SessionLogDialog::Reload);
    connect(from_, &QDateEdit::dateChanged, this, &SessionLogDialog::Reload);
    connect(to_, &QDateEdit::dateChanged, this, &SessionLogDialog::Reload);
    connect(&log_, &ConnectionLog::Changed, this, &SessionLogDialog::Reload);
    Reload();
}

const std::vector<core::Session>& SessionLogDialog::Shown() const {
    return table_->Sessions();
}

void SessionLogDialog::SetRange(const QDate& from, const QDate& to) {
    const QSignalBlocker block(from_);
    from_->setDate(from);
    to_->setDate(to);
    Reload();
}

void SessionLogDialog::Reload() {
    // Whole days of this computer's time.
    const QDateTime from(from_->date(), QTime(0, 0));
    const QDateTime to(to_->date().addDays(1), QTime(0, 0));
    const bool one = client_ && who_->currentIndex() == 0;
    log_.Read(from.toSecsSinceEpoch(), std::max(from, to).toSecsSinceEpoch(),
              [self = QPointer<SessionLogDialog>(this), one](std::vector<core::Session> sessions,
                                                             const QString& why) {
                  if (self) {
                      self->Show(std::move(sessions), why, one);
                  }
              });
}

void SessionLogDialog::Show(std::vector<core::Session> sessions, const QString& why, bool one) {
    if (one) {
        std::erase_if(sessions, [&](const core::Session& s) { return s.client != *client_; });
    }
    int64_t seconds = 0;
    for (const core::Session& s : sessions) {
        seconds += std::max<int64_t>(0, core::DurationSeconds(s));
    }
    table_->Set(std::move(sessions));
    view_->resizeColumnsToContents();
    const size_t count = Shown().size();
    QString text =
        !why.isEmpty() ? why
        : count == 0   ? QStringLiteral("No session in these days")
        : count == 1
            ? QStringLiteral("1 session")
            : QStringLiteral("%1 sessions").arg(QLocale().toString(static_cast<qulonglong>(count)));
    if (count > 0) {
        text += QStringLiteral(" \u00B7 the viewer ran %1 in all").arg(Duration(seconds));
    }
    if (log_.Cut()) {
        text += QStringLiteral(" \u00B7 the log's oldest part is beyond what is read");
    }
    status_->setText(text);
}

bool SessionLogDialog::ExportTo(const QString& path) {
    // Every session of the days and client shown, however many: a shared book's are written
    // from its server as they are read.
    const QDateTime from(from_->date(), QTime(0, 0));
    const QDateTime to(to_->date().addDays(1), QTime(0, 0));
    const bool one = client_ && who_->currentIndex() == 0;
    // Told at once for this computer's log, later for a shared book's: held by both.
    const auto written = std::make_shared<std::optional<bool>>();
    log_.Export(
        path, from.toSecsSinceEpoch(), std::max(from, to).toSecsSinceEpoch(),
        one ? client_ : std::nullopt,
        [self = QPointer<SessionLogDialog>(this), path, written](int64_t rows, const QString& why) {
            if (!self) {
                return;
            }
            *written = why.isEmpty();
            if (!why.isEmpty()) {
                ShowMessage(StoredText(QStringLiteral("The sessions were not exported: ") + why));
                return;
            }
            self->status_->setText(
                QStringLiteral("Exported %1 sessions to %2")
                    .arg(QLocale().toString(static_cast<qulonglong>(rows)), path));
        });
    // A shared book answers once its server has written the file.
    if (!*written) {
        status_->setText(QStringLiteral("Exporting the sessions\u2026"));
    }
    return written->value_or(true);
}
