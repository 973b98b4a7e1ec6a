#pragma once

#include "app/BookStore.h"
#include "core/ClientNotes.h"
#include "core/ProgramFiles.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class BookLists;
class BookWatch;
class ListBox;
class QThread;
class QTimer;
class SettingsBinder;

// The book on this computer while the window is open: the two list boxes, and its edits made
// on them, each list on its own rows.
class LocalLists : public BookStore {
public:
    LocalLists(ListBox& names, ListBox& ids) : names_(names), ids_(ids) {}

    void Append(core::Book clients) override;
    void Remove(int nameRow, int idRow) override;
    bool Move(int nameRow, int idRow, int step) override;
    void Change(int row, const core::Client& was, const core::Client& now) override;
    QString WhyNoEdit() const override { return {}; }
    void TakeLast(size_t names, size_t ids) override;
    void Restore(int nameRow, const std::string& name, int idRow, const std::string& id) override;
    void ReadBin(const BinRead& done) override;
    int BinDays() const override;
    int PutBack(const BinItem& item) override;
    void TakeOut(int row, const BinItem& item) override;

    // The bin's lines (core::BinLine), oldest first.
    const std::vector<std::string>& BinLines() const { return bin_; }
    // The bin's entries within its days, as the files or a merge hold them.
    void SetBin(std::vector<std::string> lines);
    // The user setting of the bin's days, and its default.
    static QString BinDaysKey() { return QStringLiteral("recycleBinDays"); }

protected:
    ListBox& names_;
    ListBox& ids_;
    std::vector<std::string> bin_;
};

// The book on this computer: its lists (above), and its files, with what was read at start
// (the base of every merge); another copy's commits merged in while the window is open; the
// close's commit of the lists and the settings; and the copy kept of a shared book.
class LocalBook final : public QObject, public LocalLists {
    Q_OBJECT
public:
    LocalBook(ListBox& names, ListBox& ids, BookLists& book, SettingsBinder& settings,
              QObject* parent = nullptr);
    ~LocalBook() override;

    // The lists from their files, each with its notice (a first run, a file that could not be
    // read); returns the settings as the file holds them.
    const std::vector<std::string>& Load();
    // From now on another copy's commit is merged into the window as it comes (TakeTheirs).
    void Watch();
    // Another copy committed the book: its changes are merged into the window, the selection
    // and the filter stay, and what was read becomes the base of the next merge.
    void TakeTheirs();
    // While a shared book is on, the lists are the server's and the files are this computer's
    // copy of it: written over whatever another copy committed there, never merged with it.
    void Mirror(bool on) { mirror_ = on; }
    // The close: any changes another copy made are merged in first (unless mirrored); then the
    // lists and these settings are replaced as one commit. Throws core::ESaveError naming the
    // file.
    core::SaveOutcome Save(const core::SettingsValues& values);
    // The shared book's latest, written to the list files as the close writes them, over
    // whatever another copy committed there; the settings as the files hold them (the
    // window's own go to the file at the close).
    void CommitCopy();
    // The same, once the server's changes have settled for a moment.
    void CommitCopySoon();
    // A shared book's edits waiting for its server, as the files held them at the start, for
    // this copy to send; none when another running copy has the book open (they are that
    // copy's to send, and are only carried here).
    std::vector<std::string> TakeLoadedQueue();
    // Where this copy's waiting edits come from for each commit of the copy.
    using QueueSource = std::function<std::vector<std::string>()>;
    void KeepQueue(QueueSource source) { queueSource_ = std::move(source); }

signals:
    // For the window's status line.
    void Said(const QString& what);

private:
    // What the files hold now becomes the base: nothing another copy committed is merged.
    void TakeAsBase(const core::ProgramFiles& files);
    // The lists read from the base's bytes when these hold the same rows: the book is kept
    // once, not once as shown and once more as the base of the next merge.
    void ShareBase();
    // A save that merged another copy's changes and could not finish: the window holds what
    // was merged, so the next save keeps it.
    core::ProgramFiles::TookIn TakeInMerged();
    // The waiting edits to commit: this copy's, and those another copy committed, which that
    // copy sends: kept until its own commit leaves them out.
    std::vector<std::string> QueueToCommit(const core::ProgramFiles& files);
    // The clients' tags and notes to commit: those of the book and of its bin.
    std::vector<std::string> NotesToCommit();
    // The notes file read at start is taken apart off the window's thread, so the window shows
    // the book without waiting for it; whatever needs the notes before they came waits here.
    void ReadNotesAside();
    void TakeNotesRead();

    BookLists& book_;
    SettingsBinder& settings_;
    BookWatch* watch_ = nullptr;
    QTimer* commitCopy_;
    // The book as last read from its files, what a merge with another copy starts from; a
    // list file that could not be read is never written over.
    core::BookOnDisk base_;
    bool mirror_ = false;
    QueueSource queueSource_;
    // Another running copy's waiting edits, kept in the file until that copy has sent them.
    std::vector<std::string> carried_;
    QThread* notesReader_ = nullptr;
    core::ListFile notesFile_;
    core::ClientNotes notesRead_;
    // The book's notes when the reading began: a change since (the server's, an edit) stands.
    uint64_t notesReadFrom_ = 0;
};
