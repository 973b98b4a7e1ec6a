// A libFuzzer target for one of the import readers (READER, set by scripts/fuzz.sh): any bytes
// are either read or refused with a message; the preview of what was read never fails.
#include "base/Exception.h"
#include "core/Import.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const core::ImportSource source = core::READER(bytes);
        const core::Book book{{"a"}, {"42"}};
        for (size_t field = 0; field < source.idFields.size(); ++field) {
            // Every name field a file leaves open, against every ID field.
            const size_t names = source.nameChoice ? source.idFields.size() : 1;
            for (size_t name = 0; name < names; ++name) {
                const core::ImportPreview preview = core::Preview(source, field, book, 9, name);
                if (preview.added + preview.inBook + preview.skipped != source.Rows()) {
                    __builtin_trap();
                }
                for (size_t row = 0; row < source.Rows(); ++row) {
                    (void)preview.ReasonText(row);
                }
            }
        }
    } catch (const Exception&) {
        // Refused with a reason: what bad input gets.
    }
    return 0;
}
