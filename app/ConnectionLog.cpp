#include "app/ConnectionLog.h"

#include "app/QtText.h"
#include "app/SessionStore.h"
#include "app/UserSettings.h"
#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/Import.h"
#include "core/ProgramFiles.h"
#include "platform/Files.h"

#include <QDateTime>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

std::string NowInLog() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

// The log's first line in bytes read from its middle is cut: it starts after the first line end.
std::string_view WholeLines(const platform::FileBytes& read) {
    std::string_view bytes = read.bytes ? std::string_view(*read.bytes) : std::string_view();
    if (read.cut) {
        const size_t end = bytes.find('\n');
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    }
    return bytes;
}

} // namespace

ConnectionLog::ConnectionLog(QObject* parent) : QObject(parent) {}

void ConnectionLog::UseServer(SessionStore* server) {
    // Told at every change of the book's state: the log is looked through only when the
    // server has just come to take sessions.
    const bool taking = server && server->TakesSessions();
    const bool was = std::exchange(taking_, taking) && server == server_;
    server_ = server;
    if (taking && !was) {
        SendWaiting();
    }
}

void ConnectionLog::SendWaiting() {
    if (!server_ || !server_->TakesSessions()) {
        return;
    }
    const std::string book = server_->BookKey();
    // Sessions wait since the server was last reached: the log's end holds them.
    constexpr size_t WaitingBytes = size_t{4} << 20;
    const platform::FileBytes read = platform::ReadBytes(Path(), WaitingBytes);
    // Only this account's own log: the lines of a file planted in a shared folder are never
    // sent to the team under this technician's name.
    if (!read.bytes || !read.stamp.ours) {
        return;
    }
    for (const core::Session& session : core::ReadSessions(WholeLines(read))) {
        if (!session.waits || session.book != book || running_.count(session.id) ||
            !sending_.insert(session.id).second) {
            continue;
        }
        server_->SendSession(session, [this, self = QPointer<ConnectionLog>(this),
                                       id = session.id](const std::string& number) {
            if (!self) {
                return;
            }
            sending_.erase(id);
            // Not taken: said, and tried again when the server is next reached. Written to
            // meanwhile: sent again as it is now, before it is marked sent.
            if (changedWhileSent_.erase(id) > 0) {
                SendWaiting();
            } else if (!number.empty()) {
                Append(core::SessionSentLine(id, NowInLog(), number));
            }
        });
    }
}

std::string ConnectionLog::Path() const {
    return core::ProgramFiles::OfThisProgram().Folder() + core::SessionsFile;
}

bool ConnectionLog::Append(const std::string& line) {
    const std::string path = Path();
    const std::string bytes = line + "\r\n";
    platform::AppendOutcome outcome = platform::AppendToOwnFile(path, bytes);
    if (outcome == platform::AppendOutcome::NotOurs) {
        // Another account's log (a folder a team shares) or something planted in its place: the
        // log is carried on in a file of this user's, its old lines kept where they can be
        // read.
        const platform::FileBytes old = platform::ReadBytes(path, core::MaxSessionLogBytes);
        const std::string kept = core::WithoutShareLines(WholeLines(old));
        outcome = platform::WriteFileAtomically(path, kept + bytes, platform::NewFileMode::Shared,
                                                platform::ExistingFileMode::Replace)
                      ? platform::AppendOutcome::Appended
                      : platform::AppendOutcome::Failed;
    }
    if (outcome != platform::AppendOutcome::Appended) {
        emit Said(QStringLiteral("The session log could not be written: ") +
                  DisplayText(core::ShownPath(path)));
        return false;
    }
    emit Changed();
    return true;
}

std::string ConnectionLog::Started(const core::Client& client) {
    if (server_ && server_->TakesSessions()) {
        const std::string token = "server-" + std::to_string(++remoteCount_);
        remote_[token].server = server_;
        running_.insert(token);
        server_->StartSession(
            client, [this, token, self = QPointer<ConnectionLog>(this)](const std::string& id) {
                if (!self) {
                    return;
                }
                const auto found = remote_.find(token);
                if (found == remote_.end()) {
                    return;
                }
                Remote& session = found->second;
                session.id = id;
                session.answered = true;
                if (id.empty()) {
                    emit Said(QStringLiteral("The session was not logged: the shared book's server "
                                             "did not take it"));
                    remote_.erase(found);
                    running_.erase(token);
                    return;
                }
                if (session.ended) {
                    session.server->EndSession(id, session.ok, session.line);
                    remote_.erase(found);
                }
                emit Changed();
            });
        return token;
    }
    core::Session session;
    session.id = core::NewSessionId();
    session.start = NowInLog();
    session.technician = ThisUserName();
    session.client = client;
    std::string lines = core::SessionStartLine(session);
    // A shared book without its server: the session waits for it, marked in the same write.
    if (const std::string book = server_ ? server_->BookKey() : std::string(); !book.empty()) {
        lines += "\r\n" + core::SessionShareLine(session.id, session.start, book);
    }
    if (!Append(lines)) {
        return {};
    }
    running_.insert(session.id);
    return session.id;
}

void ConnectionLog::Ended(const std::string& id, core::Session::Ended how, const QString& line) {
    if (id.empty() || running_.erase(id) == 0) {
        return;
    }
    if (const auto found = remote_.find(id); found != remote_.end()) {
        Remote& session = found->second;
        if (!session.answered) {
            // Told to the server once it has numbered the session.
            session.ended = true;
            session.ok = how == core::Session::Ended::Ok;
            session.line = line;
            return;
        }
        session.server->EndSession(session.id, how == core::Session::Ended::Ok, line);
        remote_.erase(found);
        emit Changed();
        return;
    }
    Append(core::SessionEndLine(id, NowInLog(), how, line.toStdString()));
    Resend(id);
}

void ConnectionLog::Resend(const std::string& id) {
    if (sending_.count(id)) {
        changedWhileSent_.insert(id);
    } else {
        SendWaiting();
    }
}

void ConnectionLog::Note(const std::string& id, const QString& note) {
    // The server numbers its sessions; this computer's log names them by 16 hex digits.
    const bool server = !id.empty() && std::all_of(id.begin(), id.end(),
                                                   [](char c) { return c >= '0' && c <= '9'; });
    if (server) {
        if (server_) {
            server_->NoteSession(id, note);
            emit Changed();
        }
        return;
    }
    Append(core::SessionNoteLine(id, NowInLog(), note.toStdString()));
    Resend(id);
}

void ConnectionLog::MarkRunning(std::vector<core::Session>& sessions) const {
    for (core::Session& session : sessions) {
        if (session.end.empty() && running_.count(session.id)) {
            session.how = core::Session::Ended::Running;
        }
    }
}

void ConnectionLog::Read(int64_t from, int64_t to, const Done& done) const {
    if (server_ && server_->TakesSessions()) {
        server_->ReadSessions(from, to,
                              [done](std::vector<core::Session> sessions, const QString& why) {
                                  done(std::move(sessions), why);
                              });
        return;
    }
    done(Read(from, to), {});
}

std::vector<core::Session> ConnectionLog::Read(int64_t from, int64_t to) const {
    // The log is in the order sessions started: its end is read, more of it each time, until
    // what was read starts before the range (or is the whole log).
    std::vector<core::Session> sessions;
    cut_ = false;
    for (size_t most = size_t{4} << 20;; most *= 4) {
        most = std::min(most, core::MaxSessionLogBytes);
        const platform::FileBytes read = platform::ReadBytes(Path(), most);
        sessions = core::ReadSessions(WholeLines(read));
        const bool before = !sessions.empty() && core::LogSeconds(sessions.front().start) < from;
        if (!read.cut || before || most == core::MaxSessionLogBytes) {
            cut_ = read.cut && !before;
            break;
        }
    }
    std::erase_if(sessions, [&](const core::Session& session) {
        const int64_t start = core::LogSeconds(session.start);
        return start < from || start >= to;
    });
    std::reverse(sessions.begin(), sessions.end());
    MarkRunning(sessions);
    return sessions;
}

void ConnectionLog::Export(const QString& path, int64_t from, int64_t to,
                           const std::optional<core::Client>& client, const Exported& done) const {
    if (server_ && server_->TakesSessions()) {
        server_->ExportSessions(path, from, to, client, done);
        return;
    }
    std::vector<core::Session> sessions = Read(from, to);
    if (client) {
        std::erase_if(sessions, [&](const core::Session& s) { return s.client != *client; });
    }
    try {
        WriteCsv(path, sessions);
    } catch (const Exception& error) {
        done(0, QString::fromUtf8(error.what()));
        return;
    }
    done(static_cast<int64_t>(sessions.size()), {});
}

std::vector<core::Session> ConnectionLog::ReadAll() const {
    std::vector<core::Session> sessions = ReadAllAt(core::ProgramFiles::OfThisProgram().Folder());
    MarkRunning(sessions);
    return sessions;
}

std::vector<core::Session> ConnectionLog::ReadAllAt(const std::string& folder) {
    const platform::FileBytes read =
        platform::ReadBytes(folder + core::SessionsFile, core::MaxSessionLogBytes);
    if (!read.bytes && !read.missing) {
        throw Exception("Cannot read " + folder + core::SessionsFile + ": " + read.reason);
    }
    return core::ReadSessions(WholeLines(read));
}

std::string ConnectionLog::Csv(const std::vector<core::Session>& sessions) {
    std::string csv = core::SessionsCsvHeader();
    for (const core::Session& session : sessions) {
        csv += core::SessionCsvRow(session, LogTimeWithOffset(session.start),
                                   LogTimeWithOffset(session.end));
    }
    return csv;
}

void ConnectionLog::WriteCsv(const QString& path, const std::vector<core::Session>& sessions) {
    QSaveFile file(path);
    const std::string csv = Csv(sessions);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) !=
            static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        throw Exception("Cannot write " + StoredText(path));
    }
}
