#include "core/Commit.h"

#include <cstdint>
#include <memory>
#include <set>

namespace core {
namespace {

std::function<void(CommitStep)> stepHook;

void Step(CommitStep step) {
    if (stepHook) {
        stepHook(step);
    }
}

constexpr std::string_view RecordHeader = "mbv-commit 1\n";

// FNV-1a: enough to tell a whole record from one the disk tore.
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

struct Entry {
    std::string temp;
    std::string target;
};

// A record: its header, a line "temp<TAB>target" per file, and an end line with the checksum
// of all before it.
std::string RecordBytes(const std::vector<Entry>& entries) {
    std::string body(RecordHeader);
    for (const Entry& entry : entries) {
        body.append(entry.temp).append("\t").append(entry.target).append("\n");
    }
    return body + EndLine(body);
}

// The entries of a record, and whether it is whole. A torn record still gives the entries of
// its whole lines, so their temporaries can go.
std::vector<Entry> ParseRecord(std::string_view bytes, bool& intact) {
    std::vector<Entry> entries;
    intact = false;
    if (bytes.substr(0, RecordHeader.size()) != RecordHeader) {
        return entries;
    }
    size_t at = RecordHeader.size();
    while (at < bytes.size()) {
        const size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view line = bytes.substr(at, end - at);
        if (line.substr(0, 4) == "end ") {
            intact = end + 1 == bytes.size() && bytes.substr(at) == EndLine(bytes.substr(0, at));
            break;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            break;
        }
        entries.push_back({std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))});
        at = end + 1;
    }
    return entries;
}

void SyncFolders(const std::vector<Entry>& entries) {
    std::set<std::string> folders;
    for (const Entry& entry : entries) {
        folders.insert(platform::FolderOf(entry.target));
    }
    for (const std::string& folder : folders) {
        platform::SyncFolder(folder);
    }
}

} // namespace

void SetCommitStepHookForTesting(std::function<void(CommitStep)> hook) {
    stepHook = std::move(hook);
}

void CommitFiles(const std::string& folder, const std::vector<FileWrite>& files) {
    std::vector<std::unique_ptr<platform::TempFile>> temps;
    std::vector<Entry> entries;
    for (const FileWrite& file : files) {
        const std::string target = platform::WriteTarget(file.path);
        std::unique_ptr<platform::TempFile> temp;
        if (!platform::MayWrite(target) ||
            !(temp = platform::TempFile::Create(platform::FolderOf(target))) ||
            !temp->Write(file.bytes) || !temp->Finish(file.newMode, file.existingMode, target)) {
            throw ESaveError(file.error, file.path);
        }
        entries.push_back({temp->Path(), target});
        temps.push_back(std::move(temp));
        Step(CommitStep::TempWritten);
    }

    // The commit point: once the whole record stands in the folder, the next start-up
    // finishes the commit should this process die. One cut short is torn and discarded.
    auto record = platform::TempFile::Create(folder, CommitPrefix);
    if (!record || !record->Write(RecordBytes(entries)) ||
        !record->Finish(platform::NewFileMode::OwnerOnly, platform::ExistingFileMode::Replace,
                        record->Path()) ||
        !platform::SyncFolder(folder)) {
        throw ESaveError(files.front().error, files.front().path);
    }
    Step(CommitStep::RecordWritten);

    for (size_t i = 0; i < temps.size(); ++i) {
        if (!temps[i]->MoveTo(entries[i].target)) {
            // Checked writable a moment ago, so hardly ever. The record goes with this
            // function, lest a later start-up carry these files over newer ones.
            throw ESaveError(files[i].error, files[i].path);
        }
        Step(CommitStep::FileReplaced);
    }
    SyncFolders(entries);
    Step(CommitStep::FoldersSynced);
    record.reset();
    Step(CommitStep::RecordRemoved);
}

void RecoverCommits(const std::string& folder) {
    // One look at the folder: records first, as rolling one forward uses up its temporaries.
    std::vector<std::string> records;
    std::vector<std::string> temps;
    for (std::string& name : platform::FolderEntries(folder, ".mbv-")) {
        if (name.rfind(CommitPrefix, 0) == 0) {
            records.push_back(folder + name);
        } else if (name.rfind(platform::TempPrefix, 0) == 0) {
            temps.push_back(folder + name);
        }
    }
    for (const std::string& path : records) {
        if (platform::IsHeldByRunningProgram(path)) {
            continue;
        }
        bool intact = false;
        const auto bytes = platform::ReadWholeFile(path);
        const std::vector<Entry> entries = ParseRecord(bytes.value_or(""), intact);
        for (const Entry& entry : entries) {
            // A temporary already renamed is gone: that file is done.
            if (intact) {
                platform::MoveOver(entry.temp, entry.target);
            } else {
                platform::RemoveFile(entry.temp);
            }
        }
        SyncFolders(entries);
        platform::RemoveFile(path);
        platform::SyncFolder(folder);
    }
    for (const std::string& path : temps) {
        if (!platform::IsHeldByRunningProgram(path)) {
            platform::RemoveFile(path);
        }
    }
}

} // namespace core
