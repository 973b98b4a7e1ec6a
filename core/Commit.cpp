#include "core/Commit.h"

#include "platform/Folder.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace core {
namespace {

std::function<void(CommitStep)> stepHook;

void Step(CommitStep step) {
    if (stepHook) {
        stepHook(step);
    }
}

// Records name files by their names in a folder, so a folder path with a tab or a line break
// cannot break them. The older record named whole paths; its own are still rolled forward.
constexpr std::string_view RecordHeader = "mbv-commit 2\n";
constexpr std::string_view PathRecordHeader = "mbv-commit 1\n";

// A record is a few hundred bytes; anything far larger is not one of ours.
constexpr size_t MaxRecordBytes = 64 * 1024;

// FNV-1a: enough to tell a whole record from one the disk tore. It proves nothing about who
// wrote it: the record's owner does.
uint64_t Checksum(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

std::string EndLine(std::string_view body) {
    return "end " + std::to_string(Checksum(body)) + "\n";
}

// One line of a record: the book's file and its temporary (names), or, in an older record,
// the temporary's and the target's paths.
struct Line {
    std::string first;
    std::string second;
};

struct Record {
    bool known = false; // a header of ours
    bool byName = false;
    bool intact = false;
    std::vector<Line> lines;
};

std::string RecordBytes(const std::vector<Line>& lines) {
    std::string body(RecordHeader);
    for (const Line& line : lines) {
        body.append(line.first).append("\t").append(line.second).append("\n");
    }
    return body + EndLine(body);
}

// A torn record still gives the lines it holds whole, so their temporaries can go.
Record ParseRecord(std::string_view bytes) {
    Record record;
    const std::string_view header = bytes.substr(0, RecordHeader.size());
    record.byName = header == RecordHeader;
    record.known = record.byName || header == PathRecordHeader;
    if (!record.known) {
        return record;
    }
    size_t at = RecordHeader.size();
    while (at < bytes.size()) {
        const size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view line = bytes.substr(at, end - at);
        if (line.substr(0, 4) == "end ") {
            record.intact =
                end + 1 == bytes.size() && bytes.substr(at) == EndLine(bytes.substr(0, at));
            break;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            break;
        }
        record.lines.push_back(
            {std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))});
        at = end + 1;
    }
    return record;
}

std::string NameOf(const std::string& path) {
    return path.substr(platform::FolderOf(path).size());
}

// The path with each run of separators made one, as the system reads it.
std::string Collapsed(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const bool separator = c == '/' || c == platform::PathSeparator();
        if (!(separator && !out.empty() && out.back() == platform::PathSeparator())) {
            out += separator ? platform::PathSeparator() : c;
        }
    }
    return out;
}

bool IsTempName(const std::string& name) {
    return platform::Folder::IsPlainName(name) && name.rfind(platform::TempPrefix, 0) == 0;
}

// Where the book's own file lands: in the folder, or where the user's own link leads. Worked
// out here, never taken from a record.
struct Target {
    std::string folder;
    std::string name;
};

std::optional<Target> TargetOf(const std::string& folder, const std::string& ownName) {
    const std::optional<std::string> real = platform::FollowOwnLinks(folder + ownName);
    if (!real) {
        return std::nullopt;
    }
    return Target{platform::FolderOf(*real), NameOf(*real)};
}

// The folders recovery works in, each opened once.
class Folders {
public:
    const platform::Folder* Get(const std::string& path) {
        auto found = open_.find(path);
        if (found == open_.end()) {
            found = open_.emplace(path, platform::Folder::Open(path)).first;
        }
        return found->second.get();
    }
    void SyncAll() const {
        for (const auto& [path, folder] : open_) {
            if (folder) {
                folder->Sync();
            }
        }
    }

private:
    std::map<std::string, std::unique_ptr<platform::Folder>> open_;
};

// One rename (or removal) a record asks for, checked against the rules.
struct Action {
    const platform::Folder* folder = nullptr;
    std::string temp;
    std::string target;
};

// Each of the book's own files and where it lands; one that is another user's link has no
// place and is never a target.
struct OwnFile {
    std::string name;
    std::optional<Target> target;
};

// The actions of a record, or nothing when any line breaks a rule.
std::optional<std::vector<Action>> Check(const Record& record, const std::string& folder,
                                         const std::vector<OwnFile>& ownFiles, Folders& folders) {
    std::vector<Action> actions;
    std::set<std::string> seen;
    for (const Line& line : record.lines) {
        std::optional<Target> target;
        std::string temp;
        for (const auto& [own, ownTarget] : ownFiles) {
            if (!ownTarget) {
                continue;
            }
            if (record.byName && line.first == own) {
                target = ownTarget;
                temp = line.second;
                break;
            }
            // An older record names paths: they must be exactly where this program puts its
            // own files and their temporaries.
            const std::string named = Collapsed(line.second);
            if (!record.byName && (named == Collapsed(ownTarget->folder + ownTarget->name) ||
                                   named == Collapsed(folder + own))) {
                if (Collapsed(platform::FolderOf(line.first)) != Collapsed(ownTarget->folder)) {
                    return std::nullopt;
                }
                target = ownTarget;
                temp = NameOf(line.first);
                break;
            }
        }
        if (!target || !IsTempName(temp) || !seen.insert(target->folder + target->name).second) {
            return std::nullopt;
        }
        const platform::Folder* where = folders.Get(target->folder);
        if (where == nullptr || !platform::Folder::IsPlainName(target->name)) {
            return std::nullopt;
        }
        const platform::Entry entry = where->Look(temp);
        if (entry.kind == platform::Entry::Missing) {
            continue; // renamed before the stop: that file is done
        }
        if (entry.kind != platform::Entry::Regular || !entry.ours) {
            return std::nullopt;
        }
        actions.push_back({where, temp, target->name});
    }
    return actions;
}

// Removes the temporaries of the folder that are the user's and that no running copy holds.
void RemoveStaleTemporaries(const platform::Folder& folder) {
    for (const std::string& name : folder.Names(platform::TempPrefix)) {
        const platform::Entry entry = folder.Look(name);
        if (entry.kind == platform::Entry::Regular && entry.ours && !folder.IsHeld(name)) {
            folder.Remove(name);
        }
    }
}

} // namespace

void SetCommitStepHookForTesting(std::function<void(CommitStep)> hook) {
    stepHook = std::move(hook);
}

void CommitFiles(const std::string& folder, const std::vector<FileWrite>& files) {
    std::vector<std::unique_ptr<platform::TempFile>> temps;
    std::vector<std::string> targets;
    std::vector<Line> lines;
    for (const FileWrite& file : files) {
        const std::optional<std::string> target = platform::WriteTarget(file.path);
        std::unique_ptr<platform::TempFile> temp;
        if (!target || !platform::MayWrite(*target) ||
            !(temp = platform::TempFile::Create(platform::FolderOf(*target))) ||
            !temp->Write(file.bytes) || !temp->Finish(file.newMode, file.existingMode, *target)) {
            throw ESaveError(file.error, file.path);
        }
        lines.push_back({NameOf(file.path), NameOf(temp->Path())});
        targets.push_back(*target);
        temps.push_back(std::move(temp));
        Step(CommitStep::TempWritten);
    }

    // The commit point: once the whole record stands in the folder, the next start-up
    // finishes the commit should this process die. One cut short is torn and discarded.
    auto record = platform::TempFile::Create(folder, CommitPrefix);
    if (!record || !record->Write(RecordBytes(lines)) ||
        !record->Finish(platform::NewFileMode::OwnerOnly, platform::ExistingFileMode::Replace,
                        record->Path()) ||
        !platform::SyncFolder(folder)) {
        throw ESaveError(files.front().error, files.front().path);
    }
    Step(CommitStep::RecordWritten);

    for (size_t i = 0; i < temps.size(); ++i) {
        if (!temps[i]->MoveTo(targets[i])) {
            // Past the commit point the files must all become new: the record and the
            // temporaries stay for the next close or start-up to finish.
            for (size_t j = i; j < temps.size(); ++j) {
                temps[j]->Keep();
            }
            record->Keep();
            throw ESaveError(files[i].error, files[i].path, true);
        }
        Step(CommitStep::FileReplaced);
    }
    std::set<std::string> synced;
    for (const std::string& target : targets) {
        if (synced.insert(platform::FolderOf(target)).second) {
            platform::SyncFolder(platform::FolderOf(target));
        }
    }
    Step(CommitStep::FoldersSynced);
    record.reset();
    Step(CommitStep::RecordRemoved);
}

std::vector<std::string> RecoverCommits(const std::string& folder,
                                        const std::vector<std::string>& ownNames) {
    std::vector<std::string> leftAlone;
    Folders folders;
    const platform::Folder* book = folders.Get(folder);
    if (book == nullptr) {
        return leftAlone;
    }
    std::vector<OwnFile> ownFiles;
    for (const std::string& own : ownNames) {
        ownFiles.push_back({own, TargetOf(book->Path(), own)});
    }
    for (const std::string& name : book->Names(CommitPrefix)) {
        if (book->IsHeld(name)) {
            continue;
        }
        const platform::Entry entry = book->Look(name);
        std::optional<std::string> bytes;
        if (entry.kind == platform::Entry::Regular && entry.ours && entry.size <= MaxRecordBytes) {
            bytes = book->ReadOwn(name, MaxRecordBytes);
        }
        const Record record = ParseRecord(bytes.value_or(""));
        const auto actions =
            record.known ? Check(record, book->Path(), ownFiles, folders) : std::nullopt;
        if (!actions) {
            leftAlone.push_back(book->Path() + name);
            continue;
        }
        for (const Action& action : *actions) {
            if (record.intact) {
                action.folder->Rename(action.temp, action.target);
            } else {
                action.folder->Remove(action.temp);
            }
        }
        folders.SyncAll();
        book->Remove(name);
        book->Sync();
    }
    // Temporaries beside the book's files, and beside the files the user's links lead to.
    RemoveStaleTemporaries(*book);
    for (const auto& [own, target] : ownFiles) {
        if (target && target->folder != book->Path()) {
            if (const platform::Folder* elsewhere = folders.Get(target->folder)) {
                RemoveStaleTemporaries(*elsewhere);
            }
        }
    }
    return leftAlone;
}

bool CommitInProgress(const std::string& folder) {
    const auto book = platform::Folder::Open(folder);
    if (!book) {
        return false;
    }
    for (const std::string& name : book->Names(CommitPrefix)) {
        if (book->IsHeld(name)) {
            return true;
        }
    }
    return false;
}

std::string LeftAloneRecordNotice(const std::vector<std::string>& paths) {
    std::string notice = "A file the program did not write was left alone: ";
    for (size_t i = 0; i < paths.size(); ++i) {
        notice += (i > 0 ? ", " : "") + paths[i];
    }
    return notice;
}

} // namespace core
