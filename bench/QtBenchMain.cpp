// main of the benchmarks that need a QApplication: offscreen, then every registered benchmark.
#include "BenchCleanup.h"
#include "app/Messages.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// A message box would wait for a click: what the program says is not measured.
class SilentSink final : public MessageSink {
public:
    void ShowMessage(const QString&) override {}
    void ShowError(const QString&) override {}
    bool Ask(const QString&) override { return false; }
    void ShowNotice(const QString&) override {}
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SilentSink silent;
    SetMessageSink(&silent);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (const auto& end : BenchmarkEnds()) {
        end();
    }
    return 0;
}
