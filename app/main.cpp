#include "Messages.h"
#include "Unit1.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MyBrindleViewer"));
    QApplication::setApplicationDisplayName(QStringLiteral("My Brindle Viewer"));

    std::unique_ptr<TForm1> form;
    if (!Guarded([&] { form = std::make_unique<TForm1>(); })) {
        return 1;
    }
    // An error while loading is reported and the window opens with what could be read.
    Guarded([&] { form->FormCreate(); });
    form->show();
    return QApplication::exec();
}
