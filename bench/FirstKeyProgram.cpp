// The program as it ships: once its first frame is painted and the start-up's work is done,
// the first letter typed into the filter. Prints the key's two moments in milliseconds: the end
// of its first event-loop pass, and the end of the views' layout.
#include "app/Program.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

void TypeFirstLetter(QWidget& window) {
    using Clock = std::chrono::steady_clock;
    // Whatever start-up left to the event loop is done before the key, as it would be before
    // a person's first key.
    while (QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents)) {
    }
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("FilterEdit"));
    filter->setFocus();
    const auto start = Clock::now();
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("7"));
    QApplication::sendEvent(filter, &press);
    QApplication::processEvents();
    const auto firstPass = Clock::now();
    while (QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents)) {
    }
    const auto laidOut = Clock::now();
    std::printf("%.3f %.3f\n", std::chrono::duration<double, std::milli>(firstPass - start).count(),
                std::chrono::duration<double, std::milli>(laidOut - start).count());
    std::fflush(stdout);
    // exit, not quit: quit would close the window first, and its close saves.
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv, [](QWidget& window) {
        QTimer::singleShot(0, &window, [&window] { TypeFirstLetter(window); });
    });
}
