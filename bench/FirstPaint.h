#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

// Ends the event loop right after the window's first painted frame.
inline void QuitAfterFirstPaint(QWidget& window) {
    struct Watcher final : QObject {
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                watched->removeEventFilter(this);
                // exit, not quit: quit would close the window first, and its close saves.
                QMetaObject::invokeMethod(
                    qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
            }
            return false;
        }
    };
    window.installEventFilter(new Watcher(&window));
}
