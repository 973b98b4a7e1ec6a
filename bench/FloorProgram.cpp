// The floor for start-up: the same window's widgets and the two lists filled from the same
// files, with nothing else, quitting right after the first painted frame.
#include "FirstPaint.h"
#include "app/ListBox.h"
#include "platform/Files.h"
#include "platform/TextLines.h"
#include "ui_Unit1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    Ui::TForm1 ui;
    ui.setupUi(&window);
    const std::string folder = platform::ProgramFolder();
    ui.ListBox1->SetItems(
        platform::SplitLines(platform::ReadWholeFile(folder + "clientlist.txt").value_or("")));
    ui.ListBox2->SetItems(
        platform::SplitLines(platform::ReadWholeFile(folder + "clientIDlist.txt").value_or("")));
    window.show();
    QuitAfterFirstPaint(window);
    return QApplication::exec();
}
