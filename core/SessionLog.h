#pragma once

#include "core/Book.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The log of connections made from a book on this computer: one line when a viewer starts, one
// when it ends, one for each note written afterwards, appended to a file beside the lists (never
// rewritten, so a kill loses at most a line being written, which reads as no line). A session
// whose end was never written ended unknown: nothing is made up for it.
namespace core {

inline constexpr const char* SessionsFile = "sessions.txt";

// The most of the log read at once: a longer one is read from its newest part.
inline constexpr size_t MaxSessionLogBytes = size_t{512} << 20;
// The longest viewer's line and session note kept.
inline constexpr size_t MaxSessionTextBytes = 4096;

struct Session {
    enum class Ended {
        Running, // this program watches its viewer now
        Ok,
        Error,   // with the viewer's line
        Unknown, // its end was never written: the program or the computer stopped meanwhile
    };
    // 16 hexadecimal digits, made at the start.
    std::string id;
    // UTC, as 2026-12-10T09:30:00Z.
    std::string start;
    std::string end;
    std::string technician;
    Client client;
    Ended how = Ended::Unknown;
    std::string line;
    std::string note;
    // Made for a shared book while its server could not be reached: the book's address; the
    // server's number for it once sent there; and whether it, or an end or a note written
    // since it was sent, still waits to be sent.
    std::string book;
    std::string sent;
    bool waits = false;
    bool operator==(const Session&) const = default;
};

// Who connects: the account this program runs as, as the system names it.
std::string ThisAccount();

// A new session's ID: random, so two copies on one folder never share one.
std::string NewSessionId();

// The log's lines, each without its line end: fields separated by tabs; a text field (the
// viewer's line, a note) has its backslashes, tabs and line ends written \\, \t and \n, and
// holds no other control character.
std::string SessionStartLine(const Session& session);
std::string SessionEndLine(std::string_view id, std::string_view end, Session::Ended how,
                           std::string_view line);
std::string SessionNoteLine(std::string_view id, std::string_view written, std::string_view note);
// The session waits for the shared book at the address (written with its start line); the
// server of the book took all of it written so far as its session `number`.
std::string SessionShareLine(std::string_view id, std::string_view written, std::string_view book);
std::string SessionSentLine(std::string_view id, std::string_view written, std::string_view number);

// The log's lines without those that hand a session to a shared book: what is kept of a log
// another account wrote is this computer's to read, never sent to a team in this user's name.
std::string WithoutShareLines(std::string_view bytes);

// The sessions of the log's bytes, in the order they started. A line that is none (a field too
// many or too few, a control character, a time that is not one, a kind not known, a cut last
// line) is left out, and so are an end and a note of a session that did not start in the log.
// A second end of a session is left out; the last note stands. Sessions without an end read
// Unknown.
std::vector<Session> ReadSessions(std::string_view bytes);

// Seconds from start to end; -1 without an end.
int64_t DurationSeconds(const Session& session);
// "ok", "error", "unknown" ("running" while it runs).
std::string_view EndedWord(Session::Ended how);

// The sessions' CSV: its header, and a session's row with its start and end as the caller
// writes them (this computer's time with its offset): client name, ID, technician, duration in
// seconds, how it ended ("error: " and the viewer's line for an error), note; a note's lines as
// one.
std::string SessionsCsvHeader();
std::string SessionCsvRow(const Session& session, std::string_view start, std::string_view end);

// Seconds since 1970 of a time in the log's form; -1 for one that is not.
int64_t LogSeconds(std::string_view time);

} // namespace core
