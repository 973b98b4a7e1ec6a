// The floor for start-up: the same window's widgets and the client table's two lists filled
// from the same files, with nothing else, quitting right after the first painted frame.
#include "FirstPaint.h"
#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "core/Rows.h"
#include "platform/Files.h"
#include "ui_Unit1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    Ui::TForm1 ui;
    ui.setupUi(&window);
    const std::string folder = platform::ProgramFolder();
    for (auto [list, file] : {std::pair{&ui.BookTable->Names(), "clientlist.txt"},
                              {&ui.BookTable->Ids(), "clientIDlist.txt"}}) {
        list->SetItems(core::Rows(std::make_shared<const std::string>(
            platform::ReadWholeFile(folder + file).value_or(""))));
    }
    window.show();
    QuitAfterFirstPaint(window);
    return QApplication::exec();
}
