// Windows on one shared book (MBV_PG_URL, password from PGPASSWORD), each with its own
// connection, lists and thread, as in separate copies of the program:
//   SharedBookBench latency [clients]
//                             200 adds in one window, each timed until another window shows
//                             it, in a book the server first fills with that many clients
//   SharedBookBench crowd     20 windows adding 50 clients each at once: then every window and
//                             the server must hold the same 1,000 clients
//   SharedBookBench undo [clients]
//                             200 undos of an add in one window, each timed until another
//                             window no longer shows the client
//   SharedBookBench history [rows]
//                             a client's history read 200 times from a history the server
//                             first fills with that many rows (1,000,000 unless told)
//   SharedBookBench sync [edits]
//                             that many edits made without the server (1,000 unless told:
//                             adds, then edits and removals of some of them), timed from the
//                             connection until every one went through
// The book must be empty at the start.
#include "Percentile.h"
#include "app/BookLists.h"
#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "app/LocalBook.h"
#include "core/SharedQueue.h"
#include "store/SharedBook.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Window {
    Window() { book.SetStore(local); }
    ClientTable table;
    ListBox& names = table.Names();
    ListBox& ids = table.Ids();
    BookLists book{table};
    LocalLists local{names, ids};
    SharedBook shared{book};
};

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 60000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

std::vector<std::unique_ptr<Window>> Open(int count, const SharedBookAddress& address) {
    std::vector<std::unique_ptr<Window>> windows;
    for (int i = 0; i < count; ++i) {
        windows.push_back(std::make_unique<Window>());
        windows.back()->shared.Connect(address, {}, false);
    }
    if (!WaitFor([&] {
            return std::all_of(windows.begin(), windows.end(), [](const auto& w) {
                return w->shared.Current() == SharedBook::State::Online;
            });
        })) {
        std::fprintf(stderr, "not connected: %s\n",
                     windows.front()->shared.Status().toUtf8().constData());
        std::exit(1);
    }
    return windows;
}

// The book filled by the server itself with this many clients, and both windows showing them.
bool Fill(const SharedBookAddress& address, int clients,
          const std::vector<std::unique_ptr<Window>>& windows) {
    if (clients == 0) {
        return true;
    }
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("fill"));
        db.setHostName(address.host);
        db.setPort(address.port);
        db.setDatabaseName(address.database);
        db.setUserName(address.user);
        db.setPassword(qEnvironmentVariable("PGPASSWORD"));
        db.setConnectOptions(QStringLiteral("sslmode=require"));
        QSqlQuery q(db);
        if (!db.open() ||
            !q.exec(QStringLiteral("INSERT INTO mbv_clients (name, repeater_id, position) SELECT "
                                   "'Client number ' || g, (100000 + g)::text, g FROM "
                                   "generate_series(1, %1) g")
                        .arg(clients))) {
            std::fprintf(stderr, "could not fill the book: %s\n",
                         q.lastError().text().toUtf8().constData());
            return false;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return WaitFor([&] {
        return std::all_of(windows.begin(), windows.end(),
                           [&](const auto& w) { return w->names.Count() == clients; });
    });
}

int Latency(const SharedBookAddress& address, int clients) {
    auto windows = Open(2, address);
    if (!Fill(address, clients, windows)) {
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Latency " + std::to_string(i);
        QElapsedTimer clock;
        clock.start();
        windows[0]->book.Add({name, std::to_string(1000 + i)});
        if (!WaitFor([&] {
                const auto& rows = windows[1]->names.Items();
                return !rows.empty() && rows[rows.size() - 1] == name;
            })) {
            std::fprintf(stderr, "add %d never arrived\n", i);
            return 1;
        }
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("an add seen in another window of a book of %d, 200 adds: median %.1f ms, 95th "
                "percentile %.1f ms, slowest %.1f ms\n",
                clients, Percentile(ms, 0.5), Percentile(ms, 0.95),
                *std::max_element(ms.begin(), ms.end()));
    return 0;
}

// A statement as the book's owner.
bool AsOwner(const SharedBookAddress& address, const QString& statement) {
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("owner"));
        db.setHostName(address.host);
        db.setPort(address.port);
        db.setDatabaseName(address.database);
        db.setUserName(address.user);
        db.setPassword(qEnvironmentVariable("PGPASSWORD"));
        db.setConnectOptions(QStringLiteral("sslmode=require"));
        QSqlQuery q(db);
        ok = db.open() && q.exec(statement);
        if (!ok) {
            std::fprintf(stderr, "%s\n", q.lastError().text().toUtf8().constData());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("owner"));
    return ok;
}

int Undo(const SharedBookAddress& address, int clients) {
    auto windows = Open(2, address);
    if (!Fill(address, clients, windows)) {
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Undone " + std::to_string(i);
        const auto last = [&] {
            const auto& rows = windows[1]->names.Items();
            return rows.empty() ? std::string() : std::string(rows[rows.size() - 1]);
        };
        windows[0]->book.Add({name, std::to_string(1000 + i)});
        if (!WaitFor([&] { return last() == name && !windows[0]->book.UndoText().isEmpty(); })) {
            std::fprintf(stderr, "add %d never arrived\n", i);
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        windows[0]->book.UndoLast();
        if (!WaitFor([&] { return last() != name; })) {
            std::fprintf(stderr, "undo %d never arrived\n", i);
            return 1;
        }
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("an undo seen in another window of a book of %d, 200 undos: median %.1f ms, 95th "
                "percentile %.1f ms, slowest %.1f ms\n",
                clients, Percentile(ms, 0.5), Percentile(ms, 0.95),
                *std::max_element(ms.begin(), ms.end()));
    return 0;
}

int History(const SharedBookAddress& address, int rows) {
    auto windows = Open(1, address);
    constexpr int Clients = 10000;
    if (!Fill(address, Clients, windows) ||
        !AsOwner(address, QStringLiteral("INSERT INTO mbv_history (row_id, action, old_name, "
                                         "new_name, changed_by, changed_at) SELECT c.row_id, "
                                         "'edit', 'Before ' || g, 'After ' || g, 'anna', now() - "
                                         "g * interval '1 second' FROM mbv_clients c, "
                                         "generate_series(1, %1) g")
                              .arg(rows / Clients))) {
        return 1;
    }
    std::vector<double> ms;
    size_t read = 0;
    for (int i = 0; i < 200; ++i) {
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        windows[0]->shared.ReadHistory((i * 37) % Clients,
                                       [&](std::vector<HistoryItem> items, const QString&) {
                                           read = items.size();
                                           done = true;
                                       });
        if (!WaitFor([&] { return done; })) {
            return 1;
        }
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("a client's history (%zu changes) in a history of %d rows, 200 reads: median %.1f "
                "ms, 95th percentile %.1f ms, slowest %.1f ms\n",
                read, rows, Percentile(ms, 0.5), Percentile(ms, 0.95),
                *std::max_element(ms.begin(), ms.end()));
    return 0;
}

int Sync(const SharedBookAddress& address, int edits) {
    // Adds first, then an edit of every fifth added client and a removal of every tenth.
    std::vector<std::string> lines;
    const int adds = edits * 7 / 10;
    for (int i = 0; i < adds; ++i) {
        lines.push_back(core::QueueLine({core::QueuedEdit::Kind::Add,
                                         0,
                                         0,
                                         {},
                                         {"Train " + std::to_string(i), std::to_string(i)}}));
    }
    for (int i = 0; static_cast<int>(lines.size()) < edits; ++i) {
        const core::Client client{"Train " + std::to_string(i), std::to_string(i)};
        lines.push_back(i % 3 == 0
                            ? core::QueueLine({core::QueuedEdit::Kind::Remove, 0, 0, client, {}})
                            : core::QueueLine({core::QueuedEdit::Kind::Edit,
                                               0,
                                               0,
                                               client,
                                               {client.name + " (edited)", client.id}}));
    }
    Window window;
    window.shared.SetQueue(lines);
    QElapsedTimer clock;
    clock.start();
    window.shared.Connect(address, {}, false);
    if (!WaitFor([&] {
            return window.shared.Current() == SharedBook::State::Online &&
                   window.shared.WaitingCount() == 0;
        })) {
        std::fprintf(stderr, "%zu edits still waiting\n", window.shared.WaitingCount());
        return 1;
    }
    std::printf("%d edits made without the server sent once it was back: %.2f s (the book then "
                "holds %d clients)\n",
                edits, static_cast<double>(clock.elapsed()) / 1000, window.names.Count());
    return 0;
}

int Crowd(const SharedBookAddress& address) {
    constexpr int Windows = 20;
    constexpr int Adds = 50;
    auto windows = Open(Windows, address);
    QElapsedTimer clock;
    clock.start();
    // Every window's adds go out at once, one statement each, interleaved.
    for (int i = 0; i < Adds; ++i) {
        for (int w = 0; w < Windows; ++w) {
            windows[static_cast<size_t>(w)]->book.Add(
                {"Window " + std::to_string(w) + " client " + std::to_string(i),
                 std::to_string(w * 1000 + i)});
        }
    }
    const bool all = WaitFor([&] {
        return std::all_of(windows.begin(), windows.end(),
                           [](const auto& w) { return w->names.Count() == Windows * Adds; });
    });
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    bool same = all;
    for (const auto& w : windows) {
        same = same && w->names.Items() == windows.front()->names.Items() &&
               w->ids.Items() == windows.front()->ids.Items();
    }
    std::printf("%d windows adding %d clients each at once: %s in %.1f s; every window holds %d "
                "clients%s\n",
                Windows, Adds, all ? "all arrived" : "NOT ALL ARRIVED", seconds,
                windows.front()->names.Count(),
                same ? ", the same book in each" : ", BOOKS DIFFER");
    return all && same ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const auto address = SharedBookAddress::Parse(qEnvironmentVariable("MBV_PG_URL"));
    if (argc < 2 || !address) {
        std::fprintf(stderr, "usage: MBV_PG_URL=... SharedBookBench latency [clients]|crowd|undo "
                             "[clients]|history [rows]|sync [edits]\n");
        return 2;
    }
    const auto number = [&](int fallback) { return argc > 2 ? std::atoi(argv[2]) : fallback; };
    if (std::strcmp(argv[1], "latency") == 0) {
        return Latency(*address, number(0));
    }
    if (std::strcmp(argv[1], "undo") == 0) {
        return Undo(*address, number(0));
    }
    if (std::strcmp(argv[1], "history") == 0) {
        return History(*address, number(1000000));
    }
    if (std::strcmp(argv[1], "sync") == 0) {
        return Sync(*address, number(1000));
    }
    return Crowd(*address);
}
