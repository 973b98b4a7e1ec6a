// The edits of a shared book waiting for its server: their lines, and two copies' queues merged.
#include "core/SharedQueue.h"

#include <gtest/gtest.h>

namespace {

using Kind = core::QueuedEdit::Kind;
using Lines = std::vector<std::string>;

} // namespace

TEST(SharedQueue, AnEditIsOneLineAndOnlyAWellFormedLineIsOne) {
    for (const core::QueuedEdit& edit : {
             core::QueuedEdit{Kind::Add, 42, 0, {}, {"Baker & Sons", "204518"}},
             core::QueuedEdit{Kind::Remove, 0, 0, {"Baker & Sons", "204518"}, {}},
             core::QueuedEdit{Kind::Move, 0, -1, {"Baker & Sons", "204518"}, {}},
             core::QueuedEdit{Kind::Edit, 0, 0, {"Baker", "1"}, {"Baker & Sons", "204518"}},
             core::QueuedEdit{Kind::Note,
                              0,
                              0,
                              {"Baker", "1"},
                              {"Baker", "1"},
                              {},
                              {{"vip", "key-account"}, "Gate code 4711\n\tAsk for Dana \\ desk"}},
             core::QueuedEdit{
                 Kind::Note, 0, 0, {"Baker", "1"}, {"Baker", "1"}, {{"vip"}, "old"}, {}},
         }) {
        EXPECT_EQ(core::ParseQueueLine(core::QueueLine(edit)), edit) << core::QueueLine(edit);
    }
    EXPECT_EQ(core::QueueLine({Kind::Edit, 0, 0, {"Baker", "1"}, {"Baker & Sons", "2"}}),
              "edit\t0\t0\tBaker\t1\tBaker & Sons\t2");
    // Tags and a note before and after, as the notes file writes them.
    EXPECT_EQ(core::QueueLine({Kind::Note,
                               0,
                               0,
                               {"Baker", "1"},
                               {"Baker", "1"},
                               {{"vip"}, ""},
                               {{"vip", "key-account"}, "a\tb\nc"}}),
              "note\t0\t0\tBaker\t1\tBaker\t1\tvip\t\tvip,key-account\ta\\tb\\nc");
    for (const char* refused : {
             "",
             "rename\t0\t0\tA\t1\tB\t2",              // no such edit
             "edit\t0\t0\tA\t1\tB",                   // a field too few
             "edit\t0\t0\tA\t1\tB\t2\t",              // one too many
             "add\t-1\t0\t\t\tA\t1",                  // a row number below zero
             "add\t1x\t0\t\t\tA\t1",                  // not a number
             "move\t0\t2\tA\t1\t\t",                  // more than a place
             "move\t0\t0\tA\t1\t\t",                  // no place at all
             "remove\t0\t0\t\t\t\t",                  // no client
             "add\t0\t0\tA\t1\t\t",                   // an add without the client added
             "edit\t0\t0\tA\x1b\t1\tB\t2",            // a control byte
             "note\t0\t0\tA\t1\tA\t1",                // no tags and note
             "note\t0\t0\tA\t1\tA\t1\t\t\t\t",        // nothing changed
             "note\t0\t0\tA\t1\tB\t1\t\t\tvip\t",     // another client
             "note\t0\t0\tA\t1\tA\t1\t\t\tvip\t\\q",  // an unknown escape
             "note\t0\t0\tA\t1\tA\t1\t\t\tvip,vip\t", // a tag twice
             "edit\t0\t0\tA\t1\tB\t2\tvip\t\t\t",     // tags on another kind
         }) {
        EXPECT_FALSE(core::ParseQueueLine(refused)) << refused;
    }
    EXPECT_EQ(core::QueueLines("add\t0\t0\t\t\tA\t1\r\njunk\r\nremove\t0\t0\tB\t2\t\t\n"),
              (Lines{"add\t0\t0\t\t\tA\t1", "remove\t0\t0\tB\t2\t\t"}));
}

TEST(SharedQueue, TwoCopiesQueuesMergeKeepingOrderAndLosingNothing) {
    struct Case {
        const char* name;
        Lines base, mine, theirs, merged;
    };
    for (const Case& row : {
             Case{"both added", {"a"}, {"a", "b"}, {"a", "c"}, {"a", "b", "c"}},
             Case{"mine sent one, theirs added", {"a", "b"}, {"b"}, {"a", "b", "c"}, {"b", "c"}},
             Case{"theirs sent one", {"a", "b"}, {"a", "b", "d"}, {"b"}, {"b", "d"}},
             Case{"the same line twice is two edits", {}, {"m", "m"}, {}, {"m", "m"}},
             Case{"one of two identical sent there", {"m", "m"}, {"m", "m"}, {"m"}, {"m"}},
             Case{"both added the same", {}, {"x"}, {"x"}, {"x"}},
         }) {
        EXPECT_EQ(core::MergeLines(row.base, row.mine, row.theirs), row.merged) << row.name;
    }
}
