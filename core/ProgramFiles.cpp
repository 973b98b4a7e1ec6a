#include "core/ProgramFiles.h"

#include "core/ClientNotes.h"
#include "core/Commit.h"
#include "core/DisplayText.h"
#include "core/NativeViewer.h"
#include "core/RecycleBin.h"
#include "core/Settings.h"
#include "core/SharedQueue.h"
#include "platform/Files.h"
#include "platform/Folder.h"
#include "platform/ProfileFile.h"
#include "platform/StartHidden.h"
#include "platform/TextLines.h"
#include "platform/ViewerProcess.h"

#include <optional>

namespace core {
namespace {

constexpr const char* NamesFile = "clientlist.txt";
constexpr const char* IdsFile = "clientIDlist.txt";
constexpr const char* SettingsFile = "myviewer.ini";

std::string Separated(const std::string& folder, const char* name) {
    return folder + platform::PathSeparator() + name;
}

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != platform::PathSeparator()) {
        folder += platform::PathSeparator();
    }
    return folder;
}

std::optional<Storage>& ChosenStorage() {
    static std::optional<Storage> storage;
    return storage;
}

// The program folder's book copied into a data folder that has none yet, as one commit; the
// program folder's files stay as they are. Only regular files are read (never another user's
// link). Returns whether there was a book to carry.
bool CarryOver(const std::string& from, const std::string& to, std::string& error) {
    bool anyThere = false;
    for (const std::string& name : ProgramFiles::OwnNames()) {
        if (platform::StampOf(to + name).exists) {
            return false;
        }
        anyThere = anyThere || platform::StampOf(from + name).exists;
    }
    if (!anyThere) {
        return false;
    }
    std::vector<FileWrite> writes;
    for (const std::string& name : ProgramFiles::OwnNames()) {
        platform::FileBytes read = platform::ReadBytes(from + name);
        if (!read.bytes) {
            continue;
        }
        const bool settings = name == SettingsFile;
        writes.push_back(
            {to + name, std::move(*read.bytes),
             settings ? platform::NewFileMode::OwnerOnly : platform::NewFileMode::Shared,
             platform::ExistingFileMode::Keep, "Cannot create file " + ShownPath(to + name)});
    }
    if (writes.empty()) {
        return false;
    }
    try {
        CommitFiles(to, writes);
    } catch (const ESaveError& failed) {
        error = failed.what();
        return false;
    }
    return true;
}

} // namespace

Storage ChooseStorage(const std::string& programFolder, const std::string& dataFolder,
                      bool installedCopy, const std::string& chosenFolder) {
    if (!chosenFolder.empty()) {
        Storage storage{Storage::Chosen, WithSeparator(chosenFolder), {}, {}, {}};
        if (!platform::CreateOwnerOnlyFolder(storage.folder)) {
            storage.error = "Cannot create the folder " + storage.folder + " for your client book";
        } else if (!platform::IsPrivateFolder(storage.folder) && !dataFolder.empty() &&
                   platform::CreateOwnerOnlyFolder(WithSeparator(dataFolder)) &&
                   platform::IsPrivateFolder(WithSeparator(dataFolder))) {
            storage.privateFolder = WithSeparator(dataFolder);
        }
        return storage;
    }
    // A copy the Windows installer put in the user's programs folder may write there, but the
    // uninstaller removes that folder: the installer marks it so that the book lives elsewhere.
    // The mark can only send the files to the user's own data folder, never anywhere else.
    const std::unique_ptr<platform::Folder> program = platform::Folder::Open(programFolder);
    if (program && program->Look(InstalledMark).kind == platform::Entry::Regular) {
        installedCopy = true;
    }
    // A folder others may write is no place for files the program acts on at start-up.
    if (!installedCopy && platform::MayCreateFilesIn(programFolder) &&
        platform::IsPrivateFolder(programFolder)) {
        return {Storage::Portable, programFolder, {}, {}, {}};
    }
    Storage storage{Storage::Installed, WithSeparator(dataFolder), {}, {}, {}};
    if (!platform::CreateOwnerOnlyFolder(storage.folder)) {
        storage.error = "Cannot create the folder " + storage.folder + " for your client book";
    } else if (CarryOver(programFolder, storage.folder, storage.error)) {
        storage.carriedFrom = programFolder;
    }
    return storage;
}

Storage ChooseStorage(const std::string& dataFolder, bool installedCopy,
                      const std::string& chosenFolder) {
    return ChooseStorage(platform::ProgramFolder(), dataFolder, installedCopy, chosenFolder);
}

void UseStorage(const Storage& storage) {
    ChosenStorage() = storage;
}

const Storage& CurrentStorage() {
    if (!ChosenStorage()) {
        ChosenStorage() = Storage{Storage::Portable, platform::ProgramFolder(), {}, {}, {}};
    }
    return *ChosenStorage();
}

BookRows BookOnDisk::Views() const {
    return {platform::SplitLineViews(BytesOf(names)), platform::SplitLineViews(BytesOf(ids))};
}

bool BookOnDisk::SameLists(const BookOnDisk& other) const {
    const auto same = [](const ListFile& a, const ListFile& b) {
        return a.bytes == b.bytes || BytesOf(a) == BytesOf(b);
    };
    return same(names, other.names) && same(ids, other.ids);
}

std::vector<std::string> BookOnDisk::BinEntries() const {
    return BinLines(BytesOf(bin));
}

std::vector<std::string> BookOnDisk::QueuedEdits() const {
    return QueueLines(BytesOf(queue));
}

std::vector<std::string> BookOnDisk::NoteLines() const {
    return ClientNotes::FromBytes(BytesOf(notes)).Lines();
}

ProgramFiles::ProgramFiles(std::string folder)
    : folder_(std::move(folder)), names_(Separated(folder_, NamesFile)),
      ids_(Separated(folder_, IdsFile)), settings_(folder_ + SettingsFile),
      batch_(Separated(folder_, "vncviewer.bat")), bin_(folder_ + BinFile),
      queue_(folder_ + QueueFile), notes_(folder_ + NotesFile) {}

ProgramFiles ProgramFiles::OfThisProgram() {
    // A test points the program at a folder of its own through its executable's path.
    if (ChosenStorage() && ChosenStorage()->mode != Storage::Portable) {
        ProgramFiles files(ChosenStorage()->folder);
        if (!ChosenStorage()->privateFolder.empty()) {
            files.privateFolder_ = ChosenStorage()->privateFolder;
            files.batch_ = Separated(files.privateFolder_, "vncviewer.bat");
        }
        return files;
    }
    return ProgramFiles(platform::ProgramFolder());
}

std::vector<std::string> ProgramFiles::OwnNames() {
    return {NamesFile, IdsFile, SettingsFile, BinFile, QueueFile, NotesFile};
}

std::string ProgramFiles::CleanUpAtStart() const {
    const std::vector<std::string> leftAlone = RecoverCommits(folder_, OwnNames());
    platform::RemoveFile(batch_);
    // One that an earlier version left in a folder others may write holds a password too; only
    // the user's own regular file is removed, never through a link.
    if (!privateFolder_.empty()) {
        if (const auto book = platform::Folder::Open(folder_)) {
            const platform::Entry left = book->Look("vncviewer.bat");
            if (left.kind == platform::Entry::Regular && left.ours) {
                book->Remove("vncviewer.bat");
            }
        }
    }
    return leftAlone.empty() ? std::string() : LeftAloneRecordNotice(leftAlone);
}

bool ProgramFiles::HasNotes() const {
    return platform::StampOf(notes_).exists;
}

ListFile ProgramFiles::LoadNotes() const {
    return LoadListFile(notes_);
}

BookOnDisk ProgramFiles::LoadBook(bool withNotes) const {
    BookOnDisk book;
    book.names = LoadListFile(names_);
    book.ids = LoadListFile(ids_);
    book.settingsStamp = platform::StampOf(settings_);
    book.settings = SettingsReader(settings_).Values();
    book.bin = LoadListFile(bin_);
    book.queue = LoadListFile(queue_);
    if (withNotes) {
        book.notes = LoadListFile(notes_);
    } else {
        book.notes.path = notes_;
    }
    return book;
}

std::optional<BookOnDisk> ProgramFiles::ChangedSince(const BookOnDisk& base) const {
    const auto listChanged = [](const ListFile& list) {
        return list.state != ListFile::Unreadable && platform::StampOf(list.path) != list.stamp;
    };
    const bool settingsChanged = platform::StampOf(settings_) != base.settingsStamp;
    if (!listChanged(base.names) && !listChanged(base.ids) && !listChanged(base.bin) &&
        !listChanged(base.queue) && !listChanged(base.notes) && !settingsChanged) {
        return std::nullopt;
    }
    BookOnDisk now;
    now.settings = base.settings;
    now.settingsStamp = base.settingsStamp;
    // A list whose stamp is the same is not read again, only its bytes are taken over.
    const auto reread = [&listChanged](ListFile& list, const ListFile& before) {
        if (!listChanged(before)) {
            list = before;
            return;
        }
        list.path = before.path;
        list.state = before.state;
        list.reason = before.reason;
        platform::FileBytes read = platform::ReadBytes(list.path);
        // A list that vanished or cannot be read says nothing of what the other copy wants:
        // it is not taken for an empty book.
        if (read.bytes) {
            list.state = ListFile::Read;
            list.bytes = std::make_shared<const std::string>(std::move(*read.bytes));
            list.stamp = read.stamp;
        } else {
            list.bytes = before.bytes;
            list.stamp = before.stamp;
        }
    };
    reread(now.names, base.names);
    reread(now.ids, base.ids);
    reread(now.bin, base.bin);
    reread(now.queue, base.queue);
    reread(now.notes, base.notes);
    if (settingsChanged) {
        now.settingsStamp = platform::StampOf(settings_);
        now.settings = SettingsReader(settings_).Values();
    }
    return now;
}

MergeOutcome ProgramFiles::Merge(const BookOnDisk& base, const BookOnDisk& theirs,
                                 const BookRows& mine, const std::vector<std::string>& mySettings,
                                 const std::vector<std::string>* myBin,
                                 const std::vector<std::string>* myNotes) {
    MergeOutcome outcome;
    if (myBin && BytesOf(theirs.bin) != BytesOf(base.bin)) {
        outcome.bin = MergeBins(base.BinEntries(), *myBin, theirs.BinEntries());
    }
    if (myNotes && BytesOf(theirs.notes) != BytesOf(base.notes)) {
        outcome.notes = MergeNoteLines(base.NoteLines(), *myNotes, theirs.NoteLines());
    }
    BookMerge book;
    if (!theirs.SameLists(base)) {
        book = MergeBooks(base.Views(), mine, theirs.Views());
        outcome.bookChanged = book.book.names != mine.names || book.book.ids != mine.ids;
        outcome.book = std::move(book.book);
    } else {
        outcome.book = mine;
    }
    const SettingsMerge settings = MergeSettings(base.settings, mySettings, theirs.settings);
    outcome.settings = settings.values;
    outcome.summary = MergeSummary(book, settings);
    return outcome;
}

namespace {

std::string ViewerIn(const std::string& folder) {
    return folder + "Bin" + platform::PathSeparator() + "vncviewer.exe";
}

// Whether what the folder's Bin holds is the user's alone to change: nothing is run from a
// folder another account may write.
bool MayRunFrom(const std::string& folder) {
    return platform::IsPrivateFolder(folder) && platform::IsPrivateFolder(folder + "Bin") &&
           platform::IsPrivateFile(ViewerIn(folder));
}

} // namespace

std::string ProgramFiles::ViewerFolder() const {
    if (privateFolder_.empty() || MayRunFrom(folder_)) {
        return folder_;
    }
    const std::string program = platform::ProgramFolder();
    for (const std::string& other : {privateFolder_, program}) {
        if (platform::StampOf(ViewerIn(other)).exists && MayRunFrom(other)) {
            return other;
        }
    }
    if (platform::StampOf(ViewerIn(folder_)).exists) {
        throw Exception("The viewer in " + folder_ +
                        "Bin is not started: other users may change "
                        "that folder. Put vncviewer.exe in " +
                        privateFolder_ + "Bin instead");
    }
    return privateFolder_;
}

std::vector<std::string> ProgramFiles::WatchedPaths() const {
    std::vector<std::string> paths{folder_};
    for (const std::string& path : {names_, ids_, settings_}) {
        if (const auto real = platform::FollowOwnLinks(path)) {
            paths.push_back(platform::FolderOf(*real));
            paths.push_back(*real);
        }
    }
    return paths;
}

std::shared_ptr<void> ProgramFiles::MarkOpen(OpenBy& others) const {
    platform::LockOutcome outcome = platform::LockOutcome::NotALock;
    std::shared_ptr<platform::HeldLock> lock = platform::TakeLock(LockPath(), outcome);
    others = outcome == platform::LockOutcome::HeldByAnother ? OpenBy::Another
             : outcome == platform::LockOutcome::NotALock    ? OpenBy::NotALock
                                                             : OpenBy::Nobody;
    return lock;
}

bool ProgramFiles::HasViewerInBin() const {
    for (const std::string& folder : {folder_, privateFolder_, platform::ProgramFolder()}) {
        if (!folder.empty() && platform::StampOf(ViewerIn(folder)).exists) {
            return true;
        }
    }
    return false;
}

std::string ProgramFiles::WriteBatchFile(const std::vector<std::string>& lines) const {
    std::string bytes = platform::JoinLines(lines);
    if (!platform::CreateFreshFile(batch_, bytes)) {
        throw ESaveError("Cannot create file " + ShownPath(batch_), batch_);
    }
    return bytes;
}

std::unique_ptr<platform::StartedProgram>
ProgramFiles::StartBatchFile(const std::string& written) const {
    const std::string folder = ViewerFolder();
    const std::string bin = folder + "Bin";
    platform::ViewerProblem problem = platform::ViewerStartProblem(ViewerIn(folder));
    // In a book folder others may write, a viewer others could have put there is not run.
    if (problem == platform::ViewerProblem::None && !privateFolder_.empty() &&
        !MayRunFrom(folder)) {
        problem = platform::ViewerProblem::NotPrivate;
    }
    if (problem != platform::ViewerProblem::None) {
        // Nothing will read the batch file, and it holds the password.
        RemoveBatchFile();
    }
    switch (problem) {
    case platform::ViewerProblem::Missing:
        if (platform::HasSystemViewers() &&
            platform::FindTrustedProgram(SystemViewerName).empty()) {
            throw Exception(NoViewerMessage(bin));
        }
        throw Exception("No viewer was found in " + bin + ": put vncviewer.exe there");
    case platform::ViewerProblem::NeedsWine:
        throw Exception("The viewer in " + bin +
                        " is a Windows program, and wine, which would start it, is not "
                        "installed");
    case platform::ViewerProblem::NotPrivate:
        throw Exception("The viewer in " + bin +
                        " is not started: other users may change it or its folder");
    case platform::ViewerProblem::None:
        break;
    }
    return platform::StartBatchFileHidden(batch_, written);
}

void ProgramFiles::RemoveBatchFile() const {
    platform::RemoveFile(batch_);
}

SaveOutcome ProgramFiles::SaveBook(BookOnDisk& base, const Rows& names, const Rows& ids,
                                   const SettingsValues& settings, const TookIn& tookIn,
                                   const BookExtras& extras) const {
    // A commit of this user's that an earlier close could not finish goes first, so what
    // another copy changed is told from it.
    RecoverCommits(folder_, OwnNames());
    SaveOutcome outcome;
    SettingsValues values = settings;
    std::string nameBytes;
    std::string idBytes;
    std::optional<BookOnDisk> theirs = ChangedSince(base);
    // Each of the other files: this copy's lines, merged with another copy's when it changed
    // the file since base.
    const auto mergedLines = [&](const std::vector<std::string>* mine, ListFile BookOnDisk::*part,
                                 const auto& merge) {
        std::optional<std::vector<std::string>> lines;
        if (mine) {
            lines = *mine;
            if (theirs && BytesOf((*theirs).*part) != BytesOf(base.*part)) {
                lines = merge(base, *mine, *theirs);
            }
        }
        return lines;
    };
    const std::optional<std::vector<std::string>> binLines = mergedLines(
        extras.bin, &BookOnDisk::bin, [](const BookOnDisk& b, const auto& m, const BookOnDisk& t) {
            return MergeBins(b.BinEntries(), m, t.BinEntries());
        });
    const std::optional<std::vector<std::string>> queueLines =
        mergedLines(extras.queue, &BookOnDisk::queue,
                    [](const BookOnDisk& b, const auto& m, const BookOnDisk& t) {
                        return MergeLines(b.QueuedEdits(), m, t.QueuedEdits());
                    });
    const std::optional<std::vector<std::string>> noteLines =
        mergedLines(extras.notes, &BookOnDisk::notes,
                    [](const BookOnDisk& b, const auto& m, const BookOnDisk& t) {
                        return MergeNoteLines(b.NoteLines(), m, t.NoteLines());
                    });
    if (theirs) {
        // Straight from the files' bytes: a few changes merged into a large book cost little
        // more than writing it.
        BookMerge counts;
        if (!theirs->SameLists(base)) {
            ListFilesMerge files =
                MergeListFiles(BytesOf(base.names), BytesOf(base.ids), names, ids,
                               BytesOf(theirs->names), BytesOf(theirs->ids));
            nameBytes = std::move(files.names);
            idBytes = std::move(files.ids);
            counts.added = files.added;
            counts.removed = files.removed;
        } else {
            nameBytes = ListBytes(names);
            idBytes = ListBytes(ids);
        }
        const SettingsMerge taken = MergeSettings(base.settings, settings.List(), theirs->settings);
        values = SettingsValues(taken.values);
        outcome.merged = MergeSummary(counts, taken);
    } else {
        nameBytes = ListBytes(names);
        idBytes = ListBytes(ids);
    }

    std::vector<FileWrite> writes;
    std::vector<ListFile*> written;
    const auto addList = [&](ListFile& list, std::string bytes) {
        if (list.state == ListFile::Unreadable) {
            outcome.leftAlone.push_back(LeftAloneNotice(list));
            return;
        }
        writes.push_back({list.path, std::move(bytes), platform::NewFileMode::Shared,
                          platform::ExistingFileMode::Keep,
                          "Cannot create file " + ShownPath(list.path)});
        written.push_back(&list);
    };
    addList(base.names, std::move(nameBytes));
    addList(base.ids, std::move(idBytes));
    // The bin and the waiting edits: a file once it holds something; one that could not be
    // read is left alone. Each one written is, once committed, what the next merge starts from.
    struct LinesFile {
        ListFile& file;
        const std::string& path;
        const std::optional<std::vector<std::string>>& lines;
        ListFile BookOnDisk::*part;
        bool written = false;
    };
    LinesFile linesFiles[] = {{base.bin, bin_, binLines, &BookOnDisk::bin},
                              {base.queue, queue_, queueLines, &BookOnDisk::queue},
                              {base.notes, notes_, noteLines, &BookOnDisk::notes}};
    for (LinesFile& lines : linesFiles) {
        lines.written = lines.lines && lines.file.state != ListFile::Unreadable &&
                        (!lines.lines->empty() || !BytesOf(lines.file).empty() ||
                         (theirs && !BytesOf((*theirs).*lines.part).empty()));
        if (lines.written) {
            writes.push_back({lines.path, platform::JoinLines(*lines.lines),
                              platform::NewFileMode::Shared, platform::ExistingFileMode::Keep,
                              "Cannot create file " + ShownPath(lines.path)});
        }
    }

    // Our own settings writer hands its text to the commit; the system's functions write
    // their file themselves, after the lists, as the close always did.
    platform::ProfileFile profile(settings_);
    std::optional<std::string> settingsBytes;
    if (!platform::ProfileFile::WritesThrough()) {
        WriteSettings(profile, values);
        settingsBytes = profile.TakePendingBytes();
    }
    if (settingsBytes) {
        // It may hold the password: owner-only, and tightened if it was not.
        writes.push_back({settings_, std::move(*settingsBytes), platform::NewFileMode::OwnerOnly,
                          platform::ExistingFileMode::Tighten, "Unable to write to " + settings_});
    }
    if (!writes.empty()) {
        try {
            CommitFiles(folder_, writes);
        } catch (const ESaveError&) {
            if (theirs && tookIn) {
                // The lists stand in the commit in the book's order, names first; one that
                // could not be read is not in it and stays as the window has it.
                size_t at = 0;
                const auto merged = [&](const ListFile& list, const Rows& mine) {
                    return list.state == ListFile::Unreadable
                               ? mine
                               : Rows(std::make_shared<const std::string>(
                                     std::move(writes[at++].bytes)));
                };
                Rows mergedNames = merged(base.names, names);
                Rows mergedIds = merged(base.ids, ids);
                base = std::move(*theirs);
                tookIn(std::move(mergedNames), std::move(mergedIds), values.List(),
                       binLines ? *binLines : std::vector<std::string>(),
                       noteLines ? *noteLines : std::vector<std::string>());
            }
            throw;
        }
    }
    if (platform::ProfileFile::WritesThrough()) {
        WriteSettings(profile, values);
    }
    if (!profile.Flush()) {
        throw ESaveError("Unable to write to " + settings_, settings_);
    }
    // What stands in the files now is where the next merge starts from.
    for (size_t i = 0; i < written.size(); ++i) {
        written[i]->state = ListFile::Read;
        written[i]->bytes = std::make_shared<const std::string>(std::move(writes[i].bytes));
        written[i]->stamp = platform::StampOf(written[i]->path);
    }
    for (const LinesFile& lines : linesFiles) {
        if (lines.written) {
            lines.file.path = lines.path;
            lines.file.state = ListFile::Read;
            lines.file.bytes =
                std::make_shared<const std::string>(platform::JoinLines(*lines.lines));
            lines.file.stamp = platform::StampOf(lines.path);
        } else if (theirs) {
            lines.file = (*theirs).*lines.part;
        }
    }
    base.settings = values.List();
    base.settingsStamp = platform::StampOf(settings_);
    return outcome;
}

} // namespace core
