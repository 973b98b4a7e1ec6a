#include "store/SharedBookServer.h"

#include "app/QtText.h"
#include "app/TypedText.h"
#include "core/Import.h"
#include "platform/DatabaseSocket.h"

#include <QSaveFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// The channel every change is announced on, and the lock that puts migrations one at a time.
// Adds and moves are put in a line by a row lock on mbv_place, which only editors may take: a
// reader cannot hold the team's edits.
const QString Channel = QStringLiteral("mbv_book");
constexpr qint64 SchemaLock = 0x6d62765f73636865;

// Anybody may announce on the channel: past this many rows named, the whole book is read once
// instead, so a flood costs one read and no memory.
constexpr qsizetype MaxChangedRows = 10000;

// What is read of a row, in SharedRow's order.
const QString RowColumns = QStringLiteral(
    "row_id, name, repeater_id, position, version, changed_by, changed_at, tags, note");

// The most digits of an ID, as typed.
constexpr qsizetype MaxIdDigits = 6;

// A field as the book keeps it: the rule every name follows (no control, invisible or
// reordering character, no longer than the book keeps), whoever wrote it to the server.
std::string FromServer(const QVariant& value) {
    return BookRow(value.toString().left(static_cast<qsizetype>(core::MaxNameCharacters) * 2));
}

QString ToServer(const std::string& bytes) {
    return DisplayText(bytes);
}

int testLimit = 0;

// A team has a few technicians: each name is held once however many rows it changed (past a
// few thousand names they are held as they come). The table is the connection's own: nothing
// is kept per thread, whose end would have to free it.
QString Interned(const QString& who, QSet<QString>& names) {
    const QString shown = DisplayText(FromServer(who), 60);
    if (const auto known = names.constFind(shown); known != names.cend()) {
        return *known;
    }
    if (names.size() < 4096) {
        names.insert(shown);
    }
    return shown;
}

// The row, or nothing when its ID is not one.
std::optional<SharedRow> RowOf(const QSqlQuery& q, QSet<QString>& names) {
    std::string id = q.value(2).toString().toStdString();
    const double position = q.value(3).toDouble();
    if (!SharedBookServer::IsId(id) || !std::isfinite(position)) {
        return std::nullopt;
    }
    // Tags and a note as anybody may have written them to the server: cleaned as typed ones.
    core::ClientExtra extra;
    if (q.record().count() > 8) {
        extra.tags = core::CleanTags(q.value(7).toString().toStdString());
        extra.note = core::CleanNote(q.value(8).toString().toStdString());
    }
    return SharedRow{q.value(0).toLongLong(),
                     {FromServer(q.value(1)), std::move(id)},
                     position,
                     q.value(4).toLongLong(),
                     Interned(q.value(5).toString(), names),
                     q.value(6).toDateTime().toMSecsSinceEpoch(),
                     std::move(extra)};
}

// Text for a column that holds no NULL: an empty text is still a text.
QString NotNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

// A session as the server's row has it (session_id, name, repeater_id, technician, started_at,
// ended_at, ended, line, note), checked as the file's are: nothing for one whose ID is no ID.
std::optional<core::Session> SessionOf(const QSqlQuery& q) {
    std::string id = q.value(2).toString().toStdString();
    if (!SharedBookServer::IsId(id)) {
        return std::nullopt;
    }
    const auto stamp = [](const QVariant& value) {
        return value.isNull() ? std::string()
                              : value.toDateTime().toUTC().toString(Qt::ISODate).toStdString();
    };
    core::Session session;
    session.id = std::to_string(q.value(0).toLongLong());
    session.client = {FromServer(q.value(1)), std::move(id)};
    session.technician = DisplayText(FromServer(q.value(3)), 64).toStdString();
    session.start = stamp(q.value(4));
    session.end = stamp(q.value(5));
    const QString ended = q.value(6).toString();
    session.how = ended == QLatin1String("ok")      ? core::Session::Ended::Ok
                  : ended == QLatin1String("error") ? core::Session::Ended::Error
                                                    : core::Session::Ended::Unknown;
    if (session.how == core::Session::Ended::Unknown) {
        session.end.clear();
    }
    session.line = core::CleanNote(q.value(7).toString().left(1000).toStdString());
    session.note = core::CleanNote(q.value(8).toString().left(1000).toStdString());
    return session;
}

QString Named(const std::string& name, const std::string& id) {
    return DisplayText(name) + QStringLiteral(" (") + DisplayText(id) + u')';
}

// Failures that pass: the server down, restarting or out of reach. Anything else (a refused
// password, a missing database, no encryption) stays until the user changes something.
bool Passing(const QString& why) {
    static const char* const passing[] = {"could not connect",      "Connection refused",
                                          "timeout expired",        "timed out",
                                          "No route to host",       "server closed the connection",
                                          "could not translate",    "the database system is",
                                          "Network is unreachable", "no connection to the server",
                                          "terminating connection", "Connection reset"};
    return std::any_of(std::begin(passing), std::end(passing),
                       [&](const char* text) { return why.contains(QLatin1String(text)); });
}

// A statement may take this long before the server cancels it; a call that waits longer than
// that without a sign of life waits on a server that has stopped answering.
constexpr qint64 StatementTimeout = 15000;
constexpr qint64 EditAllowance = StatementTimeout + 3000;

qint64 SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What an edit says when the server is gone, whatever it was.
QString Unreachable() {
    return QStringLiteral("Not saved: the shared book cannot be reached");
}

// The server's or the library's reason, its first line: what follows is advice for admins.
QString ErrorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) {
        text = error.text().trimmed();
    }
    text = text.section(u'\n', 0, 0).simplified();
    return text.isEmpty() ? QStringLiteral("no answer") : text;
}

} // namespace

// The answer to an edit sent with a ticket, given once whichever way the edit ends: unreachable
// unless it is said otherwise.
class SharedBookServer::Answer {
public:
    Answer(SharedBookServer& server, int ticket, SharedStep::Kind kind)
        : server_(server), ticket_(ticket) {
        step.kind = kind;
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
    ~Answer() {
        // Not done while the server is still there: it refused, or somebody got there first.
        if (outcome == SharedOutcome::Unreachable && server_.open_) {
            outcome = SharedOutcome::Refused;
        }
        if (ticket_ != 0) {
            emit server_.Answered(server_.connection_, ticket_, step, outcome, why);
        }
    }
    SharedStep step;
    SharedOutcome outcome = SharedOutcome::Unreachable;
    QString why;

private:
    SharedBookServer& server_;
    int ticket_;
};

int SharedBookServer::MaxClients() {
    return testLimit > 0 ? testLimit : 1000000;
}

void SharedBookServer::SetMaxClientsForTesting(int most) {
    testLimit = most;
}

// An ID from the server is what a typed one is. Anything else is never shown or launched as one.
bool SharedBookServer::IsId(const std::string& id) {
    return !id.empty() && id.size() <= static_cast<size_t>(MaxIdDigits) &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

SharedBookServer::SharedBookServer(QObject* parent)
    : QObject(parent),
      name_(QStringLiteral("mbv-shared-book-%1").arg(reinterpret_cast<quintptr>(this))),
      retry_(new QTimer(this)), heartbeat_(new QTimer(this)), fetch_(new QTimer(this)) {
    qRegisterMetaType<SharedRows>();
    qRegisterMetaType<SharedStep>();
    qRegisterMetaType<SharedBinRows>();
    qRegisterMetaType<SharedHistory>();
    qRegisterMetaType<SharedSessions>();
    qRegisterMetaType<SharedOutcome>();
    qRegisterMetaType<QList<qint64>>();
    retry_->setInterval(3000);
    connect(retry_, &QTimer::timeout, this, [this] { Run([this] { Retry(); }); });
    // A connection that dropped says nothing until it is used: it is asked now and then.
    heartbeat_->setInterval(2000);
    connect(heartbeat_, &QTimer::timeout, this, [this] { Run([this] { Heartbeat(); }); });
    // Changes announced together (in one read of the connection) are read together, at once:
    // a wait here would be the add's delay in every other window.
    fetch_->setSingleShot(true);
    fetch_->setInterval(0);
    connect(fetch_, &QTimer::timeout, this, [this] { Run([this] { FetchChanged(); }); });
}

SharedBookServer::~SharedBookServer() {
    Drop();
}

auto SharedBookServer::Waiting(qint64 allowance) {
    allowance_ = allowance;
    waitingSince_ = SteadyMilliseconds();
    return qScopeGuard([this] { waitingSince_ = 0; });
}

void SharedBookServer::Alive() {
    if (waitingSince_ != 0) {
        waitingSince_ = SteadyMilliseconds();
    }
}

bool SharedBookServer::Stuck() const {
    const qint64 since = waitingSince_;
    return since != 0 && SteadyMilliseconds() - since > allowance_;
}

void SharedBookServer::Cut() {
    // Under the lock the socket is still the connection's: it is never one the number was
    // given to since.
    const std::lock_guard<std::mutex> lock(socketLock_);
    for (const intptr_t socket : sockets_) {
        platform::ShutDownSocket(socket);
    }
}

namespace {

// The functions of the server's triggers and of a restore from the bin; with notes, they carry a
// client's tags and note too (the book's sixth step).
QString BinnedFunction(bool notes) {
    QString text = QStringLiteral(
        "CREATE FUNCTION mbv_clients_binned() RETURNS trigger LANGUAGE plpgsql "
        "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
        "DECLARE days integer; "
        "BEGIN "
        "EXECUTE format('SELECT bin_days FROM %I.mbv_options', TG_TABLE_SCHEMA) INTO days; "
        "EXECUTE format('DELETE FROM %I.mbv_bin WHERE removed_at < now() - "
        "make_interval(days => $1)', TG_TABLE_SCHEMA) USING coalesce(days, 30); "
        "EXECUTE format('INSERT INTO %1$I.mbv_bin (row_id, name, repeater_id, position, "
        "version, after_row, before_row, removed_by, removed_at) VALUES ($1, $2, $3, $4, $5, "
        "(SELECT c.row_id FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) < ($4, $1) "
        "ORDER BY c.position DESC, c.row_id DESC LIMIT 1), "
        "(SELECT c.row_id FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) > ($4, $1) "
        "ORDER BY c.position, c.row_id LIMIT 1), session_user, now())', TG_TABLE_SCHEMA) "
        "USING OLD.row_id, OLD.name, OLD.repeater_id, OLD.position, OLD.version; "
        "RETURN NULL; "
        "END $$");
    if (notes) {
        text.replace(QStringLiteral("CREATE FUNCTION"),
                     QStringLiteral("CREATE OR REPLACE FUNCTION"));
        text.replace(QStringLiteral("removed_by, removed_at) VALUES ($1, $2, $3, $4, $5, "),
                     QStringLiteral("removed_by, removed_at, tags, note) VALUES ($1, $2, $3, $4, "
                                    "$5, "));
        text.replace(QStringLiteral("LIMIT 1), session_user, now())'"),
                     QStringLiteral("LIMIT 1), session_user, now(), $6, $7)'"));
        text.replace(QStringLiteral("OLD.position, OLD.version; "),
                     QStringLiteral("OLD.position, OLD.version, OLD.tags, OLD.note; "));
    }
    return text;
}

// The session log's trigger: who connected and when are the server's to write, and only the
// technician who connected ends a session, once, and notes it. From step 8 (sentLater) a session
// sent after the server was out of reach keeps its own times, held to the server's clock.
QString SessionsStampFunction(bool sentLater) {
    const QString inserted =
        sentLater ? QStringLiteral("NEW.technician := session_user; "
                                   "IF NEW.sent_from IS NULL OR NEW.started_at IS NULL THEN "
                                   "NEW.sent_from := NULL; NEW.logged_at := NULL; "
                                   "NEW.started_at := now(); NEW.ended_at := NULL; "
                                   "NEW.ended := NULL; NEW.line := ''; NEW.note := ''; "
                                   "ELSE "
                                   "NEW.logged_at := now(); "
                                   "NEW.started_at := least(NEW.started_at, now()); "
                                   "IF NEW.ended IS NULL OR NEW.ended_at IS NULL THEN "
                                   "NEW.ended := NULL; NEW.ended_at := NULL; NEW.line := ''; "
                                   "ELSE NEW.ended_at := "
                                   "least(greatest(NEW.ended_at, NEW.started_at), now()); "
                                   "END IF; "
                                   "END IF; ")
                  : QStringLiteral("NEW.technician := session_user; NEW.started_at := now(); "
                                   "NEW.ended_at := NULL; "
                                   "NEW.ended := NULL; NEW.line := ''; NEW.note := ''; ");
    return (sentLater ? QStringLiteral("CREATE OR REPLACE FUNCTION")
                      : QStringLiteral("CREATE FUNCTION")) +
           QStringLiteral(" mbv_sessions_stamp() RETURNS trigger LANGUAGE plpgsql "
                          "SET search_path = pg_catalog, pg_temp AS $$ "
                          "BEGIN "
                          "IF TG_OP = 'INSERT' THEN ") +
           inserted +
           QStringLiteral("RETURN NEW; "
                          "END IF; "
                          "IF session_user <> OLD.technician THEN "
                          "RAISE EXCEPTION 'only the technician who connected may end or note a "
                          "session' USING ERRCODE = '42501'; "
                          "END IF; "
                          "NEW.session_id := OLD.session_id; NEW.name := OLD.name; "
                          "NEW.repeater_id := OLD.repeater_id; NEW.technician := OLD.technician; "
                          "NEW.started_at := OLD.started_at; ") +
           (sentLater ? QStringLiteral("NEW.sent_from := OLD.sent_from; "
                                       "NEW.logged_at := OLD.logged_at; ")
                      : QString()) +
           QStringLiteral("IF OLD.ended IS NOT NULL OR NEW.ended IS NULL THEN "
                          "NEW.ended := OLD.ended; NEW.ended_at := OLD.ended_at; "
                          "NEW.line := OLD.line; ") +
           (sentLater ? QStringLiteral("ELSIF OLD.sent_from IS NOT NULL AND NEW.ended_at IS NOT "
                                       "NULL THEN NEW.ended_at := "
                                       "least(greatest(NEW.ended_at, OLD.started_at), now()); ")
                      : QString()) +
           QStringLiteral("ELSE NEW.ended_at := now(); "
                          "END IF; "
                          "RETURN NEW; "
                          "END $$");
}

QString HistoryFunction(bool notes) {
    QString text = QStringLiteral(
        "CREATE OR REPLACE FUNCTION mbv_clients_history() RETURNS trigger LANGUAGE plpgsql "
        "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
        "DECLARE action text; restoring boolean; "
        "BEGIN "
        "IF TG_OP = 'INSERT' THEN "
        "EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.mbv_bin WHERE row_id = $1 AND "
        "restoring)', TG_TABLE_SCHEMA) INTO restoring USING NEW.row_id; "
        "action := CASE WHEN restoring THEN 'restore' ELSE 'add' END; "
        "ELSIF TG_OP = 'DELETE' THEN action := 'remove'; "
        "ELSIF (OLD.name, OLD.repeater_id) IS DISTINCT FROM (NEW.name, NEW.repeater_id) "
        "THEN action := 'edit'; "
        "ELSIF OLD.position IS DISTINCT FROM NEW.position THEN action := 'move'; "
        "ELSE RETURN NULL; "
        "END IF; "
        "EXECUTE format('INSERT INTO %I.mbv_history (row_id, action, old_name, "
        "old_repeater_id, old_position, new_name, new_repeater_id, new_position, "
        "changed_by, changed_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, session_user, "
        "now())', TG_TABLE_SCHEMA) "
        "USING coalesce(NEW.row_id, OLD.row_id), action, "
        "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.name END, "
        "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.repeater_id END, "
        "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.position END, "
        "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.name END, "
        "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.repeater_id END, "
        "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.position END; "
        "RETURN NULL; "
        "END $$");
    if (notes) {
        text.replace(QStringLiteral("THEN action := 'move'; "),
                     QStringLiteral("THEN action := 'move'; "
                                    "ELSIF (OLD.tags, OLD.note) IS DISTINCT FROM (NEW.tags, "
                                    "NEW.note) THEN action := 'note'; "));
    }
    return text;
}

QString RestoreFunction(bool notes) {
    QString text = QStringLiteral(
        "DO $do$ BEGIN EXECUTE format($f$"
        "CREATE FUNCTION %1$I.mbv_restore(entry bigint) RETURNS TABLE (r_row bigint, "
        "r_name text, r_id text, r_position double precision, r_version bigint) "
        "LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
        "DECLARE b record; lo double precision; hi double precision; p double precision; "
        "tries integer := 0; "
        "BEGIN "
        "IF NOT has_table_privilege(session_user, %2$L, 'INSERT') THEN "
        "RAISE EXCEPTION 'only an editor may restore a client' USING ERRCODE = '42501'; "
        "END IF; "
        "PERFORM 1 FROM %1$I.mbv_place FOR UPDATE; "
        "SELECT * INTO b FROM %1$I.mbv_bin WHERE entry_id = entry AND removed_at >= now() "
        "- make_interval(days => (SELECT bin_days FROM %1$I.mbv_options)) FOR UPDATE; "
        "IF NOT FOUND THEN RETURN; END IF; "
        "LOOP "
        "lo := NULL; hi := NULL; "
        "SELECT c.position INTO lo FROM %1$I.mbv_clients c WHERE c.row_id = b.after_row; "
        "IF lo IS NOT NULL THEN "
        "SELECT c.position INTO hi FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) > "
        "(lo, b.after_row) ORDER BY c.position, c.row_id LIMIT 1; "
        "p := CASE WHEN hi IS NULL THEN lo + 1 ELSE (lo + hi) / 2 END; "
        "ELSE "
        "SELECT c.position INTO hi FROM %1$I.mbv_clients c WHERE c.row_id = b.before_row; "
        "IF hi IS NOT NULL THEN "
        "SELECT c.position INTO lo FROM %1$I.mbv_clients c WHERE (c.position, c.row_id) < "
        "(hi, b.before_row) ORDER BY c.position DESC, c.row_id DESC LIMIT 1; "
        "p := CASE WHEN lo IS NULL THEN hi - 1 ELSE (lo + hi) / 2 END; "
        "ELSE "
        "SELECT coalesce(max(c.position), 0) + 1 INTO p FROM %1$I.mbv_clients c; "
        "END IF; "
        "END IF; "
        "EXIT WHEN tries > 0 OR lo IS NULL OR hi IS NULL OR (p <> lo AND p <> hi); "
        "tries := tries + 1; "
        "UPDATE %1$I.mbv_clients m SET position = n.place FROM (SELECT c.row_id, "
        "row_number() OVER (ORDER BY c.position, c.row_id) AS place FROM %1$I.mbv_clients "
        "c) n WHERE m.row_id = n.row_id; "
        "END LOOP; "
        "UPDATE %1$I.mbv_bin SET restoring = true WHERE entry_id = entry; "
        "INSERT INTO %1$I.mbv_clients AS c (row_id, name, repeater_id, position) "
        "OVERRIDING SYSTEM VALUE VALUES (b.row_id, b.name, b.repeater_id, p) "
        "RETURNING c.row_id, c.name, c.repeater_id, c.position, c.version "
        "INTO r_row, r_name, r_id, r_position, r_version; "
        "DELETE FROM %1$I.mbv_bin WHERE entry_id = entry; "
        "RETURN NEXT; "
        "END $$"
        "$f$, current_schema(), format('%I.mbv_clients', current_schema())); END $do$");
    if (notes) {
        text.replace(QStringLiteral("CREATE FUNCTION"),
                     QStringLiteral("CREATE OR REPLACE FUNCTION"));
        text.replace(QStringLiteral("(row_id, name, repeater_id, position) "
                                    "OVERRIDING SYSTEM VALUE VALUES (b.row_id, b.name, "
                                    "b.repeater_id, p) "),
                     QStringLiteral("(row_id, name, repeater_id, position, tags, note) "
                                    "OVERRIDING SYSTEM VALUE VALUES (b.row_id, b.name, "
                                    "b.repeater_id, p, b.tags, b.note) "));
    }
    return text;
}

} // namespace

const std::vector<std::vector<QString>>& SharedBookServer::Migrations() {
    static const std::vector<std::vector<QString>> steps = {
        // 1: the clients, one row each.
        {QStringLiteral("CREATE TABLE mbv_clients ("
                        " row_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                        " name text NOT NULL CHECK (name !~ '[[:cntrl:]]'),"
                        " repeater_id text NOT NULL CHECK (repeater_id !~ '[[:cntrl:]]'),"
                        " position double precision NOT NULL,"
                        " version integer NOT NULL DEFAULT 1,"
                        " changed_by text NOT NULL DEFAULT current_user,"
                        " changed_at timestamptz NOT NULL DEFAULT now())")},
        // 2: the book's order at hand, and every change announced to the copies listening.
        {QStringLiteral("CREATE INDEX mbv_clients_order ON mbv_clients (position, row_id)"),
         QStringLiteral(
             "CREATE FUNCTION mbv_clients_changed() RETURNS trigger LANGUAGE plpgsql AS $$ "
             "BEGIN "
             "IF TG_OP = 'DELETE' THEN PERFORM pg_notify('mbv_book', 'D ' || OLD.row_id); "
             "ELSE PERFORM pg_notify('mbv_book', 'U ' || NEW.row_id); END IF; "
             "RETURN NULL; "
             "END $$"),
         QStringLiteral("CREATE TRIGGER mbv_clients_changed AFTER INSERT OR UPDATE OR DELETE "
                        "ON mbv_clients FOR EACH ROW EXECUTE FUNCTION mbv_clients_changed()")},
        // 3: what no editor may forge or break: row numbers, versions, who changed a row and
        // when, an ID that is no ID, a place that is no number; and the place lock as a row
        // only editors may lock.
        {QStringLiteral(
             "CREATE TABLE mbv_place (one boolean PRIMARY KEY DEFAULT true CHECK (one))"),
         QStringLiteral("INSERT INTO mbv_place VALUES (true)"),
         QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_editor') THEN GRANT SELECT, UPDATE ON mbv_place TO mbv_editor; "
                        "END IF; END $$"),
         QStringLiteral("ALTER TABLE mbv_clients ALTER COLUMN version TYPE bigint"),
         QStringLiteral("UPDATE mbv_clients SET position = n.place FROM (SELECT row_id, "
                        "row_number() OVER (ORDER BY position, row_id) AS place FROM "
                        "mbv_clients) n WHERE mbv_clients.row_id = n.row_id AND EXISTS (SELECT 1 "
                        "FROM mbv_clients WHERE NOT (position > '-Infinity' AND position < "
                        "'Infinity'))"),
         QStringLiteral("ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_position_finite "
                        "CHECK (position > '-Infinity'::double precision AND position < "
                        "'Infinity'::double precision)"),
         QStringLiteral("ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_id_digits "
                        "CHECK (repeater_id ~ '^[0-9]{1,6}$') NOT VALID"),
         QStringLiteral("ALTER TABLE mbv_clients ADD CONSTRAINT mbv_clients_name_length "
                        "CHECK (char_length(name) <= 4096) NOT VALID"),
         QStringLiteral(
             "CREATE FUNCTION mbv_clients_stamp() RETURNS trigger LANGUAGE plpgsql "
             "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
             "BEGIN "
             "IF TG_OP = 'INSERT' THEN "
             "NEW.row_id := nextval(pg_get_serial_sequence(format('%I.%I', TG_TABLE_SCHEMA, "
             "TG_TABLE_NAME), 'row_id')); "
             "NEW.version := 1; "
             "ELSE "
             "NEW.row_id := OLD.row_id; "
             "NEW.version := OLD.version + 1; "
             "END IF; "
             "NEW.changed_by := session_user; "
             "NEW.changed_at := now(); "
             "RETURN NEW; "
             "END $$"),
         QStringLiteral("CREATE TRIGGER mbv_clients_stamp BEFORE INSERT OR UPDATE ON mbv_clients "
                        "FOR EACH ROW EXECUTE FUNCTION mbv_clients_stamp()")},
        // 4: the history of every change, written by the server from the session's own user
        // and clock, never from what a copy claims. Append-only: only the book's owner may
        // change it; editors and readers read it.
        {QStringLiteral("CREATE TABLE mbv_history ("
                        " entry_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                        " row_id bigint NOT NULL,"
                        " action text NOT NULL CHECK (action IN ('add', 'edit', 'move', 'remove')),"
                        " old_name text, old_repeater_id text, old_position double precision,"
                        " new_name text, new_repeater_id text, new_position double precision,"
                        " changed_by text NOT NULL,"
                        " changed_at timestamptz NOT NULL)"),
         QStringLiteral("CREATE INDEX mbv_history_client ON mbv_history (row_id, entry_id)"),
         QStringLiteral(
             "CREATE FUNCTION mbv_clients_history() RETURNS trigger LANGUAGE plpgsql "
             "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
             "DECLARE action text; "
             "BEGIN "
             "IF TG_OP = 'INSERT' THEN action := 'add'; "
             "ELSIF TG_OP = 'DELETE' THEN action := 'remove'; "
             "ELSIF (OLD.name, OLD.repeater_id) IS DISTINCT FROM (NEW.name, NEW.repeater_id) "
             "THEN action := 'edit'; "
             "ELSIF OLD.position IS DISTINCT FROM NEW.position THEN action := 'move'; "
             "ELSE RETURN NULL; "
             "END IF; "
             "EXECUTE format('INSERT INTO %I.mbv_history (row_id, action, old_name, "
             "old_repeater_id, old_position, new_name, new_repeater_id, new_position, "
             "changed_by, changed_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, session_user, "
             "now())', TG_TABLE_SCHEMA) "
             "USING coalesce(NEW.row_id, OLD.row_id), action, "
             "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.name END, "
             "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.repeater_id END, "
             "CASE WHEN TG_OP = 'INSERT' THEN NULL ELSE OLD.position END, "
             "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.name END, "
             "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.repeater_id END, "
             "CASE WHEN TG_OP = 'DELETE' THEN NULL ELSE NEW.position END; "
             "RETURN NULL; "
             "END $$"),
         QStringLiteral("CREATE TRIGGER mbv_clients_history AFTER INSERT OR UPDATE OR DELETE "
                        "ON mbv_clients FOR EACH ROW EXECUTE FUNCTION mbv_clients_history()"),
         QStringLiteral("REVOKE ALL ON mbv_history FROM PUBLIC"),
         QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_editor') THEN GRANT SELECT ON mbv_history TO mbv_editor; END IF; "
                        "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'mbv_reader') THEN "
                        "GRANT SELECT ON mbv_history TO mbv_reader; END IF; END $$")},
        // 5: the recycle bin. A removed client is kept there by the server, with the clients
        // it stood between, for as many days as the book's options say; every copy sees the
        // same bin. Only an editor may put a client back, through a function of the owner's that
        // brings it back under its own row number, next to its old neighbour when that is still
        // there, and notes it in the history as restored.
        {QStringLiteral("CREATE TABLE mbv_bin ("
                        " entry_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                        " row_id bigint NOT NULL,"
                        " name text NOT NULL, repeater_id text NOT NULL,"
                        " position double precision NOT NULL, version bigint NOT NULL,"
                        " after_row bigint, before_row bigint,"
                        " removed_by text NOT NULL, removed_at timestamptz NOT NULL,"
                        " restoring boolean NOT NULL DEFAULT false)"),
         QStringLiteral("CREATE INDEX mbv_bin_removed ON mbv_bin (removed_at)"),
         QStringLiteral("CREATE INDEX mbv_bin_row ON mbv_bin (row_id)"),
         QStringLiteral("CREATE TABLE mbv_options (one boolean PRIMARY KEY DEFAULT true CHECK "
                        "(one), bin_days integer NOT NULL DEFAULT 30 CHECK (bin_days BETWEEN 1 "
                        "AND 3650))"),
         QStringLiteral("INSERT INTO mbv_options DEFAULT VALUES"), BinnedFunction(false),
         QStringLiteral("CREATE TRIGGER mbv_clients_binned AFTER DELETE ON mbv_clients "
                        "FOR EACH ROW EXECUTE FUNCTION mbv_clients_binned()"),
         QStringLiteral(
             "CREATE OR REPLACE FUNCTION mbv_clients_stamp() RETURNS trigger LANGUAGE plpgsql "
             "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$ "
             "DECLARE restored bigint; "
             "BEGIN "
             "IF TG_OP = 'INSERT' THEN "
             "EXECUTE format('SELECT version FROM %I.mbv_bin WHERE row_id = $1 AND restoring', "
             "TG_TABLE_SCHEMA) INTO restored USING NEW.row_id; "
             "IF restored IS NULL THEN "
             "NEW.row_id := nextval(pg_get_serial_sequence(format('%I.%I', TG_TABLE_SCHEMA, "
             "TG_TABLE_NAME), 'row_id')); "
             "NEW.version := 1; "
             "ELSE "
             "NEW.version := restored + 1; "
             "END IF; "
             "ELSE "
             "NEW.row_id := OLD.row_id; "
             "NEW.version := OLD.version + 1; "
             "END IF; "
             "NEW.changed_by := session_user; "
             "NEW.changed_at := now(); "
             "RETURN NEW; "
             "END $$"),
         QStringLiteral("ALTER TABLE mbv_history DROP CONSTRAINT mbv_history_action_check"),
         QStringLiteral("ALTER TABLE mbv_history ADD CONSTRAINT mbv_history_action_check CHECK "
                        "(action IN ('add', 'edit', 'move', 'remove', 'restore'))"),
         HistoryFunction(false),
         // The function names its tables with the schema it is made in: it trusts no search
         // path, as it runs with the owner's rights.
         RestoreFunction(false), QStringLiteral("REVOKE ALL ON mbv_bin, mbv_options FROM PUBLIC"),
         QStringLiteral("REVOKE ALL ON FUNCTION mbv_restore(bigint) FROM PUBLIC"),
         QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_editor') THEN GRANT SELECT ON mbv_bin, mbv_options TO mbv_editor; "
                        "GRANT EXECUTE ON FUNCTION mbv_restore(bigint) TO mbv_editor; END IF; "
                        "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'mbv_reader') THEN "
                        "GRANT SELECT ON mbv_bin, mbv_options TO mbv_reader; END IF; END $$")},
        // 6: each client's tags (separated by commas) and note, changed by editors as the rest
        // of a client, noted in the history as a change of the note, kept in the recycle bin
        // with the client and brought back with it.
        {QStringLiteral("ALTER TABLE mbv_clients ADD COLUMN tags text NOT NULL DEFAULT '' "
                        "CHECK (tags !~ '[[:cntrl:]]' AND octet_length(tags) <= 4224)"),
         QStringLiteral("ALTER TABLE mbv_clients ADD COLUMN note text NOT NULL DEFAULT '' "
                        "CHECK (octet_length(note) <= 1048576)"),
         QStringLiteral("ALTER TABLE mbv_bin ADD COLUMN tags text NOT NULL DEFAULT '', "
                        "ADD COLUMN note text NOT NULL DEFAULT ''"),
         BinnedFunction(true),
         QStringLiteral("ALTER TABLE mbv_history DROP CONSTRAINT mbv_history_action_check"),
         QStringLiteral("ALTER TABLE mbv_history ADD CONSTRAINT mbv_history_action_check CHECK "
                        "(action IN ('add', 'edit', 'move', 'remove', 'restore', 'note'))"),
         HistoryFunction(true), RestoreFunction(true)},
        // 7: the session log, append-only: a trigger writes who connected and when from the
        // session's own user and clock, and lets the technician who connected end a session
        // once and write its note; nobody changes the rest or removes a row.
        {QStringLiteral("CREATE TABLE mbv_sessions ("
                        " session_id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                        " name text NOT NULL CHECK (name !~ '[[:cntrl:]]' AND "
                        "char_length(name) <= 4096),"
                        " repeater_id text NOT NULL CHECK (repeater_id ~ '^[0-9]{1,6}$'),"
                        " technician text NOT NULL,"
                        " started_at timestamptz NOT NULL,"
                        " ended_at timestamptz,"
                        " ended text CHECK (ended IN ('ok', 'error')),"
                        " line text NOT NULL DEFAULT '' CHECK (octet_length(line) <= 4096),"
                        " note text NOT NULL DEFAULT '' CHECK (octet_length(note) <= 4096))"),
         QStringLiteral("CREATE INDEX mbv_sessions_started ON mbv_sessions (started_at)"),
         SessionsStampFunction(false),
         QStringLiteral("CREATE TRIGGER mbv_sessions_stamp BEFORE INSERT OR UPDATE ON "
                        "mbv_sessions FOR EACH ROW EXECUTE FUNCTION mbv_sessions_stamp()"),
         QStringLiteral("REVOKE ALL ON mbv_sessions FROM PUBLIC"),
         QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_editor') THEN GRANT SELECT, INSERT (name, repeater_id), UPDATE "
                        "(ended, line, note) ON mbv_sessions TO mbv_editor; END IF; "
                        "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'mbv_reader') THEN "
                        "GRANT SELECT, INSERT (name, repeater_id), UPDATE (ended, line, note) ON "
                        "mbv_sessions TO mbv_reader; END IF; END $$")},
        // 8: a session made while the server could not be reached, sent once it can be. It
        // keeps the times of the technician's computer (never later than the server's clock),
        // the server notes when it came, and the session's number on that computer makes a
        // second sending of it (another copy on the folder, an end or a note since) change
        // the same row. Everything else stays the server's, as before.
        {QStringLiteral("ALTER TABLE mbv_sessions ADD COLUMN sent_from text "
                        "CHECK (sent_from ~ '^[0-9a-f]{16}$'), ADD COLUMN logged_at timestamptz"),
         QStringLiteral("CREATE UNIQUE INDEX mbv_sessions_sent ON mbv_sessions "
                        "(technician, sent_from)"),
         SessionsStampFunction(true),
         QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_editor') THEN GRANT INSERT (started_at, ended_at, ended, line, "
                        "note, sent_from), UPDATE (ended_at) ON mbv_sessions TO mbv_editor; "
                        "END IF; IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                        "'mbv_reader') THEN GRANT INSERT (started_at, ended_at, ended, line, "
                        "note, sent_from), UPDATE (ended_at) ON mbv_sessions TO mbv_reader; "
                        "END IF; END $$")},
    };
    return steps;
}

bool SharedBookServer::Migrate(const QString& connectionName, QString* why, int upTo) {
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    const int target = upTo < 0 ? SchemaVersion() : upTo;
    QSqlQuery q(db);
    const auto version = [&q](int& v) {
        if (!q.exec(QStringLiteral("SELECT to_regclass('mbv_schema') IS NOT NULL")) || !q.next()) {
            return false;
        }
        if (!q.value(0).toBool()) {
            v = 0;
            return true;
        }
        if (!q.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM mbv_schema")) ||
            !q.next()) {
            return false;
        }
        v = q.value(0).toInt();
        return true;
    };
    const auto fail = [&](const QString& text) {
        if (why) {
            *why = text;
        }
        return false;
    };
    int current = 0;
    if (!version(current)) {
        return fail(ErrorText(q.lastError()));
    }
    if (current > SchemaVersion()) {
        return fail(QStringLiteral("The shared book was set up by a newer version of the "
                                   "program: update this copy to use it"));
    }
    if (current >= target) {
        return true;
    }
    // One copy at a time, and all of it or nothing.
    if (!db.transaction()) {
        return fail(ErrorText(db.lastError()));
    }
    const auto step = [&](const QString& statement) {
        if (q.exec(statement)) {
            return true;
        }
        const QString error = ErrorText(q.lastError());
        db.rollback();
        return fail(QStringLiteral("The shared book's tables could not be made (%1): an editor "
                                   "of the database can run scripts/shared-book.sql")
                        .arg(error));
    };
    if (!step(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLock)) ||
        !step(QStringLiteral("CREATE TABLE IF NOT EXISTS mbv_schema (version integer NOT NULL)"))) {
        return false;
    }
    if (!version(current)) {
        const QString error = ErrorText(q.lastError());
        db.rollback();
        return fail(error);
    }
    for (int v = current; v < target; ++v) {
        for (const QString& statement : Migrations()[static_cast<size_t>(v)]) {
            if (!step(statement)) {
                return false;
            }
        }
    }
    if (!step(QStringLiteral("DELETE FROM mbv_schema")) ||
        !step(
            QStringLiteral("INSERT INTO mbv_schema VALUES (%1)").arg(std::max(current, target)))) {
        return false;
    }
    if (!db.commit()) {
        const QString error = ErrorText(db.lastError());
        db.rollback();
        return fail(error);
    }
    return true;
}

std::string SharedBookServer::Stored(const std::string& bytes) {
    return FromServer(ToServer(bytes));
}

void SharedBookServer::Open(const SharedBookAddress& address, const QString& password,
                            int connection) {
    // Connecting has its own time-out; bringing a large book's tables up to date takes a while.
    const auto waiting = Waiting(30000);
    Drop();
    connection_ = connection;
    address_ = address;
    password_ = password;
    wanted_ = true;
    QString why;
    if (!Reach(&why)) {
        const bool retrying = Passing(why);
        if (retrying) {
            retry_->start();
        }
        emit Lost(connection_, why, retrying);
    }
}

void SharedBookServer::Close() {
    wanted_ = false;
    retry_->stop();
    Drop();
}

bool SharedBookServer::Reach(QString* why) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        if (!db.isValid()) {
            *why = QStringLiteral("This copy of the program cannot reach PostgreSQL: its driver "
                                  "(QPSQL) is missing");
            QSqlDatabase::removeDatabase(name_);
            return false;
        }
        SetAddress(db);
        if (!db.open()) {
            *why = ErrorText(db.lastError());
        } else if (!Limit(db, why) || !Migrate(name_, why) || !Preview(why) || !Listen(why)) {
            Forget();
            db.close();
        } else {
            QSqlQuery q(db);
            SharedRows rows;
            if (q.exec(QStringLiteral("SELECT has_table_privilege('mbv_clients', 'INSERT') AND "
                                      "has_table_privilege('mbv_clients', 'UPDATE') AND "
                                      "has_table_privilege('mbv_clients', 'DELETE')")) &&
                q.next()) {
                canEdit_ = q.value(0).toBool();
                if (QSqlQuery days(db);
                    days.exec(QStringLiteral("SELECT bin_days FROM mbv_options")) && days.next()) {
                    emit BinDays(connection_, days.value(0).toInt());
                }
                if (ReadRows(QString(), rows, why)) {
                    open_ = true;
                    heartbeat_->start();
                    emit Opened(connection_, rows, canEdit_, !tooMany_);
                    SayWhatWasLeftOut();
                    return true;
                }
            } else {
                *why = ErrorText(q.lastError());
            }
            Forget();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name_);
    StopListening();
    return false;
}

bool SharedBookServer::Preview(QString* why) {
    // A screenful and then some, before the listening connection is made and the whole book
    // read: the first rows are on screen at once. They are read before listening, so the
    // whole book is read again after it: nothing changed in between is missed.
    constexpr int PreviewRows = 500;
    SharedRows rows;
    bool more = false;
    if (!ReadFirstRows(std::min(PreviewRows, MaxClients()), rows, more, why)) {
        return false;
    }
    emit Previewed(connection_, rows, !more);
    return true;
}

bool SharedBookServer::ReadFirstRows(int most, SharedRows& rows, bool& more, QString* why) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM mbv_clients ORDER BY position, row_id LIMIT %2")
                    .arg(RowColumns)
                    .arg(most + 1))) {
        *why = ErrorText(q.lastError());
        return false;
    }
    int read = 0;
    while (q.next()) {
        if (read++ == most) {
            more = true;
            break;
        }
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            rows.push_back(std::move(*row));
        }
    }
    return true;
}

void SharedBookServer::SetAddress(QSqlDatabase& db) const {
    db.setHostName(address_.host);
    db.setPort(address_.port);
    db.setDatabaseName(address_.database);
    db.setUserName(address_.user);
    db.setPassword(password_);
    // Keepalives find a connection whose other end is gone without a word.
    db.setConnectOptions(QStringLiteral("sslmode=%1;connect_timeout=5;"
                                        "application_name=MyBrindleViewer;keepalives=1;"
                                        "keepalives_idle=10;keepalives_interval=3;"
                                        "keepalives_count=3")
                             .arg(address_.tlsMode));
}

// The changes are listened for on a connection of their own that runs no statement after it
// subscribed: a statement makes the server send every note that waits, and the client library
// would hold them all until its answer came. Idle, the notes come as fast as they are read.
// Subscribed before the book is read: nothing changed in between is missed.
bool SharedBookServer::Listen(QString* why) {
    const QString name = name_ + QStringLiteral("-listen");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        SetAddress(db);
        QSqlQuery q(db);
        if (db.open() && Limit(db, why, 1) && q.exec(QStringLiteral("SELECT pg_backend_pid()")) &&
            q.next()) {
            listener_ = q.value(0).toLongLong();
            q.finish();
            if (db.driver()->subscribeToNotification(Channel)) {
                connect(db.driver(), &QSqlDriver::notification, this, &SharedBookServer::Notified,
                        Qt::UniqueConnection);
                return true;
            }
        }
        if (why->isEmpty()) {
            *why = ErrorText(db.lastError());
        }
    }
    StopListening();
    return false;
}

void SharedBookServer::StopListening() {
    const QString name = name_ + QStringLiteral("-listen");
    if (!QSqlDatabase::contains(name)) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) {
            // Closed without a word to a server that may not answer: nothing waits on it.
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
}

void SharedBookServer::Drop() {
    open_ = false;
    heartbeat_->stop();
    fetch_->stop();
    changed_.clear();
    if (QSqlDatabase::contains(name_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            Forget();
            if (db.isOpen()) {
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name_);
    }
    StopListening();
}

// Every statement of the connection has its time: a lock another session holds, or a server
// that works too slowly, fails the edit (reported, not applied) instead of holding the window.
bool SharedBookServer::Limit(QSqlDatabase& db, QString* why, size_t slot) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SET statement_timeout = %1").arg(StatementTimeout)) ||
        !q.exec(QStringLiteral("SET lock_timeout = '5s'")) ||
        !q.exec(QStringLiteral("SET idle_in_transaction_session_timeout = '30s'"))) {
        *why = ErrorText(q.lastError());
        return false;
    }
    const QVariant handle = db.driver()->handle();
    // Qt names libpq's connection by its struct's tag.
    if (handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 ||
                             qstrcmp(handle.typeName(), "pg_conn*") == 0)) {
        const std::lock_guard<std::mutex> lock(socketLock_);
        sockets_[slot] = platform::DatabaseSocket(*static_cast<void* const*>(handle.constData()));
    }
    return true;
}

void SharedBookServer::Forget() {
    const std::lock_guard<std::mutex> lock(socketLock_);
    sockets_ = {-1, -1};
}

void SharedBookServer::SayWhatWasLeftOut() {
    if (unusable_ > 0) {
        emit Said(connection_,
                  unusable_ == 1
                      ? QStringLiteral("1 client of the shared book is not shown: its ID is not "
                                       "1 to 6 digits")
                      : QStringLiteral("%1 clients of the shared book are not shown: their IDs "
                                       "are not 1 to 6 digits")
                            .arg(unusable_));
    }
    if (tooMany_) {
        emit Said(connection_, QStringLiteral("The shared book holds more than %1 clients: the "
                                              "first %1 are shown")
                                   .arg(MaxClients()));
    }
}

void SharedBookServer::Retry() {
    const auto waiting = Waiting(30000);
    if (!wanted_) {
        retry_->stop();
        return;
    }
    QString why;
    if (Reach(&why)) {
        retry_->stop();
    } else if (!Passing(why)) {
        retry_->stop();
        emit Lost(connection_, why, false);
    }
}

void SharedBookServer::Heartbeat() {
    // A live server answers this at once: one that does not is found within seconds.
    const auto waiting = Waiting(5000);
    QSqlQuery q(QSqlDatabase::database(name_, false));
    // The listening connection runs no statement: the server is asked whether it is still there,
    // or changes would stop arriving without a word.
    q.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_stat_activity WHERE pid = :pid)"));
    q.bindValue(QStringLiteral(":pid"), listener_);
    if (!q.exec() || !q.next()) {
        Failed(ErrorText(q.lastError()));
    } else if (!q.value(0).toBool()) {
        Drop();
        retry_->start();
        emit Lost(connection_, QStringLiteral("the server ended the connection that hears changes"),
                  true);
    }
}

// A statement failed: when the server is gone, the connection is given up and taken up again.
bool SharedBookServer::Failed(const QString& what) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (open_ && q.exec(QStringLiteral("SELECT 1"))) {
        return false;
    }
    Drop();
    if (wanted_) {
        retry_->start();
        emit Lost(connection_, what, true);
    }
    return true;
}

bool SharedBookServer::ReadRows(const QString& where, SharedRows& rows, QString* why,
                                QList<qint64>* refused) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    // The whole book is read as far as the program goes; rows named by changes are few.
    const bool whole = where.isEmpty();
    if (!q.exec(QStringLiteral("SELECT %1 FROM mbv_clients %2 ORDER BY position, row_id %3")
                    .arg(RowColumns, where,
                         whole ? QStringLiteral("LIMIT %1").arg(MaxClients() + 1) : QString()))) {
        *why = ErrorText(q.lastError());
        return false;
    }
    qsizetype unusable = 0;
    bool more = false;
    while (q.next()) {
        if (whole && rows.size() == static_cast<size_t>(MaxClients())) {
            // Past the program's limit the book is shown as far as it goes, and said so.
            more = true;
            break;
        }
        if ((rows.size() & 1023) == 0) {
            Alive();
        }
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            rows.push_back(std::move(*row));
        } else {
            ++unusable;
            if (refused) {
                refused->append(q.value(0).toLongLong());
            }
        }
    }
    if (whole) {
        tooMany_ = more;
        unusable_ = unusable;
    }
    return true;
}

void SharedBookServer::Notified(const QString& channel, QSqlDriver::NotificationSource source,
                                const QVariant& payload) {
    // Notes come to the listening connection, so this copy's own edits come back too: read
    // again, they change nothing.
    if (channel != Channel || source == QSqlDriver::SelfSource) {
        return;
    }
    // "U 42" or "D 42": the row is read again either way (a row gone is a row removed).
    // The payload is a hint, never data: anybody may send one. What it names is read from the
    // table; past a few thousand rows named, the whole book is read once instead.
    const QString text = payload.toString().left(32);
    bool ok = false;
    const qint64 row = text.mid(2).toLongLong(&ok);
    if (!ok || readAll_) {
        return;
    }
    if (changed_.size() >= MaxChangedRows) {
        readAll_ = true;
        changed_ = {};
    } else {
        changed_.insert(row);
    }
    if (!fetch_->isActive()) {
        fetch_->start();
    }
}

void SharedBookServer::Run(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::bad_alloc&) {
        changed_ = {};
        wanted_ = false;
        retry_->stop();
        Drop();
        emit Lost(connection_,
                  QStringLiteral("there was not enough memory for it: connect again to retry"),
                  false);
    }
}

void SharedBookServer::ReadAll() {
    readAll_ = true;
    FetchChanged();
}

void SharedBookServer::FetchChanged() {
    const auto waiting = Waiting(EditAllowance);
    if (!open_) {
        return;
    }
    QString why;
    if (std::exchange(readAll_, false)) {
        const bool saidBefore = tooMany_ || unusable_ > 0;
        SharedRows rows;
        if (!ReadRows(QString(), rows, &why)) {
            Failed(why);
            return;
        }
        emit Opened(connection_, rows, canEdit_, !tooMany_);
        if (!saidBefore) {
            SayWhatWasLeftOut();
        }
        return;
    }
    if (changed_.isEmpty()) {
        return;
    }
    QStringList ids;
    for (qint64 id : std::as_const(changed_)) {
        ids.append(QString::number(id));
    }
    SharedRows rows;
    QList<qint64> refused;
    if (!ReadRows(QStringLiteral("WHERE row_id = ANY('{%1}'::bigint[])").arg(ids.join(u',')), rows,
                  &why, &refused)) {
        Failed(why);
        return;
    }
    // A row gone, or one that holds no ID now, is a row removed.
    QList<qint64> removed;
    for (qint64 id : std::as_const(changed_)) {
        if (std::none_of(rows.begin(), rows.end(),
                         [id](const SharedRow& row) { return row.rowId == id; })) {
            removed.append(id);
        }
    }
    changed_ = {};
    emit Changed(connection_, rows, removed);
}

bool SharedBookServer::BeginPlacing(QSqlQuery& q) {
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!open_ || !db.transaction()) {
        emit Said(connection_, Unreachable());
        return false;
    }
    if (!q.exec(QStringLiteral("SELECT one FROM mbv_place FOR UPDATE"))) {
        const QString error = ErrorText(q.lastError());
        db.rollback();
        SayFailure(error, QStringLiteral("Not saved: the server refused (%1)").arg(error));
        return false;
    }
    return true;
}

bool SharedBookServer::Commit(bool ok, const QSqlQuery& q, const QString& refused) {
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (ok && db.commit()) {
        return true;
    }
    const QString error = ErrorText(ok ? db.lastError() : q.lastError());
    db.rollback();
    SayFailure(error, refused.arg(error));
    return false;
}

void SharedBookServer::SayFailure(const QString& error, const QString& refused) {
    emit Said(connection_, Failed(error) ? Unreachable() : refused);
}

void SharedBookServer::Add(const core::Book& clients, qint64 seen, qint64 known, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Add);
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!BeginPlacing(q)) {
        return;
    }
    SharedRows added;
    QStringList twice;
    // Never past what the next start reads: the book stays whole for every copy. Counting
    // costs a scan of the book on every add; far below the limit, the size this copy was last
    // told is enough. The limit keeps the program's own copies within what they read, not a
    // hostile one out (an editor may insert past it with any client, and the window then shows
    // the first rows and says so).
    const auto adding = static_cast<qint64>(clients.Count());
    bool ok = true;
    if (known < 0 || known + adding + MaxClients() / 100 >= MaxClients()) {
        ok = q.exec(QStringLiteral("SELECT count(*) FROM mbv_clients")) && q.next();
        known = ok ? q.value(0).toLongLong() : known;
    }
    if (ok && known + adding > MaxClients()) {
        QSqlDatabase::database(name_, false).rollback();
        emit Said(connection_, QStringLiteral("Not added: the shared book would hold more than "
                                              "%1 clients")
                                   .arg(MaxClients()));
        return;
    }
    ok =
        ok &&
        q.prepare(QStringLiteral(
                      "INSERT INTO mbv_clients (name, repeater_id, position) "
                      "SELECT :name, :id, coalesce((SELECT max(position) FROM mbv_clients), 0) + 1 "
                      "WHERE NOT EXISTS (SELECT 1 FROM mbv_clients WHERE name = :same_name AND "
                      "repeater_id = :same_id AND row_id > :seen) RETURNING ") +
                  RowColumns);
    for (size_t i = 0; ok && i < clients.Count(); ++i) {
        const core::Client client = clients.At(i);
        const QString name = ToServer(client.name);
        const QString id = ToServer(client.id);
        q.bindValue(QStringLiteral(":name"), name);
        q.bindValue(QStringLiteral(":id"), id);
        q.bindValue(QStringLiteral(":same_name"), name);
        q.bindValue(QStringLiteral(":same_id"), id);
        q.bindValue(QStringLiteral(":seen"), seen);
        ok = q.exec();
        if (ok && q.next()) {
            if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
                added.push_back(std::move(*row));
            }
        } else if (ok) {
            twice.append(Named(client.name, client.id));
        }
    }
    if (!Commit(ok, q, QStringLiteral("Not saved: the server refused (%1)"))) {
        return;
    }
    answer.outcome = SharedOutcome::Done;
    for (const SharedRow& row : added) {
        answer.step.rows.push_back({.rowId = row.rowId, .version = row.version, .now = row.client});
    }
    emit Changed(connection_, added, {});
    if (!twice.isEmpty()) {
        emit Said(connection_,
                  twice.size() == 1
                      ? QStringLiteral("%1 was just added by another technician").arg(twice.front())
                      : QStringLiteral("%1 of them were just added by another technician")
                            .arg(twice.size()));
    } else if (added.size() == 1) {
        emit Said(connection_, QStringLiteral("Added %1")
                                   .arg(Named(added.front().client.name, added.front().client.id)));
    } else if (!added.empty()) {
        emit Said(connection_,
                  QStringLiteral("Added %1 clients to the shared book").arg(added.size()));
    }
}

bool SharedBookServer::Reachable() {
    if (!open_) {
        emit Said(connection_, Unreachable());
    }
    return open_;
}

void SharedBookServer::Remove(qint64 rowId, qint64 version, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Remove);
    if (!Reachable()) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    const auto remove = [&](qint64 v) {
        q.prepare(QStringLiteral("DELETE FROM mbv_clients WHERE row_id = :row AND version = :v "
                                 "RETURNING name, repeater_id, version"));
        q.bindValue(QStringLiteral(":row"), rowId);
        q.bindValue(QStringLiteral(":v"), v);
        return q.exec();
    };
    // The removal as this copy's own step: the client, and where the recycle bin keeps it.
    const auto removed = [&] {
        const core::Client client{FromServer(q.value(0)), FromServer(q.value(1))};
        const qint64 removedVersion = q.value(2).toLongLong();
        answer.step.rows.push_back(
            {.rowId = rowId, .before = removedVersion, .binEntry = BinEntry(rowId), .was = client});
        answer.outcome = SharedOutcome::Done;
        emit Changed(connection_, {}, {rowId});
        return Named(client.name, client.id);
    };
    bool ok = remove(version);
    if (ok && q.next()) {
        emit Said(connection_, QStringLiteral("Removed %1").arg(removed()));
        return;
    }
    // Lost a race: a removal wins over a move, and a client already gone stays gone.
    if (ok) {
        q.prepare(QStringLiteral("SELECT version FROM mbv_clients WHERE row_id = :row"));
        q.bindValue(QStringLiteral(":row"), rowId);
        ok = q.exec();
    }
    if (ok && !q.next()) {
        answer.outcome = SharedOutcome::Removed;
        emit Changed(connection_, {}, {rowId});
        emit Said(connection_,
                  QStringLiteral("Another technician had already removed this client"));
        return;
    }
    if (ok && remove(q.value(0).toLongLong()) && q.next()) {
        emit Said(
            connection_,
            QStringLiteral("Removed %1 (another technician had just moved it)").arg(removed()));
        return;
    }
    SayFailure(ErrorText(q.lastError()),
               QStringLiteral("Not removed: it changed meanwhile; try again"));
}

void SharedBookServer::Edit(qint64 rowId, qint64 version, const core::Client& now, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Edit);
    if (!Reachable()) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    // The server numbers the version and notes who changed the row and when.
    bool ok = q.prepare(QStringLiteral("UPDATE mbv_clients SET name = :name, repeater_id = :id "
                                       "WHERE row_id = :row AND version = :v RETURNING ") +
                        RowColumns);
    q.bindValue(QStringLiteral(":name"), ToServer(now.name));
    q.bindValue(QStringLiteral(":id"), ToServer(now.id));
    q.bindValue(QStringLiteral(":row"), rowId);
    q.bindValue(QStringLiteral(":v"), version);
    ok = ok && q.exec();
    if (ok && q.next()) {
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            answer.step.rows.push_back(
                {.rowId = rowId, .before = version, .version = row->version, .now = row->client});
            answer.outcome = SharedOutcome::Done;
            emit Changed(connection_, {std::move(*row)}, {});
        }
        emit Said(connection_, QStringLiteral("Changed to %1").arg(Named(now.name, now.id)));
        return;
    }
    // Lost a race: the row is gone, or somebody changed it first and their change stands.
    if (ok) {
        q.prepare(QStringLiteral("SELECT ") + RowColumns +
                  QStringLiteral(" FROM mbv_clients WHERE row_id = :row"));
        q.bindValue(QStringLiteral(":row"), rowId);
        ok = q.exec();
    }
    if (ok && !q.next()) {
        emit Changed(connection_, {}, {rowId});
        emit Said(connection_, QStringLiteral("Not changed: another technician has removed "
                                              "this client"));
        return;
    }
    if (ok) {
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            const QString theirs = Named(row->client.name, row->client.id);
            emit Changed(connection_, {std::move(*row)}, {});
            emit Said(connection_, QStringLiteral("Not changed: another technician changed "
                                                  "this client to %1 meanwhile")
                                       .arg(theirs));
            return;
        }
    }
    SayFailure(
        ErrorText(q.lastError()),
        QStringLiteral("Not changed: the server refused (%1)").arg(ErrorText(q.lastError())));
}

void SharedBookServer::StartSession(const core::Client& client, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    qint64 session = 0;
    if (open_) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        // Who and when are the server's to write.
        if (q.prepare(QStringLiteral("INSERT INTO mbv_sessions (name, repeater_id) VALUES "
                                     "(:name, :id) RETURNING session_id")) &&
            (q.bindValue(QStringLiteral(":name"), ToServer(client.name)),
             q.bindValue(QStringLiteral(":id"), ToServer(client.id)), q.exec()) &&
            q.next()) {
            session = q.value(0).toLongLong();
        }
    }
    emit SessionStarted(connection_, ticket, session);
}

void SharedBookServer::SendSession(const core::Session& session, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    qint64 number = 0;
    const auto utc = [](const std::string& time) {
        const QDateTime when = FromLogTime(time);
        return when.isValid() ? QVariant(when) : QVariant(QMetaType::fromType<QDateTime>());
    };
    const bool ended =
        session.how == core::Session::Ended::Ok || session.how == core::Session::Ended::Error;
    if (open_) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        // Sent again (an end or a note since, another copy of the folder), it changes its row.
        if (q.prepare(QStringLiteral(
                "INSERT INTO mbv_sessions (name, repeater_id, started_at, ended_at, ended, line, "
                "note, sent_from) VALUES (:name, :id, :start, :end, :ended, :line, :note, :from) "
                "ON CONFLICT (technician, sent_from) DO UPDATE SET ended = EXCLUDED.ended, "
                "ended_at = EXCLUDED.ended_at, line = EXCLUDED.line, note = EXCLUDED.note "
                "RETURNING session_id")) &&
            (q.bindValue(QStringLiteral(":name"), ToServer(session.client.name)),
             q.bindValue(QStringLiteral(":id"), ToServer(session.client.id)),
             q.bindValue(QStringLiteral(":start"), utc(session.start)),
             q.bindValue(QStringLiteral(":end"), utc(ended ? session.end : std::string())),
             q.bindValue(QStringLiteral(":ended"),
                         ended ? QString::fromUtf8(core::EndedWord(session.how))
                               : QVariant(QMetaType::fromType<QString>())),
             q.bindValue(QStringLiteral(":line"), NotNull(ToServer(session.line).left(1000))),
             q.bindValue(QStringLiteral(":note"), NotNull(ToServer(session.note).left(1000))),
             q.bindValue(QStringLiteral(":from"), QString::fromStdString(session.id)), q.exec()) &&
            q.next()) {
            number = q.value(0).toLongLong();
        } else {
            emit Said(connection_,
                      QStringLiteral("A session made offline was not sent: the server refused (%1)")
                          .arg(ErrorText(q.lastError())));
        }
    }
    emit SessionStarted(connection_, ticket, number);
}

void SharedBookServer::EndSession(qint64 session, bool ok, const QString& line) {
    const auto waiting = Waiting(EditAllowance);
    if (!open_) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(QStringLiteral("UPDATE mbv_sessions SET ended = :ended, line = :line WHERE "
                             "session_id = :session"));
    q.bindValue(QStringLiteral(":ended"), ok ? QStringLiteral("ok") : QStringLiteral("error"));
    q.bindValue(QStringLiteral(":line"), NotNull(line.left(1000)));
    q.bindValue(QStringLiteral(":session"), session);
    q.exec();
}

void SharedBookServer::NoteSession(qint64 session, const QString& note) {
    const auto waiting = Waiting(EditAllowance);
    if (!Reachable()) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(QStringLiteral("UPDATE mbv_sessions SET note = :note WHERE session_id = :session"));
    q.bindValue(QStringLiteral(":note"), NotNull(note.left(1000)));
    q.bindValue(QStringLiteral(":session"), session);
    if (!q.exec()) {
        emit Said(connection_, QStringLiteral("The note was not saved: the server refused (%1)")
                                   .arg(ErrorText(q.lastError())));
    }
}

void SharedBookServer::ReadSessions(qint64 from, qint64 to, int ticket) {
    const auto waiting = Waiting(StatementTimeout + 3000);
    SharedSessions sessions;
    if (!open_) {
        emit SessionsRead(connection_, ticket, {}, Unreachable());
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    bool ok = q.prepare(QStringLiteral(
        "SELECT session_id, name, repeater_id, technician, started_at, ended_at, ended, line, "
        "note FROM mbv_sessions WHERE started_at >= to_timestamp(:from) AND started_at < "
        "to_timestamp(:to) ORDER BY started_at DESC, session_id DESC LIMIT :most"));
    q.bindValue(QStringLiteral(":from"), from);
    q.bindValue(QStringLiteral(":to"), to);
    q.bindValue(QStringLiteral(":most"), MaxSessionRows);
    ok = ok && q.exec();
    while (ok && q.next()) {
        if (std::optional<core::Session> session = SessionOf(q)) {
            sessions.push_back(std::move(*session));
        }
        if (sessions.size() % 1000 == 0) {
            Alive();
        }
    }
    emit SessionsRead(connection_, ticket, sessions,
                      ok ? QString()
                         : QStringLiteral("The session log could not be read: ") +
                               ErrorText(q.lastError()));
}

void SharedBookServer::ExportSessions(const QString& path, qint64 from, qint64 to,
                                      const std::optional<core::Client>& client, int ticket) {
    // Every row, however many: read a thousand at a time, each read going on from the last row
    // of the one before, and written as they come.
    qint64 written = 0;
    QString why;
    const auto said =
        qScopeGuard([&] { emit SessionsExported(connection_, ticket, written, why); });
    if (!open_) {
        why = Unreachable();
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral(
            "SELECT session_id, name, repeater_id, technician, started_at, ended_at, ended, line, "
            "note FROM mbv_sessions WHERE started_at >= to_timestamp(:from) AND started_at < "
            "to_timestamp(:to) AND (:any OR (name = :name AND repeater_id = :id)) AND "
            "session_id < :after ORDER BY session_id DESC LIMIT 1000"))) {
        why = ErrorText(q.lastError());
        file.cancelWriting();
        return;
    }
    const std::string header = core::SessionsCsvHeader();
    file.write(header.data(), static_cast<qint64>(header.size()));
    // Sessions are numbered as they start: newest first, each read goes on below the last.
    qint64 after = std::numeric_limits<qint64>::max();
    for (;;) {
        const auto alive = Waiting(EditAllowance);
        q.bindValue(QStringLiteral(":from"), from);
        q.bindValue(QStringLiteral(":to"), to);
        q.bindValue(QStringLiteral(":any"), !client.has_value());
        q.bindValue(QStringLiteral(":name"), client ? ToServer(client->name) : QStringLiteral(""));
        q.bindValue(QStringLiteral(":id"), client ? ToServer(client->id) : QStringLiteral(""));
        q.bindValue(QStringLiteral(":after"), after);
        if (!q.exec()) {
            why = ErrorText(q.lastError());
            file.cancelWriting();
            return;
        }
        qint64 fetched = 0;
        std::string out;
        while (q.next()) {
            ++fetched;
            after = q.value(0).toLongLong();
            if (const std::optional<core::Session> session = SessionOf(q)) {
                out += core::SessionCsvRow(*session, LogTimeWithOffset(session->start),
                                           LogTimeWithOffset(session->end));
                ++written;
            }
        }
        if (file.write(out.data(), static_cast<qint64>(out.size())) !=
            static_cast<qint64>(out.size())) {
            why = file.errorString();
            file.cancelWriting();
            return;
        }
        if (fetched < 1000) {
            break;
        }
    }
    if (!file.commit()) {
        why = file.errorString();
        written = 0;
    }
}

qint64 SharedBookServer::ExportAllSessions(const SharedBookAddress& address,
                                           const QString& password, const QString& path,
                                           QString* why) {
    SharedBookServer server;
    server.address_ = address;
    server.password_ = password;
    qint64 written = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), server.name_);
        server.SetAddress(db);
        QSqlQuery q(db);
        if (!db.isValid()) {
            *why = QStringLiteral("This copy of the program cannot reach PostgreSQL: its driver "
                                  "(QPSQL) is missing");
        } else if (!db.open()) {
            *why = ErrorText(db.lastError());
        } else if (!server.Limit(db, why)) {
        } else if (!q.exec(QStringLiteral("SELECT to_regclass('mbv_sessions') IS NOT NULL")) ||
                   !q.next()) {
            *why = ErrorText(q.lastError());
        } else if (!q.value(0).toBool()) {
            // A book whose tables predate the log: no session was ever logged there.
            q.finish();
            QSaveFile file(path);
            const std::string header = core::SessionsCsvHeader();
            if (file.open(QIODevice::WriteOnly) &&
                file.write(header.data(), static_cast<qint64>(header.size())) ==
                    static_cast<qint64>(header.size()) &&
                file.commit()) {
                written = 0;
            } else {
                *why = file.errorString();
            }
        } else {
            q.finish();
            server.open_ = true;
            connect(&server, &SharedBookServer::SessionsExported, &server,
                    [&](int, int, qint64 rows, const QString& said) {
                        written = said.isEmpty() ? rows : -1;
                        *why = said;
                    });
            // Every start there can be: up to the end of the year 9999.
            server.ExportSessions(path, 0, qint64{253402300799}, std::nullopt, 0);
        }
        server.open_ = false;
        server.Forget();
    }
    QSqlDatabase::removeDatabase(server.name_);
    return written;
}

void SharedBookServer::SetExtra(qint64 rowId, qint64 version, const core::ClientExtra& now,
                                int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Note);
    if (!Reachable()) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    bool ok = q.prepare(QStringLiteral("UPDATE mbv_clients SET tags = :tags, note = :note "
                                       "WHERE row_id = :row AND version = :v RETURNING ") +
                        RowColumns);
    q.bindValue(QStringLiteral(":tags"),
                NotNull(QString::fromStdString(core::TagsField(now.tags))));
    q.bindValue(QStringLiteral(":note"), NotNull(QString::fromStdString(now.note)));
    q.bindValue(QStringLiteral(":row"), rowId);
    q.bindValue(QStringLiteral(":v"), version);
    ok = ok && q.exec();
    if (ok && q.next()) {
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            answer.step.rows.push_back({.rowId = rowId,
                                        .before = version,
                                        .version = row->version,
                                        .was = row->client,
                                        .now = row->client,
                                        .nowExtra = row->extra});
            answer.outcome = SharedOutcome::Done;
            emit Changed(connection_, {std::move(*row)}, {});
        }
        return;
    }
    // Lost a race: the client is gone, or somebody changed it first and their change stands.
    if (ok) {
        q.prepare(QStringLiteral("SELECT ") + RowColumns +
                  QStringLiteral(" FROM mbv_clients WHERE row_id = :row"));
        q.bindValue(QStringLiteral(":row"), rowId);
        ok = q.exec();
    }
    if (ok && !q.next()) {
        emit Changed(connection_, {}, {rowId});
        emit Said(connection_, QStringLiteral("Note not saved: another technician has removed "
                                              "this client"));
        return;
    }
    if (ok) {
        if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
            const QString who = row->changedBy;
            emit Changed(connection_, {std::move(*row)}, {});
            emit Said(connection_, QStringLiteral("Note not saved: %1 changed this client "
                                                  "meanwhile; theirs is shown")
                                       .arg(who));
            return;
        }
    }
    SayFailure(
        ErrorText(q.lastError()),
        QStringLiteral("Note not saved: the server refused (%1)").arg(ErrorText(q.lastError())));
}

void SharedBookServer::Move(qint64 rowId, qint64 version, int step, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Move);
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!BeginPlacing(q)) {
        return;
    }
    QString said;
    SharedRows moved;
    bool ok = q.prepare(QStringLiteral("SELECT position, version, name, repeater_id FROM "
                                       "mbv_clients WHERE row_id = :row FOR UPDATE"));
    q.bindValue(QStringLiteral(":row"), rowId);
    ok = ok && q.exec();
    if (ok && !q.next()) {
        said = QStringLiteral("Another technician has removed this client");
        emit Changed(connection_, {}, {rowId});
    } else if (ok) {
        const double position = q.value(0).toDouble();
        const qint64 current = q.value(1).toLongLong();
        const QString name = Named(FromServer(q.value(2)), FromServer(q.value(3)));
        // The two neighbours on the way, in the book as it is now: the client lands between
        // them, or past the last.
        const QString neighbours =
            step < 0 ? QStringLiteral("SELECT position FROM mbv_clients WHERE (position, row_id) "
                                      "< (:p, :row) ORDER BY position DESC, row_id DESC LIMIT 2")
                     : QStringLiteral("SELECT position FROM mbv_clients WHERE (position, row_id) "
                                      "> (:p, :row) ORDER BY position, row_id LIMIT 2");
        std::vector<double> near;
        for (int attempt = 0; ok && attempt < 2; ++attempt) {
            near.clear();
            q.prepare(neighbours);
            q.bindValue(QStringLiteral(":p"), position);
            q.bindValue(QStringLiteral(":row"), rowId);
            ok = q.exec();
            while (ok && q.next()) {
                near.push_back(q.value(0).toDouble());
            }
            const bool tooClose = near.size() == 2 && ((near[0] + near[1]) / 2 == near[0] ||
                                                       (near[0] + near[1]) / 2 == near[1]);
            if (!ok || !tooClose) {
                break;
            }
            // Halved too often to tell two places apart: the places are numbered afresh.
            ok = q.exec(QStringLiteral(
                "UPDATE mbv_clients SET position = n.place FROM (SELECT row_id, row_number() "
                "OVER (ORDER BY position, row_id) AS place FROM mbv_clients) n "
                "WHERE mbv_clients.row_id = n.row_id"));
        }
        if (ok && near.empty()) {
            said = step < 0 ? QStringLiteral("%1 is already the first client").arg(name)
                            : QStringLiteral("%1 is already the last client").arg(name);
        } else if (ok) {
            const double to = near.size() == 2 ? (near[0] + near[1]) / 2 : near[0] + step;
            // The server numbers the version and notes who changed the row and when.
            q.prepare(QStringLiteral("UPDATE mbv_clients SET position = :to "
                                     "WHERE row_id = :row AND version = :v RETURNING ") +
                      RowColumns);
            q.bindValue(QStringLiteral(":to"), to);
            q.bindValue(QStringLiteral(":row"), rowId);
            q.bindValue(QStringLiteral(":v"), current);
            ok = q.exec();
            if (ok && q.next()) {
                if (std::optional<SharedRow> row = RowOf(q, whoNames_)) {
                    answer.step.rows.push_back({.rowId = rowId,
                                                .before = current,
                                                .version = row->version,
                                                .now = row->client,
                                                .from = position,
                                                .to = to});
                    moved.push_back(std::move(*row));
                }
                said =
                    current == version
                        ? QString()
                        : QStringLiteral("Moved %1 from where another technician put it").arg(name);
            }
        }
    }
    if (!Commit(ok, q, QStringLiteral("Not moved: the server refused (%1)"))) {
        answer.step.rows.clear();
        return;
    }
    if (!answer.step.rows.empty()) {
        answer.outcome = SharedOutcome::Done;
    }
    if (!moved.empty()) {
        emit Changed(connection_, moved, {});
    }
    if (!said.isEmpty()) {
        emit Said(connection_, said);
    }
}

qint64 SharedBookServer::BinEntry(qint64 rowId) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(QStringLiteral(
        "SELECT entry_id FROM mbv_bin WHERE row_id = :row ORDER BY entry_id DESC LIMIT 1"));
    q.bindValue(QStringLiteral(":row"), rowId);
    return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
}

std::optional<SharedRow> SharedBookServer::RestoreRow(QSqlQuery& q, qint64 binEntry, bool& ok) {
    // Who and when, as the server's stamp notes them for the restoring session.
    ok = q.prepare(QStringLiteral("SELECT r_row, r_name, r_id, r_position, r_version, "
                                  "session_user, now() FROM mbv_restore(:entry)"));
    q.bindValue(QStringLiteral(":entry"), binEntry);
    ok = ok && q.exec();
    if (!ok || !q.next()) {
        return std::nullopt;
    }
    std::optional<SharedRow> row = RowOf(q, whoNames_);
    // Its tags and note came back with it from the bin.
    if (row) {
        ok = q.prepare(QStringLiteral("SELECT tags, note FROM mbv_clients WHERE row_id = :row"));
        q.bindValue(QStringLiteral(":row"), row->rowId);
        ok = ok && q.exec();
        if (ok && q.next()) {
            row->extra.tags = core::CleanTags(q.value(0).toString().toStdString());
            row->extra.note = core::CleanNote(q.value(1).toString().toStdString());
        }
    }
    return row;
}

void SharedBookServer::TakeBack(const SharedStep& step, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    using Kind = SharedStep::Kind;
    const Kind back = step.kind == Kind::Add      ? Kind::Remove
                      : step.kind == Kind::Remove ? Kind::Add
                                                  : step.kind;
    Answer answer(*this, ticket, back);
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery q(db);
    if (!open_ || !db.transaction()) {
        return;
    }
    // Ends the transaction without a change: the step as it was names the client in the way.
    const auto giveUp = [&](SharedOutcome outcome, const SharedStep::Row& row) {
        const QString error = ErrorText(q.lastError());
        db.rollback();
        answer.step.rows = {row};
        answer.outcome = outcome;
        if (outcome == SharedOutcome::Refused) {
            answer.why = error;
            if (Failed(error)) {
                answer.outcome = SharedOutcome::Unreachable;
            }
        }
    };
    // Somebody got to the row first: it is gone, or at another version; who, as the server
    // noted it.
    const auto changedSince = [&](const SharedStep::Row& row) {
        q.prepare(QStringLiteral(
            "SELECT true, changed_by FROM mbv_clients WHERE row_id = :row UNION ALL (SELECT false, "
            "removed_by FROM mbv_bin WHERE row_id = :gone ORDER BY entry_id DESC LIMIT 1)"));
        q.bindValue(QStringLiteral(":row"), row.rowId);
        q.bindValue(QStringLiteral(":gone"), row.rowId);
        if (!q.exec()) {
            giveUp(SharedOutcome::Refused, row);
            return;
        }
        const bool there = q.next() && q.value(0).toBool();
        const QString who = q.isValid() ? DisplayText(FromServer(q.value(1)), 60) : QString();
        giveUp(there ? SharedOutcome::Changed : SharedOutcome::Removed, row);
        answer.why = who;
    };
    if (!q.exec(QStringLiteral("SELECT one FROM mbv_place FOR UPDATE"))) {
        giveUp(SharedOutcome::Refused, {});
        return;
    }
    SharedRows changed;
    QList<qint64> removed;
    for (const SharedStep::Row& row : step.rows) {
        bool ok = true;
        SharedStep::Row done;
        if (step.kind == Kind::Add) {
            q.prepare(QStringLiteral("DELETE FROM mbv_clients WHERE row_id = :row AND "
                                     "version = :v RETURNING name, repeater_id"));
            q.bindValue(QStringLiteral(":row"), row.rowId);
            q.bindValue(QStringLiteral(":v"), row.version);
            ok = q.exec();
            if (ok && !q.next()) {
                changedSince(row);
                return;
            }
            if (ok) {
                done = {.rowId = row.rowId,
                        .before = row.version,
                        .binEntry = BinEntry(row.rowId),
                        .was = {FromServer(q.value(0)), FromServer(q.value(1))}};
                removed.append(row.rowId);
            }
        } else if (step.kind == Kind::Remove) {
            const std::optional<SharedRow> back = RestoreRow(q, row.binEntry, ok);
            if (ok && !back) {
                giveUp(SharedOutcome::NotInBin, row);
                return;
            }
            if (ok) {
                done = {.rowId = back->rowId, .version = back->version, .now = back->client};
                changed.push_back(*back);
            }
        } else {
            // A move puts the client back at its place; an edit puts back its name and ID; a
            // change of the note its tags and note.
            const bool move = step.kind == Kind::Move;
            const bool note = step.kind == Kind::Note;
            q.prepare(QStringLiteral("UPDATE mbv_clients SET ") +
                      (move   ? QStringLiteral("position = :from")
                       : note ? QStringLiteral("tags = :tags, note = :note")
                              : QStringLiteral("name = :name, repeater_id = :id")) +
                      QStringLiteral(" WHERE row_id = :row AND version = :v RETURNING ") +
                      RowColumns);
            if (move) {
                q.bindValue(QStringLiteral(":from"), row.from);
            } else if (note) {
                q.bindValue(QStringLiteral(":tags"),
                            NotNull(QString::fromStdString(core::TagsField(row.wasExtra.tags))));
                q.bindValue(QStringLiteral(":note"),
                            NotNull(QString::fromStdString(row.wasExtra.note)));
            } else {
                q.bindValue(QStringLiteral(":name"), ToServer(row.was.name));
                q.bindValue(QStringLiteral(":id"), ToServer(row.was.id));
            }
            q.bindValue(QStringLiteral(":row"), row.rowId);
            q.bindValue(QStringLiteral(":v"), row.version);
            ok = q.exec();
            if (ok && !q.next()) {
                changedSince(row);
                return;
            }
            if (ok) {
                const std::optional<SharedRow> now = RowOf(q, whoNames_);
                if (!now) {
                    changedSince(row);
                    return;
                }
                done = {.rowId = row.rowId,
                        .before = row.version,
                        .version = now->version,
                        .was = move || note ? now->client : row.now,
                        .now = now->client,
                        .from = row.to,
                        .to = row.from,
                        .wasExtra = row.nowExtra,
                        .nowExtra = now->extra};
                changed.push_back(*now);
            }
        }
        if (!ok) {
            giveUp(SharedOutcome::Refused, row);
            return;
        }
        answer.step.rows.push_back(std::move(done));
    }
    if (!db.commit()) {
        const QString error = ErrorText(db.lastError());
        db.rollback();
        answer.step.rows.clear();
        answer.why = error;
        answer.outcome = Failed(error) ? SharedOutcome::Unreachable : SharedOutcome::Refused;
        return;
    }
    answer.outcome = SharedOutcome::Done;
    emit Changed(connection_, changed, removed);
}

void SharedBookServer::Restore(qint64 binEntry, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    Answer answer(*this, ticket, SharedStep::Kind::Add);
    if (!Reachable()) {
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    bool ok = true;
    const std::optional<SharedRow> back = RestoreRow(q, binEntry, ok);
    if (!ok) {
        const QString error = ErrorText(q.lastError());
        answer.why = error;
        answer.outcome = Failed(error) ? SharedOutcome::Unreachable : SharedOutcome::Refused;
        return;
    }
    if (!back) {
        answer.outcome = SharedOutcome::NotInBin;
        return;
    }
    answer.outcome = SharedOutcome::Done;
    answer.step.rows.push_back(
        {.rowId = back->rowId, .version = back->version, .now = back->client});
    emit Changed(connection_, {*back}, {});
}

void SharedBookServer::ReadBin(int ticket) {
    const auto waiting = Waiting(EditAllowance);
    if (!open_) {
        emit BinRead(connection_, ticket, {},
                     QStringLiteral("The shared book cannot be reached: its bin shows once it is "
                                    "back"));
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT entry_id, name, repeater_id, removed_by, removed_at FROM "
                             "mbv_bin WHERE removed_at >= now() - make_interval(days => (SELECT "
                             "bin_days FROM mbv_options)) ORDER BY entry_id DESC LIMIT :most"));
    q.bindValue(QStringLiteral(":most"), MaxBinRows);
    if (!q.exec()) {
        const QString error = ErrorText(q.lastError());
        Failed(error);
        emit BinRead(connection_, ticket, {}, error);
        return;
    }
    SharedBinRows rows;
    while (q.next()) {
        // A row whose ID is no ID never came back from the book either.
        std::string id = q.value(2).toString().toStdString();
        if (!IsId(id)) {
            continue;
        }
        rows.push_back({q.value(0).toLongLong(),
                        {FromServer(q.value(1)), std::move(id)},
                        DisplayText(FromServer(q.value(3)), 60),
                        q.value(4).toDateTime()});
    }
    emit BinRead(connection_, ticket, rows, {});
}

namespace {

// A field of the history as the book keeps its fields; a missing one (an add has no old
// name) is empty.
std::string HistoryField(const QVariant& value) {
    return value.isNull() ? std::string() : FromServer(value);
}

// A moment as 2026-12-10T09:30:00+01:00: this computer's time with its offset from UTC.
QString WithOffset(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

void SharedBookServer::ReadHistory(qint64 rowId, int ticket) {
    const auto waiting = Waiting(EditAllowance);
    if (!open_) {
        emit HistoryRead(connection_, ticket, {},
                         QStringLiteral("The shared book cannot be reached: its history shows "
                                        "once it is back"));
        return;
    }
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT action, old_name, old_repeater_id, new_name, new_repeater_id, "
                             "changed_by, changed_at FROM mbv_history WHERE row_id = :row ORDER BY "
                             "entry_id DESC LIMIT :most"));
    q.bindValue(QStringLiteral(":row"), rowId);
    q.bindValue(QStringLiteral(":most"), MaxHistoryRows);
    if (!q.exec()) {
        const QString error = ErrorText(q.lastError());
        Failed(error);
        emit HistoryRead(connection_, ticket, {}, error);
        return;
    }
    SharedHistory rows;
    while (q.next()) {
        rows.push_back({q.value(0).toString().left(16),
                        {HistoryField(q.value(1)), HistoryField(q.value(2))},
                        {HistoryField(q.value(3)), HistoryField(q.value(4))},
                        DisplayText(FromServer(q.value(5)), 60),
                        q.value(6).toDateTime()});
    }
    emit HistoryRead(connection_, ticket, rows, {});
}

void SharedBookServer::ExportHistory(const QString& path, int ticket) {
    // Every row, however many: read a thousand at a time and written as they come, so that
    // neither the server nor this copy holds the whole history at once.
    qint64 written = 0;
    QString why;
    const auto said = qScopeGuard([&] { emit HistoryExported(connection_, ticket, written, why); });
    if (!open_) {
        why = QStringLiteral("the shared book cannot be reached");
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const auto fail = [&](const QString& error) {
        why = error;
        db.rollback();
        file.cancelWriting();
    };
    if (!db.transaction() ||
        !q.exec(QStringLiteral("DECLARE mbv_export NO SCROLL CURSOR FOR SELECT changed_at, "
                               "changed_by, action, row_id, old_name, old_repeater_id, new_name, "
                               "new_repeater_id FROM mbv_history ORDER BY entry_id"))) {
        fail(ErrorText(q.lastError()));
        return;
    }
    file.write("when,who,action,client,old name,old id,new name,new id\r\n");
    for (;;) {
        const auto alive = Waiting(EditAllowance);
        if (!q.exec(QStringLiteral("FETCH 1000 FROM mbv_export"))) {
            fail(ErrorText(q.lastError()));
            return;
        }
        qint64 fetched = 0;
        std::string out;
        while (q.next()) {
            ++fetched;
            out += core::CsvCell(WithOffset(q.value(0).toDateTime()).toStdString()) + ',' +
                   core::CsvCell(FromServer(q.value(1))) + ',' +
                   core::CsvCell(q.value(2).toString().left(16).toStdString()) + ',' +
                   std::to_string(q.value(3).toLongLong());
            for (int column = 4; column < 8; ++column) {
                out += ',' + core::CsvCell(HistoryField(q.value(column)));
            }
            out += "\r\n";
        }
        if (file.write(out.data(), static_cast<qint64>(out.size())) !=
            static_cast<qint64>(out.size())) {
            fail(file.errorString());
            return;
        }
        written += fetched;
        if (fetched == 0) {
            break;
        }
    }
    db.commit();
    if (!file.commit()) {
        why = file.errorString();
        written = 0;
    }
}
