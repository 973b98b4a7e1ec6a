#pragma once

#include "core/Book.h"
#include "core/ClientNotes.h"
#include "core/SessionLog.h"
#include "store/SharedBookAddress.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDriver>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QSqlDatabase;
class QSqlQuery;
class QTimer;

// One client of the shared book as the server holds it.
struct SharedRow {
    qint64 rowId = 0;
    core::Client client;
    double position = 0;
    qint64 version = 0;
    // Who changed it last, and when (milliseconds since 1970, UTC), as the server noted it.
    QString changedBy;
    qint64 changedAt = 0;
    // Its tags and note, checked as a file's are.
    core::ClientExtra extra;
};
using SharedRows = std::vector<SharedRow>;
Q_DECLARE_METATYPE(SharedRows)

// One edit of this copy's as the server did it: as much as taking it back needs.
struct SharedStep {
    enum class Kind { Add, Remove, Move, Edit, Note };
    struct Row {
        qint64 rowId = 0;
        // The row's version before the edit (0: it was not there) and once it was done (0: it
        // is gone).
        qint64 before = 0;
        qint64 version = 0;
        // A removal: the client's entry in the recycle bin.
        qint64 binEntry = 0;
        // The client before the edit and after it (a removal has only the one before, an add
        // only the one after).
        core::Client was{};
        core::Client now{};
        // A move: the place before and after.
        double from = 0;
        double to = 0;
        // A change of tags and note: them before and after.
        core::ClientExtra wasExtra{};
        core::ClientExtra nowExtra{};
    };
    Kind kind = Kind::Add;
    std::vector<Row> rows;
};
Q_DECLARE_METATYPE(SharedStep)

// A client in the server's recycle bin.
struct SharedBinRow {
    qint64 entry = 0;
    core::Client client;
    QString removedBy;
    QDateTime removedAt;
};
using SharedBinRows = std::vector<SharedBinRow>;
Q_DECLARE_METATYPE(SharedBinRows)

// One change of a client as the server's history holds it.
struct SharedHistoryRow {
    QString action;
    core::Client was;
    core::Client now;
    QString who;
    QDateTime when;
};
using SharedHistory = std::vector<SharedHistoryRow>;
Q_DECLARE_METATYPE(SharedHistory)

using SharedSessions = std::vector<core::Session>;
Q_DECLARE_METATYPE(SharedSessions)

// How an edit sent with a ticket ended.
enum class SharedOutcome {
    Done,
    // Taking back: somebody changed, removed or restored a client of the step since.
    Changed,
    Removed,
    // Taking back a removal: the client is no longer in the recycle bin.
    NotInBin,
    // Changed and Removed carry who did it; Refused, the server's reason (the user may only
    // read, a constraint).
    Refused,
    // Not sent, or no answer: the server cannot be reached.
    Unreachable,
};
Q_DECLARE_METATYPE(SharedOutcome)

// The connection to the shared book's server, on a thread of its own so that the window never
// waits on the network. Every edit is one statement on one row, with its version checked; every
// change anybody makes comes back through the server's notifications. A connection that drops
// is taken up again by itself.
//
// Everything here runs on the thread the object lives on: call it through the event loop.
class SharedBookServer final : public QObject {
    Q_OBJECT
public:
    explicit SharedBookServer(QObject* parent = nullptr);
    ~SharedBookServer() override;

    // Connects, creates or brings up to date the tables, and hands over the whole book. Every
    // signal carries the connection's number: what a connection given up still had on its way
    // is told apart from what the next one says.
    void Open(const SharedBookAddress& address, const QString& password, int connection);
    void Close();

    // Clients added at the end of the book. seen: the highest row this copy has been told of;
    // a client identical to one added meanwhile by somebody else is not added twice. known:
    // how many clients this copy was last told the book holds (-1: not all of them).
    //
    // Each edit carries a ticket that Answered names once the edit is done or has failed (0:
    // no answer wanted).
    void Add(const core::Book& clients, qint64 seen, qint64 known, int ticket = 0);
    void Remove(qint64 rowId, qint64 version, int ticket = 0);
    // A place up (-1) or down (+1) among the book as the server holds it now.
    void Move(qint64 rowId, qint64 version, int step, int ticket = 0);
    // A client's name and ID changed, when its row is still at this version: an edit made
    // since by somebody else is never overwritten.
    void Edit(qint64 rowId, qint64 version, const core::Client& now, int ticket = 0);
    // A client's tags and note changed, on the same terms.
    void SetExtra(qint64 rowId, qint64 version, const core::ClientExtra& now, int ticket = 0);
    // The step undone, all of it or nothing, each row only where nobody has changed it since:
    // an add is removed, a removal restored from the recycle bin, a move and an edit put back.
    // Answered carries the step that undoes this one in turn.
    void TakeBack(const SharedStep& step, int ticket);
    // A client put back from the recycle bin where it stood, by its bin entry.
    void Restore(qint64 binEntry, int ticket = 0);
    // The recycle bin within its days, newest first, at most MaxBinRows; answered by BinRead.
    void ReadBin(int ticket);
    static constexpr int MaxBinRows = 10000;
    // A client's history, newest first, at most MaxHistoryRows; answered by HistoryRead.
    void ReadHistory(qint64 rowId, int ticket);
    static constexpr int MaxHistoryRows = 10000;
    // The whole book's history, every row, as CSV to a file (written whole or not at all);
    // answered by HistoryExported.
    void ExportHistory(const QString& path, int ticket);
    // The session log: a connection started (answered by SessionStarted with its number, 0
    // when it was not logged), ended, and noted afterwards.
    void StartSession(const core::Client& client, int ticket);
    void EndSession(qint64 session, bool ok, const QString& line);
    // A session of this computer's log made while the server could not be reached, with its own
    // times, sent whole; sent again, it changes the same row. Answered by SessionStarted.
    void SendSession(const core::Session& session, int ticket);
    void NoteSession(qint64 session, const QString& note);
    // The sessions started from `from` up to before `to` (seconds since 1970), newest first, at
    // most MaxSessionRows; answered by SessionsRead.
    void ReadSessions(qint64 from, qint64 to, int ticket);
    static constexpr int MaxSessionRows = 200000;
    // Every session of the range (of one client when given), however many, as CSV to a file
    // (written whole or not at all); answered by SessionsExported.
    void ExportSessions(const QString& path, qint64 from, qint64 to,
                        const std::optional<core::Client>& client, int ticket);
    // Without a window or the book: every session of the log of the book at the address as CSV
    // to a file, on a connection of its own that changes nothing on the server. How many rows
    // were written; -1 with why set when none could be.
    static qint64 ExportAllSessions(const SharedBookAddress& address, const QString& password,
                                    const QString& path, QString* why);
    // The whole book read again, as far as the program reads it.
    void ReadAll();
    // Runs a call on this thread; running out of memory in it gives the connection up, said,
    // instead of ending the program.
    void Run(const std::function<void()>& call);

    // A client's field as the shared book keeps it (what a local client is compared by).
    static std::string Stored(const std::string& bytes);

    // The schema's steps, in order; the last is the version this program works with.
    static const std::vector<std::vector<QString>>& Migrations();
    static int SchemaVersion() { return static_cast<int>(Migrations().size()); }
    // Brings the tables of an open connection up to the given version (all of them by
    // default), in one transaction; false with why set when it cannot.
    static bool Migrate(const QString& connectionName, QString* why, int upTo = -1);

    // The most clients read from a server: a book beyond it is shown as far as this, and said.
    static int MaxClients();
    // A test's smaller limit (0: the program's own).
    static void SetMaxClientsForTesting(int most);
    // Whether the server would take the ID: one to six ASCII digits, like a typed one.
    static bool IsId(const std::string& id);

    // Any thread: whether the connection's thread has waited on the server longer than the call
    // may take without a sign of life from it: a server that has stopped answering.
    bool Stuck() const;
    // Any thread: cuts the connection's socket, so that a call waiting on a server that has
    // stopped answering returns at once and the connection is taken up again.
    void Cut();

signals:
    // Connected (or connected again, or read whole again): the book, whether this user may
    // change it, and whether those are all its rows (whole) or the first MaxClients.
    void Opened(int connection, const SharedRows& rows, bool canEdit, bool whole);
    // The book's first rows, read as soon as the server answered and before anything else, to
    // be shown while the rest comes; whole when they are all its rows. Opened follows with the
    // book as it is then (a change made in between is in it), or Lost.
    void Previewed(int connection, const SharedRows& rows, bool whole);
    // Rows added or changed, and rows gone, by anybody.
    void Changed(int connection, const SharedRows& rows, const QList<qint64>& removed);
    // The server cannot be used; retrying says whether the connection is tried again by itself.
    void Lost(int connection, const QString& why, bool retrying);
    // One line for the user about an edit.
    void Said(int connection, const QString& line);
    // How many days the book's recycle bin keeps a removed client, told on connecting.
    void BinDays(int connection, int days);
    void HistoryRead(int connection, int ticket, const SharedHistory& rows, const QString& why);
    // How many changes were written, or why none were.
    void HistoryExported(int connection, int ticket, qint64 rows, const QString& why);
    void SessionStarted(int connection, int ticket, qint64 session);
    void SessionsExported(int connection, int ticket, qint64 rows, const QString& why);
    void SessionsRead(int connection, int ticket, const SharedSessions& sessions,
                      const QString& why);
    // The bin as ReadBin read it, or why it could not be read.
    void BinRead(int connection, int ticket, const SharedBinRows& rows, const QString& why);
    // An edit sent with a ticket is done (the step as the server did it) or has failed; why
    // holds the server's reason of a refusal.
    void Answered(int connection, int ticket, const SharedStep& step, SharedOutcome outcome,
                  const QString& why);

private:
    class Answer;
    bool Reach(QString* why);
    // The open connection's statement and lock timeouts, and its socket noted for Cut.
    bool Limit(QSqlDatabase& db, QString* why, size_t slot = 0);
    void Forget();
    void SetAddress(QSqlDatabase& db) const;
    bool Listen(QString* why);
    bool Preview(QString* why);
    void StopListening();
    void Drop();
    void Retry();
    void Heartbeat();
    void Notified(const QString& channel, QSqlDriver::NotificationSource source,
                  const QVariant& payload);
    void FetchChanged();
    bool Failed(const QString& what);
    // An edit that places clients runs in a transaction holding the book's place lock, so that
    // two never take the same place; false, said, when it cannot start.
    bool BeginPlacing(QSqlQuery& q);
    // The end of such an edit: committed when all went well; otherwise rolled back and the
    // user told whether the server refused (refused, with %1 for its reason) or is gone.
    bool Commit(bool ok, const QSqlQuery& q, const QString& refused);
    void SayFailure(const QString& error, const QString& refused);
    // Whether the connection is open; when it is not, the user is told the server is out of
    // reach.
    bool Reachable();
    // The rows, in the book's order, at most MaxClients; those whose ID is not one are left out
    // (their row numbers into refused). A read of the whole book notes what it left out.
    bool ReadRows(const QString& where, SharedRows& rows, QString* why,
                  QList<qint64>* refused = nullptr);
    // The book's first rows in its order; more says whether it has others.
    bool ReadFirstRows(int most, SharedRows& rows, bool& more, QString* why);
    // Marks the thread as waiting on the server for as long as the guard lives; past allowance
    // milliseconds without a sign of life it is stuck.
    [[nodiscard]] auto Waiting(qint64 allowance);
    // A sign of life from the server during a long read.
    void Alive();
    // What the open read of the whole book left out, said once a connection.
    void SayWhatWasLeftOut();
    // The recycle bin's entry of a row just removed; 0 when there is none.
    qint64 BinEntry(qint64 rowId);
    // A client put back from the bin by the server's function: nothing when its entry is not
    // there (restored already, or kept past its days); ok false when the statement failed.
    std::optional<SharedRow> RestoreRow(QSqlQuery& q, qint64 binEntry, bool& ok);

    QString name_;
    // The names of who changed rows, each held once.
    QSet<QString> whoNames_;
    SharedBookAddress address_;
    QString password_;
    int connection_ = 0;
    bool open_ = false;
    bool wanted_ = false;
    QTimer* retry_;
    QTimer* heartbeat_;
    QTimer* fetch_;
    QSet<qint64> changed_;
    // More rows were announced than are worth naming: the whole book is read instead.
    bool readAll_ = false;
    bool canEdit_ = false;
    // The whole book's last read went past MaxClients, or left rows out.
    bool tooMany_ = false;
    qsizetype unusable_ = 0;
    // The server's process of the listening connection.
    qint64 listener_ = 0;
    // Since when the thread waits on the server (milliseconds of a steady clock), 0 when not.
    std::atomic<qint64> waitingSince_{0};
    std::atomic<qint64> allowance_{0};
    mutable std::mutex socketLock_;
    // The sockets of the connection for statements and of the one that listens.
    std::array<intptr_t, 2> sockets_{-1, -1};
};
