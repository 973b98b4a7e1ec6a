#include "app/Unit1.h"

#include "app/Messages.h"
#include "app/QtText.h"
#include "app/UserSettings.h"
#include "core/Commit.h"
#include "core/LaunchLine.h"
#include "core/ProgramFiles.h"
#include "core/Settings.h"
#include "net/IdIPWatch.h"
#include "platform/Folder.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QFont>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLockFile>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <QValidator>

namespace {

// Where the window first opens, in screen pixels.
constexpr QPoint StartPosition(196, 248);

// Mirroring reaches rows 0 to 99999; a selection beyond leaves the other list as it is.
constexpr int MaxMirroredPosition = 99999;

// The share of a wider window that goes to the name list; the ID list takes the rest.
constexpr double NameListShareOfWidth = 0.75;

// How long the book's files must stay still before another copy's commit is read: its three
// renames come in a burst.
constexpr int BookSettleMilliseconds = 150;

// The user's last size and place of the window, in the user's own settings (never in the
// program folder's files).
QSettings PlaceSettings() {
    return UserSettings();
}

bool AllDigits(const QString& text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The layout names Windows fonts; where they are missing, fonts with the same widths stand in,
// so the captions fit the layout's sizes.
void AddFontSubstitutes() {
    const auto substitute = [](const QString& family, const QStringList& substitutes) {
        if (!QFontDatabase::hasFamily(family)) {
            QFont::insertSubstitutions(family, substitutes);
        }
    };
    substitute(QStringLiteral("MS Sans Serif"),
               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    substitute(QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif")});
}

// Tabs with a third of the style's usual padding beside their captions.
class CompactTabs final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 3 : value;
    }
};

// Drops line breaks and other control characters from what is typed or pasted: a name pasted
// with a line break would become two rows of one list and one of the other.
class NoControlCharacters final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override {
        for (qsizetype i = input.size() - 1; i >= 0; --i) {
            const char16_t c = input.at(i).unicode();
            if (c < 0x20 || c == 0x7F) {
                input.remove(i, 1);
                if (i < position) {
                    --position;
                }
            }
        }
        return Acceptable;
    }
};

// A radio button set from code: checking one clears its partner; clearing one leaves the
// partner alone (an exclusive group would refuse to clear its checked button).
void SetRadio(QAbstractButton* button, bool checked) {
    if (checked) {
        button->setChecked(true);
        return;
    }
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

// Each key that the window reads and writes, with the control the schema binds it to.
template <class Visit> void ForEachBoundSetting(const QWidget& window, Visit visit) {
    for (const core::SettingKey& key : core::SettingsSchema) {
        if (key.kind != core::SettingKey::Constant) {
            visit(key, window.findChild<QWidget*>(QString::fromLatin1(key.control)));
        }
    }
}

// A row added to the book: its text without control characters.
std::string BookRow(const QString& typed) {
    return core::WithoutControlCharacters(StoredText(typed));
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
    AddFontSubstitutes();
    ui->setupUi(this);
    // Link labels are as wide as their text, so only the text reacts to the pointer; a centred
    // one stays centred where the layout put it.
    for (TSwCURLLabel* link :
         {ui->SwCURLLabel1, ui->SwCURLLabel2, ui->SwCURLLabel3, ui->SwCURLLabel4}) {
        const QRect placed = link->geometry();
        link->adjustSize();
        if (link->alignment() & Qt::AlignHCenter) {
            link->move(placed.center().x() - link->width() / 2, placed.y());
        }
    }
    // The address watch hands its polls to this thread through the event loop.
    MainThreadCalls::Instance().BindToCurrentThread([] {
        QMetaObject::invokeMethod(
            qApp, [] { MainThreadCalls::Instance().RunPending(); }, Qt::QueuedConnection);
    });
    IdIPWatch1 = std::make_unique<TIdIPWatch>();
    // Where the files are kept was chosen at start-up; an installed copy keeps the address
    // history with the book, a portable one in the current directory as it always did.
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    const bool installed = core::CurrentStorage().mode != core::Storage::Portable;
    IdIPWatch1->SetHistoryFilename(installed ? files.Folder() + "iphist.dat" : "iphist.dat");
    QString kept = QStringLiteral("Your client book is kept in ") + DisplayText(files.Folder());
    if (!core::CurrentStorage().carriedFrom.empty()) {
        kept += QStringLiteral(" (carried over from ") +
                DisplayText(core::CurrentStorage().carriedFrom) + QStringLiteral(")");
    }
    ui->BookFolderLabel->setText(kept);
    IdIPWatch1->SetActive(true);
    // Narrower tab padding, so the six pages' tabs fit the window's width.
    auto* tabs = new CompactTabs;
    tabs->setParent(ui->PageControl1->tabBar());
    ui->PageControl1->tabBar()->setStyle(tabs);
    move(StartPosition);
    RecordLayout();
    RestorePlace();
    ConnectFinding();
    for (QLineEdit* field :
         {static_cast<QLineEdit*>(ui->Edit1), static_cast<QLineEdit*>(ui->NumEdit1)}) {
        field->setValidator(new NoControlCharacters(field));
    }
    // Start states come from the layout before any handler is attached: building the window
    // runs none of them.
    ConnectHandlers();
}

TForm1::~TForm1() = default;

// The filter, the keys and the mouse that find a client and act on it.
void TForm1::ConnectFinding() {
    upHint_ = ui->Button4->toolTip();
    downHint_ = ui->Button5->toolTip();
    // The two lists scroll together, so a name and its ID always stand side by side.
    connect(ui->ListBox1->verticalScrollBar(), &QScrollBar::valueChanged,
            ui->ListBox2->verticalScrollBar(), &QScrollBar::setValue);
    connect(ui->ListBox2->verticalScrollBar(), &QScrollBar::valueChanged,
            ui->ListBox1->verticalScrollBar(), &QScrollBar::setValue);
    for (QWidget* watched :
         {static_cast<QWidget*>(ui->FilterEdit), static_cast<QWidget*>(ui->ListBox1),
          static_cast<QWidget*>(ui->ListBox2)}) {
        watched->installEventFilter(this);
    }
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
        ui->FilterEdit->setFocus(Qt::ShortcutFocusReason);
        ui->FilterEdit->selectAll();
    });
    connect(new QShortcut(QKeySequence::New, this), &QShortcut::activated, this, [this] {
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        ui->Edit1->setFocus(Qt::ShortcutFocusReason);
    });
    // Typing filters at once.
    ui->FilterEdit->setFocus(Qt::OtherFocusReason);
}

void TForm1::ConnectHandlers() {
    const auto handle = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    // Adding runs on a press only (mouse release, Space or Enter): focus entering "OK" adds
    // nothing, so one press adds one client.
    handle(ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    handle(ui->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    handle(ui->Button3, &QPushButton::clicked, &TForm1::Button3Click);
    handle(ui->Button4, &QPushButton::clicked, &TForm1::Button4Click);
    handle(ui->Button5, &QPushButton::clicked, &TForm1::Button5Click);
    handle(ui->ListBox1, &ListBox::UserSelectionChanged, &TForm1::ListBox1Click);
    handle(ui->ListBox2, &ListBox::UserSelectionChanged, &TForm1::ListBox2Click);
    handle(ui->ListBox1, &ListBox::doubleClicked, &TForm1::Button2Click);
    handle(ui->ListBox2, &ListBox::doubleClicked, &TForm1::Button2Click);
    handle(ui->FilterEdit, &QLineEdit::textChanged, &TForm1::FilterEditChange);
    handle(ui->BookFolderButton, &QPushButton::clicked, &TForm1::ChooseBookFolder);
    // A check box's handler runs on every change of its state, by the user or from code.
    handle(ui->CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    handle(ui->CheckBox2, &QCheckBox::toggled, &TForm1::CheckBox2Click);
    handle(ui->CheckBox3, &QCheckBox::toggled, &TForm1::CheckBox3Click);
}

void TForm1::FormCreate() {
    ui->ComboBox1->setToolTip(
        QStringLiteral("1: Auto\n2: LAN\n3: Medium\n4: Modem\n5: Slow\n7: Ultra"));
    ui->CheckBox2->setToolTip(
        QStringLiteral("Leave checked for autoreconnect\nUncheck for no autoreconnect"));
    ui->CheckBox1->setToolTip(
        QStringLiteral("Leave checked for autoscaling\nUncheck for no autoscaling"));

    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    if (const std::string notice = files.CleanUpAtStart(); !notice.empty()) {
        ShowMessage(notice);
    }
    // Without an address the field stays empty and loading goes on, so the close never writes
    // back lists or settings that were not read.
    try {
        ui->Edit3->setText(DisplayText(IdIPWatch1->QueryLocalAddress()));
    } catch (const std::exception& error) {
        ui->Edit3->clear();
        ReportError(error.what());
    }
    base_ = files.LoadBook();
    // A book carried over from the program's folder is no first run.
    const bool carried = !core::CurrentStorage().carriedFrom.empty();
    LoadList(ui->ListBox1, base_.names, !carried);
    LoadList(ui->ListBox2, base_.ids, !carried);
    LoadSettings(base_.settings);
    WatchBook(files);
}

void TForm1::LoadList(ListBox* list, core::ListFile& file, bool firstRunNotice) {
    BookChanged();
    list->SetItems(std::move(file.rows));
    file.rows.clear();
    if (file.state == core::ListFile::Missing && !firstRunNotice) {
        return;
    }
    if (const std::string notice = core::LoadNotice(file); !notice.empty()) {
        ShowMessage(notice);
    }
}

// Each key of the schema goes into the control it names, by the control's kind.
void TForm1::LoadSettings(const std::vector<std::string>& values) {
    ForEachBoundSetting(*this, [&](const core::SettingKey& key, QWidget* control) {
        const std::string& value = values[static_cast<size_t>(&key - core::SettingsSchema.data())];
        if (auto* radio = qobject_cast<QRadioButton*>(control)) {
            SetRadio(radio, value == "1");
        } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
            check->setChecked(value == "1");
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->setCurrentText(DisplayText(value));
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(DisplayText(value));
        }
    });
}

core::SettingsValues TForm1::CurrentSettings() const {
    core::SettingsValues settings;
    ForEachBoundSetting(*this, [&](const core::SettingKey& key, const QWidget* control) {
        if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            settings.SetFlag(key, button->isChecked());
        } else if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
            settings.SetText(key, StoredText(combo->currentText()));
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
            settings.SetText(key, StoredText(edit->text()));
        }
    });
    return settings;
}

void TForm1::FormClose() {
    // The close's own commit is no news from another copy.
    saving_ = true;
    const auto done = qScopeGuard([this] { saving_ = false; });
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    const core::SaveOutcome saved =
        files.SaveBook(base_, ui->ListBox1->Items(), ui->ListBox2->Items(), CurrentSettings());
    files.RemoveBatchFile();
    if (!saved.merged.empty()) {
        ShowMessage(saved.merged);
    }
    for (const std::string& notice : saved.leftAlone) {
        ShowMessage(notice);
    }
}

void TForm1::WatchBook(const core::ProgramFiles& files) {
    bookSettle_ = new QTimer(this);
    bookSettle_->setSingleShot(true);
    bookSettle_->setInterval(BookSettleMilliseconds);
    connect(bookSettle_, &QTimer::timeout, this,
            [this] { Guarded([this] { BookFilesChanged(); }); });
    // The folder tells of renames into it; the files of writes in place; a list that is a
    // link of the user's is watched where it leads.
    bookWatch_ = std::make_unique<QFileSystemWatcher>();
    QStringList paths{QString::fromStdString(files.Folder())};
    for (const std::string& path : {files.Names(), files.Ids(), files.Settings()}) {
        if (const auto real = platform::FollowOwnLinks(path)) {
            paths << QString::fromStdString(platform::FolderOf(*real))
                  << QString::fromStdString(*real);
        }
    }
    paths.removeDuplicates();
    bookWatch_->addPaths(paths);
    const auto settle = [this] { bookSettle_->start(); };
    connect(bookWatch_.get(), &QFileSystemWatcher::directoryChanged, this, settle);
    connect(bookWatch_.get(), &QFileSystemWatcher::fileChanged, this, settle);

    // Tells who else has the book open. It never waits and never refuses: a lock left by a
    // copy that crashed only costs a notice.
    bookLock_ = std::make_unique<QLockFile>(QString::fromStdString(files.Folder()) +
                                            QStringLiteral(".mbv-open.lock"));
    bookLock_->setStaleLockTime(0);
    if (!bookLock_->tryLock(0) && bookLock_->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        const QString who = bookLock_->getLockInfo(&pid, &host, &application)
                                ? QStringLiteral(" (process %1 on %2)").arg(pid).arg(host)
                                : QString();
        ShowNotice("Another copy of My Brindle Viewer" + StoredText(who) +
                   " has this book open: the changes of both copies will be kept.");
    }
}

// Another copy committed the book: its changes are merged into the window at once, the
// selection and the filter stay, and what was read becomes the base of the next merge.
void TForm1::BookFilesChanged() {
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    if (saving_) {
        return;
    }
    if (core::CommitInProgress(files.Folder())) {
        bookSettle_->start(); // read it once all its renames stand
        return;
    }
    std::optional<core::BookOnDisk> theirs = files.ChangedSince(base_);
    if (!theirs) {
        return;
    }
    const core::MergeOutcome merged = core::ProgramFiles::Merge(
        base_, *theirs, core::RowsOf(ui->ListBox1->Items(), ui->ListBox2->Items()),
        CurrentSettings().List());
    // The merged rows are views into both books: owned before either changes.
    core::Book book = merged.bookChanged ? core::Owned(merged.book) : core::Book();
    base_ = std::move(*theirs);
    ShowMerged(merged.bookChanged ? &book : nullptr, merged.settings, merged.summary);
}

void TForm1::ShowMerged(core::Book* book, const std::vector<std::string>& settings,
                        const std::string& summary) {
    if (book) {
        // The same client stays selected, wherever the merge put it.
        const int row = ui->ListBox1->ItemIndex();
        const std::string name = row >= 0 ? ui->ListBox1->Item(row) : std::string();
        const int idRow = ui->ListBox2->ItemIndex();
        const std::string id = idRow >= 0 ? ui->ListBox2->Item(idRow) : std::string();
        ui->ListBox1->SetItems(std::move(book->names));
        ui->ListBox2->SetItems(std::move(book->ids));
        BookChanged();
        if (row >= 0) {
            const auto& names = ui->ListBox1->Items();
            const auto& ids = ui->ListBox2->Items();
            for (size_t i = 0; i < names.size(); ++i) {
                if (names[i] == name && (idRow < 0 || (i < ids.size() && ids[i] == id))) {
                    ui->ListBox1->SetItemIndex(static_cast<int>(i));
                    ui->ListBox2->SetItemIndex(static_cast<int>(i));
                    break;
                }
            }
        }
    }
    LoadSettings(settings);
    if (!summary.empty()) {
        ShowNotice(summary);
    }
}

// The folder is remembered for this user; the program keeps the book there from its next start.
void TForm1::ChooseBookFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Keep the book in"),
        DisplayText(core::ProgramFiles::OfThisProgram().Folder()));
    if (folder.isEmpty()) {
        return;
    }
    UserSettings().setValue(BookFolderKey(), QDir::toNativeSeparators(folder));
    ShowMessage("Your client book will be kept in " + StoredText(QDir::toNativeSeparators(folder)) +
                " from the next start of the program.");
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A close whose save failed keeps the window, and with it the only copy of the book,
    // unless the user chooses to let the changes go.
    std::string failedFile;
    const bool saved = Guarded([&] {
        try {
            FormClose();
        } catch (const core::ESaveError& error) {
            failedFile = error.File();
            throw;
        }
    });
    if (saved || (!failedFile.empty() &&
                  AskYesNo("Close anyway and lose the changes to " + failedFile + "?"))) {
        SavePlace();
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::Button1Click() {
    ui->ListBox1->Add(BookRow(ui->Edit1->text()));
    ui->ListBox2->Add(BookRow(ui->NumEdit1->text()));
    ui->Edit1->clear();
    ui->NumEdit1->clear();
    BookChanged();
    // A client added while a filter hid the book is shown, and selected, on the way back.
    if (ui->ListBox1->Filtered()) {
        ui->FilterEdit->clear();
        ui->ListBox1->SetItemIndex(ui->ListBox1->Count() - 1);
        ui->ListBox2->SetItemIndex(ui->ListBox2->Count() - 1);
    }
}

void TForm1::Button2Click() {
    if (ui->ListBox1->ItemIndex() < 0) {
        ShowMessage("You have to select a client to connect to first!");
        return;
    }
    ConnectTo(ui->ListBox2->Item(ui->ListBox2->ItemIndex()));
}

void TForm1::ConnectTo(const std::string& id) {
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    core::LaunchInputs launch;
    launch.folder = files.Folder();
    launch.quote = StoredText(ui->Label3->text());
    launch.id = id;
    launch.host = StoredText(ui->RadioButton9->isChecked() ? ui->Edit3->text() : ui->Edit2->text());
    launch.port = StoredText(ui->NumEdit2->text());
    launch.autoreconnect = StoredText(ui->Label5->text());
    launch.connect = StoredText(ui->Label6->text());
    launch.quality = StoredText(ui->ComboBox1->currentText());
    launch.autoscaling = StoredText(ui->Label4->text());
    launch.passwordSwitch = StoredText(ui->Edit7->text());
    launch.password = StoredText(ui->Edit4->text());
    core::CheckLaunchInputs(launch);

    // The line goes through the staging list, which is empty again whatever the write gives.
    ui->ListBox3->Add(core::LaunchLine(launch));
    try {
        files.WriteBatchFile(ui->ListBox3->Items());
    } catch (...) {
        ui->ListBox3->Clear();
        throw;
    }
    ui->ListBox3->Clear();
    files.StartBatchFile();
}

void TForm1::Button3Click() {
    if (ui->ListBox1->ItemIndex() >= 0) {
        ui->ListBox1->Delete(ui->ListBox1->ItemIndex());
    }
    if (ui->ListBox2->ItemIndex() >= 0) {
        ui->ListBox2->Delete(ui->ListBox2->ItemIndex());
    }
    BookChanged();
}

void TForm1::Button4Click() {
    const int p = ui->ListBox1->ItemIndex();
    if (p < 1) {
        ShowMessage("You can't move this item any farther up!");
        return;
    }
    ui->ListBox1->Move(p, p - 1);
    BookChanged();
    // The ID list moves its own selected row; when the lists are out of step and that row
    // cannot move, the ID list is left as it is rather than broken.
    const int q = ui->ListBox2->ItemIndex();
    if (q >= 1) {
        ui->ListBox2->Move(q, q - 1);
    } else {
        ui->ListBox2->SetItemIndex(-1);
    }
}

void TForm1::Button5Click() {
    const int p = ui->ListBox1->ItemIndex();
    if (p < 0 || p >= ui->ListBox1->Count() - 1) {
        ShowMessage("You can't move this item any farther down!");
        return;
    }
    ui->ListBox1->Move(p, p + 1);
    BookChanged();
    const int q = ui->ListBox2->ItemIndex();
    if (q >= 0 && q < ui->ListBox2->Count() - 1) {
        ui->ListBox2->Move(q, q + 1);
    } else {
        ui->ListBox2->SetItemIndex(-1);
    }
}

namespace {

// Selects in one list the row the user selected in the other; without a selection (or past
// the lists' reach) the other list is left alone.
void Mirror(const ListBox* from, ListBox* to) {
    const int position = from->ItemIndex();
    if (position >= 0 && position <= MaxMirroredPosition) {
        to->SetItemIndex(position);
    }
}

} // namespace

void TForm1::ListBox1Click() {
    Mirror(ui->ListBox1, ui->ListBox2);
}

void TForm1::ListBox2Click() {
    Mirror(ui->ListBox2, ui->ListBox1);
}

void TForm1::CheckBox1Click() {
    if (ui->CheckBox1->isChecked()) {
        ui->Label4->setText(QStringLiteral(" -autoscaling"));
        ui->CheckBox1->setText(QStringLiteral(" -autoscaling"));
    } else {
        ui->Label4->clear();
        ui->CheckBox1->setText(QStringLiteral("no autoscaling"));
    }
}

void TForm1::CheckBox2Click() {
    if (ui->CheckBox2->isChecked()) {
        ui->Label5->setText(QStringLiteral(" -autoreconnect"));
        ui->Label6->setText(QStringLiteral(" -connect"));
        ui->CheckBox2->setText(QStringLiteral(" -autoreconnect"));
    } else {
        ui->Label5->clear();
        ui->Label6->clear();
        ui->CheckBox2->setText(QStringLiteral("no autoreconnect"));
    }
}

void TForm1::CheckBox3Click() {
    if (ui->CheckBox3->isChecked()) {
        ui->Edit4->setEnabled(true);
        ui->Edit7->setText(QStringLiteral(" -password "));
    } else {
        ui->Edit4->clear();
        ui->Edit4->setEnabled(false);
        ui->Edit7->clear();
    }
}

void TForm1::BookChanged() {
    filter_.Invalidate();
    if (ui->ListBox1->Filtered()) {
        FilterEditChange();
    }
}

void TForm1::FilterEditChange() {
    const std::vector<int>* shown =
        filter_.Apply(ui->FilterEdit->text(), ui->ListBox1->Items(), ui->ListBox2->Items());
    ui->ListBox1->SetShown(shown);
    ui->ListBox2->SetShown(shown);
    const bool filtered = shown != nullptr;
    ui->FilterCount->setText(filtered
                                 ? QStringLiteral("%1 of %2")
                                       .arg(ui->ListBox1->ShownCount())
                                       .arg(std::max(ui->ListBox1->Count(), ui->ListBox2->Count()))
                                 : QString());
    // Moving a client among some of the book would say nothing of where it lands.
    const QString hidden = QStringLiteral("Clear the filter to move clients in the list");
    ui->Button4->setEnabled(!filtered);
    ui->Button5->setEnabled(!filtered);
    ui->Button4->setToolTip(filtered ? hidden : upHint_);
    ui->Button5->setToolTip(filtered ? hidden : downHint_);
}

void TForm1::SelectShown(int step) {
    const int shown = ui->ListBox1->ShownCount();
    if (shown == 0) {
        return;
    }
    int place = ui->ListBox1->ShownPlaceOf(ui->ListBox1->ItemIndex());
    place = place < 0 ? (step > 0 ? 0 : shown - 1) : std::clamp(place + step, 0, shown - 1);
    const int row = ui->ListBox1->ShownRow(place);
    ui->ListBox1->SetItemIndex(row);
    ui->ListBox2->SetItemIndex(row);
}

// The selected client; else the only one shown; else, for a filter of digits alone, the
// client with exactly that ID, or that ID itself after the user agrees.
void TForm1::EnterPress() {
    if (ui->ListBox1->ItemIndex() < 0 && ui->ListBox1->Filtered()) {
        const QString filter = ui->FilterEdit->text().trimmed();
        if (ui->ListBox1->ShownCount() == 1) {
            SelectShown(1);
        } else if (AllDigits(filter) && filter.size() <= ui->NumEdit1->maxLength()) {
            const std::string id = StoredText(filter);
            const auto& ids = ui->ListBox2->Items();
            const auto known = std::find(ids.begin(), ids.end(), id);
            if (known == ids.end()) {
                if (AskYesNo("Connect to ID " + id + "? It is not in your book.")) {
                    ConnectTo(id);
                }
                return;
            }
            const int row = static_cast<int>(known - ids.begin());
            ui->ListBox1->SetItemIndex(row);
            ui->ListBox2->SetItemIndex(row);
        }
    }
    Button2Click();
}

void TForm1::DeletePress() {
    const int row = ui->ListBox1->ItemIndex();
    if (row < 0) {
        return;
    }
    const int idRow = ui->ListBox2->ItemIndex();
    const std::string id = idRow >= 0 ? ui->ListBox2->Item(idRow) : std::string();
    if (AskYesNo("Remove " + ui->ListBox1->Item(row) + " (" + id + ") from your book?")) {
        Button3Click();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain) {
        return QWidget::eventFilter(watched, event);
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Guarded([this] { EnterPress(); });
        return true;
    case Qt::Key_Delete:
        if (watched != ui->FilterEdit) {
            Guarded([this] { DeletePress(); });
            return true;
        }
        break;
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (watched == ui->FilterEdit) {
            SelectShown(key->key() == Qt::Key_Down ? 1 : -1);
            return true;
        }
        break;
    case Qt::Key_Escape:
        ui->FilterEdit->clear();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::RecordLayout() {
    layoutSize_ = size();
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui->PageControl1, ui->FilterEdit, ui->FilterCount, ui->ListBox1, ui->ListBox2,
             ui->Button2, ui->Button3, ui->Button4, ui->Button5}) {
        layoutPlaces_.emplace_back(w, w->geometry());
    }
}

// The page control and the client list grow with the window; the name list takes most of the
// extra width; the buttons stay in their row below the lists; other pages keep their places.
void TForm1::LayOut() {
    if (layoutPlaces_.empty()) {
        return;
    }
    const int wider = std::max(0, width() - layoutSize_.width());
    const int taller = std::max(0, height() - layoutSize_.height());
    const int nameWider = static_cast<int>(wider * NameListShareOfWidth);
    for (const auto& [w, place] : layoutPlaces_) {
        QRect r = place;
        if (w == ui->PageControl1) {
            r.setSize(place.size() + QSize(wider, taller));
        } else if (w == ui->FilterEdit) {
            r.setWidth(place.width() + wider);
        } else if (w == ui->FilterCount) {
            r.moveLeft(place.left() + wider);
        } else if (w == ui->ListBox1) {
            r.setSize(place.size() + QSize(nameWider, taller));
        } else if (w == ui->ListBox2) {
            r.moveLeft(place.left() + nameWider);
            r.setSize(place.size() + QSize(wider - nameWider, taller));
        } else {
            r.moveTop(place.top() + taller);
        }
        w->setGeometry(r);
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TForm1::RestorePlace() {
    const QByteArray place = PlaceSettings().value(QStringLiteral("geometry")).toByteArray();
    if (!place.isEmpty()) {
        restoreGeometry(place);
    }
}

void TForm1::SavePlace() const {
    PlaceSettings().setValue(QStringLiteral("geometry"), saveGeometry());
}
