#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <ctime>

// Ends the event loop right after the window's first painted frame, and prints the system's
// monotonic clock at that frame ("painted SECONDS"): the process's end is no part of its
// start-up.
inline void QuitAfterFirstPaint(QWidget& window) {
    struct Watcher final : QObject {
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                watched->removeEventFilter(this);
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("painted %ld.%09ld\n", static_cast<long>(now.tv_sec), now.tv_nsec);
                std::fflush(stdout);
                // exit, not quit: quit would close the window first, and its close saves.
                QMetaObject::invokeMethod(
                    qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
            }
            return false;
        }
    };
    window.installEventFilter(new Watcher(&window));
}
