#include "app/Program.h"

#include "app/BookTransfer.h"
#include "app/ConnectionLog.h"
#include "app/Messages.h"
#include "app/Unit1.h"
#include "app/UserSettings.h"

#include "base/Exception.h"
#include "core/ProgramFiles.h"
#include "platform/ProcessEnd.h"
#include "store/SharedBookPage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

namespace {

// The program's own options, and the window system's, which the application takes for itself:
// all read before any window system is, so that what needs none runs without a display.
struct Options {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show these options and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the program's version and exit.")};
    QCommandLineOption bookFolder{
        QStringLiteral("book-folder"),
        QStringLiteral("Keep the client book in this folder, even one others share."),
        QStringLiteral("folder")};
    QCommandLineOption importFile{
        QStringLiteral("import"),
        QStringLiteral("Open the preview of clients to bring in from this file."),
        QStringLiteral("file")};
    QCommandLineOption exportFile{
        QStringLiteral("export"),
        QStringLiteral("Write the client book to this CSV file and exit. Needs no display."),
        QStringLiteral("file")};
    QCommandLineOption exportSessions{
        QStringLiteral("export-sessions"),
        QStringLiteral("Write every session of the session log (a shared book's: the team's, "
                       "from its server) to this CSV file and exit. Needs no display."),
        QStringLiteral("file")};
    QCommandLineOption sharedBook{
        QStringLiteral("shared-book"),
        QStringLiteral("Share the client book with a team through this PostgreSQL server."),
        QStringLiteral("postgresql://user@server:port/database?sslmode=require")};

    Options() {
        parser.setApplicationDescription(ApplicationTitle() +
                                         QStringLiteral(": a book of clients to connect to."));
        // The window system's options are single words after one dash (-platform, -style).
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QCommandLineOption* option : {&help, &version, &bookFolder, &importFile,
                                                 &exportFile, &exportSessions, &sharedBook}) {
            parser.addOption(*option);
        }
        for (const char* name :
             {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
              "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style",
              "stylesheet", "dialogs", "fontengine", "qmljsdebugger"}) {
            AddWindowSystemOption(name, true);
        }
        for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
            AddWindowSystemOption(name, false);
        }
    }

private:
    void AddWindowSystemOption(const char* name, bool takesValue) {
        QCommandLineOption option(QString::fromLatin1(name));
        if (takesValue) {
            option.setValueName(QStringLiteral("value"));
        }
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
};

void Print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// Where the book is kept: the folder asked for on the command line or in the user's settings,
// else beside the program when that folder is the user's alone, otherwise in the user's own
// data folder. Any problem with it, in words.
std::string UseChosenStorage(const Options& options, bool installedCopy) {
    QString chosen = options.parser.value(options.bookFolder);
    if (chosen.isEmpty()) {
        chosen = UserSettings().value(BookFolderKey()).toString();
    }
    if (!chosen.isEmpty()) {
        chosen = QDir::toNativeSeparators(QDir(chosen).absolutePath());
    }
    const core::Storage storage =
        core::ChooseStorage(QDir::toNativeSeparators(QStandardPaths::writableLocation(
                                                         QStandardPaths::AppLocalDataLocation))
                                .toStdString(),
                            installedCopy, chosen.toStdString());
    core::UseStorage(storage);
    return storage.error;
}

// The book handed on without a window: 0 when written, otherwise the reason on standard error.
int Export(const Options& options, bool installedCopy) {
    try {
        if (const std::string error = UseChosenStorage(options, installedCopy); !error.empty()) {
            throw Exception(error);
        }
        const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
        if (options.parser.isSet(options.exportFile)) {
            core::BookOnDisk book = files.LoadBook();
            for (const core::ListFile* list : {&book.names, &book.ids}) {
                if (list->state == core::ListFile::Unreadable) {
                    throw Exception(list->reason);
                }
            }
            const core::ClientNotes notes = core::ClientNotes::FromBytes(core::BytesOf(book.notes));
            BookTransfer::WriteCsv(options.parser.value(options.exportFile),
                                   {book.names.rows.Strings(), book.ids.rows.Strings()}, &notes);
        }
        if (options.parser.isSet(options.exportSessions)) {
            // A shared book's sessions are the team's, on its server; those made while it could
            // not be reached are sent there once it can.
            const QString path = options.parser.value(options.exportSessions);
            if (!SharedBookPage::ExportTeamSessions(options.parser.value(options.sharedBook),
                                                    path)) {
                ConnectionLog::WriteCsv(path, ConnectionLog::ReadAllAt(files.Folder()));
            }
        }
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "MyBrindleViewer: %s\n", e.what());
        return 1;
    }
}

// Whether the command line asks for nothing that needs a window: the usage, the version, the
// export, or an option the program does not know. Read from the raw arguments only to choose
// which application to make; their values are read from the application's, which on Windows are
// the command line's own characters.
bool NeedsNoWindow(int argc, char* argv[]) {
    Options options;
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return !options.parser.parse(arguments) || !options.parser.positionalArguments().isEmpty() ||
           options.parser.isSet(options.help) || options.parser.isSet(options.version) ||
           options.parser.isSet(options.exportFile) || options.parser.isSet(options.exportSessions);
}

// The command line without a window: the usage, the version or the export.
int WithoutWindow(Options& options, bool installedCopy) {
    // The usage names the program by its file's name, not by the path it was started from.
    QString usage = options.parser.helpText();
    const QString started = QCoreApplication::arguments().value(0);
    if (const qsizetype at = usage.indexOf(started); at >= 0 && !started.isEmpty()) {
        usage.replace(at, started.size(), QFileInfo(started).fileName());
    }
    if (!options.parser.parse(QCoreApplication::arguments())) {
        Print(stderr, QStringLiteral("MyBrindleViewer: ") + options.parser.errorText() +
                          QStringLiteral("\n\n") + usage);
        return 2;
    }
    if (!options.parser.positionalArguments().isEmpty()) {
        Print(stderr, QStringLiteral("MyBrindleViewer: unexpected argument \"") +
                          options.parser.positionalArguments().front() + QStringLiteral("\"\n\n") +
                          usage);
        return 2;
    }
    if (options.parser.isSet(options.help)) {
        Print(stdout, usage);
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        Print(stdout, ApplicationTitle() + u' ' + QStringLiteral(MBV_VERSION) + u'\n');
        return 0;
    }
    return Export(options, installedCopy);
}

// The program with its window, until the window is closed and its objects are gone.
int RunWindow(int& argc, char* argv[], Options& options, const std::function<void(QWidget&)>& shown,
              bool installedCopy) {
    QApplication app(argc, argv);
    // The application title captions the message boxes (Messages.h). It is not made the
    // display name, which Qt would append to the window's own caption.
    QApplication::setApplicationName(ApplicationTitle());
    options.parser.parse(QApplication::arguments());
    if (const std::string error = UseChosenStorage(options, installedCopy); !error.empty()) {
        ReportError(error);
    }

    std::unique_ptr<TForm1> form;
    if (!Guarded([&] { form = std::make_unique<TForm1>(); })) {
        return 1;
    }
    Guarded([&] { form->FormCreate(); });
    form->show();
    if (options.parser.isSet(options.sharedBook)) {
        form->ShareBook(options.parser.value(options.sharedBook));
    }
    if (options.parser.isSet(options.importFile)) {
        form->ImportFiles({options.parser.value(options.importFile)});
    }
    if (shown) {
        shown(*form);
    }
    const int code = QApplication::exec();
    // The window is closed and the book saved. What is left is letting go: whatever a library's
    // thread still waits on (a server that does not answer, the system's keyring) may delay the
    // end by two seconds at most.
    platform::EndLater(code, 2000);
    return code;
}

} // namespace

int RunProgram(int argc, char* argv[], const std::function<void(QWidget&)>& shown,
               bool installedCopy) {
    Options options;
    if (NeedsNoWindow(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(ApplicationTitle());
        return WithoutWindow(options, installedCopy);
    }

    // The window's objects are gone and the book saved when it returns.
    return platform::Finish(RunWindow(argc, argv, options, shown, installedCopy));
}
