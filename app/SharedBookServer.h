#pragma once

#include "app/SharedBookAddress.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDriver>
#include <QString>

#include <string>
#include <utility>
#include <vector>

class QSqlQuery;
class QTimer;

// One client of the shared book as the server holds it.
struct SharedRow {
    qint64 rowId = 0;
    std::string name;
    std::string id;
    double position = 0;
    int version = 0;
};
using SharedRows = std::vector<SharedRow>;
using NewClients = std::vector<std::pair<std::string, std::string>>;
Q_DECLARE_METATYPE(SharedRows)

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
    // a client identical to one added meanwhile by somebody else is not added twice.
    void Add(const NewClients& clients, qint64 seen);
    void Remove(qint64 rowId, int version);
    // A place up (-1) or down (+1) among the book as the server holds it now.
    void Move(qint64 rowId, int version, int step);

    // A client's field as the shared book keeps it (what a local client is compared by).
    static std::string Stored(const std::string& bytes);

    // The schema's steps, in order; the last is the version this program works with.
    static const std::vector<std::vector<QString>>& Migrations();
    static int SchemaVersion() { return static_cast<int>(Migrations().size()); }
    // Brings the tables of an open connection up to the given version (all of them by
    // default), in one transaction; false with why set when it cannot.
    static bool Migrate(const QString& connectionName, QString* why, int upTo = -1);

    // The most clients read from a server: a book beyond it is refused, not loaded.
    static constexpr int MaxClients = 1000000;

signals:
    // Connected (or connected again): the whole book, and whether this user may change it.
    void Opened(int connection, const SharedRows& rows, bool canEdit);
    // Rows added or changed, and rows gone, by anybody.
    void Changed(int connection, const SharedRows& rows, const QList<qint64>& removed);
    // The server cannot be used; retrying says whether the connection is tried again by itself.
    void Lost(int connection, const QString& why, bool retrying);
    // One line for the user about an edit.
    void Said(int connection, const QString& line);

private:
    bool Connect(QString* why);
    void Disconnect();
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
    bool ReadRows(const QString& where, SharedRows& rows, QString* why);

    QString name_;
    SharedBookAddress address_;
    QString password_;
    int connection_ = 0;
    bool open_ = false;
    bool wanted_ = false;
    QTimer* retry_;
    QTimer* heartbeat_;
    QTimer* fetch_;
    QSet<qint64> changed_;
};
