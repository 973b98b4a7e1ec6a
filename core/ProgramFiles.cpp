#include "core/ProgramFiles.h"

#include "core/Commit.h"
#include "core/Settings.h"
#include "platform/Files.h"
#include "platform/ProfileFile.h"
#include "platform/StartHidden.h"
#include "platform/TextLines.h"

#include <optional>

namespace core {
namespace {

std::string Separated(const std::string& folder, const char* name) {
    return folder + platform::PathSeparator() + name;
}

std::optional<Storage>& ChosenStorage() {
    static std::optional<Storage> storage;
    return storage;
}

} // namespace

Storage ChooseStorage(const std::string& programFolder, const std::string& dataFolder,
                      bool installedCopy) {
    if (!installedCopy && platform::MayCreateFilesIn(programFolder)) {
        return {Storage::Portable, programFolder, {}};
    }
    Storage storage{Storage::Installed, dataFolder, {}};
    if (storage.folder.empty() || storage.folder.back() != platform::PathSeparator()) {
        storage.folder += platform::PathSeparator();
    }
    if (!platform::CreateOwnerOnlyFolder(storage.folder)) {
        storage.error = "Cannot create the folder " + storage.folder + " for your client book";
    }
    return storage;
}

Storage ChooseStorage(const std::string& dataFolder, bool installedCopy) {
    return ChooseStorage(platform::ProgramFolder(), dataFolder, installedCopy);
}

void UseStorage(const Storage& storage) {
    ChosenStorage() = storage;
}

const Storage& CurrentStorage() {
    if (!ChosenStorage()) {
        ChosenStorage() = Storage{Storage::Portable, platform::ProgramFolder(), {}};
    }
    return *ChosenStorage();
}

ProgramFiles::ProgramFiles(std::string folder)
    : folder_(std::move(folder)), names_(Separated(folder_, "clientlist.txt")),
      ids_(Separated(folder_, "clientIDlist.txt")), settings_(folder_ + "myviewer.ini"),
      batch_(Separated(folder_, "vncviewer.bat")) {}

ProgramFiles ProgramFiles::OfThisProgram() {
    // A test points the program at a folder of its own through its executable's path.
    if (ChosenStorage() && ChosenStorage()->mode == Storage::Installed) {
        return ProgramFiles(ChosenStorage()->folder);
    }
    return ProgramFiles(platform::ProgramFolder());
}

void ProgramFiles::CleanUpAtStart() const {
    RecoverCommits(folder_);
    platform::RemoveFile(batch_);
}

void ProgramFiles::WriteBatchFile(const std::vector<std::string>& lines) const {
    if (!platform::CreateFreshFile(batch_, platform::JoinLines(lines))) {
        throw ESaveError("Cannot create file " + batch_, batch_);
    }
}

void ProgramFiles::StartBatchFile() const {
    const std::string bin = folder_ + "Bin";
    switch (platform::ViewerStartProblem(bin + platform::PathSeparator() + "vncviewer.exe")) {
    case platform::ViewerProblem::Missing:
        throw Exception("No viewer was found in " + bin + ": put vncviewer.exe there");
    case platform::ViewerProblem::NeedsWine:
        throw Exception("The viewer in " + bin +
                        " is a Windows program, and wine, which would start it, is not "
                        "installed");
    case platform::ViewerProblem::None:
        break;
    }
    platform::StartBatchFileHidden(batch_);
}

void ProgramFiles::RemoveBatchFile() const {
    platform::RemoveFile(batch_);
}

std::vector<std::string> ProgramFiles::SaveBook(const ListFile& names,
                                                const std::vector<std::string>& nameRows,
                                                const ListFile& ids,
                                                const std::vector<std::string>& idRows,
                                                const SettingsValues& settings) const {
    std::vector<FileWrite> writes;
    std::vector<std::string> leftAlone;
    const auto addList = [&](const ListFile& list, const std::vector<std::string>& rows) {
        if (list.state == ListFile::Unreadable) {
            leftAlone.push_back(LeftAloneNotice(list));
            return;
        }
        writes.push_back({list.path, ListBytes(rows), platform::NewFileMode::Shared,
                          platform::ExistingFileMode::Keep, "Cannot create file " + list.path});
    };
    addList(names, nameRows);
    addList(ids, idRows);

    // Our own settings writer hands its text to the commit; the system's functions write
    // their file themselves, after the lists, as the close always did.
    platform::ProfileFile profile(settings_);
    std::optional<std::string> settingsBytes;
    if (!platform::ProfileFile::WritesThrough()) {
        WriteSettings(profile, settings);
        settingsBytes = profile.TakePendingBytes();
    }
    if (settingsBytes) {
        // It may hold the password: owner-only, and tightened if it was not.
        writes.push_back({settings_, std::move(*settingsBytes), platform::NewFileMode::OwnerOnly,
                          platform::ExistingFileMode::Tighten, "Unable to write to " + settings_});
    }
    if (!writes.empty()) {
        CommitFiles(folder_, writes);
    }
    if (platform::ProfileFile::WritesThrough()) {
        WriteSettings(profile, settings);
    }
    if (!profile.Flush()) {
        throw ESaveError("Unable to write to " + settings_, settings_);
    }
    return leftAlone;
}

} // namespace core
