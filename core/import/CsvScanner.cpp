#include "core/import/CsvScanner.h"

namespace core::importing {

char CsvSeparator(std::string_view text) {
    size_t commas = 0;
    size_t semicolons = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            break;
        } else if (!quoted) {
            commas += c == ',';
            semicolons += c == ';';
        }
    }
    return semicolons > commas ? ';' : ',';
}

} // namespace core::importing
