#pragma once

#include "core/Book.h"
#include "core/ClientNotes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The edits of a shared book made while its server could not be reached, in the order they were
// made, kept in a file of their own beside the lists (committed with this computer's copy of the
// book) until the server has them. An edit names its client by name and ID, as the lists show
// it: a restart without the server knows no more than that.
namespace core {

inline constexpr const char* QueueFile = "sharedqueue.txt";

// The most edits kept waiting.
inline constexpr size_t MaxQueuedEdits = 100000;

struct QueuedEdit {
    enum class Kind { Add, Remove, Move, Edit, Note };
    Kind kind = Kind::Add;
    // An add: the highest row of the server's the copy had seen (one added the same since by
    // somebody else stands once).
    int64_t seen = 0;
    // A move: a place up (-1) or down (+1).
    int step = 0;
    // The client as it was (removed, moved, edited) and as it is now (added, edited).
    Client was{};
    Client now{};
    // A change of a client's tags and note (was): them before and after. Made only where the
    // server still has them as they were before.
    ClientExtra wasExtra{};
    ClientExtra nowExtra{};
    bool operator==(const QueuedEdit&) const = default;
};

// An edit's line: its fields separated by tabs (no field of the book holds a tab or another
// control character; a note's are written as in the notes file).
std::string QueueLine(const QueuedEdit& edit);
// An edit from its line; nothing for a line that is not one.
std::optional<QueuedEdit> ParseQueueLine(std::string_view line);
// The lines of the file's bytes that are edits, at most MaxQueuedEdits, in order.
std::vector<std::string> QueueLines(std::string_view bytes);

// Two copies' lines merged, base being what both read: a line either copy took out (sent) is
// gone, one either added stays, once; mine first, in order, then theirs that are new.
std::vector<std::string> MergeLines(const std::vector<std::string>& base,
                                    const std::vector<std::string>& mine,
                                    const std::vector<std::string>& theirs);

} // namespace core
