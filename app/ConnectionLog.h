#pragma once

#include "core/SessionLog.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class SessionStore;

// The log of the connections made from this computer's book: a line when a viewer starts, one
// when it ends and one for each note, appended to the book folder's session log at once (a
// session that was running when the program or the computer stopped keeps its start, and its
// end reads unknown). Reading asks only for the part of the log a time range stands in.
// While a shared book is on and its server reached, sessions go to the team's log there
// instead (SessionStore).
class ConnectionLog final : public QObject {
    Q_OBJECT
public:
    explicit ConnectionLog(QObject* parent = nullptr);

    // The shared book's log, used while it takes sessions (nullptr: this computer's file only).
    // A session made for the book while its server could not be reached is kept in the file,
    // marked for the book, and sent to the server once it takes sessions again.
    void UseServer(SessionStore* server);

    // A viewer started for the client: its session's ID, empty when the log could not be
    // written (said).
    std::string Started(const core::Client& client);
    // The session's viewer ended: ok, or with an error and its line.
    void Ended(const std::string& id, core::Session::Ended how, const QString& line);
    // A note about a session, written after it (for billing); the last one stands.
    void Note(const std::string& id, const QString& note);

    // The sessions that started from `from` up to before `to` (seconds since 1970, UTC), newest
    // first; only the end of the log they stand in is read. done is told them (at once from
    // the file, once the server answers from a shared book's), or why none.
    using Done = std::function<void(std::vector<core::Session> sessions, const QString& why)>;
    void Read(int64_t from, int64_t to, const Done& done) const;
    std::vector<core::Session> Read(int64_t from, int64_t to) const;
    // Every session, oldest first, as the export writes them.
    std::vector<core::Session> ReadAll() const;
    // Every session of the range (of one client when given) as CSV to the file, however many:
    // from the shared book's server while it is on, streamed there; done is told how many, or
    // why none.
    using Exported = std::function<void(int64_t rows, const QString& why)>;
    void Export(const QString& path, int64_t from, int64_t to,
                const std::optional<core::Client>& client, const Exported& done) const;
    // Whether the log has been cut: the oldest part was not read (a log beyond its limit).
    bool Cut() const { return cut_; }

    // The sessions as CSV: a header, then one row each: start and end in ISO 8601 with this
    // computer's UTC offset, client name, ID, technician, duration in seconds, how it ended
    // ("error: " and the viewer's line for an error), note.
    static std::string Csv(const std::vector<core::Session>& sessions);
    // Written whole or not at all; an error naming the file when it cannot be.
    static void WriteCsv(const QString& path, const std::vector<core::Session>& sessions);
    // Every session of the log at the folder (which ends in its separator): the program's
    // --export-sessions.
    static std::vector<core::Session> ReadAllAt(const std::string& folder);

signals:
    // For the window's status line.
    void Said(const QString& what);
    // A line was added: a session started, ended or got a note.
    void Changed();

private:
    std::string Path() const;
    bool Append(const std::string& line);
    void MarkRunning(std::vector<core::Session>& sessions) const;

    // The sessions of the file that wait for the shared book, sent if the server takes them.
    void SendWaiting();
    // A session of the file was written to: sent again once its sending now has answered.
    void Resend(const std::string& id);

    std::set<std::string> running_;
    // Sessions on their way to the server, and those written to since they were sent.
    std::set<std::string> sending_;
    std::set<std::string> changedWhileSent_;
    mutable bool cut_ = false;
    SessionStore* server_ = nullptr;
    bool taking_ = false;
    // Sessions logged on a server, by this window's own name for them: the server's number once
    // it has answered, and an end that came before the answer.
    struct Remote {
        SessionStore* server = nullptr;
        std::string id;
        bool answered = false;
        bool ended = false;
        bool ok = false;
        QString line;
    };
    std::map<std::string, Remote> remote_;
    int64_t remoteCount_ = 0;
};
