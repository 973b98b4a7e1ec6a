#include "core/SharedQueue.h"

#include "core/EscapedText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace core {

namespace {

constexpr char Tab = '\t';
constexpr size_t Fields = 7;
// A change of tags and note has them before and after, too.
constexpr size_t NoteFields = Fields + 4;
constexpr std::string_view Kinds[] = {"add", "remove", "move", "edit", "note"};

bool Clean(std::string_view field) {
    return std::none_of(field.begin(), field.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

template <class N> bool Number(std::string_view text, N& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Tags and a note from their two fields, checked as the notes file's are.
std::optional<ClientExtra> ExtraOf(const Client& client, std::string_view tags,
                                   std::string_view note) {
    if (tags.empty() && note.empty()) {
        return ClientExtra();
    }
    std::string line = client.name;
    for (const std::string_view field : {std::string_view(client.id), tags, note}) {
        line += Tab;
        line += field;
    }
    std::optional<std::pair<Client, ClientExtra>> parsed = ParseNotesLine(line);
    if (!parsed) {
        return std::nullopt;
    }
    return std::move(parsed->second);
}

} // namespace

std::string QueueLine(const QueuedEdit& edit) {
    std::string line(Kinds[static_cast<size_t>(edit.kind)]);
    for (const std::string& field : {std::to_string(edit.seen), std::to_string(edit.step),
                                     edit.was.name, edit.was.id, edit.now.name, edit.now.id}) {
        line += Tab;
        line += field;
    }
    if (edit.kind == QueuedEdit::Kind::Note) {
        for (const ClientExtra* extra : {&edit.wasExtra, &edit.nowExtra}) {
            line += Tab;
            line += TagsField(extra->tags);
            line += Tab;
            line += EscapeField(extra->note);
        }
    }
    return line;
}

std::optional<QueuedEdit> ParseQueueLine(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find(Tab, start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos || fields.size() > NoteFields) {
            break;
        }
        start = tab + 1;
    }
    QueuedEdit edit;
    const auto kind = std::find(std::begin(Kinds), std::end(Kinds), fields[0]);
    if (kind == std::end(Kinds)) {
        return std::nullopt;
    }
    edit.kind = static_cast<QueuedEdit::Kind>(kind - std::begin(Kinds));
    if (fields.size() != (edit.kind == QueuedEdit::Kind::Note ? NoteFields : Fields) ||
        !std::all_of(fields.begin(), fields.end(), Clean) || !Number(fields[1], edit.seen) ||
        !Number(fields[2], edit.step) || edit.seen < 0 || edit.step < -1 || edit.step > 1) {
        return std::nullopt;
    }
    edit.was = {std::string(fields[3]), std::string(fields[4])};
    edit.now = {std::string(fields[5]), std::string(fields[6])};
    if (edit.kind == QueuedEdit::Kind::Note) {
        std::optional<ClientExtra> was = ExtraOf(edit.was, fields[7], fields[8]);
        std::optional<ClientExtra> now = ExtraOf(edit.was, fields[9], fields[10]);
        if (!was || !now || *was == *now || edit.now != edit.was) {
            return std::nullopt;
        }
        edit.wasExtra = std::move(*was);
        edit.nowExtra = std::move(*now);
    }
    // Each kind names the client it needs: an add the new one, the others the one there was.
    const bool hasWas = !edit.was.name.empty() || !edit.was.id.empty();
    const bool hasNow = !edit.now.name.empty() || !edit.now.id.empty();
    switch (edit.kind) {
    case QueuedEdit::Kind::Add:
        return hasNow ? std::optional(edit) : std::nullopt;
    case QueuedEdit::Kind::Remove:
        return hasWas ? std::optional(edit) : std::nullopt;
    case QueuedEdit::Kind::Move:
        return hasWas && edit.step != 0 ? std::optional(edit) : std::nullopt;
    case QueuedEdit::Kind::Edit:
    case QueuedEdit::Kind::Note:
        return hasWas && hasNow ? std::optional(edit) : std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string> QueueLines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const std::string_view line : platform::SplitLineViews(bytes)) {
        if (lines.size() == MaxQueuedEdits) {
            break;
        }
        if (ParseQueueLine(line)) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::vector<std::string> MergeLines(const std::vector<std::string>& base,
                                    const std::vector<std::string>& mine,
                                    const std::vector<std::string>& theirs) {
    const std::multiset<std::string_view> was(base.begin(), base.end());
    std::multiset<std::string_view> there(theirs.begin(), theirs.end());
    std::multiset<std::string_view> here(mine.begin(), mine.end());
    std::vector<std::string> merged;
    // A line stays where both still have it or where it is new on this side; a line is kept as
    // often as it stands (two identical edits in a row are two edits).
    std::multiset<std::string_view> seenMine;
    for (const std::string& line : mine) {
        const size_t nth = seenMine.count(line);
        seenMine.insert(line);
        if (nth < was.count(line) && there.count(line) <= nth) {
            continue;
        }
        merged.push_back(line);
    }
    std::multiset<std::string_view> seenTheirs;
    for (const std::string& line : theirs) {
        const size_t nth = seenTheirs.count(line);
        seenTheirs.insert(line);
        if (nth >= was.count(line) && nth >= here.count(line)) {
            merged.push_back(line);
        }
    }
    return merged;
}

} // namespace core
