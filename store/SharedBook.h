#pragma once

#include "app/BookLists.h"
#include "app/SessionStore.h"
#include "core/SharedQueue.h"
#include "store/SharedBookAddress.h"
#include "store/SharedBookServer.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <optional>
#include <set>
#include <utility>

// The book shared by a team on a server, as the window holds it: the server's rows in the
// book's order, handed to the lists whenever anybody changes them. While it is on, the lists'
// edits go to the server and show once the server has them: an edit is never shown and then
// lost. Without the server the lists keep the last book received, and editing waits for it.
class SharedBook final : public QObject, public BookStore, public SessionStore {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Online, Offline, Refused };

    explicit SharedBook(BookLists& book, QObject* parent = nullptr);
    ~SharedBook() override;

    // joining: the user connects this book now (its own clients may be offered to the shared
    // book); otherwise the connection of an earlier start is taken up again.
    void Connect(const SharedBookAddress& address, const QString& password, bool joining);
    void Disconnect();
    // The lists as they were before the server's first rows were shown, when those are shown
    // still and the rest is not coming (the server lost, the book given up, the window closing):
    // a few rows of the server's are no book to keep.
    void EndPreview();

    State Current() const { return state_; }
    bool On() const { return state_ != State::Off; }
    bool CanEdit() const { return state_ == State::Online && canEdit_; }
    // Without the server, edits are made on this computer's copy and wait, in order, to be sent
    // once it is back (not for a user known to only read).
    bool QueuesEdits() const { return state_ == State::Offline && (!everOnline_ || canEdit_); }
    // The waiting edits, as their file holds them (core::QueueLine), and taken from it.
    std::vector<std::string> QueueLines() const;
    void SetQueue(const std::vector<std::string>& lines);
    size_t WaitingCount() const { return queue_.size(); }
    QString WhyNoEdit() const override { return WhyNot(false); }
    // Why the book cannot be edited now, for a tooltip (or, brief, in a few words for the
    // status line); empty when it can.
    QString WhyNot(bool brief) const;
    // One line for the page: connected where, offline since when, or why not.
    QString Status() const;
    const SharedBookAddress& Address() const { return address_; }
    int Count() const { return static_cast<int>(rows_.size()); }

    // Edits go to the server, which tells every copy (this one too) once they are done.
    void Append(core::Book clients) override;
    void Remove(int nameRow, int idRow) override;
    bool Move(int nameRow, int idRow, int step) override;
    void Change(int row, const core::Client& was, const core::Client& now) override;
    // Sent to the server; shown once it has them. Only while the server is reached: they are
    // not among the edits that wait for it.
    bool ChangeExtra(const core::Client& client, const core::ClientExtra& was,
                     const core::ClientExtra& now) override;
    QString WhyNoExtraEdit() const override;

    // The team's session log on the server.
    bool TakesSessions() const override { return state_ == State::Online; }
    void StartSession(const core::Client& client, Started done) override;
    void EndSession(const std::string& id, bool ok, const QString& line) override;
    void NoteSession(const std::string& id, const QString& note) override;
    std::string BookKey() const override;
    void SendSession(const core::Session& session, Started done) override;
    void ReadSessions(int64_t from, int64_t to, Read done) override;
    void ExportSessions(const QString& path, int64_t from, int64_t to,
                        const std::optional<core::Client>& client, Exported done) override;
    // Undo and redo of this technician's own edits, each as a new change on the server that
    // stands only where nobody has changed the client since.
    bool KeepsOwnSteps() const override { return true; }
    void UndoStep() override;
    void RedoStep() override;
    QString UndoStepText() const override;
    QString RedoStepText() const override;
    void ReadBin(const BinRead& done) override;
    int BinDays() const override { return binDays_; }
    // Sent to the server's function; shows once the server has it.
    int PutBack(const BinItem& item) override;
    void TakeOut(int, const BinItem&) override {}
    QString ChangedText(int row) const override;
    QString WhyNoHistory() const override;
    void ReadHistory(int row, const HistoryRead& done) override;
    void ExportHistory(const QString& path, const HistoryExported& done) override;
    // A removal reaches the whole team: the window asks first.
    QString RemovalQuestion(const core::Client& client) const override;
    void TakeLast(size_t names, size_t ids) override;
    void Restore(int nameRow, const std::string& name, int idRow, const std::string& id) override;

signals:
    // The state or the status line changed.
    void StateChanged();
    // The book changed: the local copy should be committed.
    void BookChanged();
    // One line for the user.
    void Said(const QString& what);
    // The first connection of a joining book answered; what to offer (see Join).
    void Joined();

private:
    void OnPreviewed(int connection, const SharedRows& rows, bool whole);
    void OnOpened(int connection, const SharedRows& rows, bool canEdit, bool whole);
    void OnChanged(int connection, const SharedRows& rows, const QList<qint64>& removed);
    // The lists follow the rows changed and gone.
    void FollowRows(const SharedRows& rows, const QList<qint64>& removed);
    void OnLost(int connection, const QString& why, bool retrying);
    void OnAnswered(int connection, int ticket, const SharedStep& step, SharedOutcome outcome,
                    const QString& why);
    // What a step did, in a few words ("Removed Baker & Sons (204518)").
    static QString TextOf(const SharedStep& step);
    // An edit of this technician's sent: its ticket.
    enum class Purpose { Do, Undo, Redo, Restore, Sync };
    struct Entry {
        SharedStep step;
        QString text;
    };
    int Send(Purpose purpose, Entry entry = {});
    // This technician's steps and the edits on their way forgotten: another book, or none.
    void Forget();
    // An edit made without the server, kept to be sent.
    void Queue(const core::QueuedEdit& edit);
    // The first waiting edit sent to the server (once it is back), by the client it names as
    // the server holds the book now; the book shown anew once none waits.
    void SyncNext();
    void Synced(const core::QueuedEdit& edit, SharedOutcome outcome);
    // " · 3 changes wait to be sent", or when the last went through; empty when neither.
    QString Waiting() const;
    void TakeBackLast(std::vector<Entry>& from, Purpose purpose);
    // The local clients the shared book lacks, offered to it.
    void Join(const SharedRows& rows);
    // The lists show the rows anew, or follow them by row edits.
    void Show();
    void Follow();
    // Every row is held already, as new or newer, and every removed one is gone already.
    bool NothingNew(const SharedRows& rows, const QList<qint64>& removed) const;
    // The rows are new and stand after every row the book has, in order.
    bool AtTheEnd(const SharedRows& rows) const;
    void SetState(State state);
    void StartServer();
    template <class F> void OnServer(F f);

    QPointer<BookLists> book_;
    QThread* thread_ = nullptr;
    SharedBookServer* server_ = nullptr;
    // Looks every second whether the connection waits on a server that no longer answers.
    QTimer* watchdog_ = nullptr;
    SharedBookAddress address_;
    State state_ = State::Off;
    // The number of the connection in use; answers of earlier ones are let go.
    int connection_ = 0;
    bool canEdit_ = false;
    // The rows are all the server's, not the first MaxClients of a larger book.
    bool whole_ = true;
    bool joining_ = false;
    QString why_;
    QDateTime since_;
    SharedRows rows_;
    // While the server's first rows are shown and the rest is awaited: what the lists held.
    std::optional<std::pair<core::Rows, core::Rows>> beforePreview_;
    // The rows the lists show, by the server's row numbers.
    std::vector<qint64> shownIds_;
    qint64 seen_ = 0;
    // This technician's edits the server has done, and those undone, newest last.
    std::vector<Entry> undo_;
    std::vector<Entry> redo_;
    // Edits sent and not yet answered, by ticket.
    struct Pending {
        Purpose purpose;
        Entry entry;
    };
    QHash<int, Pending> pending_;
    int nextTicket_ = 0;
    // Undo and redo pressed while an edit was on its way, in order.
    std::vector<Purpose> deferred_;
    // How long the server's recycle bin keeps a client.
    int binDays_ = 30;
    // Whether the server answered since the start: until then a user's rights are not known.
    bool everOnline_ = false;
    std::vector<core::QueuedEdit> queue_;
    // The clients the waiting edits show, marked in the table.
    std::set<std::pair<std::string, std::string>> waitingClients_;
    // The waiting edit on its way to the server, and what the sending of them found.
    bool syncing_ = false;
    size_t synced_ = 0;
    QStringList notMade_;
    QDateTime lastSync_;
    // Reads of the bin and the history awaited, by ticket.
    QHash<int, BinRead> binReads_;
    QHash<int, HistoryRead> historyReads_;
    QHash<int, Started> sessionStarts_;
    QHash<int, Read> sessionReads_;
    QHash<int, Exported> sessionExports_;
    QHash<int, HistoryExported> historyExports_;
};
