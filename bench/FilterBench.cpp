// One keystroke in the filter over a book of 100,000 clients, from the key event to the two
// lists holding the clients shown, against a QSortFilterProxyModel with a plain
// case-insensitive "contains" over the same names.
#include "BenchBook.h"
#include "app/BookFilter.h"
#include "app/Unit1.h"
#include "platform/Files.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QStringListModel>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int Clients = 100000;

std::string Name(int i) {
    return "Client number " + std::to_string(i) + " Ltd";
}

struct Book {
    Book() {
        dir = WriteBook("mbv-bench-filter", Clients);
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
        form = std::make_unique<TForm1>();
        form->FormCreate();
        form->show();
        filter = form->findChild<QLineEdit*>(QStringLiteral("FilterEdit"));
        names_ = form->findChild<QListView*>(QStringLiteral("ListBox1"));
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
    fs::path dir;
    std::unique_ptr<TForm1> form;
    QLineEdit* filter = nullptr;
    QListView* names_ = nullptr;
};

Book& TheBook() {
    static Book book;
    return book;
}

// The first letter: every client is searched.
void FirstLetter(benchmark::State& state) {
    Book& book = TheBook();
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
    Book& book = TheBook();
    for (auto _ : state) {
        state.PauseTiming();
        book.filter->setText(QStringLiteral("number 1"));
        QApplication::processEvents();
        state.ResumeTiming();
        book.Type(u'2');
    }
    state.counters["shown"] = book.names_->model()->rowCount();
}

// The first filter after the book changed: every name and ID folded anew, then searched.
void FoldAndSearch(benchmark::State& state) {
    std::vector<std::string> names;
    std::vector<std::string> ids;
    for (int i = 0; i < Clients; ++i) {
        names.push_back(Name(i));
        ids.push_back(std::to_string(100000 + i));
    }
    for (auto _ : state) {
        BookFilter filter;
        benchmark::DoNotOptimize(filter.Apply(QStringLiteral("7"), names, ids));
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

BENCHMARK(FirstLetter)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(FurtherLetter)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(FoldAndSearch)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(ProxyContains)
    ->ArgName("further letter")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

} // namespace
