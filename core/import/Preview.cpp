#include "core/Import.h"

#include "base/Exception.h"
#include "core/DisplayText.h"
#include "core/import/ImportText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace core {

using namespace importing;

namespace {

uint64_t Hash(std::string_view text) {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

} // namespace

std::string_view ImportPreview::Id(size_t row) const {
    const std::string_view value = source->Value(row, field);
    const std::optional<std::string_view> id = RepeaterId(value);
    return id ? *id : TrimmedView(value);
}

std::string ImportPreview::ReasonText(size_t row) const {
    switch (entries[row].reason) {
    case None:
        return {};
    case NotVnc:
        return "not a VNC connection";
    case NoRepeater:
        return "connects without a repeater";
    case NotRepeaterId:
        return "its server is not a repeater ID";
    case NoId:
        return "no ID";
    case NotDigits:
        return "the ID holds more than digits";
    case TooLong:
        return "the ID is longer than " + std::to_string(maxIdLength) + " digits";
    case NoName:
        return "no name";
    case IdInBook:
        return "the ID is in your book (" + BookClient(row, false) + ")";
    case IdAbove:
        return "the same ID as a row above";
    case SameNameOtherId:
        return "same name, other ID (" + BookClient(row, true) + ")";
    }
    return {};
}

std::string ImportPreview::BookClient(size_t row, bool withId) const {
    const Client client = book->At(entries[row].other);
    // As the window shows them, whatever bytes the book holds.
    std::string named = DisplayUtf8(client.name, 60);
    if (withId) {
        named += ' ' + DisplayUtf8(client.id, 20);
    }
    return named;
}

ImportPreview Preview(const ImportSource& source, size_t field, const Book& book,
                      size_t maxIdLength) {
    return Preview(source, field, book, maxIdLength, source.defaultNameField);
}

ImportPreview Preview(const ImportSource& source, size_t field, const Book& bookClients,
                      size_t maxIdLength, size_t nameField) {
    const std::vector<std::string>& bookIds = bookClients.ids;
    ImportPreview preview;
    preview.source = &source;
    preview.book = &bookClients;
    preview.field = field;
    preview.nameField = nameField;
    preview.maxIdLength = maxIdLength;
    preview.entries.resize(source.Rows());
    // Rows that may be taken, by their ID's hash: equal IDs meet when sorted.
    std::vector<std::pair<uint64_t, uint32_t>> candidates;
    for (size_t row = 0; row < source.Rows(); ++row) {
        ImportPreview::Entry& entry = preview.entries[row];
        const std::string_view value =
            field < source.idFields.size() ? TrimmedView(source.Value(row, field)) : "";
        const std::optional<std::string_view> id = RepeaterId(value);
        static constexpr ImportPreview::Reason unusableReason[] = {
            ImportPreview::None, ImportPreview::NotVnc, ImportPreview::NoRepeater,
            ImportPreview::NotRepeaterId};
        if (source.unusable[row] != Unusable::No) {
            entry.reason = unusableReason[static_cast<size_t>(source.unusable[row])];
        } else if (value.empty()) {
            entry.reason = ImportPreview::NoId;
        } else if (!id) {
            entry.reason = ImportPreview::NotDigits;
        } else if (id->size() > maxIdLength) {
            entry.reason = ImportPreview::TooLong;
        } else if (preview.Name(row).empty()) {
            entry.reason = ImportPreview::NoName;
        } else {
            candidates.emplace_back(Hash(*id), static_cast<uint32_t>(row));
            continue;
        }
        entry.status = ImportPreview::Skipped;
    }
    std::vector<std::pair<uint64_t, size_t>> book;
    book.reserve(bookIds.size());
    for (size_t i = 0; i < bookIds.size(); ++i) {
        book.emplace_back(Hash(bookIds[i]), i);
    }
    std::sort(book.begin(), book.end());
    std::sort(candidates.begin(), candidates.end());
    for (size_t first = 0; first < candidates.size();) {
        size_t end = first;
        while (end < candidates.size() && candidates[end].first == candidates[first].first) {
            ++end;
        }
        auto inBook = std::lower_bound(book.begin(), book.end(),
                                       std::pair<uint64_t, size_t>(candidates[first].first, 0));
        for (size_t i = first; i < end; ++i) {
            const uint32_t row = candidates[i].second;
            const std::string_view id = preview.Id(row);
            ImportPreview::Entry& entry = preview.entries[row];
            for (auto b = inBook; b != book.end() && b->first == candidates[i].first; ++b) {
                if (bookIds[b->second] == id) {
                    entry = {ImportPreview::InBook, ImportPreview::IdInBook,
                             static_cast<uint32_t>(b->second)};
                    break;
                }
            }
            // Rows of one hash are in the file's order: an earlier new one with the same ID
            // is the one taken.
            for (size_t k = first; k < i && entry.status == ImportPreview::New; ++k) {
                if (preview.entries[candidates[k].second].status == ImportPreview::New &&
                    preview.Id(candidates[k].second) == id) {
                    entry = {ImportPreview::InBook, ImportPreview::IdAbove, 0};
                }
            }
        }
        first = end;
    }
    // A new row whose name the book holds under another ID is most likely that client with a
    // changed or mistyped ID: it is marked, and left for the user to take.
    std::vector<std::pair<uint64_t, uint32_t>> names;
    names.reserve(bookClients.names.size());
    for (size_t i = 0; i < bookClients.names.size(); ++i) {
        names.emplace_back(Hash(TrimmedView(bookClients.names[i])), static_cast<uint32_t>(i));
    }
    std::sort(names.begin(), names.end());
    for (size_t row = 0; row < preview.entries.size(); ++row) {
        ImportPreview::Entry& entry = preview.entries[row];
        if (entry.status != ImportPreview::New || names.empty()) {
            continue;
        }
        const std::string_view name = preview.Name(row);
        const uint64_t hash = Hash(name);
        for (auto n = std::lower_bound(names.begin(), names.end(), std::pair(hash, uint32_t{0}));
             n != names.end() && n->first == hash; ++n) {
            if (TrimmedView(bookClients.names[n->second]) == name) {
                entry = {ImportPreview::New, ImportPreview::SameNameOtherId, n->second};
                break;
            }
        }
    }
    for (const ImportPreview::Entry& entry : preview.entries) {
        preview.added += entry.status == ImportPreview::New;
        preview.inBook += entry.status == ImportPreview::InBook;
        preview.skipped += entry.status == ImportPreview::Skipped;
    }
    return preview;
}

std::string PreviewCounts(const ImportPreview& preview) {
    return std::to_string(preview.added) + " new \xC2\xB7 " + std::to_string(preview.inBook) +
           " already in your book (same ID) \xC2\xB7 " + std::to_string(preview.skipped) +
           " without a usable ID (skipped)";
}

} // namespace core
