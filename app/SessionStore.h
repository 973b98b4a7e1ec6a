#pragma once

#include "core/SessionLog.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where a shared book logs its connections: its server's session log, the team's. The window's
// log (ConnectionLog) hands sessions here while the book is shared and the server reached, and
// keeps them in this computer's file otherwise.
class SessionStore {
public:
    virtual ~SessionStore() = default;

    // Whether sessions go to the server now.
    virtual bool TakesSessions() const = 0;
    // A connection started: done is told its session's number (empty when it was not logged).
    using Started = std::function<void(const std::string& id)>;
    virtual void StartSession(const core::Client& client, Started done) = 0;
    virtual void EndSession(const std::string& id, bool ok, const QString& line) = 0;
    virtual void NoteSession(const std::string& id, const QString& note) = 0;
    // The book's address, as a session made for it while the server could not be reached names
    // it (empty: no book).
    virtual std::string BookKey() const = 0;
    // Such a session, sent once the server can be reached, and sent again when an end or a
    // note was written since: done is told the server's number for it (empty when not taken).
    virtual void SendSession(const core::Session& session, Started done) = 0;
    // The sessions started in the range (seconds since 1970), newest first, or why none.
    using Read = std::function<void(std::vector<core::Session> sessions, const QString& why)>;
    virtual void ReadSessions(int64_t from, int64_t to, Read done) = 0;
    // Every session of the range (of one client when given), however many, as CSV to a file:
    // done is told how many, or why none.
    using Exported = std::function<void(int64_t rows, const QString& why)>;
    virtual void ExportSessions(const QString& path, int64_t from, int64_t to,
                                const std::optional<core::Client>& client, Exported done) = 0;
};
