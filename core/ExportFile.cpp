#include "base/Exception.h"
#include "core/Import.h"
#include "platform/Files.h"

// The export's file: the readers and the CSV itself stay free of any file system.
namespace core {

void WriteExportCsv(const std::string& file, const Book& book, const ClientNotes* notes) {
    if (!platform::WriteFileAtomically(file, ExportCsv(book, notes),
                                       platform::NewFileMode::Shared)) {
        throw Exception("Cannot write " + file);
    }
}

} // namespace core
