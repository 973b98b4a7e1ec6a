#include "base/Exception.h"
#include "core/Import.h"
#include "platform/Files.h"

// The export's file: the readers and the CSV itself stay free of any file system.
namespace core {

void WriteExportCsv(const std::string& file, const std::vector<std::string>& names,
                    const std::vector<std::string>& ids) {
    if (!platform::WriteFileAtomically(file, ExportCsv(names, ids),
                                       platform::NewFileMode::Shared)) {
        throw Exception("Cannot write " + file);
    }
}

} // namespace core
