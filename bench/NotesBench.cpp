// What a technician knows of each client, at size: the first letter typed in the filter over
// 100,000 clients with notes of about 200 characters, against a plain scan of the same names and
// notes; and the session log of 1,000,000 sessions opened, as the dialog opens it (its last 30
// days) and whole (as the export reads it).
#include "BenchBook.h"
#include "BenchCleanup.h"
#include "app/ConnectionLog.h"
#include "app/SessionLogDialog.h"
#include "app/Unit1.h"
#include "core/ClientNotes.h"
#include "core/SessionLog.h"
#include "platform/Files.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int Clients = 100000;
constexpr int Sessions = 1000000;

const char* const Words[] = {"printer", "driver", "gate",   "code",    "reception", "asks",
                             "for",     "invoice", "backup", "server",  "firewall",  "restart",
                             "weekly",  "remote",  "office", "upstairs", "laptop",   "vpn"};

std::string Note(int i) {
    std::string note;
    unsigned n = static_cast<unsigned>(i);
    while (note.size() < 200) {
        note += Words[n % std::size(Words)];
        note += ' ';
        n = n * 7 + 3;
    }
    return note;
}

struct NotedBook {
    NotedBook() {
        dir = WriteBook("mbv-bench-notes", Clients);
        std::string notes;
        for (int i = 0; i < Clients; ++i) {
            notes += core::NotesLine({"Client number " + std::to_string(i) + " Ltd",
                                      std::to_string(100000 + i)},
                                     {{"vip", "site-" + std::to_string(i % 50)}, Note(i)}) +
                     "\r\n";
        }
        std::ofstream(dir / core::NotesFile, std::ios::binary) << notes;
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
        form = std::make_unique<TForm1>();
        form->FormCreate();
        form->show();
        filter = form->findChild<QLineEdit*>(QStringLiteral("FilterEdit"));
    }
    ~NotedBook() {
        form.reset();
        fs::remove_all(dir);
    }
    fs::path dir;
    std::unique_ptr<TForm1> form;
    QLineEdit* filter = nullptr;
};

NotedBook& TheBook() {
    static std::unique_ptr<NotedBook> book;
    if (!book) {
        book = std::make_unique<NotedBook>();
        AtBenchmarkEnd([] { book.reset(); });
    }
    return *book;
}

// The first letter: every client's name, ID, tags and note searched, the rows shown laid out.
// Arg 0: a letter no note holds; 1: one in most of them.
QString Letter(const benchmark::State& state) {
    return state.range(0) == 0 ? QStringLiteral("q") : QStringLiteral("v");
}

void NotedFirstLetter(benchmark::State& state) {
    NotedBook& book = TheBook();
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->clear();
        QApplication::processEvents();
        state.ResumeTiming();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, Letter(state));
        QApplication::sendEvent(book.filter, &press);
        QApplication::processEvents();
    }
}

// The floor: each name and each note searched for the letter, with nothing else done.
void PlainScanOfNamesAndNotes(benchmark::State& state) {
    std::vector<std::string> texts;
    for (int i = 0; i < Clients; ++i) {
        texts.push_back("Client number " + std::to_string(i) + " Ltd");
        texts.push_back(Note(i));
    }
    const char letter = Letter(state).front().toLatin1();
    for (auto _ : state) {
        std::vector<int> shown;
        for (size_t i = 0; i < texts.size(); i += 2) {
            if (std::memchr(texts[i].data(), letter, texts[i].size()) ||
                std::memchr(texts[i + 1].data(), letter, texts[i + 1].size())) {
                shown.push_back(static_cast<int>(i / 2));
            }
        }
        benchmark::DoNotOptimize(shown.data());
    }
}

// A log of a million sessions over three years, each ended, some with a note.
struct SessionFolder {
    SessionFolder() {
        dir = fs::temp_directory_path() / "mbv-bench-sessions";
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream out(dir / core::SessionsFile, std::ios::binary);
        const int64_t now = QDateTime::currentSecsSinceEpoch();
        const int64_t step = 3 * 365 * 86400 / Sessions;
        const auto stamp = [](int64_t seconds) {
            return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
                .toString(Qt::ISODate)
                .toStdString();
        };
        std::string chunk;
        for (int i = 0; i < Sessions; ++i) {
            const int64_t start = now - int64_t{Sessions - i} * step;
            core::Session session;
            session.id = core::NewSessionId();
            session.start = stamp(start);
            session.technician = "anna";
            session.client = {"Client number " + std::to_string(i % Clients) + " Ltd",
                              std::to_string(100000 + i % Clients)};
            chunk += core::SessionStartLine(session) + "\r\n";
            chunk += core::SessionEndLine(session.id, stamp(start + 60 + i % 3000),
                                          core::Session::Ended::Ok, "") +
                     "\r\n";
            if (i % 10 == 0) {
                chunk += core::SessionNoteLine(session.id, stamp(start + 4000), "Billed") + "\r\n";
            }
            if (chunk.size() > (1 << 20)) {
                out << chunk;
                chunk.clear();
            }
        }
        out << chunk;
        out.close();
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
    }
    ~SessionFolder() { fs::remove_all(dir); }
    fs::path dir;
};

SessionFolder& TheLog() {
    static std::unique_ptr<SessionFolder> log;
    if (!log) {
        log = std::make_unique<SessionFolder>();
        AtBenchmarkEnd([] { log.reset(); });
    }
    return *log;
}

// "Session log…" opened: the dialog made, its last 30 days read and shown.
void SessionLogOpens(benchmark::State& state) {
    TheLog();
    ConnectionLog log;
    size_t shown = 0;
    for (auto _ : state) {
        SessionLogDialog dialog(log, std::nullopt, nullptr);
        shown = dialog.Shown().size();
        benchmark::DoNotOptimize(shown);
    }
    state.counters["shown"] = static_cast<double>(shown);
}

// The whole log read, as the export reads it.
void SessionLogReadWhole(benchmark::State& state) {
    TheLog();
    ConnectionLog log;
    size_t sessions = 0;
    for (auto _ : state) {
        sessions = log.ReadAll().size();
        benchmark::DoNotOptimize(sessions);
    }
    state.counters["sessions"] = static_cast<double>(sessions);
}

BENCHMARK(PlainScanOfNamesAndNotes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(NotedFirstLetter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(SessionLogOpens)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(SessionLogReadWhole)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
