#include "ListFile.h"

#include "Exception.h"
#include "Files.h"
#include "TextLines.h"

namespace listfile {

std::vector<std::string> Load(const std::string& path) {
    const auto bytes = platform::ReadWholeFile(path);
    if (!bytes) {
        throw EFOpenError("Cannot open file " + path);
    }
    return platform::SplitLines(*bytes);
}

void Save(const std::string& path, const std::vector<std::string>& rows,
          platform::NewFileMode newMode, platform::ExistingFileMode existingMode) {
    if (!platform::WriteFileAtomically(path, platform::JoinLines(rows), newMode, existingMode)) {
        throw EFCreateError("Cannot create file " + path);
    }
}

} // namespace listfile
