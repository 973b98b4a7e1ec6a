#include "core/RecycleBin.h"

#include "platform/TextLines.h"

#include <algorithm>
#include <set>

namespace core {

namespace {

constexpr char Tab = '\t';
constexpr size_t Fields = 8;

bool Clean(std::string_view field) {
    return std::none_of(field.begin(), field.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// 2026-12-10T09:30:00Z and nothing else.
bool IsTime(std::string_view text) {
    static constexpr std::string_view Form = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != Form.size()) {
        return false;
    }
    for (size_t i = 0; i < Form.size(); ++i) {
        if (Form[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != Form[i]) {
            return false;
        }
    }
    return true;
}

std::string_view TimeOf(std::string_view line) {
    return line.substr(0, line.find(Tab));
}

} // namespace

std::string BinLine(const BinEntry& entry) {
    std::string line = entry.removedAt;
    for (const std::string* field :
         {&entry.removedBy, &entry.client.name, &entry.client.id, &entry.before.name,
          &entry.before.id, &entry.after.name, &entry.after.id}) {
        line += Tab;
        line += *field;
    }
    return line;
}

std::optional<BinEntry> ParseBinLine(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (fields.size() < Fields) {
        const size_t tab = line.find(Tab, start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
        if (fields.size() == Fields) {
            return std::nullopt;
        }
    }
    if (fields.size() != Fields || !IsTime(fields[0]) || (fields[2].empty() && fields[3].empty()) ||
        !std::all_of(fields.begin(), fields.end(), Clean)) {
        return std::nullopt;
    }
    const auto s = [&](size_t i) { return std::string(fields[i]); };
    return BinEntry{s(0), s(1), {s(2), s(3)}, {s(4), s(5)}, {s(6), s(7)}};
}

std::vector<std::string> BinLines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const std::string_view line : platform::SplitLineViews(bytes)) {
        if (ParseBinLine(line)) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::string BinBytes(const std::vector<std::string>& lines) {
    return platform::JoinLines(lines);
}

std::vector<std::string> KeepRecent(std::vector<std::string> lines, std::string_view cutoff) {
    std::erase_if(lines, [cutoff](const std::string& line) { return TimeOf(line) < cutoff; });
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return TimeOf(a) < TimeOf(b);
    });
    if (lines.size() > MaxBinEntries) {
        lines.erase(lines.begin(),
                    lines.begin() + static_cast<std::ptrdiff_t>(lines.size() - MaxBinEntries));
    }
    return lines;
}

std::vector<std::string> MergeBins(const std::vector<std::string>& base,
                                   const std::vector<std::string>& mine,
                                   const std::vector<std::string>& theirs) {
    // Entries as a set (each names its time, who, the client and its neighbours): kept when
    // both have it, or when the copy that has it added it.
    const std::set<std::string_view> was(base.begin(), base.end());
    const std::set<std::string_view> inMine(mine.begin(), mine.end());
    const std::set<std::string_view> inTheirs(theirs.begin(), theirs.end());
    std::set<std::string_view> taken;
    std::vector<std::string> merged;
    for (const std::string& line : mine) {
        if ((inTheirs.count(line) > 0 || was.count(line) == 0) && taken.insert(line).second) {
            merged.push_back(line);
        }
    }
    for (const std::string& line : theirs) {
        if (was.count(line) == 0 && inMine.count(line) == 0 && taken.insert(line).second) {
            merged.push_back(line);
        }
    }
    std::stable_sort(merged.begin(), merged.end(), [](const std::string& a, const std::string& b) {
        return TimeOf(a) < TimeOf(b);
    });
    return merged;
}

} // namespace core
