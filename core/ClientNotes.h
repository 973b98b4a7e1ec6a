#pragma once

#include "core/Book.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// What a technician knows of a client beyond its name and ID: tags and a free-text note. They
// are kept in a file of their own beside the lists, committed with them, one line per client
// that has any, the client named by its name and ID as the lists hold them. The lists' files
// keep their bytes: a book without notes or tags has no such file.
namespace core {

inline constexpr const char* NotesFile = "clientnotes.txt";

// What one note, one tag and one client's tags may hold; more is cut (typed) or refused (read).
inline constexpr size_t MaxNoteBytes = 1 << 20;
inline constexpr size_t MaxTagBytes = 64;
inline constexpr size_t MaxTags = 64;
// The most clients with notes a file may hold.
inline constexpr size_t MaxNotedClients = 2'000'000;

struct ClientExtra {
    // In the order given, each once.
    std::vector<std::string> tags;
    // Lines end in LF; no other control character but the tab.
    std::string note;

    bool Empty() const { return tags.empty() && note.empty(); }
    bool operator==(const ClientExtra&) const = default;
};

// Tags as typed ("vip, key account,  vip"): each trimmed, its inner blanks one hyphen (a tag is
// one word to the filter: "key-account"), control characters and commas out; empty ones and
// repeats (without regard to case) dropped; cut at MaxTagBytes (on a character's boundary) and
// at MaxTags.
std::vector<std::string> CleanTags(std::string_view typed);
// Tags for the eye: "vip, key-account".
std::string JoinTags(const std::vector<std::string>& tags);
// Tags as one field of the notes file, the server's column and a CSV cell: "vip,key-account".
std::string TagsField(const std::vector<std::string>& tags);
// A note as typed: CR LF and CR become LF, control characters but LF and tab go; cut at
// MaxNoteBytes on a character's boundary.
std::string CleanNote(std::string_view typed);

// A client's line: name, ID, tags (joined by commas) and the note, separated by tabs; in the
// note a backslash, a tab and a line end are written \\, \t and \n.
std::string NotesLine(const Client& client, const ClientExtra& extra);
// A client and its extra from its line; nothing for a line that is not one (a field too many or
// too few, a control character, an unknown escape, a tag or note over its limit, nothing in it).
std::optional<std::pair<Client, ClientExtra>> ParseNotesLine(std::string_view line);

// Every client's tags and note, by client.
class ClientNotes {
public:
    // The lines of the file's bytes that are entries, at most MaxNotedClients; a client named
    // twice keeps its last line.
    static ClientNotes FromBytes(std::string_view bytes);
    static ClientNotes FromLines(const std::vector<std::string>& lines);
    // One line per client, ordered by name then ID, so the file changes only where a client's
    // did.
    std::vector<std::string> Lines() const;

    // nullptr for a client with neither tags nor a note.
    const ClientExtra* Find(const Client& client) const;
    const ClientExtra* Find(std::string_view name, std::string_view id) const;
    // Empty takes the client out.
    void Set(const Client& client, ClientExtra extra);
    // Only the clients keep holds.
    void KeepOnly(const std::function<bool(const Client&)>& keep);
    bool Empty() const { return byClient_.empty(); }
    size_t Count() const { return byClient_.size(); }
    // Every tag in use and how many clients have it, most used first, then by name.
    std::vector<std::pair<std::string, size_t>> TagsInUse() const;
    void ForEach(const std::function<void(const Client&, const ClientExtra&)>& each) const;
    bool operator==(const ClientNotes& other) const { return byClient_ == other.byClient_; }

private:
    static std::string Key(std::string_view name, std::string_view id);
    static Client FromKey(const std::string& key);
    std::unordered_map<std::string, ClientExtra> byClient_;
};

// Two copies' notes merged, base being what both read: for each client the tags and the note
// are each taken from the side that changed them; where both did, this copy's stand (it closes
// last).
ClientNotes MergeNotes(const ClientNotes& base, const ClientNotes& mine, const ClientNotes& theirs);
// One client's: mine where mine changed them from base, theirs elsewhere.
ClientExtra MergeExtra(const ClientExtra& base, const ClientExtra& mine, const ClientExtra& theirs);
std::vector<std::string> MergeNoteLines(const std::vector<std::string>& base,
                                        const std::vector<std::string>& mine,
                                        const std::vector<std::string>& theirs);

} // namespace core
