#include "app/BookTransfer.h"

#include "app/BookLists.h"
#include "app/ImportDialog.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "base/Exception.h"
#include "core/Import.h"

#include <QAbstractButton>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

// What the reading thread hands back.
struct ReadResult {
    std::atomic<bool> cancel{false};
    std::atomic<qint64> done{0};
    qint64 total = 0;
    // The book when the import began, and the longest ID: what the preview compares with.
    core::Book book;
    size_t maxIdLength = 0;
    core::ImportSource source;
    // The first preview, made on the reading thread too: a large file never holds the window.
    core::ImportPreview preview;
    std::string error;
};

namespace {

// The files a path stands for: itself, or a folder's connection profiles.
QStringList FilesOf(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            for (const QFileInfo& profile :
                 QDir(path).entryInfoList({QStringLiteral("*.remmina")}, QDir::Files, QDir::Name)) {
                files.append(profile.filePath());
            }
        } else {
            files.append(path);
        }
    }
    return files;
}

std::function<void()>& ReadFault() {
    static std::function<void()> fault;
    return fault;
}

std::string Bytes(const QString& text) {
    return text.toStdString();
}

// Reads and parses on the reading thread; checks the cancel flag between blocks.
void ReadAll(const QStringList& files, ReadResult& result) {
    try {
        for (const QString& path : files) {
            // A FIFO or a device would never end; a folder is no file either.
            const QFileInfo info(path);
            if (!info.exists()) {
                throw Exception("The file " + Bytes(path) + " is not there (any more)");
            }
            if (!info.isFile()) {
                throw Exception(Bytes(path) + " is not a file that can be imported");
            }
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                throw Exception("Cannot read " + Bytes(path) + ": " + Bytes(file.errorString()));
            }
            std::string bytes;
            char block[1 << 16];
            while (true) {
                if (result.cancel) {
                    return;
                }
                const qint64 got = file.read(block, sizeof block);
                if (got < 0) {
                    throw Exception("Cannot read " + Bytes(path) + ": " +
                                    Bytes(file.errorString()));
                }
                if (got == 0) {
                    break;
                }
                if (bytes.size() + static_cast<size_t>(got) > core::MaxImportBytes) {
                    throw Exception(Bytes(path) + " is larger than any list of clients");
                }
                bytes.append(block, static_cast<size_t>(got));
                result.done += got;
            }
            if (ReadFault()) {
                ReadFault()();
            }
            core::Append(result.source, core::ReadImport(bytes, Bytes(info.fileName())));
        }
        if (!result.cancel) {
            result.preview = core::Preview(result.source, result.source.defaultField, result.book,
                                           result.maxIdLength);
        }
    } catch (const Exception& e) {
        result.error = e.Message();
    } catch (const std::bad_alloc&) {
        // What was read so far goes; the window and its book stay as they were.
        result.source = {};
        result.preview = {};
        result.error =
            "There is not enough memory to read " +
            Bytes(files.size() == 1 ? files.front() : QStringLiteral("%1 files").arg(files.size()));
    }
}

} // namespace

void BookTransfer::SetReadFaultForTesting(std::function<void()> fault) {
    ReadFault() = std::move(fault);
}

BookTransfer::BookTransfer(BookLists& book, QWidget& window, int maxIdLength)
    : QObject(&window), book_(book), window_(window), maxIdLength_(maxIdLength) {}

void BookTransfer::Offer(QAbstractButton& importButton, QAbstractButton& exportButton) {
    connect(&importButton, &QAbstractButton::clicked, this, [this] { AskImport(); });
    connect(&exportButton, &QAbstractButton::clicked, this, [this] { Export(false); });
    // A file dropped on the window opens its preview.
    window_.setAcceptDrops(true);
    window_.installEventFilter(this);
}

void BookTransfer::AskImport() {
    Import(QFileDialog::getOpenFileNames(
        &window_, QStringLiteral("Import clients"), QDir::homePath(),
        QStringLiteral("Client lists (*.csv *.txt *.remmina *.xml);;All files (*)")));
}

bool BookTransfer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (enter->mimeData()->hasUrls()) {
            enter->acceptProposedAction();
        }
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile()) {
                paths.append(url.toLocalFile());
            }
        }
        if (!paths.isEmpty()) {
            drop->acceptProposedAction();
            // After the drop has finished: the preview is a dialog of its own.
            QTimer::singleShot(0, this, [this, paths] { Import(paths); });
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void BookTransfer::Import(const QStringList& paths) {
    if (busy_ || paths.isEmpty()) {
        return;
    }
    const QStringList files = FilesOf(paths);
    if (files.isEmpty()) {
        ShowMessage("There are no connection profiles in " + Bytes(paths[0]));
        return;
    }
    busy_ = true;
    auto result = std::make_shared<ReadResult>();
    result->book = book_.Clients(false);
    result->maxIdLength = static_cast<size_t>(maxIdLength_);
    for (const QString& file : files) {
        result->total += QFileInfo(file).size();
    }
    // A large file shows its progress, and may be given up; the window stays responsive.
    auto* progress = new QProgressDialog(QStringLiteral("Reading ") + paths[0],
                                         QStringLiteral("Cancel"), 0, 1000, &window_);
    progress->setWindowTitle(QStringLiteral("Import clients"));
    progress->setMinimumDuration(400);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    connect(progress, &QProgressDialog::canceled, this, [result] { result->cancel = true; });
    auto* ticker = new QTimer(progress);
    connect(ticker, &QTimer::timeout, progress, [progress, result] {
        if (result->total > 0) {
            progress->setValue(static_cast<int>(result->done * 1000 / result->total));
        }
    });
    ticker->start(100);
    const QString from = paths.size() == 1 ? QDir::toNativeSeparators(paths[0])
                                           : QStringLiteral("%1 files").arg(paths.size());
    // The reading thread owns nothing of the window's: it fills result, and its end is told here.
    reader_ = QThread::create([files, result] { ReadAll(files, *result); });
    reader_->setParent(this);
    reading_ = result;
    connect(reader_, &QThread::finished, this, [this, progress, result, from] {
        reader_->deleteLater();
        reader_ = nullptr;
        reading_.reset();
        // Gone before the preview opens: deletion waits for the event loop, and the preview
        // runs one of its own.
        for (QTimer* ticker : progress->findChildren<QTimer*>()) {
            ticker->stop();
        }
        progress->hide();
        progress->deleteLater();
        // One import at a time: a file dropped while a preview is open is not taken.
        if (!result->cancel) {
            Preview(from, *result);
        }
        busy_ = false;
    });
    reader_->start();
}

BookTransfer::~BookTransfer() {
    // A window closed while a file is read: the reading stops at its next block and is waited
    // for, so nothing it holds outlives the window.
    if (reader_) {
        reading_->cancel = true;
        reader_->wait();
    }
}

void BookTransfer::Preview(const QString& from, ReadResult& result) {
    if (!result.error.empty()) {
        ShowMessage(result.error + ". Nothing was changed.");
        emit PreviewOpened();
        return;
    }
    ImportDialog dialog(from, std::move(result.source), std::move(result.preview),
                        std::move(result.book), result.maxIdLength, &window_);
    dialog.setObjectName(QStringLiteral("ImportDialog"));
    QMetaObject::invokeMethod(this, &BookTransfer::PreviewOpened, Qt::QueuedConnection);
    if (dialog.exec() == QDialog::Accepted) {
        book_.AddMany(dialog.Ticked(), dialog.TickedExtras());
    }
}

void BookTransfer::Export(bool shownOnly) {
    const QString path =
        QFileDialog::getSaveFileName(&window_, QStringLiteral("Export clients"),
                                     QDir::home().filePath(QStringLiteral("clients.csv")),
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    const core::Book clients = book_.Clients(shownOnly);
    try {
        WriteCsv(path, clients, &book_.Notes());
        emit Said(QStringLiteral("Exported ") + ClientCount(clients.Count()) +
                  QStringLiteral(" to ") + QDir::toNativeSeparators(path));
    } catch (const Exception& e) {
        ShowMessage(e.Message());
    }
}

void BookTransfer::WriteCsv(const QString& path, const core::Book& clients,
                            const core::ClientNotes* notes) {
    core::WriteExportCsv(QDir::toNativeSeparators(path).toStdString(), clients, notes);
}
