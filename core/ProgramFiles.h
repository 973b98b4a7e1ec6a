#pragma once

#include "core/ListFile.h"

#include <string>
#include <vector>

namespace core {

class SettingsValues;

// Where the program keeps its files, chosen once at start-up.
struct Storage {
    enum Mode {
        Portable,  // beside the program: its folder may be written
        Installed, // in the user's own data folder: the program's folder may not be written
    };
    Mode mode = Portable;
    // The folder, ending in its separator.
    std::string folder;
    // Why the user's data folder could not be made, when it could not.
    std::string error;
};

// The program's folder when it may write there, otherwise the user's data folder (made, for
// the user alone, when missing). An installed copy always takes the data folder.
Storage ChooseStorage(const std::string& programFolder, const std::string& dataFolder,
                      bool installedCopy);

// The same for the running program's own folder.
Storage ChooseStorage(const std::string& dataFolder, bool installedCopy);

// Makes the choice the one the program's files follow from now on.
void UseStorage(const Storage& storage);
const Storage& CurrentStorage();

// The files the program keeps in its folder. The list and batch files' names are made with a
// separator of their own after the folder, which already ends in one: the doubled separator
// shows in error texts.
class ProgramFiles {
public:
    // folder ends in its separator.
    explicit ProgramFiles(std::string folder);
    // The folder the program keeps its files in: its own, unless start-up chose the user's
    // data folder.
    static ProgramFiles OfThisProgram();

    const std::string& Folder() const { return folder_; }
    const std::string& Names() const { return names_; }
    const std::string& Ids() const { return ids_; }
    const std::string& Settings() const { return settings_; }
    const std::string& Batch() const { return batch_; }

    // Before anything is read: finishes or discards a close that was cut off, removes the
    // temporary files no running copy of the program holds, and the batch file (it holds the
    // password) that a crash left behind.
    void CleanUpAtStart() const;

    // The batch file made anew with these lines, readable by its owner only; never written
    // through a link or into anything but a new regular file. "Cannot create file <path>".
    void WriteBatchFile(const std::vector<std::string>& lines) const;
    // Starts the batch file; an error naming the folder when there is no viewer in Bin, or
    // when it cannot be started (a Windows program and nothing here to run it).
    void StartBatchFile() const;
    void RemoveBatchFile() const;

    // The close: the two lists and the settings replaced as one commit (on Windows the
    // settings go through the system's functions after the lists). A list file that could not
    // be read at start-up is left as it is; the notices for those are returned. Throws
    // ESaveError naming the file that could not be written; nothing is replaced then.
    std::vector<std::string> SaveBook(const ListFile& names,
                                      const std::vector<std::string>& nameRows, const ListFile& ids,
                                      const std::vector<std::string>& idRows,
                                      const SettingsValues& settings) const;

private:
    std::string folder_;
    std::string names_;
    std::string ids_;
    std::string settings_;
    std::string batch_;
};

} // namespace core
