#include "app/LocalBook.h"

#include "app/BookLists.h"
#include "app/BookWatch.h"
#include "app/ListBox.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "app/SettingsBinder.h"
#include "core/Commit.h"

#include "app/TypedText.h"
#include "app/UserSettings.h"
#include "core/RecycleBin.h"
#include "core/SharedQueue.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <set>

namespace {

// Now, as the bin notes when a client was removed.
std::string StampNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

// This copy's own commit of the book is no news from another copy.
auto OwnCommit(BookWatch* watch) {
    if (watch) {
        watch->SetSaving(true);
    }
    return qScopeGuard([watch] {
        if (watch) {
            watch->SetSaving(false);
        }
    });
}

} // namespace

LocalBook::LocalBook(ListBox& names, ListBox& ids, BookLists& book, SettingsBinder& settings,
                     QObject* parent)
    : QObject(parent), LocalLists(names, ids), book_(book), settings_(settings),
      commitCopy_(new QTimer(this)) {
    book_.SetStore(*this);
    commitCopy_->setSingleShot(true);
    commitCopy_->setInterval(500);
    connect(commitCopy_, &QTimer::timeout, this, [this] { Guarded([this] { CommitCopy(); }); });
}

LocalBook::~LocalBook() {
    if (notesReader_) {
        notesReader_->wait();
        delete notesReader_;
    }
}

void LocalBook::CommitCopySoon() {
    commitCopy_->start();
}

const std::vector<std::string>& LocalBook::Load() {
    // The notes file is read aside: the window shows the book without waiting for it.
    base_ = core::ProgramFiles::OfThisProgram().LoadBook(false);
    // A book carried over from the program's folder is no first run.
    const bool firstRunNotices = core::CurrentStorage().carriedFrom.empty();
    for (auto [list, file] : {std::pair{&names_, &base_.names}, {&ids_, &base_.ids}}) {
        // The rows are read from the bytes kept as the base: the book is held once.
        list->SetItems(std::move(file->rows));
        file->rows = {};
        if (file->state != core::ListFile::Missing || firstRunNotices) {
            if (const std::string notice = core::LoadNotice(*file); !notice.empty()) {
                ShowMessage(notice);
            }
        }
    }
    SetBin(base_.BinEntries());
    ReadNotesAside();
    return base_.settings;
}

void LocalBook::ReadNotesAside() {
    // A book without notes (most) has no file, and nothing to wait for.
    if (!core::ProgramFiles::OfThisProgram().HasNotes()) {
        return;
    }
    notesReadFrom_ = book_.NotesGeneration();
    notesReader_ = QThread::create([this, files = core::ProgramFiles::OfThisProgram()] {
        notesFile_ = files.LoadNotes();
        notesRead_ = core::ClientNotes::FromBytes(core::BytesOf(notesFile_));
    });
    connect(notesReader_, &QThread::finished, this, [this] { TakeNotesRead(); });
    book_.NotesComing([this] { TakeNotesRead(); });
    notesReader_->start();
}

void LocalBook::TakeNotesRead() {
    if (!notesReader_) {
        return;
    }
    notesReader_->wait();
    delete std::exchange(notesReader_, nullptr);
    book_.NotesComing(nullptr);
    // What the file held is where the next merge of notes starts from.
    base_.notes = std::move(notesFile_);
    notesFile_ = {};
    if (book_.NotesGeneration() == notesReadFrom_ &&
        !(notesRead_.Empty() && book_.Notes().Empty())) {
        book_.SetNotes(std::move(notesRead_));
    }
    notesRead_ = {};
}

std::vector<std::string> LocalBook::NotesToCommit() {
    TakeNotesRead();
    // Notes of clients no longer in the book go, unless the client waits in the bin to come
    // back with them.
    core::ClientNotes notes = book_.Notes();
    if (notes.Empty()) {
        return {};
    }
    std::set<std::pair<std::string_view, std::string_view>> kept;
    const core::Rows& names = names_.Items();
    const core::Rows& ids = ids_.Items();
    for (size_t row = 0; row < std::max(names.size(), ids.size()); ++row) {
        kept.emplace(row < names.size() ? names[row] : std::string_view(),
                     row < ids.size() ? ids[row] : std::string_view());
    }
    std::vector<core::Client> binned;
    for (const std::string& line : bin_) {
        if (const auto entry = core::ParseBinLine(line)) {
            binned.push_back(entry->client);
        }
    }
    for (const core::Client& client : binned) {
        kept.emplace(client.name, client.id);
    }
    notes.KeepOnly([&](const core::Client& client) {
        return kept.count({client.name, client.id}) > 0;
    });
    return notes.Lines();
}

void LocalLists::Append(core::Book clients) {
    // One change of each list however many clients come.
    if (clients.names.size() == 1 && clients.ids.size() == 1) {
        names_.Add(clients.names.front());
        ids_.Add(clients.ids.front());
        return;
    }
    for (auto [list, more] : {std::pair{&names_, &clients.names}, {&ids_, &clients.ids}}) {
        core::Rows rows = list->Items();
        rows.append(*more);
        list->SetItems(std::move(rows));
    }
}

void LocalLists::TakeLast(size_t names, size_t ids) {
    for (auto [list, count] : {std::pair{&names_, names}, {&ids_, ids}}) {
        if (count == 1) {
            list->Delete(list->Count() - 1);
        } else if (count > 0) {
            core::Rows rows = list->Items();
            rows.truncate(rows.size() - count);
            list->SetItems(std::move(rows));
        }
    }
}

void LocalLists::Remove(int nameRow, int idRow) {
    // Into the bin with the clients it stood between, to go back there.
    const int row = nameRow >= 0 ? nameRow : idRow;
    const auto at = [this](int r) {
        return r < 0 ? core::Client() : core::ClientAt(names_.Items(), ids_.Items(), r);
    };
    const core::Client client{nameRow >= 0 ? names_.Item(nameRow) : std::string(),
                              idRow >= 0 ? ids_.Item(idRow) : std::string()};
    const int count = std::max(names_.Count(), ids_.Count());
    bin_.push_back(core::BinLine({StampNow(), ThisUserName(), client, at(row - 1),
                                  row + 1 < count ? at(row + 1) : core::Client()}));
    if (nameRow >= 0) {
        names_.Delete(nameRow);
    }
    if (idRow >= 0) {
        ids_.Delete(idRow);
    }
}

void LocalLists::Restore(int nameRow, const std::string& name, int idRow, const std::string& id) {
    // The removal undone: out of the bin again.
    const core::Client client{nameRow >= 0 ? name : std::string(), idRow >= 0 ? id : std::string()};
    for (auto line = bin_.rbegin(); line != bin_.rend(); ++line) {
        if (const auto entry = core::ParseBinLine(*line); entry && entry->client == client) {
            bin_.erase(std::next(line).base());
            break;
        }
    }
    if (nameRow >= 0) {
        names_.Insert(nameRow, name);
    }
    if (idRow >= 0) {
        ids_.Insert(idRow, id);
    }
}

bool LocalLists::Move(int nameRow, int idRow, int step) {
    names_.Move(nameRow, nameRow + step);
    if (idRow >= 0 && idRow + step >= 0 && idRow + step < ids_.Count()) {
        ids_.Move(idRow, idRow + step);
        return true;
    }
    if (idRow >= 0) {
        ids_.SetItemIndex(-1);
    }
    return false;
}

void LocalLists::Change(int row, const core::Client&, const core::Client& now) {
    if (row < names_.Count()) {
        names_.Set(row, now.name);
    }
    if (row < ids_.Count()) {
        ids_.Set(row, now.id);
    }
}

int LocalLists::BinDays() const {
    const int days = UserSettings().value(BinDaysKey(), 30).toInt();
    return std::clamp(days, 1, 3650);
}

void LocalLists::SetBin(std::vector<std::string> lines) {
    const QString cutoff =
        QDateTime::currentDateTimeUtc().addDays(-BinDays()).toString(Qt::ISODate);
    bin_ = core::KeepRecent(std::move(lines), cutoff.toStdString());
}

void LocalLists::ReadBin(const BinRead& done) {
    SetBin(std::move(bin_));
    std::vector<BinItem> items;
    items.reserve(bin_.size());
    for (auto line = bin_.rbegin(); line != bin_.rend(); ++line) {
        if (const auto entry = core::ParseBinLine(*line)) {
            BinItem item;
            item.client = entry->client;
            item.removedBy = DisplayText(entry->removedBy, 60);
            item.removedAt =
                QDateTime::fromString(QString::fromStdString(entry->removedAt), Qt::ISODate);
            item.line = *line;
            items.push_back(std::move(item));
        }
    }
    done(std::move(items), {});
}

int LocalLists::PutBack(const BinItem& item) {
    const auto found = std::find(bin_.begin(), bin_.end(), item.line);
    const auto entry = core::ParseBinLine(item.line);
    if (found == bin_.end() || !entry) {
        return -1;
    }
    const auto& names = names_.Items();
    const auto& ids = ids_.Items();
    const auto rowOf = [&](const core::Client& client) -> int {
        if (client.name.empty() && client.id.empty()) {
            return -1;
        }
        const size_t count = std::max(names.size(), ids.size());
        for (size_t i = 0; i < count; ++i) {
            if (core::ClientAt(names, ids, i) == client) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    int row = std::max(names_.Count(), ids_.Count());
    if (const int before = rowOf(entry->before); before >= 0) {
        row = before + 1;
    } else if (const int after = rowOf(entry->after); after >= 0) {
        row = after;
    }
    bin_.erase(found);
    // A list shorter than the place (lists out of step) takes the client at its end.
    names_.Insert(std::min(row, names_.Count()), entry->client.name);
    ids_.Insert(std::min(row, ids_.Count()), entry->client.id);
    return row;
}

void LocalLists::TakeOut(int row, const BinItem& item) {
    names_.Delete(std::min(row, names_.Count() - 1));
    ids_.Delete(std::min(row, ids_.Count() - 1));
    bin_.push_back(item.line);
}

void LocalBook::Watch() {
    watch_ = new BookWatch(core::ProgramFiles::OfThisProgram(), this);
    connect(watch_, &BookWatch::Committed, this, [this] {
        if (!mirror_) {
            Guarded([this] { TakeTheirs(); });
        }
    });
}

void LocalBook::TakeTheirs() {
    TakeNotesRead();
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    std::optional<core::BookOnDisk> theirs = files.ChangedSince(base_);
    if (!theirs) {
        return;
    }
    const std::vector<std::string> notes = NotesToCommit();
    const core::MergeOutcome merged =
        core::ProgramFiles::Merge(base_, *theirs, core::RowsOf(names_.Items(), ids_.Items()),
                                  settings_.Values().List(), &bin_, &notes);
    // The merged rows are views into both books: owned before either changes.
    core::Book book = merged.bookChanged ? core::Owned(merged.book) : core::Book();
    base_ = std::move(*theirs);
    if (merged.bookChanged) {
        book_.Replace(std::move(book));
    }
    ShareBase();
    settings_.Load(merged.settings);
    if (merged.bin) {
        SetBin(*merged.bin);
    }
    if (merged.notes) {
        book_.SetNotes(core::ClientNotes::FromLines(*merged.notes));
    }
    if (!merged.summary.empty()) {
        ShowNotice(merged.summary);
    }
}

std::vector<std::string> LocalBook::TakeLoadedQueue() {
    if (watch_ && watch_->AnotherCopyOpen()) {
        carried_ = base_.QueuedEdits();
        return {};
    }
    return base_.QueuedEdits();
}

std::vector<std::string> LocalBook::QueueToCommit(const core::ProgramFiles& files) {
    const std::vector<std::string> mine =
        queueSource_ ? queueSource_() : std::vector<std::string>();
    std::vector<std::string> queue = mine;
    queue.insert(queue.end(), carried_.begin(), carried_.end());
    if (const auto theirs = files.ChangedSince(base_);
        theirs && core::BytesOf(theirs->queue) != core::BytesOf(base_.queue)) {
        queue = core::MergeLines(base_.QueuedEdits(), queue, theirs->QueuedEdits());
        // What is not this copy's is the other copy's, carried until it has sent it.
        std::multiset<std::string> own(mine.begin(), mine.end());
        carried_.clear();
        for (const std::string& line : queue) {
            if (const auto found = own.find(line); found != own.end()) {
                own.erase(found);
            } else {
                carried_.push_back(line);
            }
        }
    }
    return queue;
}

core::SaveOutcome LocalBook::Save(const core::SettingsValues& values) {
    TakeNotesRead();
    const auto own = OwnCommit(watch_);
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    // A shared book's copy keeps no bin of its own (the server's is the team's), and keeps the
    // edits waiting for the server.
    if (mirror_) {
        const std::vector<std::string> queue = QueueToCommit(files);
        const std::vector<std::string> notes = NotesToCommit();
        TakeAsBase(files);
        return files.SaveBook(base_, names_.Items(), ids_.Items(), values, TakeInMerged(),
                              {nullptr, &queue, &notes});
    }
    SetBin(std::move(bin_));
    const std::vector<std::string> notes = NotesToCommit();
    return files.SaveBook(base_, names_.Items(), ids_.Items(), values, TakeInMerged(),
                          {&bin_, nullptr, &notes});
}

void LocalBook::TakeAsBase(const core::ProgramFiles& files) {
    if (std::optional<core::BookOnDisk> theirs = files.ChangedSince(base_)) {
        base_ = std::move(*theirs);
    }
}

void LocalBook::CommitCopy() {
    TakeNotesRead();
    const auto own = OwnCommit(watch_);
    try {
        const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
        // The copy is the server's book: what another copy committed to these files meanwhile
        // is written over, never merged in; the settings stay as the files hold them. The
        // edits waiting for the server are merged: none is lost.
        const std::vector<std::string> queue = QueueToCommit(files);
        const std::vector<std::string> notes = NotesToCommit();
        TakeAsBase(files);
        files.SaveBook(base_, names_.Items(), ids_.Items(), core::SettingsValues(base_.settings),
                       {}, {nullptr, &queue, &notes});
        ShareBase();
    } catch (const core::ESaveError& error) {
        emit Said(QStringLiteral("The copy on this computer could not be written: ") +
                  DisplayText(error.what()));
    }
}

void LocalBook::ShareBase() {
    for (auto [list, file] : {std::pair{&names_, &base_.names}, {&ids_, &base_.ids}}) {
        if (file->bytes) {
            list->Rebase(file->bytes);
        }
    }
}

core::ProgramFiles::TookIn LocalBook::TakeInMerged() {
    return [this](core::Rows names, core::Rows ids, const std::vector<std::string>& settings,
                  const std::vector<std::string>& bin, const std::vector<std::string>& notes) {
        book_.Replace(std::move(names), std::move(ids));
        settings_.Load(settings);
        if (!mirror_) {
            SetBin(bin);
            book_.SetNotes(core::ClientNotes::FromLines(notes));
        }
    };
}
