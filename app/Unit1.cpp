#include "app/Unit1.h"

#include "app/BookFolder.h"
#include "app/BookLists.h"
#include "app/BookTransfer.h"
#include "app/ClientConnection.h"
#include "app/ClientMenu.h"
#include "app/ClientTable.h"
#include "app/ConnectionLog.h"
#include "app/EditingControls.h"
#include "app/Favourites.h"
#include "app/FindBar.h"
#include "app/HistoryDialog.h"
#include "app/Keyring.h"
#include "app/ListBox.h"
#include "app/LocalBook.h"
#include "app/Looks.h"
#include "app/Messages.h"
#include "app/NotesPane.h"
#include "app/PasswordKeeper.h"
#include "app/QtText.h"
#include "app/RecycleBinDialog.h"
#include "app/SessionLogDialog.h"
#include "app/SettingsBinder.h"
#include "app/TextRoom.h"
#include "app/TypedText.h"
#include "app/UserSettings.h"
#include "app/WindowKeys.h"
#include "app/WindowPlace.h"
#include "core/Commit.h"
#include "net/IdIPWatch.h"
#include "store/SharedBookPage.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Where the window first opens, in screen pixels.
constexpr QPoint StartPosition(196, 248);
// The status lines' whole text, which they may show shortened.
constexpr const char* WholeLine = "wholeLine";

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
    AddFontSubstitutes();
    ui->setupUi(this);
    FixLooks(*ui);
    // The address watch hands its polls to this thread through the event loop.
    MainThreadCalls::Instance().BindToCurrentThread([] {
        QMetaObject::invokeMethod(
            qApp, [] { MainThreadCalls::Instance().RunPending(); }, Qt::QueuedConnection);
    });
    IdIPWatch1 = std::make_unique<TIdIPWatch>();
    // Where the files are kept was chosen at start-up; a copy that keeps them elsewhere than
    // beside itself keeps the address history with the book, a portable one in the current
    // directory as it always did.
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    const bool portable = core::CurrentStorage().mode == core::Storage::Portable;
    IdIPWatch1->SetHistoryFilename(portable ? "iphist.dat" : files.Folder() + "iphist.dat");
    new BookFolder(*ui->BookFolderLabel, *ui->BookFolderButton, this);
    book_ = new BookLists(*ui->BookTable, this);
    // The batch file's staging list, which holds nothing between launches.
    new ListBox(this, QStringLiteral("ListBox3"));
    // The Shared Book page is the last; a copy built without PostgreSQL has none.
    shared_ = new SharedBookPage(*ui->PageControl1, *book_, this);
    // Before anything is placed by the window's size, and once every text is in: fonts other
    // than the layout's, and a deep book folder, may need more room.
    const int drawnMargin = WindowPlace::TableMargin(*ui);
    resize(size() + MakeRoomForTexts(*ui->PageControl1));
    IdIPWatch1->SetActive(true);

    settings_ = std::make_unique<SettingsBinder>(*ui);
    local_ = new LocalBook(ui->BookTable->Names(), ui->BookTable->Ids(), *book_, *settings_, this);
    keeper_ = new PasswordKeeper(*ui->CheckBox3, *ui->Edit4, *ui->KeyringBox,
                                 KeyringKey(QString::fromStdString(files.Folder())), this);
    connect(keeper_, &PasswordKeeper::Said, this,
            [](const QString& what) { ShowNotice(StoredText(what)); });
    connection_ = new ClientConnection(*ui, *keeper_, this);
    connection_->ChooseViewer(files);
    find_ = new FindBar(ui->FilterEdit, ui->FilterCount, this);
    transfer_ = new BookTransfer(*book_, *this, ui->NumEdit1->maxLength());
    move(StartPosition);
    notes_ = new NotesPane(*book_, ui->TabSheet1);
    favourites_ = new Favourites(*this, *book_, *find_, *ui->RecentButton);
    place_ = std::make_unique<WindowPlace>(*this, *ui, drawnMargin);
    place_->SetPane(notes_);
    place_->Restore();
    place_->FitIds();
    keys_ = new WindowKeys(*this, *ui, *find_, *book_, *connection_);
    ui->BookTable->SetMaxIdLength(ui->NumEdit1->maxLength());
    new ClientMenu(*ui->BookTable, *book_, *transfer_,
                   {[this] { Button2Click(); }, [this] { EditSelected(); },
                    [this] { Button3Click(); }, [this] { CopySelectedId(); },
                    [this] { ShowRecentlyRemoved(); }, [this] { ShowHistory(); },
                    [this] { AskExportHistory(); }, [this] { ShowNotes(); },
                    [this] { favourites_->ToggleSelected(); }, [this] { ShowSessionLog(); }});
    // Start states come from the layout before any handler is attached: building the window
    // runs none of them.
    ConnectHandlers();
    find_->SetCount(0, 0, false);
}

TForm1::~TForm1() {
    // The keys watch the controls, which the window's close while it is destroyed still hides.
    delete keys_;
    // An editor still open hands its text over as the table goes: no longer this window's.
    ui->BookTable->Model().disconnect(this);
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
    handle(ui->BookTable, &ClientTable::doubleClicked, &TForm1::Button2Click);
    handle(keys_, &WindowKeys::AddPressed, &TForm1::Button1Click);
    handle(keys_, &WindowKeys::ConnectPressed, &TForm1::Button2Click);
    handle(keys_, &WindowKeys::RemovePressed, &TForm1::Button3Click);
    handle(keys_, &WindowKeys::EditPressed, &TForm1::EditSelected);
    handle(keys_, &WindowKeys::CopyIdPressed, &TForm1::CopySelectedId);
    connect(keys_, &WindowKeys::ImportPressed, transfer_, &BookTransfer::AskImport);
    connect(keys_, &WindowKeys::ExportPressed, transfer_, [this] { transfer_->Export(false); });
    connect(&ui->BookTable->Model(), &BookTableModel::EditRequested, this,
            [this](int row, int column, const QString& text) {
                Guarded([&] { EditCell(row, column, text); });
            });
    connect(ui->BookTable, &ClientTable::HeaderClicked, this, &TForm1::CycleOrder);
    connect(book_, &BookLists::OrderChanged, this, [this](const BookLists::Order& order) {
        ui->BookTable->ShowOrder(order.column, order.descending);
        QSettings settings = UserSettings();
        settings.setValue(QStringLiteral("table/sortColumn"), order.column);
        settings.setValue(QStringLiteral("table/sortDescending"), order.descending);
        UpdateEditing();
    });
    // Import and export: on the Add page, in the client list's context menu, and by a drop.
    connect(transfer_, &BookTransfer::Said, this, &TForm1::Say);
    transfer_->Offer(*ui->ImportButton, *ui->ExportButton);
    // A check box's handler runs on every change of its state, by the user or from code.
    handle(ui->CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    handle(ui->CheckBox2, &QCheckBox::toggled, &TForm1::CheckBox2Click);
    handle(ui->CheckBox3, &QCheckBox::toggled, &TForm1::CheckBox3Click);
    connect(connection_, &ClientConnection::Said, this, &TForm1::Say);

    editing_ = std::make_unique<EditingControls>(
        std::initializer_list<QWidget*>{ui->Button1, ui->Button3, ui->ImportButton},
        std::initializer_list<QWidget*>{ui->Button4, ui->Button5});
    connect(book_, &BookLists::ShownChanged, this, [this](int shown, int total, bool filtered) {
        find_->SetCount(shown, total, filtered);
        UpdateEditing();
    });
    connect(shared_, &SharedBookPage::Said, this, &TForm1::Say);
    // A shared book's changes come from its server; the files are this computer's copy of it.
    connect(shared_, &SharedBookPage::StateChanged, this, [this] {
        local_->Mirror(shared_->On());
        // The team's session log while the book is shared.
        connection_->Log().UseServer(shared_->On() ? shared_->Sessions() : nullptr);
        UpdateEditing();
    });
    connect(shared_, &SharedBookPage::BookChanged, local_, &LocalBook::CommitCopySoon);
    connect(local_, &LocalBook::Said, this, &TForm1::Say);
    connect(book_, &BookLists::Done, this, &TForm1::Say);
    // The pane follows the selection, however it changed.
    connect(ui->BookTable->selectionModel(), &QItemSelectionModel::selectionChanged, notes_,
            [this] { notes_->ShowRow(book_->Selected()); });
    connect(ui->BookTable, &ClientTable::TagClicked, this,
            [this](const QString& tag) { find_->SetText(u'#' + tag); });
    find_->OfferTags([this] {
        QStringList tags;
        for (const auto& [tag, count] : book_->TagsInUse()) {
            tags.push_back(QString::fromStdString(tag));
        }
        return tags;
    });
    connect(favourites_, &Favourites::Said, this, &TForm1::Say);
    connect(new QShortcut(QKeySequence(Qt::Key_F4), this), &QShortcut::activated, this,
            [this] { Guarded([this] { ShowNotes(); }); });
    connect(connection_, &ClientConnection::Launched, favourites_, &Favourites::Connected);
}

void TForm1::FormCreate() {
    // The order the user last chose, before the book is read: it is shown sorted at once.
    {
        const QSettings settings = UserSettings();
        const int column = settings.value(QStringLiteral("table/sortColumn"), -1).toInt();
        if (column == 0 || column == 1) {
            book_->SetOrder(BookLists::Order{
                column, settings.value(QStringLiteral("table/sortDescending")).toBool()});
        }
    }
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
    // No settings written yet: the repeater's address and port have never been set.
    const bool firstRun = !QFileInfo::exists(QString::fromStdString(files.Settings()));
    // Without an address the field stays empty and loading goes on, so the close never writes
    // back lists or settings that were not read.
    try {
        ui->Edit3->setText(DisplayText(IdIPWatch1->QueryLocalAddress()));
    } catch (const std::exception& error) {
        ui->Edit3->clear();
        ReportError(error.what());
    }
    const std::vector<std::string>& settings = local_->Load();
    favourites_->Load();
    settings_->Load(settings);
    keeper_->Start(settings);
    local_->Watch();
    // The shared book's edits that were waiting for its server when the program last closed.
    shared_->SetQueue(local_->TakeLoadedQueue());
    local_->KeepQueue([this] { return shared_->QueueLines(); });
    shared_->Resume();
    if (firstRun) {
        ShowFirstRunLine();
    }
}

void TForm1::ShowFirstRunLine() {
    QLabel* line = ui->SettingsHint;
    int bottom = 0;
    for (const QWidget* w : ui->TabSheet3->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != line && !w->isHidden()) {
            bottom = std::max(bottom, w->geometry().bottom());
        }
    }
    const int margin = ui->GroupBox1->x();
    line->setGeometry(margin, bottom + 4, ui->TabSheet3->width() - 2 * margin,
                      line->heightForWidth(ui->TabSheet3->width() - 2 * margin));
    line->show();
    const int extra = line->height() + 4;
    setMinimumHeight(minimumHeight() + extra);
    resize(width(), height() + extra);
}

void TForm1::FormClose() {
    notes_->Flush();
    shared_->EndPreview();
    core::SettingsValues values = settings_->Values();
    keeper_->Save(values);
    const core::SaveOutcome saved = local_->Save(values);
    core::ProgramFiles::OfThisProgram().RemoveBatchFile();
    if (!saved.merged.empty()) {
        ShowMessage(saved.merged);
    }
    for (const std::string& notice : saved.leftAlone) {
        ShowMessage(notice);
    }
}

bool TForm1::KeyringWait() const {
    return keyringWait_ || connection_->Waiting();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The keyring takes the password first. While it is waited for, the window stays open and
    // the close goes on once it has answered or its time is up.
    if (!keyringSettled_) {
        event->ignore();
        if (keyringWait_) {
            return;
        }
        keyringWait_ = true;
        askingKeyring_ = true;
        keeper_->Settle([this] {
            keyringWait_ = false;
            keyringSettled_ = true;
            // An answer that came later closes the window now; one at once goes on below.
            if (!askingKeyring_) {
                close();
            }
        });
        askingKeyring_ = false;
        if (keyringWait_) {
            return;
        }
        event->accept();
    }
    keyringSettled_ = false;
    // A close whose save failed keeps the window, and with it the only copy of the book,
    // unless the user chooses to let the changes go.
    std::string failedFile;
    bool finishedLater = false;
    const bool saved = Guarded([&] {
        try {
            FormClose();
        } catch (const core::ESaveError& error) {
            failedFile = error.File();
            finishedLater = error.FinishedLater();
            throw;
        }
    });
    // The question says what closing really does: a save past its commit point is finished by
    // the next start, not lost.
    const std::string question =
        finishedLater ? "Close anyway? Your changes are kept and written to " +
                            core::ShownPath(failedFile) + " at the next start."
                      : "Close anyway and lose the changes to " + core::ShownPath(failedFile) + "?";
    if (saved || (!failedFile.empty() && AskYesNo(question))) {
        place_->Save();
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::Button1Click() {
    book_->Add({BookRow(ui->Edit1->text()), BookRow(ui->NumEdit1->text())});
    ui->Edit1->clear();
    ui->NumEdit1->clear();
    ui->Edit1->setFocus(Qt::OtherFocusReason);
    // A client added while a filter hid the book is shown, and selected, on the way back.
    if (book_->Filtered()) {
        find_->Clear();
        book_->SelectShownAt(-1);
    }
}

void TForm1::Button2Click() {
    if (book_->Selected() >= 0) {
        const ListBox& names = ui->BookTable->Names();
        const ListBox& ids = ui->BookTable->Ids();
        connection_->Connect(ids.Item(ids.ItemIndex()),
                             DisplayText(names.Item(names.ItemIndex()), 80),
                             book_->At(book_->Selected()));
        return;
    }
    // With a filter on, the message says what the filter found.
    if (!book_->Filtered()) {
        ShowMessage("You have to select a client to connect to first!");
    } else if (book_->ShownCount() == 0) {
        ShowMessage("No client matches \"" + StoredText(find_->Text().trimmed()) + "\"");
    } else {
        ShowMessage("Select one of the " + StoredText(QLocale().toString(book_->ShownCount())) +
                    " clients shown");
    }
}

void TForm1::Button3Click() {
    book_->RemoveSelected();
}

void TForm1::Button4Click() {
    if (!book_->MoveSelected(-1)) {
        ShowMessage("You can't move this item any farther up!");
    }
}

void TForm1::Button5Click() {
    if (!book_->MoveSelected(1)) {
        ShowMessage("You can't move this item any farther down!");
    }
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

void TForm1::ImportFiles(const QStringList& paths) {
    transfer_->Import(paths);
}

void TForm1::UpdateEditing() {
    const QString noEdit = book_->WhyNoEdit();
    editing_->Update(noEdit, book_->WhyNoMove());
    ui->BookTable->SetEditable(noEdit.isEmpty());
    notes_->SetEditable(book_->Store().WhyNoExtraEdit());
}

void TForm1::ShowSessionLog() {
    const int row = book_->Selected();
    SessionLogDialog dialog(connection_->Log(),
                            row >= 0 ? std::optional(book_->At(row)) : std::nullopt, this);
    dialog.exec();
}

void TForm1::ShowNotes() {
    const int row = book_->Selected();
    if (row < 0) {
        Say(QStringLiteral("Select a client first: F4 shows its tags and note"));
        return;
    }
    if (notes_->isVisible()) {
        notes_->NoteField().setFocus(Qt::ShortcutFocusReason);
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Tags and note"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* pane = new NotesPane(*book_, &dialog);
    pane->SetEditable(book_->WhyNoEdit());
    pane->ShowRow(row);
    layout->addWidget(pane);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(360, 260);
    pane->NoteField().setFocus(Qt::OtherFocusReason);
    dialog.exec();
    pane->Flush();
}

void TForm1::EditSelected() {
    const int row = book_->Selected();
    if (row < 0) {
        return;
    }
    if (const QString why = book_->WhyNoEdit(); !why.isEmpty()) {
        Say(QStringLiteral("Not changed: ") + why);
        return;
    }
    ui->BookTable->EditRow(row, BookTableModel::Names);
}

void TForm1::EditCell(int row, int column, const QString& text) {
    core::Client now = book_->At(row);
    if (column == BookTableModel::Names) {
        now.name = BookRow(text);
        if (now.name.empty()) {
            Say(QStringLiteral("Not changed: a client needs a name"));
            return;
        }
    } else {
        const QString id = text.trimmed();
        if (!AllDigits(id) || id.size() > ui->NumEdit1->maxLength()) {
            Say(QStringLiteral("Not changed: an ID has 1 to %1 digits")
                    .arg(ui->NumEdit1->maxLength()));
            return;
        }
        now.id = StoredText(id);
    }
    book_->Edit(row, std::move(now));
}

void TForm1::ShowRecentlyRemoved() {
    // One at a time: asked again, the open one comes to the front with the bin read anew.
    if (auto* open = findChild<RecycleBinDialog*>(QStringLiteral("RecentlyRemoved"))) {
        open->Reload();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new RecycleBinDialog(*book_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TForm1::ShowHistory() {
    const int row = book_->Selected();
    if (row < 0) {
        return;
    }
    auto* dialog = new HistoryDialog(*book_, row, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TForm1::AskExportHistory() {
    if (const QString why = book_->Store().WhyNoHistory(); !why.isEmpty()) {
        Say(QStringLiteral("Not exported: ") + why);
        return;
    }
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export history"),
                                     QDir::home().filePath(QStringLiteral("history.csv")),
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty()) {
        ExportHistory(path);
    }
}

void TForm1::ExportHistory(const QString& path) {
    Say(QStringLiteral("Exporting the history\u2026"));
    book_->Store().ExportHistory(
        path, [self = QPointer<TForm1>(this), path](qint64 rows, const QString& why) {
            if (!self) {
                return;
            }
            self->Say(why.isEmpty() ? QStringLiteral("Exported %1 to %2")
                                          .arg(rows == 1 ? QStringLiteral("1 change")
                                                         : QStringLiteral("%1 changes").arg(rows),
                                               QDir::toNativeSeparators(path))
                                    : QStringLiteral("Not exported: ") + why);
        });
}

void TForm1::CopySelectedId() {
    const ListBox& ids = ui->BookTable->Ids();
    const int row = ids.ItemIndex();
    if (row < 0) {
        return;
    }
    const QString id = DisplayText(ids.Item(row));
    QGuiApplication::clipboard()->setText(id);
    Say(QStringLiteral("Copied ID ") + id);
}

void TForm1::CycleOrder(int column) {
    // The clients are sorted by name or by ID.
    if (column > BookTableModel::Ids) {
        return;
    }
    const BookLists::Order now = book_->CurrentOrder();
    BookLists::Order next{column, false};
    if (now.column == column) {
        next = now.descending ? BookLists::Order{} : BookLists::Order{column, true};
    }
    book_->SetOrder(next);
}

bool TForm1::ShareBook(const QString& url) {
    return shared_->ConnectTo(url);
}

void TForm1::Say(const QString& what) {
    QLabel* line =
        ui->PageControl1->currentWidget() == ui->TabSheet2 ? ui->AddStatus : ui->ListStatus;
    for (QLabel* status : {ui->ListStatus, ui->AddStatus}) {
        status->clear();
        status->setToolTip({});
        status->setProperty(WholeLine, QString());
    }
    line->setProperty(WholeLine, what);
    FitStatus(*line);
}

void TForm1::FitStatus(QLabel& line) {
    // A line longer than the window is wide ends in "…" and is read whole in its tool tip,
    // never cut off at the window's edge.
    const QString what = line.property(WholeLine).toString();
    const QString shown = line.fontMetrics().elidedText(what, Qt::ElideRight, line.width());
    line.setText(shown);
    line.setToolTip(shown == what ? QString() : what);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (place_) {
        place_->LayOut();
    }
    for (QLabel* status : {ui->ListStatus, ui->AddStatus}) {
        FitStatus(*status);
    }
    // The first run's line is as wide as its page.
    if (QLabel* line = ui->SettingsHint; !line->isHidden()) {
        line->resize(ui->PageControl1->width() - 2 * line->x() - 4, line->height());
    }
}
