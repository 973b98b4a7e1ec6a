#pragma once

#include "core/ListFile.h"
#include "core/Merge.h"
#include "platform/StartHidden.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {

class SettingsValues;

// Where the program keeps its files, chosen once at start-up.
struct Storage {
    enum Mode {
        Portable,  // beside the program: its folder is the user's alone
        Installed, // in the user's own data folder: the program's folder is not the user's to use
        Chosen,    // a folder the user chose for the book, which others may share
    };
    Mode mode = Portable;
    // The folder, ending in its separator.
    std::string folder;
    // Why the folder could not be made or filled, when it could not.
    std::string error;
    // The folder the book was copied from at this start, when it was carried over.
    std::string carriedFrom;
    // A chosen folder others may write is no place for what is run or holds the password: the
    // batch file goes here instead, the user's own data folder, and a viewer is taken from here.
    std::string privateFolder;
};

// The file the Windows installer puts beside the program it installs.
inline constexpr const char* InstalledMark = "MyBrindleViewer.installed";

// The folder the user chose for the book when there is one; otherwise the program's folder
// when the user may write there and nobody else may, otherwise the user's data folder (made,
// for the user alone, when missing), which starts with a copy of the book the program's folder
// holds. An installed copy (or one with the installer's mark beside it) never takes its own
// folder.
Storage ChooseStorage(const std::string& programFolder, const std::string& dataFolder,
                      bool installedCopy, const std::string& chosenFolder = {});

// The same for the running program's own folder.
Storage ChooseStorage(const std::string& dataFolder, bool installedCopy,
                      const std::string& chosenFolder = {});

// Makes the choice the one the program's files follow from now on.
void UseStorage(const Storage& storage);
const Storage& CurrentStorage();

// The book as this copy read it from its files: where a merge with another copy's changes
// starts from.
struct BookOnDisk {
    // Rows are handed to the window; the bytes and stamps stay.
    ListFile names;
    ListFile ids;
    // The settings' values in the schema's order, as the window loads them.
    std::vector<std::string> settings;
    platform::FileStamp settingsStamp;
    // The recycle bin's file (RecycleBin.h); missing until something is removed.
    ListFile bin;
    // A shared book's edits waiting for its server (SharedQueue.h); missing until one waits.
    ListFile queue;
    // The clients' tags and notes (ClientNotes.h); missing until a client has any.
    ListFile notes;

    // Views into the bytes.
    BookRows Views() const;
    // Whether both lists hold the same bytes as another reading's.
    bool SameLists(const BookOnDisk& other) const;
    // The bin's entries and the waiting edits as read.
    std::vector<std::string> BinEntries() const;
    std::vector<std::string> QueuedEdits() const;
    std::vector<std::string> NoteLines() const;
};

// What a save or a live merge took from another copy.
struct MergeOutcome {
    // Views into the books merged.
    BookRows book;
    std::vector<std::string> settings;
    // Whether the book differs from this copy's.
    bool bookChanged = false;
    // The recycle bin and the notes merged likewise, when the other copy changed them.
    std::optional<std::vector<std::string>> bin;
    std::optional<std::vector<std::string>> notes;
    // One line for the user; empty when nothing was taken.
    std::string summary;
};

// What the close did beyond writing.
struct SaveOutcome {
    // Notices for list files left as they were.
    std::vector<std::string> leftAlone;
    // What was kept of another copy's changes; empty when nobody else changed the book.
    std::string merged;
};

// The lines of the book's other files a close commits with the lists: the recycle bin's
// entries, a shared book's waiting edits and the clients' notes; nullptr leaves a file as it is.
struct BookExtras {
    const std::vector<std::string>* bin = nullptr;
    const std::vector<std::string>* queue = nullptr;
    const std::vector<std::string>* notes = nullptr;
};

// The files the program keeps in its folder. The list and batch files' names are made with a
// separator of their own after the folder, which already ends in one: the doubled separator
// shows in error texts.
class ProgramFiles {
public:
    // folder ends in its separator.
    explicit ProgramFiles(std::string folder);
    // The folder the program keeps its files in: its own, unless start-up chose another.
    static ProgramFiles OfThisProgram();

    const std::string& Folder() const { return folder_; }
    const std::string& Names() const { return names_; }
    const std::string& Ids() const { return ids_; }
    const std::string& Settings() const { return settings_; }
    const std::string& Batch() const { return batch_; }
    const std::string& Bin() const { return bin_; }
    const std::string& Queue() const { return queue_; }
    const std::string& Notes() const { return notes_; }
    // The book's own files, by their names in the folder.
    static std::vector<std::string> OwnNames();

    // Before anything is read: finishes or discards a close of this user's that was cut off,
    // removes the temporary files no running copy of the program holds, and the batch file (it
    // holds the password) that a crash left behind. Returns the notice naming the files in the
    // folder that were not the program's to act on; empty when there were none.
    std::string CleanUpAtStart() const;

    // Reads the two lists and the settings, and the other files of the book (the notes file
    // only withNotes: the window reads it aside, LoadNotes).
    BookOnDisk LoadBook(bool withNotes = true) const;
    ListFile LoadNotes() const;
    // Whether the book has a notes file at all.
    bool HasNotes() const;
    // The files as they are now when another copy changed any of them since base was read; a
    // list that vanished or cannot be read stays as it was.
    std::optional<BookOnDisk> ChangedSince(const BookOnDisk& base) const;
    // This copy's book and settings merged with another copy's changes (theirs) since base.
    // mine's bin and notes are merged when given (nullptr: this copy keeps none, as a shared
    // book's bin).
    static MergeOutcome Merge(const BookOnDisk& base, const BookOnDisk& theirs,
                              const BookRows& mine, const std::vector<std::string>& mySettings,
                              const std::vector<std::string>* myBin = nullptr,
                              const std::vector<std::string>* myNotes = nullptr);

    // The folder whose Bin holds the viewer the line names: the book's folder as always, unless
    // others may change what is in it; then the user's data folder or the program's own, when
    // that one is private and holds a viewer. An error saying why when no viewer may be run.
    std::string ViewerFolder() const;
    // What is watched for another copy's commit: the folder, and each file of the book that is
    // a link of the user's with the folder it leads to.
    std::vector<std::string> WatchedPaths() const;
    // Marks the book open by this copy for as long as the mark lives. others: whether another
    // copy has it open, or whether the lock file there is not the program's (and was left).
    enum class OpenBy { Nobody, Another, NotALock };
    std::shared_ptr<void> MarkOpen(OpenBy& others) const;
    std::string LockPath() const { return folder_ + ".mbv-open.lock"; }
    // Whether a Bin the line could name holds a viewer at all, runnable or not.
    bool HasViewerInBin() const;
    // The batch file made anew with these lines, readable by its owner only; never written
    // through a link or into anything but a new regular file. "Cannot create file <path>".
    // Returns the bytes written.
    std::string WriteBatchFile(const std::vector<std::string>& lines) const;
    // Starts the batch file that was written with these bytes (where the system runs the file
    // itself, the file; elsewhere the bytes, never the file read again); an error naming the
    // folder when there is no viewer in Bin, or when it cannot be started (a Windows program
    // and nothing here to run it). The batch file, which holds the password, is removed then.
    // The program started, to be watched for its end; nothing when it did not start.
    std::unique_ptr<platform::StartedProgram> StartBatchFile(const std::string& written) const;
    void RemoveBatchFile() const;

    // The close: any changes another copy made since base are merged in first; then the two
    // lists and the settings are replaced as one commit (on Windows the settings go through
    // the system's functions after the lists). A list file that could not be read at start-up
    // is left as it is. Throws ESaveError naming the file that could not be written; nothing
    // is replaced then. Once saved, base is what the files now hold.
    // A save that merged another copy's changes and then failed hands the merged book to
    // tookIn, with base then the other copy's files: whoever saves again next starts from
    // there, and what was merged is not dropped.
    // The recycle bin's entries, a shared book's waiting edits and the clients' notes go in the
    // same commit, merged likewise; nullptr leaves a file as it is. No such file is made before
    // it has something to hold.
    using TookIn = std::function<void(
        Rows names, Rows ids, const std::vector<std::string>& settings,
        const std::vector<std::string>& bin, const std::vector<std::string>& notes)>;
    SaveOutcome SaveBook(BookOnDisk& base, const Rows& names, const Rows& ids,
                         const SettingsValues& settings, const TookIn& tookIn = {},
                         const BookExtras& extras = {}) const;

private:
    std::string folder_;
    std::string names_;
    std::string ids_;
    std::string settings_;
    std::string batch_;
    std::string bin_;
    std::string queue_;
    std::string notes_;
    std::string privateFolder_;
};

} // namespace core
