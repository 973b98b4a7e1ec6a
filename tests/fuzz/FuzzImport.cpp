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
        for (size_t field = 0; field < source.idFields.size(); ++field) {
            const core::ImportPreview preview = core::Preview(source, field, {"42"}, 9);
            if (preview.added + preview.inBook + preview.skipped != source.Rows()) {
                __builtin_trap();
            }
        }
    } catch (const Exception&) {
        // Refused with a reason: what bad input gets.
    }
    return 0;
}
