// Windows on one shared book (MBV_PG_URL, password from PGPASSWORD), each with its own
// connection, lists and thread, as in separate copies of the program:
//   SharedBookBench latency [clients]
//                             200 adds in one window, each timed until another window shows
//                             it, in a book the server first fills with that many clients
//   SharedBookBench crowd     20 windows adding 50 clients each at once: then every window and
//                             the server must hold the same 1,000 clients
// The book must be empty at the start.
#include "Percentile.h"
#include "app/BookLists.h"
#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "app/LocalBook.h"
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
        std::fprintf(stderr, "usage: MBV_PG_URL=... SharedBookBench latency [clients]|crowd\n");
        return 2;
    }
    return std::strcmp(argv[1], "latency") == 0
               ? Latency(*address, argc > 2 ? std::atoi(argv[2]) : 0)
               : Crowd(*address);
}
