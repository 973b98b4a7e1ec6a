// The program as it ships with a filter typed right after start-up, quitting after the first
// painted frame: the peak memory of a book with a filter active.
#include "FirstPaint.h"
#include "app/Program.h"

#include <QLineEdit>

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv, [](QWidget& window) {
        window.findChild<QLineEdit*>(QStringLiteral("FilterEdit"))->setText(QStringLiteral("7"));
        QuitAfterFirstPaint(window);
    });
}
