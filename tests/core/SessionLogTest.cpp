// The session log: its lines, hostile and cut ones left out, and appends that a kill, a link or
// a FIFO cannot turn into a made-up session or a blocked program.
#include "core/SessionLog.h"
#include "platform/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

core::Session Started(const char* id, const char* start, const char* name) {
    core::Session session;
    session.id = id;
    session.start = start;
    session.technician = "anna";
    session.client = {name, "204518"};
    return session;
}

constexpr const char* A = "0123456789abcdef";
constexpr const char* B = "fedcba9876543210";

} // namespace

TEST(SessionLog, SessionsAreReadFromTheirLinesAndNothingIsMadeUp) {
    const std::string log =
        core::SessionStartLine(Started(A, "2026-12-10T09:00:00Z", "Baker & Sons")) + "\r\n" +
        core::SessionStartLine(Started(B, "2026-12-10T09:05:00Z", "Carol Ltd")) + "\r\n" +
        core::SessionEndLine(A, "2026-12-10T09:12:34Z", core::Session::Ended::Ok, "") + "\r\n" +
        core::SessionNoteLine(A, "2026-12-10T10:00:00Z", "Printer\tdriver\nbilled 1h") + "\r\n" +
        core::SessionNoteLine(A, "2026-12-10T10:01:00Z", "Printer driver, billed 15 min") + "\r\n";
    const std::vector<core::Session> sessions = core::ReadSessions(log);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].client.name, "Baker & Sons");
    EXPECT_EQ(sessions[0].how, core::Session::Ended::Ok);
    EXPECT_EQ(core::DurationSeconds(sessions[0]), 754);
    // The last note stands.
    EXPECT_EQ(sessions[0].note, "Printer driver, billed 15 min");
    // Never ended: unknown, with no end and no duration.
    EXPECT_EQ(sessions[1].how, core::Session::Ended::Unknown);
    EXPECT_EQ(sessions[1].end, "");
    EXPECT_EQ(core::DurationSeconds(sessions[1]), -1);

    // An error keeps the viewer's line, its tab and line end included.
    const std::string failed =
        core::SessionStartLine(Started(A, "2026-12-10T09:00:00Z", "X")) + "\n" +
        core::SessionEndLine(A, "2026-12-10T09:00:03Z", core::Session::Ended::Error,
                             "Authentication failed\tfor \\ you\n") +
        "\n";
    const std::vector<core::Session> error = core::ReadSessions(failed);
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error[0].how, core::Session::Ended::Error);
    EXPECT_EQ(error[0].line, "Authentication failed\tfor \\ you\n");
}

TEST(SessionLog, HostileAndCutLinesAreLeftOut) {
    const std::string start = core::SessionStartLine(Started(A, "2026-12-10T09:00:00Z", "X"));
    const std::string end =
        core::SessionEndLine(A, "2026-12-10T09:10:00Z", core::Session::Ended::Ok, "");
    struct Row {
        const char* name;
        std::string log;
        size_t sessions;
        core::Session::Ended how;
    };
    using E = core::Session::Ended;
    for (const Row& row : {
             Row{"a cut last line is no end", start + "\n" + end, 1, E::Unknown},
             Row{"an end without its start", end + "\n", 0, E::Unknown},
             Row{"an end before the start",
                 start + "\n" + core::SessionEndLine(A, "2026-12-10T08:00:00Z", E::Ok, "") + "\n",
                 1, E::Unknown},
             Row{"a second end is left out",
                 start + "\n" + end + "\n" +
                     core::SessionEndLine(A, "2026-12-10T09:20:00Z", E::Error, "x") + "\n",
                 1, E::Ok},
             Row{"an end that claims it still runs",
                 start + "\nend\t" + A + "\t2026-12-10T09:10:00Z\trunning\t\n", 1, E::Unknown},
             Row{"a control byte", start + "\x1b\n", 0, E::Unknown},
             Row{"a field too many", start + "\textra\n", 0, E::Unknown},
             Row{"not an ID", "start\tXYZ\t2026-12-10T09:00:00Z\tanna\tX\t1\n", 0, E::Unknown},
             Row{"not a time", "start\t" + std::string(A) + "\tyesterday\tanna\tX\t1\n", 0,
                 E::Unknown},
             Row{"the 31st of February",
                 "start\t" + std::string(A) + "\t2026-02-31T09:00:00Z\tanna\tX\t1\n", 0,
                 E::Unknown},
             Row{"the same ID started twice", start + "\n" + start + "\n", 1, E::Unknown},
             Row{"an unknown escape", start + "\nnote\t" + A + "\t2026-12-10T09:10:00Z\t\\q\n", 1,
                 E::Unknown},
         }) {
        const std::vector<core::Session> sessions = core::ReadSessions(row.log);
        ASSERT_EQ(sessions.size(), row.sessions) << row.name;
        if (!sessions.empty()) {
            EXPECT_EQ(sessions[0].how, row.how) << row.name;
            EXPECT_EQ(sessions[0].note, "") << row.name;
        }
    }
}

// A session made for a shared book without its server waits for it until the server's number
// is written, and again after an end or a note written since. Nothing else hands it to a book.
TEST(SessionLog, ASessionWaitsForItsSharedBookUntilSentAndAgainAfterAnEndOrANote) {
    const std::string book = "postgresql://anna@db.example:5432/desk?sslmode=require";
    const std::string start =
        core::SessionStartLine(Started(A, "2026-12-10T09:00:00Z", "X")) + "\n";
    const std::string share = core::SessionShareLine(A, "2026-12-10T09:00:00Z", book) + "\n";
    const std::string end =
        core::SessionEndLine(A, "2026-12-10T09:10:00Z", core::Session::Ended::Ok, "") + "\n";
    const std::string note = core::SessionNoteLine(A, "2026-12-10T09:20:00Z", "billed") + "\n";
    const std::string sent = core::SessionSentLine(A, "2026-12-10T09:30:00Z", "42") + "\n";
    struct Row {
        const char* name;
        std::string log;
        bool forBook;
        bool waits;
        const char* number;
    };
    for (const Row& row : {
             Row{"a session of a book kept here", start + end, false, false, ""},
             Row{"made without the server", start + share, true, true, ""},
             Row{"ended since", start + share + end, true, true, ""},
             Row{"sent", start + share + end + sent, true, false, "42"},
             Row{"a note written after it was sent", start + share + end + sent + note, true, true,
                 "42"},
             Row{"sent again", start + share + end + sent + note + sent, true, false, "42"},
             Row{"handed to a book after its end", start + end + share, false, false, ""},
             Row{"a second book", start + share + share, true, true, ""},
             Row{"sent without a book", start + sent, false, false, ""},
             Row{"not a number", start + share + "sent\t" + A + "\t2026-12-10T09:30:00Z\t04x\n",
                 true, true, ""},
             Row{"a book of no name", start + "share\t" + A + "\t2026-12-10T09:00:00Z\t\n", false,
                 false, ""},
         }) {
        const std::vector<core::Session> sessions = core::ReadSessions(row.log);
        ASSERT_EQ(sessions.size(), 1u) << row.name;
        EXPECT_EQ(sessions[0].book, row.forBook ? book : "") << row.name;
        EXPECT_EQ(sessions[0].waits, row.waits) << row.name;
        EXPECT_EQ(sessions[0].sent, row.number) << row.name;
    }

    // What is kept of a log another account wrote hands nothing to a book; the rest stays.
    const std::string planted = start + share + end + sent;
    const std::string kept = core::WithoutShareLines(planted + "share\t" + B);
    EXPECT_EQ(kept, start + end + sent);
    const std::vector<core::Session> read = core::ReadSessions(kept);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].how, core::Session::Ended::Ok);
    EXPECT_FALSE(read[0].waits);
    EXPECT_EQ(read[0].book, "");
}

// A program killed while it appends leaves at most a cut line, which reads as none; the next
// line appended stands on its own. A link, a FIFO or a second name is never written.
TEST(SessionLog, AppendsSurviveAKillAndRefuseWhatIsNotThisUsersFile) {
    TempFolder dir("mbv-sessions");
    const std::string path = dir.File(core::SessionsFile);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0;; ++i) {
            core::Session session = Started(A, "2026-12-10T09:00:00Z", "Baker & Sons");
            session.id = core::NewSessionId();
            platform::AppendToOwnFile(path, core::SessionStartLine(session) + "\r\n");
        }
    }
    ::usleep(200000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    // What a kill in the middle of a write leaves: a line without its end.
    ASSERT_EQ(platform::AppendToOwnFile(path, "start\t0123"), platform::AppendOutcome::Appended);
    const size_t before = core::ReadSessions(*platform::ReadWholeFile(path)).size();
    EXPECT_GT(before, 0u);
    ASSERT_EQ(
        platform::AppendToOwnFile(
            path, core::SessionStartLine(Started(B, "2026-12-10T09:00:00Z", "Last")) + "\r\n"),
        platform::AppendOutcome::Appended);
    const std::vector<core::Session> after = core::ReadSessions(*platform::ReadWholeFile(path));
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.back().client.name, "Last");

    // A link to another file, a FIFO and a second name are left as they are.
    const std::string other = dir.File("other.txt");
    dir.Write("other.txt", "keep\n");
    const std::string link = dir.File("link.txt");
    std::filesystem::create_symlink(other, link);
    EXPECT_EQ(platform::AppendToOwnFile(link, "x\n"), platform::AppendOutcome::NotOurs);
    const std::string fifo = dir.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(platform::AppendToOwnFile(fifo, "x\n"), platform::AppendOutcome::NotOurs);
    const std::string second = dir.File("second.txt");
    std::filesystem::create_hard_link(other, second);
    EXPECT_EQ(platform::AppendToOwnFile(second, "x\n"), platform::AppendOutcome::NotOurs);
    EXPECT_EQ(dir.Read("other.txt"), "keep\n");
    // A set-ID file is not this program's to write.
    const std::string marked = dir.File("marked.txt");
    dir.Write("marked.txt", "");
    ASSERT_EQ(::chmod(marked.c_str(), 04644), 0);
    EXPECT_EQ(platform::AppendToOwnFile(marked, "x\n"), platform::AppendOutcome::NotOurs);
}
