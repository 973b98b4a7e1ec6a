// The clients' tags and notes: as typed, as their file's lines (hostile ones refused), and two
// copies' notes merged.
#include "core/ClientNotes.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;
using Tags = std::vector<std::string>;

} // namespace

TEST(ClientNotes, TagsAndNotesAreCleanedAsTyped) {
    struct Row {
        const char* typed;
        Tags tags;
    };
    for (const Row& row : {
             Row{"vip", {"vip"}},
             Row{" vip ,  key   account,,VIP, vip ", {"vip", "key-account"}},
             Row{"a\tb, c\x01", {"a-b", "c"}},
             Row{"", {}},
             Row{" , ,", {}},
             Row{"Bäckerei, bäckerei", {"Bäckerei"}},
         }) {
        EXPECT_EQ(core::CleanTags(row.typed), row.tags) << row.typed;
    }
    // Too long a tag is cut on a character's boundary; too many tags stop at the limit.
    const std::string longTag = std::string(core::MaxTagBytes - 1, 'x') + "\u00e9";
    EXPECT_EQ(core::CleanTags(longTag), Tags{std::string(core::MaxTagBytes - 1, 'x')});
    std::string many;
    for (size_t i = 0; i < core::MaxTags + 5; ++i) {
        many += "t" + std::to_string(i) + ",";
    }
    EXPECT_EQ(core::CleanTags(many).size(), core::MaxTags);
    EXPECT_EQ(core::JoinTags({"vip", "key-account"}), "vip, key-account");

    EXPECT_EQ(core::CleanNote("Gate\r\ncode\r4711\n\tend\x07\x1b"), "Gate\ncode\n4711\n\tend");
    const std::string huge(core::MaxNoteBytes + 10, 'n');
    EXPECT_EQ(core::CleanNote(huge).size(), core::MaxNoteBytes);
}

TEST(ClientNotes, AClientIsOneLineAndOnlyAWellFormedLineIsOne) {
    const core::Client client{"Baker & Sons", "204518"};
    const core::ClientExtra extra{{"vip", "key-account"}, "Gate code 4711\nBack\\slash\tand tab"};
    const std::string line = core::NotesLine(client, extra);
    EXPECT_EQ(line,
              "Baker & Sons\t204518\tvip,key-account\tGate code 4711\\nBack\\\\slash\\tand tab");
    const auto parsed = core::ParseNotesLine(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->first, client);
    EXPECT_EQ(parsed->second, extra);
    // Tags alone, a note alone, a row of a list longer than the other.
    for (const auto& [c, e] : {std::pair{core::Client{"A", "1"}, core::ClientExtra{{"x"}, ""}},
                               {core::Client{"A", "1"}, core::ClientExtra{{}, "n"}},
                               {core::Client{"", "77"}, core::ClientExtra{{}, "n"}}}) {
        EXPECT_EQ(core::ParseNotesLine(core::NotesLine(c, e)), std::pair(c, e));
    }

    for (const char* refused : {
             "",
             "A\t1\tvip",                 // a field too few
             "A\t1\tvip\tnote\textra",    // one too many
             "A\t1\t\t",                  // nothing but the client
             "\t\tvip\tnote",             // no client
             "A\t1\tvip\tbad \\q escape", // an escape we never write
             "A\t1\tvip\tends in \\",     // a cut escape
             "A\t1\tv ip\tnote",          // a tag as no cleaning leaves it
             "A\t1\tvip,VIP\tnote",       // the same tag twice
             "A\t1\t,vip\tnote",          // an empty tag
             "A\x1b\t1\tvip\tnote",       // a control byte
             "A\t1\tvip\tno\rte",         // a carriage return
             "A\t1\tvip\tnote\x7f",       // DEL
         }) {
        EXPECT_FALSE(core::ParseNotesLine(refused)) << refused;
    }
    const std::string tooLong = "A\t1\t\t" + std::string(core::MaxNoteBytes + 1, 'n');
    EXPECT_FALSE(core::ParseNotesLine(tooLong));

    // The file: lines that are none are left out; a client named twice keeps its last line; the
    // lines come back ordered by client.
    const std::string bytes = core::NotesLine({"B", "2"}, {{}, "first"}) + "\r\nnonsense\r\n" +
                              core::NotesLine({"A", "1"}, {{"x"}, ""}) + "\n" +
                              core::NotesLine({"B", "2"}, {{}, "second"});
    const core::ClientNotes notes = core::ClientNotes::FromBytes(bytes);
    EXPECT_EQ(notes.Count(), 2u);
    EXPECT_EQ(notes.Lines(), (Lines{core::NotesLine({"A", "1"}, {{"x"}, ""}),
                                    core::NotesLine({"B", "2"}, {{}, "second"})}));
}

TEST(ClientNotes, TagsInUseAreCountedMostUsedFirst) {
    core::ClientNotes notes;
    notes.Set({"A", "1"}, {{"vip", "berlin"}, ""});
    notes.Set({"B", "2"}, {{"VIP"}, ""});
    notes.Set({"C", "3"}, {{"berlin", "vip", "printer"}, "n"});
    using Use = std::vector<std::pair<std::string, size_t>>;
    EXPECT_EQ(notes.TagsInUse(), (Use{{"vip", 3}, {"berlin", 2}, {"printer", 1}}));
    notes.Set({"C", "3"}, {});
    EXPECT_EQ(notes.Count(), 2u);
    notes.KeepOnly([](const core::Client& client) { return client.name == "B"; });
    EXPECT_EQ(notes.TagsInUse(), (Use{{"VIP", 1}}));
}

// Two copies closing on one folder: each client's tags and note are taken from the side that
// changed them; where both did, the later close's stand.
TEST(ClientNotes, TwoCopiesNotesMergeByClientAndByPart) {
    const auto line = [](const char* name, Tags tags, const char* note) {
        return core::NotesLine({name, "1"}, {std::move(tags), note});
    };
    struct Case {
        const char* name;
        Lines base, mine, theirs, merged;
    };
    for (const Case& row : {
             Case{"different clients' notes",
                  {},
                  {line("A", {}, "mine")},
                  {line("B", {}, "theirs")},
                  {line("A", {}, "mine"), line("B", {}, "theirs")}},
             Case{"theirs changed, mine not",
                  {line("A", {"x"}, "old")},
                  {line("A", {"x"}, "old")},
                  {line("A", {"x"}, "new")},
                  {line("A", {"x"}, "new")}},
             Case{"tags here, note there",
                  {line("A", {"x"}, "old")},
                  {line("A", {"x", "vip"}, "old")},
                  {line("A", {"x"}, "new")},
                  {line("A", {"x", "vip"}, "new")}},
             Case{"both changed the note: mine stands",
                  {line("A", {}, "old")},
                  {line("A", {}, "mine")},
                  {line("A", {}, "theirs")},
                  {line("A", {}, "mine")}},
             Case{"they cleared it", {line("A", {}, "old")}, {line("A", {}, "old")}, {}, {}},
             Case{"they cleared it, I changed it",
                  {line("A", {}, "old")},
                  {line("A", {}, "mine")},
                  {},
                  {line("A", {}, "mine")}},
             Case{"I cleared it", {line("A", {}, "old")}, {}, {line("A", {}, "old")}, {}},
         }) {
        EXPECT_EQ(core::MergeNoteLines(row.base, row.mine, row.theirs), row.merged) << row.name;
    }
}
