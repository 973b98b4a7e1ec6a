#include "core/SessionLog.h"

#include "core/DisplayText.h"
#include "core/EscapedText.h"
#include "core/Import.h"
#include "platform/Account.h"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <random>
#include <unordered_map>

namespace core {

namespace {

constexpr char Tab = '\t';
constexpr std::string_view Kinds[] = {"start", "end", "note", "share", "sent"};
constexpr std::string_view EndWords[] = {"running", "ok", "error", "unknown"};

bool Clean(std::string_view field) {
    return std::none_of(field.begin(), field.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

bool IsId(std::string_view id) {
    return id.size() == 16 && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string Escape(std::string_view text) {
    return EscapeField(text.substr(0, MaxSessionTextBytes));
}

bool Unescape(std::string_view field, std::string& to) {
    std::optional<std::string> text = UnescapeField(field);
    if (!text || text->size() > MaxSessionTextBytes) {
        return false;
    }
    to = std::move(*text);
    return true;
}

// The fields of a line, at most `most`; one more means too many.
size_t Split(std::string_view line, std::string_view* fields, size_t most) {
    size_t count = 0;
    for (size_t start = 0;;) {
        const size_t tab = line.find(Tab, start);
        if (count == most) {
            return most + 1;
        }
        fields[count++] = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        if (tab == std::string_view::npos) {
            return count;
        }
        start = tab + 1;
    }
}

// A line of the kind with its fields, each after a tab.
std::string FieldsLine(std::string_view kind, std::initializer_list<std::string_view> fields) {
    std::string line(kind);
    for (const std::string_view field : fields) {
        line += Tab;
        line += field;
    }
    return line;
}

// A server's session number: 1 to 18 digits, no leading zero.
bool IsNumber(std::string_view number) {
    return !number.empty() && number.size() <= 18 && number[0] != '0' &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string ThisAccount() {
    return platform::AccountName();
}

std::string NewSessionId() {
    static constexpr char Digits[] = "0123456789abcdef";
    std::random_device random;
    std::string id;
    for (int i = 0; i < 16; ++i) {
        id += Digits[random() % 16];
    }
    return id;
}

std::string SessionStartLine(const Session& session) {
    return FieldsLine(Kinds[0], {session.id, session.start, session.technician, session.client.name,
                                 session.client.id});
}

std::string SessionEndLine(std::string_view id, std::string_view end, Session::Ended how,
                           std::string_view text) {
    return FieldsLine(Kinds[1], {id, end, EndedWord(how), Escape(text)});
}

std::string SessionNoteLine(std::string_view id, std::string_view written, std::string_view note) {
    return FieldsLine(Kinds[2], {id, written, Escape(note)});
}

std::string SessionShareLine(std::string_view id, std::string_view written, std::string_view book) {
    return FieldsLine(Kinds[3], {id, written, Escape(book)});
}

std::string SessionSentLine(std::string_view id, std::string_view written,
                            std::string_view number) {
    return FieldsLine(Kinds[4], {id, written, number});
}

std::string WithoutShareLines(std::string_view bytes) {
    constexpr std::string_view ShareStart = "share\t";
    std::string kept;
    kept.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = std::min(bytes.find('\n', at), bytes.size() - 1) + 1;
        const std::string_view line = bytes.substr(at, end - at);
        if (!line.starts_with(ShareStart)) {
            kept += line;
        }
        at = end;
    }
    return kept;
}

int64_t LogSeconds(std::string_view time) {
    static constexpr std::string_view Form = "dddd-dd-ddTdd:dd:ddZ";
    if (time.size() != Form.size()) {
        return -1;
    }
    for (size_t i = 0; i < Form.size(); ++i) {
        if (Form[i] == 'd' ? (time[i] < '0' || time[i] > '9') : time[i] != Form[i]) {
            return -1;
        }
    }
    const auto number = [&](size_t at, size_t digits) {
        int value = 0;
        for (size_t i = 0; i < digits; ++i) {
            value = value * 10 + (time[at + i] - '0');
        }
        return value;
    };
    using namespace std::chrono;
    const year_month_day day{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                             std::chrono::day(static_cast<unsigned>(number(8, 2)))};
    const int hours = number(11, 2);
    const int minutes = number(14, 2);
    const int seconds = number(17, 2);
    if (!day.ok() || hours > 23 || minutes > 59 || seconds > 60) {
        return -1;
    }
    return sys_days(day).time_since_epoch().count() * 86400 + hours * 3600 + minutes * 60 + seconds;
}

std::string_view EndedWord(Session::Ended how) {
    return EndWords[static_cast<size_t>(how)];
}

std::vector<Session> ReadSessions(std::string_view bytes) {
    std::vector<Session> sessions;
    std::unordered_map<std::string_view, size_t> byId;
    std::vector<bool> ended;
    // About a hundred bytes a session's lines: no table grows step by step over a large log.
    sessions.reserve(bytes.size() / 100);
    byId.reserve(bytes.size() / 100);
    std::string text;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t lineEnd = bytes.find('\n', at);
        // A last line without its end was cut by a kill: it is no line.
        if (lineEnd == std::string_view::npos) {
            break;
        }
        std::string_view line = bytes.substr(at, lineEnd - at);
        at = lineEnd + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::string_view fields[6];
        const size_t count = Split(line, fields, 6);
        if (count < 4 || count > 6 || !IsId(fields[1]) || LogSeconds(fields[2]) < 0) {
            continue;
        }
        if (fields[0] == Kinds[0]) {
            if (count != 6 || !std::all_of(fields, fields + 6, Clean) || byId.count(fields[1])) {
                continue;
            }
            Session session;
            session.id = std::string(fields[1]);
            session.start = std::string(fields[2]);
            session.technician = std::string(fields[3]);
            session.client = {std::string(fields[4]), std::string(fields[5])};
            byId.emplace(fields[1], sessions.size());
            sessions.push_back(std::move(session));
            ended.push_back(false);
            continue;
        }
        const auto known = byId.find(fields[1]);
        if (known == byId.end() || !std::all_of(fields, fields + count, Clean)) {
            continue;
        }
        Session& session = sessions[known->second];
        if (fields[0] == Kinds[1]) {
            const auto word = std::find(std::begin(EndWords), std::end(EndWords), fields[3]);
            const auto how = static_cast<Session::Ended>(word - std::begin(EndWords));
            if (count != 5 || ended[known->second] || word == std::end(EndWords) ||
                (how != Session::Ended::Ok && how != Session::Ended::Error) ||
                fields[2] < std::string_view(session.start) || !Unescape(fields[4], text)) {
                continue;
            }
            ended[known->second] = true;
            session.end = std::string(fields[2]);
            session.how = how;
            session.line = text;
            session.waits = !session.book.empty();
        } else if (fields[0] == Kinds[2]) {
            if (count != 4 || !Unescape(fields[3], text)) {
                continue;
            }
            session.note = text;
            session.waits = !session.book.empty();
        } else if (fields[0] == Kinds[3]) {
            // Only beside its start: a session is never handed to a book afterwards.
            if (count != 4 || !session.book.empty() || session.how != Session::Ended::Unknown ||
                !session.note.empty() || !Unescape(fields[3], text) || text.empty()) {
                continue;
            }
            session.book = text;
            session.waits = true;
        } else if (fields[0] == Kinds[4]) {
            if (count != 4 || session.book.empty() || !IsNumber(fields[3])) {
                continue;
            }
            session.sent = std::string(fields[3]);
            session.waits = false;
        }
    }
    return sessions;
}

std::string SessionsCsvHeader() {
    return "start,end,client,id,technician,duration_seconds,ended,note\r\n";
}

std::string SessionCsvRow(const Session& session, std::string_view start, std::string_view end) {
    const int64_t seconds = DurationSeconds(session);
    std::string ended(EndedWord(session.how));
    if (session.how == Session::Ended::Error && !session.line.empty()) {
        ended += ": " + session.line;
    }
    const std::string note = OnOneLine(session.note);
    // As the window shows them (Windows-1252 where not UTF-8).
    const std::string name = DisplayUtf8(session.client.name);
    const std::string id = DisplayUtf8(session.client.id);
    const std::string technician = DisplayUtf8(session.technician);
    std::string row;
    for (const std::string_view cell :
         {start, end, std::string_view(name), std::string_view(id), std::string_view(technician)}) {
        row += CsvCell(cell);
        row += ',';
    }
    row += seconds < 0 ? std::string() : std::to_string(seconds);
    row += ',' + CsvCell(ended) + ',' + CsvCell(note) + "\r\n";
    return row;
}

int64_t DurationSeconds(const Session& session) {
    if (session.end.empty()) {
        return -1;
    }
    return LogSeconds(session.end) - LogSeconds(session.start);
}

} // namespace core
