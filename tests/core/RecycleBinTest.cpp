// The recycle bin of a book on this computer: its lines, what it keeps, two copies' bins merged,
// and its file in the close's commit under a kill.
#include "core/RecycleBin.h"
#include "core/ClientNotes.h"
#include "core/Commit.h"
#include "core/ProgramFiles.h"
#include "core/Settings.h"
#include "core/SharedQueue.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace {

using Lines = std::vector<std::string>;

// An entry removed at a minute of the day, of a client named and numbered alike.
std::string At(int minute, const char* client) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-10T09:%02d:00Z", minute);
    return core::BinLine({time, "anna", {client, "1"}, {}, {}});
}

} // namespace

TEST(RecycleBin, AnEntryIsOneLineAndOnlyAWellFormedLineIsOne) {
    const core::BinEntry entry{"2026-12-10T09:30:00Z",
                               "anna",
                               {"Baker & Sons", "204518"},
                               {"Alpha", "101"},
                               {"Carol Ltd", "303"}};
    const std::string line = core::BinLine(entry);
    EXPECT_EQ(line, "2026-12-10T09:30:00Z\tanna\tBaker & Sons\t204518\tAlpha\t101\tCarol Ltd\t303");
    EXPECT_EQ(core::ParseBinLine(line), entry);
    // First and last in the book: no neighbour on that side.
    const core::BinEntry alone{"2026-12-10T09:30:00Z", "", {"Solo", ""}, {}, {}};
    EXPECT_EQ(core::ParseBinLine(core::BinLine(alone)), alone);
    // A row of a list longer than the other: an ID without a name.
    const core::BinEntry idOnly{"2026-12-10T09:30:00Z", "anna", {"", "77"}, {}, {}};
    EXPECT_EQ(core::ParseBinLine(core::BinLine(idOnly)), idOnly);

    for (const char* refused : {
             "",
             "2026-12-10T09:30:00Z\tanna\tBaker\t1\t\t\t\t\t",   // a field too many
             "2026-12-10T09:30:00Z\tanna\tBaker\t1\t\t\t",       // one too few
             "2026-12-10 09:30:00\tanna\tBaker\t1\t\t\t\t",      // not the time's form
             "2026-12-10T09:30:00Z\tanna\t\t\t\t\t\t",           // no client at all
             "2026-12-10T09:30:00Z\tan\x1bna\tBaker\t1\t\t\t\t", // a control byte
             "2026-12-10T09:30:00Z\tanna\tBak\rer\t1\t\t\t\t",   // a carriage return
             "2026-12-10T09:30:00Z\tanna\tBaker\t1\t\t\t\t\x7f", // DEL
         }) {
        EXPECT_FALSE(core::ParseBinLine(refused)) << refused;
    }
    // The file's lines: what is no entry is left out, the rest kept in order.
    const std::string bytes = At(1, "A") + "\r\nnot an entry\r\n" + At(2, "B") + "\n" + At(3, "C");
    EXPECT_EQ(core::BinLines(bytes), (Lines{At(1, "A"), At(2, "B"), At(3, "C")}));
    EXPECT_EQ(core::BinBytes({At(1, "A"), At(2, "B")}), At(1, "A") + "\r\n" + At(2, "B") + "\r\n");
}

TEST(RecycleBin, KeepsWhatIsRecentAndAtMostItsLimitNewestKept) {
    EXPECT_EQ(core::KeepRecent({At(5, "E"), At(1, "A"), At(3, "C")}, "2026-12-10T09:03:00Z"),
              (Lines{At(3, "C"), At(5, "E")}));
    Lines many;
    for (size_t i = 0; i < core::MaxBinEntries + 5; ++i) {
        many.push_back(At(static_cast<int>(i % 60), ("c" + std::to_string(i)).c_str()));
    }
    const Lines kept = core::KeepRecent(many, "2000-01-01T00:00:00Z");
    ASSERT_EQ(kept.size(), core::MaxBinEntries);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return a.substr(0, 20) < b.substr(0, 20);
    }));
    // The oldest minute lost the most entries.
    EXPECT_EQ(
        std::count_if(kept.begin(), kept.end(),
                      [](const std::string& l) { return l.starts_with(At(0, "").substr(0, 20)); }),
        std::count_if(many.begin(), many.end(), [](const std::string& l) {
            return l.starts_with(At(0, "").substr(0, 20));
        }) - 5);
}

TEST(RecycleBin, TwoCopiesBinsMergeAsTheirBooksDo) {
    const std::string a = At(1, "A"), b = At(2, "B"), c = At(3, "C"), d = At(4, "D");
    struct Case {
        const char* name;
        Lines base, mine, theirs, merged;
    };
    for (const Case& row : {
             Case{"each removed another client", {a}, {a, b}, {a, c}, {a, b, c}},
             Case{"one put a client back, the other removed one", {a, b}, {a, b, c}, {b}, {b, c}},
             Case{"both put the same one back", {a, b}, {b}, {b}, {b}},
             Case{"the same removal on both sides counts once", {}, {d}, {d}, {d}},
             Case{"theirs expired, mine kept", {a, b}, {a, b}, {b}, {b}},
             Case{"nothing changed there", {a}, {a, d}, {a}, {a, d}},
             Case{"ordered by the time removed", {}, {d}, {a}, {a, d}},
         }) {
        EXPECT_EQ(core::MergeBins(row.base, row.mine, row.theirs), row.merged) << row.name;
    }
}

// The bin's file, the shared book's waiting edits and the clients' notes go with the lists in the
// close's one commit: a kill at any step leaves them all old or all new once the next start
// cleaned up, and nothing behind. A book nobody removed anything from gets no bin file, nor one
// without waiting edits a queue file, nor one without notes a notes file.
TEST(RecycleBin, AKilledCloseLeavesListsBinWaitingEditsAndNotesAllOldOrAllNew) {
    TempFolder dir("mbv-bin");
    const core::ProgramFiles files(dir.Folder());
    dir.Write("clientlist.txt", "Alpha\r\nBaker & Sons\r\n");
    dir.Write("clientIDlist.txt", "101\r\n204518\r\n");
    {
        core::BookOnDisk base = files.LoadBook();
        const Lines none;
        files.SaveBook(base, {"Alpha", "Baker & Sons"}, {"101", "204518"},
                       core::SettingsValues(base.settings), {}, {&none, &none, &none});
        EXPECT_FALSE(std::filesystem::exists(dir.File(core::BinFile)));
        EXPECT_FALSE(std::filesystem::exists(dir.File(core::QueueFile)));
        EXPECT_FALSE(std::filesystem::exists(dir.File(core::NotesFile)));
    }
    const std::string oldNote = core::NotesLine({"Alpha", "101"}, {{"vip"}, "Gate code 4711"});
    const std::string newNote =
        core::NotesLine({"Alpha", "101"}, {{"vip"}, "Gate code 4711\nAsk for Dana"});
    dir.Write(core::NotesFile, oldNote + "\r\n");
    const std::string old = At(1, "Old");
    dir.Write(core::BinFile, old + "\r\n");
    const std::string waiting =
        core::QueueLine({core::QueuedEdit::Kind::Add, 7, 0, {}, {"Carol Ltd", "303"}});
    const auto state = [&] {
        const std::string names = dir.Read("clientlist.txt");
        const std::string bin = dir.Read(core::BinFile);
        const std::string notes = dir.Read(core::NotesFile);
        const bool isOld = names == "Alpha\r\nBaker & Sons\r\n" && bin == old + "\r\n" &&
                           !std::filesystem::exists(dir.File(core::QueueFile)) &&
                           notes == oldNote + "\r\n";
        const bool isNew = names == "Alpha\r\n" && dir.Read("clientIDlist.txt") == "101\r\n" &&
                           bin == old + "\r\n" + At(2, "Baker & Sons") + "\r\n" &&
                           dir.Read(core::QueueFile) == waiting + "\r\n" &&
                           notes == newNote + "\r\n";
        return isOld ? "old" : isNew ? "new" : "mixed";
    };
    int seen = 0;
    for (int kill = 0;; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int step = 0;
            core::SetCommitStepHookForTesting([&](core::CommitStep) {
                if (step++ == kill) {
                    ::raise(SIGKILL);
                }
            });
            core::BookOnDisk base = files.LoadBook();
            const Lines bin{old, At(2, "Baker & Sons")};
            const Lines queue{waiting};
            const Lines notes{newNote};
            files.SaveBook(base, {"Alpha"}, {"101"}, core::SettingsValues(base.settings), {},
                           {&bin, &queue, &notes});
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        files.CleanUpAtStart();
        const std::string now = state();
        EXPECT_NE(now, "mixed") << "killed after step " << kill + 1;
        EXPECT_TRUE(platform::FolderEntries(dir.Folder(), ".mbv-").empty()) << kill;
        if (!WIFSIGNALED(status)) {
            EXPECT_EQ(now, "new");
            break;
        }
        seen += now == std::string("new");
        // Back to the old book for the next kill.
        core::CommitFiles(dir.Folder(),
                          {{dir.File("clientlist.txt"), "Alpha\r\nBaker & Sons\r\n",
                            platform::NewFileMode::Shared, platform::ExistingFileMode::Keep, "n"},
                           {dir.File("clientIDlist.txt"), "101\r\n204518\r\n",
                            platform::NewFileMode::Shared, platform::ExistingFileMode::Keep, "i"},
                           {dir.File(core::BinFile), old + "\r\n", platform::NewFileMode::Shared,
                            platform::ExistingFileMode::Keep, "b"},
                           {dir.File(core::NotesFile), oldNote + "\r\n",
                            platform::NewFileMode::Shared, platform::ExistingFileMode::Keep, "o"}});
        std::filesystem::remove(dir.File(core::QueueFile));
    }
    // Some kills came after the commit point and were rolled forward.
    EXPECT_GT(seen, 0);
}
