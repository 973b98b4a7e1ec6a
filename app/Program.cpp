#include "app/Program.h"

#include "app/BookTransfer.h"
#include "app/Messages.h"
#include "app/Unit1.h"
#include "app/UserSettings.h"

#include "base/Exception.h"
#include "core/ProgramFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

int RunProgram(int argc, char* argv[], const std::function<void(QWidget&)>& shown,
               bool installedCopy) {
    QApplication app(argc, argv);
    // The application title captions the message boxes (Messages.h). It is not made the
    // display name, which Qt would append to the window's own caption.
    QApplication::setApplicationName(ApplicationTitle());

    QCommandLineParser options;
    const QCommandLineOption bookFolder(
        QStringLiteral("book-folder"),
        QStringLiteral("Keep the client book in this folder, even one others share."),
        QStringLiteral("folder"));
    options.addOption(bookFolder);
    const QCommandLineOption importFile(
        QStringLiteral("import"),
        QStringLiteral("Open the preview of clients to bring in from this file."),
        QStringLiteral("file"));
    const QCommandLineOption exportFile(
        QStringLiteral("export"),
        QStringLiteral("Write the client book to this CSV file and exit."), QStringLiteral("file"));
    const QCommandLineOption sharedBook(
        QStringLiteral("shared-book"),
        QStringLiteral("Share the client book with a team through this PostgreSQL server."),
        QStringLiteral("postgresql://user@server:port/database?sslmode=require"));
    options.addOption(importFile);
    options.addOption(exportFile);
    options.addOption(sharedBook);
    // Arguments the program does not know are let be, as they always were.
    options.parse(QApplication::arguments());
    // A folder chosen for the book: on the command line, or the one the user picked before.
    QString chosen = options.value(bookFolder);
    if (chosen.isEmpty()) {
        chosen = UserSettings().value(BookFolderKey()).toString();
    }
    if (!chosen.isEmpty()) {
        chosen = QDir::toNativeSeparators(QDir(chosen).absolutePath());
    }

    // Beside the program when the folder is the user's alone, otherwise in the user's own data
    // folder.
    const core::Storage storage =
        core::ChooseStorage(QDir::toNativeSeparators(QStandardPaths::writableLocation(
                                                         QStandardPaths::AppLocalDataLocation))
                                .toStdString(),
                            installedCopy, chosen.toStdString());
    core::UseStorage(storage);
    if (!storage.error.empty()) {
        ReportError(storage.error);
    }

    // The book handed on without a window: 0 when written, otherwise the reason on standard
    // error.
    if (options.isSet(exportFile)) {
        try {
            const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
            core::BookOnDisk book = files.LoadBook();
            for (const core::ListFile* list : {&book.names, &book.ids}) {
                if (list->state == core::ListFile::Unreadable) {
                    throw Exception(list->reason);
                }
            }
            BookTransfer::WriteCsv(options.value(exportFile),
                                   {book.names.rows.Strings(), book.ids.rows.Strings()});
            return 0;
        } catch (const Exception& e) {
            std::fprintf(stderr, "MyBrindleViewer: %s\n", e.what());
            return 1;
        }
    }

    std::unique_ptr<TForm1> form;
    if (!Guarded([&] { form = std::make_unique<TForm1>(); })) {
        return 1;
    }
    // An error while loading is reported and the window opens with what could be read.
    Guarded([&] { form->FormCreate(); });
    form->show();
    if (options.isSet(sharedBook)) {
        form->ShareBook(options.value(sharedBook));
    }
    if (options.isSet(importFile)) {
        form->ImportFiles({options.value(importFile)});
    }
    if (shown) {
        shown(*form);
    }
    return QApplication::exec();
}
