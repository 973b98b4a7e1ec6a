// A libFuzzer target for the book's own files that anybody who may write its folder can write:
// the notes file and the session log. Any bytes are read without a fault; notes read come back
// the same through their lines, and a session read never ends before it started.
#include "core/ClientNotes.h"
#include "core/SessionLog.h"
#include "platform/TextLines.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const core::ClientNotes notes = core::ClientNotes::FromBytes(bytes);
    const std::vector<std::string> lines = notes.Lines();
    if (core::ClientNotes::FromLines(lines).Lines() != lines) {
        __builtin_trap();
    }
    (void)notes.TagsInUse();
    for (const core::Session& session : core::ReadSessions(bytes)) {
        if (!session.end.empty() && core::DurationSeconds(session) < 0) {
            __builtin_trap();
        }
    }
    return 0;
}
