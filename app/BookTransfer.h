#pragma once

#include "core/ClientNotes.h"

#include "core/Book.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class BookLists;
class QAbstractButton;
class QThread;
class QWidget;

// Bringing clients in from other programs' files and handing the book on as CSV. A file is
// read in the background (a large one with a progress bar and Cancel), then the preview shows
// what it would add; Import adds the ticked rows as one undoable step. Nothing changes before.
class BookTransfer final : public QObject {
    Q_OBJECT
public:
    BookTransfer(BookLists& book, QWidget& window, int maxIdLength);
    ~BookTransfer() override;

    // Where the user reaches it: the Add page's two buttons and files dropped on the window
    // (the client list's context menu calls AskImport and Export).
    void Offer(QAbstractButton& importButton, QAbstractButton& exportButton);
    // Files, or a folder of connection profiles, read and previewed.
    void Import(const QStringList& paths);
    // Asks which files, then imports them.
    void AskImport();
    // Asks where to, then writes the book (or only the clients shown) as CSV.
    void Export(bool shownOnly);

    // The CSV of a whole book, written in one step; an exception names what failed.
    static void WriteCsv(const QString& path, const core::Book& clients,
                         const core::ClientNotes* notes = nullptr);

    // Runs on the reading thread once a file's bytes are read, before they are parsed: a test's
    // allocation failure or slowness.
    static void SetReadFaultForTesting(std::function<void()> fault);

signals:
    // A file was read and its preview is open (tests wait for it), or reading failed.
    void PreviewOpened();
    void Said(const QString& what);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Preview(const QString& from, struct ReadResult& result);

    BookLists& book_;
    QWidget& window_;
    int maxIdLength_;
    bool busy_ = false;
    // The file being read, on a thread of its own, and what it reads into.
    QThread* reader_ = nullptr;
    std::shared_ptr<struct ReadResult> reading_;
};
