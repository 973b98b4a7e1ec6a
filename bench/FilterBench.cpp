// One keystroke in the filter over a book of 100,000 and of 1,000,000 clients, from the key
// event to the two lists holding the clients shown, against a plain scan of the same names for
// the same letter and a QSortFilterProxyModel with a case-insensitive "contains".
#include "BenchBook.h"
#include "BenchCleanup.h"
#include "Spread.h"
#include "app/BookFilter.h"
#include "app/ListBox.h"
#include "app/Unit1.h"
#include "platform/Files.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStringListModel>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int Clients = 100000;

std::string Name(int i) {
    return "Client number " + std::to_string(i) + " Ltd";
}

struct Book {
    explicit Book(int clients) {
        dir = WriteBook(("mbv-bench-filter-" + std::to_string(clients)).c_str(), clients);
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
        form = std::make_unique<TForm1>();
        form->FormCreate();
        form->show();
        filter = form->findChild<QLineEdit*>(QStringLiteral("FilterEdit"));
        names_ = form->findChild<QAbstractItemView*>(QStringLiteral("BookTable"));
    }
    ~Book() {
        form.reset();
        fs::remove_all(dir);
    }
    // The key as the user types it, then whatever the event loop has left to do for it.
    void Type(QChar c) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(filter, &press);
        QApplication::processEvents();
    }
    // A client added on the Add page, as the user would.
    void AddClient(int n) {
        form->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QString::number(n));
        form->findChild<QLineEdit*>(QStringLiteral("NumEdit1"))->setText(QStringLiteral("1"));
        form->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    }
    fs::path dir;
    std::unique_ptr<TForm1> form;
    QLineEdit* filter = nullptr;
    QAbstractItemView* names_ = nullptr;
};

// One book of each size at a time, gone before the application is.
Book& TheBook(int clients) {
    static std::unique_ptr<Book> book;
    static int size = 0;
    if (!book) {
        AtBenchmarkEnd([] { book.reset(); });
    }
    if (!book || size != clients) {
        book.reset();
        book = std::make_unique<Book>(clients);
        size = clients;
    }
    return *book;
}

// The first letter: every client is searched.
void FirstLetter(benchmark::State& state) {
    Book& book = TheBook(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->clear();
        QApplication::processEvents();
        state.ResumeTiming();
        book.Type(u'7');
    }
    state.counters["shown"] = book.names_->model()->rowCount();
}

// A further letter of the same word: only the clients already shown are searched.
void FurtherLetter(benchmark::State& state) {
    Book& book = TheBook(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->setText(QStringLiteral("number 1"));
        QApplication::processEvents();
        state.ResumeTiming();
        book.Type(u'2');
    }
    state.counters["shown"] = book.names_->model()->rowCount();
}

// The first letter after a client was added: only that client is folded anew.
void FirstLetterAfterAnEdit(benchmark::State& state) {
    Book& book = TheBook(static_cast<int>(state.range(0)));
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->clear();
        book.AddClient(++added);
        QApplication::processEvents();
        state.ResumeTiming();
        book.Type(u'7');
    }
    state.counters["shown"] = book.names_->model()->rowCount();
}

// The first letter after the first client was removed: every row after it moved up.
void FirstLetterAfterRemovingTheFirst(benchmark::State& state) {
    Book& book = TheBook(static_cast<int>(state.range(0)));
    auto* names = book.form->findChild<ListBox*>(QStringLiteral("ListBox1"));
    auto* remove = book.form->findChild<QPushButton*>(QStringLiteral("Button3"));
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->clear();
        names->SetItemIndex(0);
        remove->click();
        QApplication::processEvents();
        state.ResumeTiming();
        book.Type(u'7');
    }
    state.counters["shown"] = book.names_->model()->rowCount();
}

using Clock = std::chrono::steady_clock;

// A key's two moments: the end of its first event-loop pass (the shown rows are in the lists),
// and the end of the views' layout, which goes on in slices while nothing else is to be done.
struct Keystroke {
    double firstPass = 0;
    double laidOut = 0;
};

Keystroke TimedKey(Book& book, QChar c) {
    const auto start = Clock::now();
    book.Type(c);
    const auto firstPass = Clock::now();
    while (QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents)) {
    }
    const auto laidOut = Clock::now();
    return {std::chrono::duration<double, std::milli>(firstPass - start).count(),
            std::chrono::duration<double, std::milli>(laidOut - start).count()};
}

// The first letter after an edit against an ordinary first letter, one of each in turn so
// that a change of load falls on both: medians of each moment and of the ratios per pair,
// with the spread (10th to 90th percentile) of the ratios.
template <class Edit> void AgainstOrdinary(benchmark::State& state, Edit&& edit) {
    Book& book = TheBook(static_cast<int>(state.range(0)));
    std::vector<double> ordinaryFirst, ordinaryLaid, afterFirst, afterLaid;
    for (auto _ : state) {
        book.filter->clear();
        QApplication::processEvents();
        const Keystroke ordinary = TimedKey(book, u'7');
        book.filter->clear();
        edit(book);
        QApplication::processEvents();
        const Keystroke after = TimedKey(book, u'7');
        ordinaryFirst.push_back(ordinary.firstPass);
        ordinaryLaid.push_back(ordinary.laidOut);
        afterFirst.push_back(after.firstPass);
        afterLaid.push_back(after.laidOut);
    }
    state.counters["ordinary_first_ms"] = Percentile(ordinaryFirst, 0.5);
    state.counters["ordinary_laid_ms"] = Percentile(ordinaryLaid, 0.5);
    state.counters["after_first_ms"] = Percentile(afterFirst, 0.5);
    state.counters["after_laid_ms"] = Percentile(afterLaid, 0.5);
    Spread(state, "ratio_first", Ratios(afterFirst, ordinaryFirst));
    Spread(state, "ratio_laid", Ratios(afterLaid, ordinaryLaid));
}

void RemovingTheFirstAgainstOrdinary(benchmark::State& state) {
    AgainstOrdinary(state, [](Book& book) {
        book.form->findChild<ListBox*>(QStringLiteral("ListBox1"))->SetItemIndex(0);
        book.form->findChild<QPushButton*>(QStringLiteral("Button3"))->click();
    });
}

void AddingOneAgainstOrdinary(benchmark::State& state) {
    int added = 0;
    AgainstOrdinary(state, [&added](Book& book) { book.AddClient(++added); });
}

// The floor: each name searched for the letter, with nothing else done.
void PlainScan(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < state.range(0); ++i) {
        names.push_back(Name(i));
    }
    for (auto _ : state) {
        std::vector<int> shown;
        for (size_t i = 0; i < names.size(); ++i) {
            if (std::memchr(names[i].data(), '7', names[i].size()) != nullptr) {
                shown.push_back(static_cast<int>(i));
            }
        }
        benchmark::DoNotOptimize(shown.data());
    }
}

// The first filter after the book changed: every name and ID folded anew, then searched.
void FoldAndSearch(benchmark::State& state) {
    std::vector<std::string> names;
    std::vector<std::string> ids;
    for (int i = 0; i < Clients; ++i) {
        names.push_back(Name(i));
        ids.push_back(std::to_string(100000 + i));
    }
    const core::Rows nameRows(names);
    const core::Rows idRows(ids);
    for (auto _ : state) {
        BookFilter filter;
        benchmark::DoNotOptimize(filter.Apply(QStringLiteral("7"), nameRows, idRows));
    }
}

void ProxyContains(benchmark::State& state) {
    QStringList rows;
    for (int i = 0; i < Clients; ++i) {
        rows << QString::fromStdString(Name(i));
    }
    QStringListModel model(rows);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&proxy);
    view.show();
    const QString text = state.range(0) == 0 ? QStringLiteral("7") : QStringLiteral("number 12");
    for (auto _ : state) {
        state.PauseTiming();
        proxy.setFilterFixedString(state.range(0) == 0 ? QString() : QStringLiteral("number 1"));
        QApplication::processEvents();
        state.ResumeTiming();
        proxy.setFilterFixedString(text);
        QApplication::processEvents();
    }
    state.counters["shown"] = proxy.rowCount();
}

BENCHMARK(PlainScan)->Arg(Clients)->Arg(10 * Clients)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(FirstLetter)->Arg(Clients)->Arg(10 * Clients)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(FirstLetterAfterAnEdit)
    ->Arg(Clients)
    ->Arg(10 * Clients)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(FirstLetterAfterRemovingTheFirst)
    ->Arg(Clients)
    ->Arg(10 * Clients)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(RemovingTheFirstAgainstOrdinary)
    ->Arg(Clients)
    ->Arg(10 * Clients)
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AddingOneAgainstOrdinary)
    ->Arg(Clients)
    ->Arg(10 * Clients)
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FurtherLetter)->Arg(Clients)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(FoldAndSearch)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(ProxyContains)
    ->ArgName("further letter")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

} // namespace
