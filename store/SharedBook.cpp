#include "store/SharedBook.h"

#include "app/Messages.h"
#include "app/QtText.h"
#include "app/TypedText.h"

#include <QLocale>

#include <algorithm>
#include <limits>
#include <set>

namespace {

// Whether nobody changed meanwhile what a change of tags and note made without the server
// changes: each part stands where the server still has it as it was.
bool NoteEditStands(const core::QueuedEdit& edit, const core::ClientExtra& server) {
    return (edit.wasExtra.tags == edit.nowExtra.tags || server.tags == edit.wasExtra.tags) &&
           (edit.wasExtra.note == edit.nowExtra.note || server.note == edit.wasExtra.note);
}

// A client as the server would hold it: what tells a local client from one already shared.
core::Client AsShared(const core::Client& client) {
    return {SharedBookServer::Stored(client.name), SharedBookServer::Stored(client.id)};
}

QString Named(const core::Client& client) {
    return DisplayText(client.name, 60) + QStringLiteral(" (") + DisplayText(client.id, 20) + u')';
}

// The most steps kept to undo.
constexpr size_t MostSteps = 100;

} // namespace

SharedBook::SharedBook(BookLists& book, QObject* parent) : QObject(parent), book_(&book) {}

// The connection's thread, once a book is shared: a start without one starts no thread.
void SharedBook::StartServer() {
    if (server_) {
        return;
    }
    thread_ = new QThread;
    server_ = new SharedBookServer;
    server_->moveToThread(thread_);
    connect(server_, &SharedBookServer::Previewed, this, &SharedBook::OnPreviewed);
    connect(server_, &SharedBookServer::Opened, this, &SharedBook::OnOpened);
    connect(server_, &SharedBookServer::Changed, this, &SharedBook::OnChanged);
    connect(server_, &SharedBookServer::Lost, this, &SharedBook::OnLost);
    connect(server_, &SharedBookServer::Answered, this, &SharedBook::OnAnswered);
    connect(server_, &SharedBookServer::BinRead, this,
            [this](int connection, int ticket, const SharedBinRows& rows, const QString& why) {
                const BinRead done = binReads_.take(ticket);
                if (!done) {
                    return;
                }
                std::vector<BinItem> items;
                items.reserve(rows.size());
                for (const SharedBinRow& row : rows) {
                    items.push_back({row.client, row.removedBy, row.removedAt, row.entry, {}});
                }
                done(connection == connection_ ? std::move(items) : std::vector<BinItem>(),
                     connection == connection_ ? why : WhyNot(false));
            });
    connect(server_, &SharedBookServer::HistoryRead, this,
            [this](int connection, int ticket, const SharedHistory& rows, const QString& why) {
                const HistoryRead done = historyReads_.take(ticket);
                if (!done) {
                    return;
                }
                std::vector<HistoryItem> items;
                items.reserve(rows.size());
                for (const SharedHistoryRow& row : rows) {
                    items.push_back({row.action, row.was, row.now, row.who, row.when});
                }
                done(connection == connection_ ? std::move(items) : std::vector<HistoryItem>(),
                     connection == connection_ ? why : WhyNot(false));
            });
    connect(server_, &SharedBookServer::SessionStarted, this,
            [this](int connection, int ticket, qint64 session) {
                if (const Started done = sessionStarts_.take(ticket)) {
                    done(connection == connection_ && session > 0 ? std::to_string(session)
                                                                  : std::string());
                }
            });
    connect(server_, &SharedBookServer::SessionsRead, this,
            [this](int connection, int ticket, const SharedSessions& sessions, const QString& why) {
                if (const Read done = sessionReads_.take(ticket)) {
                    done(connection == connection_ ? sessions : SharedSessions(),
                         connection == connection_ ? why : WhyNot(false));
                }
            });
    connect(server_, &SharedBookServer::SessionsExported, this,
            [this](int, int ticket, qint64 rows, const QString& why) {
                if (const Exported done = sessionExports_.take(ticket)) {
                    done(rows, why);
                }
            });
    connect(server_, &SharedBookServer::HistoryExported, this,
            [this](int, int ticket, qint64 rows, const QString& why) {
                if (const HistoryExported done = historyExports_.take(ticket)) {
                    done(rows, why);
                }
            });
    connect(server_, &SharedBookServer::BinDays, this, [this](int connection, int days) {
        if (connection == connection_) {
            binDays_ = days;
        }
    });
    connect(server_, &SharedBookServer::Said, this, [this](int connection, const QString& line) {
        if (connection == connection_) {
            emit Said(line);
        }
    });
    thread_->setObjectName(QStringLiteral("shared book"));
    thread_->start();
    // A server that stops answering (frozen, or its network gone without a word) holds a call
    // until its socket is cut: then the connection fails, and the window says offline.
    watchdog_ = new QTimer(this);
    watchdog_->setInterval(1000);
    connect(watchdog_, &QTimer::timeout, this, [this] {
        if (server_->Stuck()) {
            server_->Cut();
        }
    });
    watchdog_->start();
}

SharedBook::~SharedBook() {
    if (book_) {
        book_->Share(nullptr);
    }
    if (!server_) {
        return;
    }
    // The connection is closed where it was made, and the window waits for that briefly: a
    // server that does not answer has its socket cut, and one that still holds the thread is
    // left to the end of the process.
    QMetaObject::invokeMethod(server_, [server = server_] {
        server->Close();
        QThread::currentThread()->quit();
    });
    if (!thread_->wait(1500)) {
        server_->Cut();
    }
    if (thread_->wait(400)) {
        delete server_;
        delete thread_;
        return;
    }
    static std::vector<std::pair<QThread*, SharedBookServer*>> leftRunning;
    leftRunning.emplace_back(thread_, server_);
}

template <class F> void SharedBook::OnServer(F f) {
    QMetaObject::invokeMethod(server_, [server = server_, f = std::move(f)] {
        server->Run([server, &f] { f(*server); });
    });
}

void SharedBook::Connect(const SharedBookAddress& address, const QString& password, bool joining) {
    address_ = address;
    joining_ = joining;
    why_.clear();
    Forget();
    StartServer();
    book_->Share(this);
    SetState(State::Connecting);
    OnServer([address, password, connection = ++connection_](SharedBookServer& server) {
        server.Open(address, password, connection);
    });
}

void SharedBook::Disconnect() {
    ++connection_;
    if (server_) {
        OnServer([](SharedBookServer& server) { server.Close(); });
    }
    EndPreview();
    book_->Share(nullptr);
    rows_.clear();
    shownIds_.clear();
    seen_ = 0;
    Forget();
    SetState(State::Off);
}

void SharedBook::Forget() {
    undo_.clear();
    redo_.clear();
    pending_.clear();
    deferred_.clear();
    binReads_.clear();
    historyReads_.clear();
    // A connection started or a read asked for on the connection given up is told so.
    for (const Started& done : std::exchange(sessionStarts_, {})) {
        done({});
    }
    for (const Read& done : std::exchange(sessionReads_, {})) {
        done({}, QStringLiteral("The shared book's connection was given up"));
    }
    for (const Exported& done : std::exchange(sessionExports_, {})) {
        done(0, QStringLiteral("The shared book's connection was given up"));
    }
    syncing_ = false;
    historyExports_.clear();
}

QString SharedBook::WhyNot(bool brief) const {
    switch (state_) {
    case State::Off:
        return {};
    case State::Online:
        if (canEdit_) {
            return {};
        }
        return brief ? QStringLiteral("you may only read the shared book")
                     : QStringLiteral("Your user may only read the shared book: its admin "
                                      "decides who may change it");
    case State::Connecting:
        return brief ? QStringLiteral("the server has not answered yet")
                     : QStringLiteral("Waiting for the shared book's server");
    case State::Offline:
        if (QueuesEdits()) {
            return {};
        }
        [[fallthrough]];
    case State::Refused:
        return brief ? QStringLiteral("the shared book is offline")
                     : QStringLiteral("The shared book cannot be reached: it can be changed "
                                      "again once it is back");
    }
    return {};
}

QString SharedBook::Status() const {
    const QString where = address_.database + QStringLiteral(" on ") + address_.host;
    switch (state_) {
    case State::Off:
        return QStringLiteral("Not shared: the book is kept on this computer only");
    case State::Connecting:
        return QStringLiteral("Connecting to ") + where + QStringLiteral("\u2026");
    case State::Online:
        return QStringLiteral("Shared: ") + where + QStringLiteral(" \u00B7 ") +
               ClientCount(rows_.size()) +
               (canEdit_ ? QString() : QStringLiteral(" \u00B7 read only")) + Waiting();
    case State::Offline:
        return QStringLiteral("Offline since %1 (%2): showing the copy on this computer, "
                              "reconnecting by itself")
                   .arg(QLocale().toString(since_, QLocale::ShortFormat), why_) +
               Waiting();
    case State::Refused:
        // A password the server wants is typed on the page.
        return QStringLiteral("Not connected: ") + why_ +
               (why_.contains(QLatin1String("password"))
                    ? QStringLiteral(": type the password and press Connect")
                    : QString());
    }
    return {};
}

void SharedBook::SetState(State state) {
    state_ = state;
    emit StateChanged();
}

void SharedBook::OnPreviewed(int connection, const SharedRows& rows, bool whole) {
    // A book being joined shows its own clients until the server's are merged with them.
    // Nor do the edits waiting for the server leave the screen before they went through.
    if (connection != connection_ || state_ != State::Connecting || joining_ || !book_ ||
        !queue_.empty()) {
        return;
    }
    core::Book first;
    first.names.reserve(rows.size());
    first.ids.reserve(rows.size());
    for (const SharedRow& row : rows) {
        first.Add(row.client);
    }
    if (!beforePreview_) {
        beforePreview_ = book_->Lists();
    }
    book_->ShowFirst(first, whole);
}

void SharedBook::EndPreview() {
    if (auto before = std::exchange(beforePreview_, std::nullopt); before && book_) {
        book_->Replace(std::move(before->first), std::move(before->second));
    }
}

void SharedBook::OnOpened(int connection, const SharedRows& rows, bool canEdit, bool whole) {
    if (connection != connection_ || state_ == State::Off) {
        return;
    }
    beforePreview_.reset();
    canEdit_ = canEdit;
    whole_ = whole;
    const bool joining = std::exchange(joining_, false);
    rows_ = rows;
    seen_ = 0;
    for (const SharedRow& row : rows_) {
        seen_ = std::max(seen_, row.rowId);
    }
    everOnline_ = true;
    SetState(State::Online);
    if (!queue_.empty()) {
        // The edits made meanwhile go first; the book is shown as the server has it after them.
        SyncNext();
    } else if (joining) {
        Join(rows);
    } else {
        Show();
    }
}

void SharedBook::Join(const SharedRows& rows) {
    const core::Book local = book_->Clients(false);
    std::set<std::pair<std::string, std::string>> shared;
    for (const SharedRow& row : rows) {
        shared.emplace(row.client.name, row.client.id);
    }
    core::Book localOnly;
    size_t noId = 0;
    for (size_t i = 0; i < local.names.size(); ++i) {
        const core::Client client = local.At(i);
        // The server takes only what a typed client may be: a file's row without an ID stays
        // on this computer.
        if (!SharedBookServer::IsId(client.id)) {
            ++noId;
        } else if (const core::Client stored = AsShared(client);
                   !shared.count({stored.name, stored.id})) {
            localOnly.Add({BookRow(DisplayText(client.name)), client.id});
        }
    }
    if (noId > 0) {
        emit Said(
            QStringLiteral("%1 of this computer's book can't be shared: no ID of 1 to 6 digits")
                .arg(ClientCount(noId)));
    }
    // The question is asked over this computer's book; the answer brings the shared one.
    if (localOnly.Count() == 0) {
        Show();
        return;
    }
    const bool add =
        canEdit_ &&
        AskYesNo(StoredText(rows.empty() ? QStringLiteral("Upload your %1 to the shared book?")
                                               .arg(ClientCount(localOnly.Count()))
                                         : QStringLiteral("Keep your %1 that the shared book "
                                                          "does not have by adding them to it?")
                                               .arg(ClientCount(localOnly.Count()))));
    Show();
    if (add) {
        Append(std::move(localOnly));
    }
}

void SharedBook::OnChanged(int connection, const SharedRows& rows, const QList<qint64>& removed) {
    if (connection != connection_ || state_ != State::Online) {
        return;
    }
    FollowRows(rows, removed);
    // Tags and notes follow the rows they came with.
    for (const SharedRow& row : rows) {
        const core::ClientExtra* had = book_->Notes().Find(row.client);
        if (had ? *had != row.extra : !row.extra.Empty()) {
            book_->FollowExtra(row.client, row.extra);
        }
    }
}

void SharedBook::FollowRows(const SharedRows& rows, const QList<qint64>& removed) {
    const auto most = static_cast<size_t>(SharedBookServer::MaxClients());
    // This copy's own edit comes back from the server twice (its answer and its note): the
    // second time it changes nothing, and nothing is hashed, sorted or shown.
    if (NothingNew(rows, removed)) {
        return;
    }
    // The common change, clients added at the end of the book: appended as they are, with
    // nothing looked up or sorted.
    if (queue_.empty() && removed.isEmpty() && rows_.size() + rows.size() <= most &&
        AtTheEnd(rows)) {
        for (const SharedRow& row : rows) {
            rows_.push_back(row);
            seen_ = std::max(seen_, row.rowId);
            book_->FollowInsert(static_cast<int>(shownIds_.size()), row.client);
            shownIds_.push_back(row.rowId);
        }
        emit BookChanged();
        emit StateChanged();
        return;
    }
    // Another common change, a few clients removed (an undo of an add among them): each is
    // looked for from the end and taken out, with nothing hashed or sorted.
    if (queue_.empty() && rows.empty() && removed.size() <= 64 && whole_ &&
        shownIds_.size() == rows_.size()) {
        bool followed = true;
        for (const qint64 id : removed) {
            const auto found = std::find_if(rows_.rbegin(), rows_.rend(),
                                            [id](const SharedRow& row) { return row.rowId == id; });
            if (found == rows_.rend()) {
                continue;
            }
            const auto i = static_cast<size_t>(std::distance(found, rows_.rend()) - 1);
            if (shownIds_[i] != id) {
                followed = false;
                break;
            }
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
            shownIds_.erase(shownIds_.begin() + static_cast<std::ptrdiff_t>(i));
            book_->FollowTake(static_cast<int>(i));
        }
        if (followed) {
            emit BookChanged();
            emit StateChanged();
            return;
        }
    }
    QHash<qint64, size_t> at;
    at.reserve(static_cast<qsizetype>(rows_.size()));
    for (size_t i = 0; i < rows_.size(); ++i) {
        at.insert(rows_[i].rowId, i);
    }
    for (const SharedRow& row : rows) {
        if (const auto found = at.constFind(row.rowId); found != at.cend()) {
            // An older answer never undoes a newer one.
            if (rows_[*found].version <= row.version) {
                rows_[*found] = row;
            }
        } else {
            at.insert(row.rowId, rows_.size());
            rows_.push_back(row);
        }
        seen_ = std::max(seen_, row.rowId);
    }
    if (!removed.isEmpty()) {
        const QSet<qint64> gone(removed.begin(), removed.end());
        std::erase_if(rows_, [&gone](const SharedRow& row) { return gone.contains(row.rowId); });
    }
    std::stable_sort(rows_.begin(), rows_.end(), [](const SharedRow& a, const SharedRow& b) {
        return a.position < b.position || (a.position == b.position && a.rowId < b.rowId);
    });
    // Past the most the program reads, or a row gone from a book shown only in part: the book
    // is read again as far as it goes, so the window keeps following it.
    if (rows_.size() > most || (!whole_ && !removed.isEmpty())) {
        rows_.resize(std::min(rows_.size(), most));
        OnServer([](SharedBookServer& server) { server.ReadAll(); });
    }
    // While the waiting edits are sent, the lists keep showing them; the book follows after.
    if (queue_.empty()) {
        Follow();
    }
    emit StateChanged();
}

bool SharedBook::NothingNew(const SharedRows& rows, const QList<qint64>& removed) const {
    // A few rows are looked for one by one, newest first (a scan of the book's row numbers costs
    // far less than hashing and sorting it); more go the whole way.
    constexpr size_t MostLooked = 64;
    // A row gone from a book shown in part is news: the book is read again as far as it goes.
    if (rows.size() + static_cast<size_t>(removed.size()) > MostLooked ||
        (!whole_ && !removed.isEmpty())) {
        return false;
    }
    const auto held = [this](qint64 rowId) {
        const auto found = std::find_if(rows_.rbegin(), rows_.rend(),
                                        [rowId](const SharedRow& r) { return r.rowId == rowId; });
        return found == rows_.rend() ? nullptr : &*found;
    };
    return std::all_of(rows.begin(), rows.end(),
                       [&](const SharedRow& row) {
                           const SharedRow* mine = held(row.rowId);
                           return mine && mine->version >= row.version;
                       }) &&
           std::none_of(removed.begin(), removed.end(), held);
}

bool SharedBook::AtTheEnd(const SharedRows& rows) const {
    double last = rows_.empty() ? -std::numeric_limits<double>::infinity() : rows_.back().position;
    qint64 lastId = rows_.empty() ? 0 : rows_.back().rowId;
    for (const SharedRow& row : rows) {
        // A row above every one seen is new; it stands last when nothing stands after it.
        if (row.rowId <= seen_ || row.position < last ||
            (row.position == last && row.rowId < lastId)) {
            return false;
        }
        last = row.position;
        lastId = row.rowId;
    }
    return shownIds_.size() == rows_.size();
}

void SharedBook::Follow() {
    // The lists go from the rows they show to the server's by row edits, as few as the change
    // needs: the view keeps its place and the selection its client. A change that moves much
    // of the book is shown anew instead.
    constexpr size_t MostEdits = 256;
    if (shownIds_.size() != static_cast<size_t>(book_->Count())) {
        Show();
        return;
    }
    QSet<qint64> kept;
    kept.reserve(static_cast<qsizetype>(rows_.size()));
    for (const SharedRow& row : rows_) {
        kept.insert(row.rowId);
    }
    size_t edits = 0;
    std::vector<qint64>& shown = shownIds_;
    for (size_t i = shown.size(); i-- > 0;) {
        if (!kept.contains(shown[i])) {
            if (++edits > MostEdits) {
                Show();
                return;
            }
            book_->FollowTake(static_cast<int>(i));
            shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        const SharedRow& row = rows_[i];
        if (i < shown.size() && shown[i] == row.rowId) {
            if (book_->At(static_cast<int>(i)) != row.client) {
                book_->FollowSet(static_cast<int>(i), row.client);
                ++edits;
            }
        } else if (const auto from = std::find(shown.begin() + static_cast<std::ptrdiff_t>(i),
                                               shown.end(), row.rowId);
                   from != shown.end()) {
            book_->FollowMove(static_cast<int>(from - shown.begin()), static_cast<int>(i));
            std::rotate(shown.begin() + static_cast<std::ptrdiff_t>(i), from, from + 1);
            if (book_->At(static_cast<int>(i)) != row.client) {
                book_->FollowSet(static_cast<int>(i), row.client);
            }
            ++edits;
        } else {
            book_->FollowInsert(static_cast<int>(i), row.client);
            shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(i), row.rowId);
            ++edits;
        }
        if (edits > MostEdits) {
            Show();
            return;
        }
    }
    emit BookChanged();
}

void SharedBook::Show() {
    core::Book book;
    book.names.reserve(rows_.size());
    book.ids.reserve(rows_.size());
    shownIds_.clear();
    shownIds_.reserve(rows_.size());
    core::ClientNotes notes;
    for (const SharedRow& row : rows_) {
        book.Add(row.client);
        shownIds_.push_back(row.rowId);
        notes.Set(row.client, row.extra);
    }
    book_->Replace(std::move(book));
    book_->SetNotes(std::move(notes));
    emit BookChanged();
}

void SharedBook::OnLost(int connection, const QString& why, bool retrying) {
    if (connection != connection_ || state_ == State::Off) {
        return;
    }
    EndPreview();
    why_ = why;
    if (state_ != State::Offline || !retrying) {
        since_ = QDateTime::currentDateTime();
    }
    SetState(retrying ? State::Offline : State::Refused);
}

void SharedBook::Append(core::Book clients) {
    if (QueuesEdits()) {
        for (size_t i = 0; i < clients.Count(); ++i) {
            const core::Client client = clients.At(i);
            book_->FollowInsert(book_->Count(), client);
            Queue({.kind = core::QueuedEdit::Kind::Add, .seen = seen_, .now = client});
        }
        return;
    }
    if (!CanEdit()) {
        emit Said(QStringLiteral("Not added: ") + WhyNot(true));
        return;
    }
    const qint64 known = whole_ ? static_cast<qint64>(rows_.size()) : -1;
    OnServer([clients = std::move(clients), seen = seen_, known, ticket = Send(Purpose::Do)](
                 SharedBookServer& server) { server.Add(clients, seen, known, ticket); });
}

void SharedBook::Remove(int nameRow, int idRow) {
    const int row = nameRow >= 0 ? nameRow : idRow;
    if (QueuesEdits()) {
        if (row >= 0 && row < book_->Count()) {
            const core::Client was = book_->At(row);
            book_->FollowTake(row);
            Queue({.kind = core::QueuedEdit::Kind::Remove, .was = was});
        }
        return;
    }
    if (!CanEdit()) {
        emit Said(QStringLiteral("Not removed: ") + WhyNot(true));
        return;
    }
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return;
    }
    OnServer([id = rows_[row].rowId, version = rows_[row].version, ticket = Send(Purpose::Do)](
                 SharedBookServer& server) { server.Remove(id, version, ticket); });
}

bool SharedBook::Move(int row, int, int step) {
    if (QueuesEdits()) {
        if (row < 0 || row + step < 0 || row + step >= book_->Count()) {
            return false;
        }
        const core::Client was = book_->At(row);
        book_->FollowMove(row, row + step);
        Queue({.kind = core::QueuedEdit::Kind::Move, .step = step, .was = was});
        return true;
    }
    if (!CanEdit()) {
        emit Said(QStringLiteral("Not moved: ") + WhyNot(true));
        return false;
    }
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return false;
    }
    OnServer([id = rows_[row].rowId, version = rows_[row].version, step,
              ticket = Send(Purpose::Do)](SharedBookServer& server) {
        server.Move(id, version, step, ticket);
    });
    return true;
}

void SharedBook::Change(int row, const core::Client&, const core::Client& now) {
    if (QueuesEdits()) {
        if (row >= 0 && row < book_->Count()) {
            const core::Client was = book_->At(row);
            book_->FollowSet(row, now);
            Queue({.kind = core::QueuedEdit::Kind::Edit, .was = was, .now = now});
        }
        return;
    }
    if (!CanEdit()) {
        emit Said(QStringLiteral("Not changed: ") + WhyNot(true));
        return;
    }
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return;
    }
    // What the client was at the version sent: the server changes it only from that.
    Entry sent;
    sent.step.rows.push_back({.was = rows_[row].client});
    OnServer([id = rows_[row].rowId, version = rows_[row].version, now,
              ticket = Send(Purpose::Do, std::move(sent))](SharedBookServer& server) {
        server.Edit(id, version, now, ticket);
    });
}

QString SharedBook::WhyNoExtraEdit() const {
    return QueuesEdits() ? QString() : WhyNot(false);
}

bool SharedBook::ChangeExtra(const core::Client& client, const core::ClientExtra& was,
                             const core::ClientExtra& now) {
    if (QueuesEdits()) {
        // Shown here at once and sent once the server is back, where it still has them as they
        // were.
        if (book_->RowOf(client)) {
            Queue({.kind = core::QueuedEdit::Kind::Note,
                   .was = client,
                   .now = client,
                   .wasExtra = was,
                   .nowExtra = now});
            return true;
        }
        return false;
    }
    if (!CanEdit()) {
        emit Said(QStringLiteral("Note not saved: ") + WhyNot(true));
        return false;
    }
    const auto row = std::find_if(rows_.begin(), rows_.end(),
                                  [&](const SharedRow& r) { return r.client == client; });
    if (row == rows_.end()) {
        return false;
    }
    // What the tags and note were at the version sent: undo puts them back.
    Entry sent;
    sent.step.rows.push_back({.was = client, .wasExtra = was});
    OnServer([id = row->rowId, version = row->version, now,
              ticket = Send(Purpose::Do, std::move(sent))](SharedBookServer& server) {
        server.SetExtra(id, version, now, ticket);
    });
    return false;
}

std::vector<std::string> SharedBook::QueueLines() const {
    std::vector<std::string> lines;
    lines.reserve(queue_.size());
    for (const core::QueuedEdit& edit : queue_) {
        lines.push_back(core::QueueLine(edit));
    }
    return lines;
}

void SharedBook::SetQueue(const std::vector<std::string>& lines) {
    queue_.clear();
    waitingClients_.clear();
    for (const std::string& line : lines) {
        if (const auto edit = core::ParseQueueLine(line)) {
            queue_.push_back(*edit);
            const core::Client& shown =
                edit->kind == core::QueuedEdit::Kind::Move ? edit->was : edit->now;
            waitingClients_.emplace(shown.name, shown.id);
        }
    }
    emit StateChanged();
}

void SharedBook::Queue(const core::QueuedEdit& edit) {
    if (queue_.size() >= core::MaxQueuedEdits) {
        emit Said(QStringLiteral("Not saved: %1 changes already wait for the shared book")
                      .arg(core::MaxQueuedEdits));
        return;
    }
    queue_.push_back(edit);
    const core::Client& shown = edit.kind == core::QueuedEdit::Kind::Move ? edit.was : edit.now;
    if (edit.kind != core::QueuedEdit::Kind::Remove) {
        waitingClients_.emplace(shown.name, shown.id);
    }
    emit Said(queue_.size() == 1
                  ? QStringLiteral("Saved on this computer: 1 change waits for the shared book")
                  : QStringLiteral("Saved on this computer: %1 changes wait for the shared book")
                        .arg(queue_.size()));
    // Committed with this computer's copy, so that it outlives a restart.
    emit BookChanged();
    emit StateChanged();
}

QString SharedBook::Waiting() const {
    if (!queue_.empty()) {
        return queue_.size() == 1
                   ? QStringLiteral(" \u00B7 1 change waits to be sent")
                   : QStringLiteral(" \u00B7 %1 changes wait to be sent").arg(queue_.size());
    }
    if (lastSync_.isValid()) {
        return QStringLiteral(" \u00B7 waiting changes went through at ") +
               QLocale().toString(lastSync_.time(), QLocale::ShortFormat);
    }
    return {};
}

void SharedBook::SyncNext() {
    using Kind = core::QueuedEdit::Kind;
    while (!queue_.empty() && state_ == State::Online && !syncing_) {
        const core::QueuedEdit edit = queue_.front();
        // The client the edit names, as the server holds the book now.
        const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const SharedRow& row) {
            return row.client == edit.was;
        });
        if (edit.kind == Kind::Add) {
            const int ticket = Send(Purpose::Sync);
            OnServer([clients =
                          [&] {
                              core::Book book;
                              book.Add(edit.now);
                              return book;
                          }(),
                      seen = edit.seen,
                      ticket](SharedBookServer& server) { server.Add(clients, seen, -1, ticket); });
        } else if (found == rows_.end()) {
            // Gone or changed meanwhile: a removal is done already; a move or an edit is not made.
            Synced(edit, edit.kind == Kind::Remove ? SharedOutcome::Done : SharedOutcome::Changed);
            continue;
        } else if (edit.kind == Kind::Note && !NoteEditStands(edit, found->extra)) {
            // Somebody changed what this edit changes meanwhile: theirs stands, unless it is
            // what this edit makes it (another copy of the folder sent it).
            Synced(edit,
                   found->extra == core::MergeExtra(edit.wasExtra, edit.nowExtra, found->extra)
                       ? SharedOutcome::Done
                       : SharedOutcome::Changed);
            continue;
        } else {
            const int ticket = Send(Purpose::Sync);
            OnServer([id = found->rowId, version = found->version, extra = found->extra, edit,
                      ticket](SharedBookServer& server) {
                if (edit.kind == Kind::Remove) {
                    server.Remove(id, version, ticket);
                } else if (edit.kind == Kind::Move) {
                    server.Move(id, version, edit.step, ticket);
                } else if (edit.kind == Kind::Note) {
                    server.SetExtra(id, version,
                                    core::MergeExtra(edit.wasExtra, edit.nowExtra, extra), ticket);
                } else {
                    server.Edit(id, version, edit.now, ticket);
                }
            });
        }
        syncing_ = true;
    }
    if (queue_.empty() && !syncing_ && state_ == State::Online && synced_ + notMade_.size() > 0) {
        lastSync_ = QDateTime::currentDateTime();
        const QString through =
            synced_ == 1 ? QStringLiteral("1 waiting change went through")
                         : QStringLiteral("%1 waiting changes went through").arg(synced_);
        emit Said(notMade_.isEmpty()
                      ? through
                      : through + QStringLiteral("; %1 could not be made").arg(notMade_.size()));
        if (!notMade_.isEmpty()) {
            ShowNotice(StoredText(QStringLiteral("Changes made without the server that could "
                                                 "not be made, as another technician had "
                                                 "changed or removed the client (a removed one "
                                                 "is in Recently removed):\n") +
                                  notMade_.join(u'\n')));
        }
        synced_ = 0;
        notMade_.clear();
        Show();
        emit StateChanged();
    }
}

void SharedBook::Synced(const core::QueuedEdit& edit, SharedOutcome outcome) {
    using Kind = core::QueuedEdit::Kind;
    queue_.erase(queue_.begin());
    // A client removed here that somebody else removed first is gone either way.
    if (outcome == SharedOutcome::Done ||
        (edit.kind == Kind::Remove && outcome == SharedOutcome::Removed)) {
        ++synced_;
    } else {
        notMade_.append(
            edit.kind == Kind::Note
                ? QStringLiteral("Tags and note not changed: ") + Named(edit.was)
            : edit.kind == Kind::Move ? QStringLiteral("Not moved: ") + Named(edit.was)
            : edit.kind == Kind::Edit ? QStringLiteral("Not changed: ") + Named(edit.was) +
                                            QStringLiteral(" to ") + Named(edit.now)
            : edit.kind == Kind::Add ? QStringLiteral("Not added: ") + Named(edit.now)
                                     : QStringLiteral("Not removed: ") + Named(edit.was));
    }
    waitingClients_.clear();
    for (const core::QueuedEdit& waiting : queue_) {
        if (waiting.kind != Kind::Remove) {
            const core::Client& shown = waiting.kind == Kind::Move ? waiting.was : waiting.now;
            waitingClients_.emplace(shown.name, shown.id);
        }
    }
    emit BookChanged();
}

int SharedBook::Send(Purpose purpose, Entry entry) {
    const int ticket = ++nextTicket_;
    pending_.insert(ticket, {purpose, std::move(entry)});
    return ticket;
}

void SharedBook::ReadBin(const BinRead& done) {
    if (state_ != State::Online) {
        done({}, WhyNot(false));
        return;
    }
    const int ticket = ++nextTicket_;
    binReads_.insert(ticket, done);
    OnServer([ticket](SharedBookServer& server) { server.ReadBin(ticket); });
}

QString SharedBook::ChangedText(int row) const {
    // Until the waiting edits went through, the rows shown are not the server's.
    if (!queue_.empty() || syncing_) {
        const core::Client client = book_ ? book_->At(row) : core::Client();
        return waitingClients_.count({client.name, client.id}) > 0
                   ? QStringLiteral("waiting to be sent")
                   : QString();
    }
    if (row < 0 || static_cast<size_t>(row) >= rows_.size() || rows_[row].changedAt == 0) {
        return {};
    }
    const SharedRow& shared = rows_[static_cast<size_t>(row)];
    return shared.changedBy + QStringLiteral(" \u00B7 ") +
           QLocale().toString(QDateTime::fromMSecsSinceEpoch(shared.changedAt).toLocalTime(),
                              QLocale::ShortFormat);
}

QString SharedBook::WhyNoHistory() const {
    return state_ == State::Online ? QString() : WhyNot(false);
}

void SharedBook::ReadHistory(int row, const HistoryRead& done) {
    if (!WhyNoHistory().isEmpty() || row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        done({}, WhyNoHistory());
        return;
    }
    const int ticket = ++nextTicket_;
    historyReads_.insert(ticket, done);
    OnServer([id = rows_[static_cast<size_t>(row)].rowId, ticket](SharedBookServer& server) {
        server.ReadHistory(id, ticket);
    });
}

void SharedBook::StartSession(const core::Client& client, Started done) {
    const int ticket = ++nextTicket_;
    sessionStarts_.insert(ticket, std::move(done));
    OnServer([client = AsShared(client), ticket](SharedBookServer& server) {
        server.StartSession(client, ticket);
    });
}

void SharedBook::EndSession(const std::string& id, bool ok, const QString& line) {
    OnServer([session = std::stoll(id), ok, line](SharedBookServer& server) {
        server.EndSession(session, ok, line);
    });
}

std::string SharedBook::BookKey() const {
    return On() ? address_.Url().toStdString() : std::string();
}

void SharedBook::SendSession(const core::Session& session, Started done) {
    if (state_ != State::Online) {
        done({});
        return;
    }
    const int ticket = ++nextTicket_;
    sessionStarts_.insert(ticket, std::move(done));
    core::Session sent = session;
    sent.client = AsShared(session.client);
    OnServer([sent = std::move(sent), ticket](SharedBookServer& server) {
        server.SendSession(sent, ticket);
    });
}

void SharedBook::NoteSession(const std::string& id, const QString& note) {
    OnServer([session = std::stoll(id), note](SharedBookServer& server) {
        server.NoteSession(session, note);
    });
}

void SharedBook::ReadSessions(int64_t from, int64_t to, Read done) {
    if (state_ != State::Online) {
        done({}, WhyNot(false));
        return;
    }
    const int ticket = ++nextTicket_;
    sessionReads_.insert(ticket, std::move(done));
    OnServer(
        [from, to, ticket](SharedBookServer& server) { server.ReadSessions(from, to, ticket); });
}

void SharedBook::ExportSessions(const QString& path, int64_t from, int64_t to,
                                const std::optional<core::Client>& client, Exported done) {
    if (state_ != State::Online) {
        done(0, WhyNot(false));
        return;
    }
    const int ticket = ++nextTicket_;
    sessionExports_.insert(ticket, std::move(done));
    OnServer([path, from, to, client, ticket](SharedBookServer& server) {
        server.ExportSessions(path, from, to, client, ticket);
    });
}

void SharedBook::ExportHistory(const QString& path, const HistoryExported& done) {
    if (const QString why = WhyNoHistory(); !why.isEmpty()) {
        done(0, why);
        return;
    }
    const int ticket = ++nextTicket_;
    historyExports_.insert(ticket, done);
    OnServer([path, ticket](SharedBookServer& server) { server.ExportHistory(path, ticket); });
}

int SharedBook::PutBack(const BinItem& item) {
    if (!CanEdit()) {
        emit Said(QStringLiteral("Not restored: ") + WhyNot(true));
        return -1;
    }
    Entry restoring;
    restoring.text = QStringLiteral("Restored ") + Named(item.client);
    OnServer([entry = item.entry, ticket = Send(Purpose::Restore, std::move(restoring))](
                 SharedBookServer& server) { server.Restore(entry, ticket); });
    return -1;
}

QString SharedBook::RemovalQuestion(const core::Client& client) const {
    if (!CanEdit() && !QueuesEdits()) {
        return {};
    }
    return QStringLiteral("Remove %1 for the whole team? It stays in the recycle bin for %2.")
        .arg(Named(client),
             binDays_ == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(binDays_));
}

QString SharedBook::TextOf(const SharedStep& step) {
    if (step.rows.empty()) {
        return {};
    }
    const SharedStep::Row& row = step.rows.front();
    switch (step.kind) {
    case SharedStep::Kind::Add:
        return step.rows.size() == 1 ? QStringLiteral("Added ") + Named(row.now)
                                     : QStringLiteral("Added ") + ClientCount(step.rows.size());
    case SharedStep::Kind::Remove:
        return step.rows.size() == 1 ? QStringLiteral("Removed ") + Named(row.was)
                                     : QStringLiteral("Removed ") + ClientCount(step.rows.size());
    case SharedStep::Kind::Move:
        return (row.to < row.from ? QStringLiteral("Moved %1 up") : QStringLiteral("Moved %1 down"))
            .arg(Named(row.now));
    case SharedStep::Kind::Edit:
        return QStringLiteral("Changed ") + Named(row.was) + QStringLiteral(" to ") +
               Named(row.now);
    case SharedStep::Kind::Note:
        return (row.wasExtra.tags != row.nowExtra.tags ? QStringLiteral("Changed the tags of ")
                                                       : QStringLiteral("Changed the note of ")) +
               Named(row.now);
    }
    return {};
}

QString SharedBook::UndoStepText() const {
    return undo_.empty() ? QString() : undo_.back().text;
}

QString SharedBook::RedoStepText() const {
    return redo_.empty() ? QString() : redo_.back().text;
}

void SharedBook::UndoStep() {
    TakeBackLast(undo_, Purpose::Undo);
}

void SharedBook::RedoStep() {
    TakeBackLast(redo_, Purpose::Redo);
}

void SharedBook::TakeBackLast(std::vector<Entry>& from, Purpose purpose) {
    const bool undoing = purpose == Purpose::Undo;
    if (!CanEdit()) {
        emit Said((undoing ? QStringLiteral("Not undone: ") : QStringLiteral("Not done again: ")) +
                  WhyNot(true));
        return;
    }
    // An edit of this technician's still on its way is what Ctrl+Z means: the key waits for it.
    if (std::any_of(pending_.cbegin(), pending_.cend(), [](const Pending& p) {
            return p.purpose == Purpose::Do || p.purpose == Purpose::Restore;
        })) {
        deferred_.push_back(purpose);
        return;
    }
    if (from.empty()) {
        emit Said(undoing ? QStringLiteral("Nothing to undo: only your own changes are undone")
                          : QStringLiteral("Nothing to redo"));
        return;
    }
    Entry entry = std::move(from.back());
    from.pop_back();
    const SharedStep step = entry.step;
    OnServer([step, ticket = Send(purpose, std::move(entry))](SharedBookServer& server) {
        server.TakeBack(step, ticket);
    });
}

void SharedBook::OnAnswered(int connection, int ticket, const SharedStep& step,
                            SharedOutcome outcome, const QString& why) {
    const auto found = pending_.find(ticket);
    if (found == pending_.end() || connection != connection_) {
        return;
    }
    Pending pending = std::move(*found);
    pending_.erase(found);
    if (pending.purpose == Purpose::Sync) {
        syncing_ = false;
        // Without an answer it stays first in line for the next connection.
        if (outcome != SharedOutcome::Unreachable && !queue_.empty()) {
            Synced(queue_.front(), outcome);
        }
        SyncNext();
        return;
    }
    if (pending.purpose == Purpose::Restore) {
        // A client put back from the bin is a step of this technician's like any other.
        const QString& text = pending.entry.text;
        if (outcome == SharedOutcome::Done) {
            emit Said(text);
            pending.purpose = Purpose::Do;
        } else if (outcome == SharedOutcome::NotInBin) {
            emit Said(QStringLiteral("Not restored: it is no longer in the recycle bin"));
        } else if (outcome == SharedOutcome::Unreachable) {
            emit Said(QStringLiteral("Not restored: the shared book cannot be reached"));
        } else {
            emit Said(QStringLiteral("Not restored: the server refused (%1)").arg(why));
        }
    }
    if (pending.purpose == Purpose::Do || pending.purpose == Purpose::Restore) {
        if (outcome == SharedOutcome::Done && !step.rows.empty()) {
            Entry done{step, pending.entry.text};
            if (step.kind == SharedStep::Kind::Edit && !pending.entry.step.rows.empty()) {
                done.step.rows.front().was = pending.entry.step.rows.front().was;
            }
            if (step.kind == SharedStep::Kind::Note && !pending.entry.step.rows.empty()) {
                done.step.rows.front().wasExtra = pending.entry.step.rows.front().wasExtra;
            }
            if (done.text.isEmpty()) {
                done.text = TextOf(done.step);
            }
            undo_.push_back(std::move(done));
            if (undo_.size() > MostSteps) {
                undo_.erase(undo_.begin());
            }
            redo_.clear();
        }
        // The keys pressed while it was on its way.
        if (std::none_of(pending_.cbegin(), pending_.cend(), [](const Pending& p) {
                return p.purpose == Purpose::Do || p.purpose == Purpose::Restore;
            })) {
            for (const Purpose later : std::exchange(deferred_, {})) {
                TakeBackLast(later == Purpose::Undo ? undo_ : redo_, later);
            }
        }
        return;
    }
    const bool undoing = pending.purpose == Purpose::Undo;
    const QString text = pending.entry.text;
    if (outcome == SharedOutcome::Done) {
        // The steps below this one find their clients as they left them, at new versions.
        std::vector<Entry>& below = undoing ? undo_ : redo_;
        for (size_t i = 0; i < step.rows.size() && i < pending.entry.step.rows.size(); ++i) {
            const SharedStep::Row& taken = pending.entry.step.rows[i];
            for (Entry& entry : below) {
                for (SharedStep::Row& row : entry.step.rows) {
                    if (row.rowId == taken.rowId && row.version == taken.before) {
                        row.version = step.rows[i].version;
                    }
                }
            }
        }
        (undoing ? redo_ : undo_).push_back({step, text});
        emit Said((undoing ? QStringLiteral("Undone: ") : QStringLiteral("Done again: ")) + text);
        return;
    }
    const QString not_ =
        undoing ? QStringLiteral("Not undone: ") : QStringLiteral("Not done again: ");
    if (outcome == SharedOutcome::Unreachable) {
        // Nothing happened: the step can be taken back once the server is there again.
        (undoing ? undo_ : redo_).push_back(std::move(pending.entry));
        emit Said(not_ + QStringLiteral("the shared book cannot be reached"));
        return;
    }
    // Somebody else's change stands: this step is given up, the ones before it are not.
    const SharedStep::Row row = step.rows.empty() ? SharedStep::Row{} : step.rows.front();
    const QString client = Named(row.now.name.empty() && row.now.id.empty() ? row.was : row.now);
    switch (outcome) {
    case SharedOutcome::Changed:
    case SharedOutcome::Removed:
        emit Said(not_ + client +
                  (outcome == SharedOutcome::Changed ? QStringLiteral(" was changed since")
                                                     : QStringLiteral(" was removed since")) +
                  (why.isEmpty() ? QString() : QStringLiteral(" by ") + why));
        break;
    case SharedOutcome::NotInBin:
        emit Said(not_ + QStringLiteral("%1 is no longer in the recycle bin").arg(client));
        break;
    default:
        emit Said(not_ + QStringLiteral("the server refused (%1)").arg(why));
        break;
    }
}

// The window's stack is not used for a book that keeps its own steps (KeepsOwnSteps).
void SharedBook::TakeLast(size_t, size_t) {}

void SharedBook::Restore(int, const std::string&, int, const std::string&) {}
