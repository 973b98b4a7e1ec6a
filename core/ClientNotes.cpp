#include "core/ClientNotes.h"

#include "core/EscapedText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <map>

namespace core {

namespace {

constexpr char Tab = '\t';
constexpr char KeySeparator = '\t';

bool Control(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

bool Clean(std::string_view field) {
    return std::none_of(field.begin(), field.end(), Control);
}

// Text cut to at most limit bytes, never inside a character.
void CutAt(std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return;
    }
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

} // namespace

std::vector<std::string> CleanTags(std::string_view typed) {
    std::vector<std::string> tags;
    std::vector<std::string> seen;
    size_t start = 0;
    while (start <= typed.size() && tags.size() < MaxTags) {
        size_t comma = typed.find(',', start);
        if (comma == std::string_view::npos) {
            comma = typed.size();
        }
        std::string tag;
        bool blank = false;
        for (const char c : typed.substr(start, comma - start)) {
            if (c == ' ' || Control(c)) {
                blank = !tag.empty();
                continue;
            }
            if (blank) {
                tag += '-';
                blank = false;
            }
            tag += c;
        }
        CutAt(tag, MaxTagBytes);
        if (!tag.empty() && std::find(seen.begin(), seen.end(), Lower(tag)) == seen.end()) {
            seen.push_back(Lower(tag));
            tags.push_back(std::move(tag));
        }
        start = comma + 1;
    }
    return tags;
}

std::string JoinTags(const std::vector<std::string>& tags) {
    std::string joined;
    for (const std::string& tag : tags) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += tag;
    }
    return joined;
}

std::string CleanNote(std::string_view typed) {
    std::string note;
    note.reserve(std::min(typed.size(), MaxNoteBytes));
    for (size_t i = 0; i < typed.size(); ++i) {
        const char c = typed[i];
        if (c == '\r') {
            note += '\n';
            if (i + 1 < typed.size() && typed[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n' || c == '\t' || !Control(c)) {
            note += c;
        }
        if (note.size() > MaxNoteBytes) {
            break;
        }
    }
    CutAt(note, MaxNoteBytes);
    return note;
}

std::string TagsField(const std::vector<std::string>& tags) {
    std::string field;
    for (const std::string& tag : tags) {
        if (!field.empty()) {
            field += ',';
        }
        field += tag;
    }
    return field;
}

std::string NotesLine(const Client& client, const ClientExtra& extra) {
    return client.name + Tab + client.id + Tab + TagsField(extra.tags) + Tab +
           EscapeField(extra.note);
}

std::optional<std::pair<Client, ClientExtra>> ParseNotesLine(std::string_view line) {
    constexpr size_t Fields = 4;
    std::string_view fields[Fields];
    size_t count = 0;
    for (size_t start = 0;;) {
        const size_t tab = line.find(Tab, start);
        if (count == Fields) {
            return std::nullopt;
        }
        fields[count++] = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    if (count != Fields || !std::all_of(std::begin(fields), std::end(fields), Clean)) {
        return std::nullopt;
    }
    std::optional<std::string> note = UnescapeField(fields[3]);
    if (!note || note->size() > MaxNoteBytes || fields[2].size() > MaxTags * (MaxTagBytes + 1)) {
        return std::nullopt;
    }
    ClientExtra extra;
    extra.note = std::move(*note);
    if (!fields[2].empty()) {
        extra.tags = CleanTags(fields[2]);
        // Tags are written as they were cleaned: one that is not so was not written by us.
        if (TagsField(extra.tags) != fields[2]) {
            return std::nullopt;
        }
    }
    if (extra.Empty() || (fields[0].empty() && fields[1].empty())) {
        return std::nullopt;
    }
    return std::pair(Client{std::string(fields[0]), std::string(fields[1])}, std::move(extra));
}

std::string ClientNotes::Key(std::string_view name, std::string_view id) {
    std::string key;
    key.reserve(name.size() + id.size() + 1);
    key.append(name);
    key += KeySeparator;
    key.append(id);
    return key;
}

Client ClientNotes::FromKey(const std::string& key) {
    const size_t at = key.find(KeySeparator);
    return {key.substr(0, at), key.substr(at + 1)};
}

ClientNotes ClientNotes::FromBytes(std::string_view bytes) {
    ClientNotes notes;
    for (const std::string_view line : platform::SplitLineViews(bytes)) {
        if (notes.byClient_.size() == MaxNotedClients) {
            break;
        }
        if (auto entry = ParseNotesLine(line)) {
            notes.byClient_[Key(entry->first.name, entry->first.id)] = std::move(entry->second);
        }
    }
    return notes;
}

ClientNotes ClientNotes::FromLines(const std::vector<std::string>& lines) {
    ClientNotes notes;
    for (const std::string& line : lines) {
        if (notes.byClient_.size() == MaxNotedClients) {
            break;
        }
        if (auto entry = ParseNotesLine(line)) {
            notes.byClient_[Key(entry->first.name, entry->first.id)] = std::move(entry->second);
        }
    }
    return notes;
}

std::vector<std::string> ClientNotes::Lines() const {
    std::vector<const std::pair<const std::string, ClientExtra>*> entries;
    entries.reserve(byClient_.size());
    for (const auto& entry : byClient_) {
        entries.push_back(&entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    for (const auto* entry : entries) {
        lines.push_back(NotesLine(FromKey(entry->first), entry->second));
    }
    return lines;
}

const ClientExtra* ClientNotes::Find(const Client& client) const {
    return Find(client.name, client.id);
}

const ClientExtra* ClientNotes::Find(std::string_view name, std::string_view id) const {
    if (byClient_.empty()) {
        return nullptr;
    }
    const auto found = byClient_.find(Key(name, id));
    return found == byClient_.end() ? nullptr : &found->second;
}

void ClientNotes::Set(const Client& client, ClientExtra extra) {
    if (extra.Empty()) {
        byClient_.erase(Key(client.name, client.id));
    } else {
        byClient_[Key(client.name, client.id)] = std::move(extra);
    }
}

void ClientNotes::KeepOnly(const std::function<bool(const Client&)>& keep) {
    for (auto entry = byClient_.begin(); entry != byClient_.end();) {
        entry = keep(FromKey(entry->first)) ? std::next(entry) : byClient_.erase(entry);
    }
}

std::vector<std::pair<std::string, size_t>> ClientNotes::TagsInUse() const {
    // Tags that differ only in case are one tag, shown as first met.
    std::map<std::string, std::pair<std::string, size_t>> byLower;
    for (const auto& [key, extra] : byClient_) {
        for (const std::string& tag : extra.tags) {
            auto& use = byLower[Lower(tag)];
            if (use.first.empty()) {
                use.first = tag;
            }
            ++use.second;
        }
    }
    std::vector<std::pair<std::string, size_t>> tags;
    tags.reserve(byLower.size());
    for (auto& [lower, use] : byLower) {
        tags.push_back(std::move(use));
    }
    std::stable_sort(tags.begin(), tags.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return tags;
}

void ClientNotes::ForEach(
    const std::function<void(const Client&, const ClientExtra&)>& each) const {
    for (const auto& [key, extra] : byClient_) {
        each(FromKey(key), extra);
    }
}

ClientExtra MergeExtra(const ClientExtra& base, const ClientExtra& mine,
                       const ClientExtra& theirs) {
    ClientExtra result = mine;
    if (mine.tags == base.tags) {
        result.tags = theirs.tags;
    }
    if (mine.note == base.note) {
        result.note = theirs.note;
    }
    return result;
}

ClientNotes MergeNotes(const ClientNotes& base, const ClientNotes& mine,
                       const ClientNotes& theirs) {
    ClientNotes merged = mine;
    static const ClientExtra None;
    const auto take = [&](const Client& client) {
        const ClientExtra* was = base.Find(client);
        const ClientExtra* here = mine.Find(client);
        const ClientExtra* there = theirs.Find(client);
        const ClientExtra& b = was ? *was : None;
        const ClientExtra& m = here ? *here : None;
        const ClientExtra& t = there ? *there : None;
        merged.Set(client, MergeExtra(b, m, t));
    };
    // Only where they changed anything: a client theirs has now, or had at base.
    theirs.ForEach([&](const Client& client, const ClientExtra&) { take(client); });
    base.ForEach([&](const Client& client, const ClientExtra&) {
        if (!theirs.Find(client)) {
            take(client);
        }
    });
    return merged;
}

std::vector<std::string> MergeNoteLines(const std::vector<std::string>& base,
                                        const std::vector<std::string>& mine,
                                        const std::vector<std::string>& theirs) {
    return MergeNotes(ClientNotes::FromLines(base), ClientNotes::FromLines(mine),
                      ClientNotes::FromLines(theirs))
        .Lines();
}

} // namespace core
