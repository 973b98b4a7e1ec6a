#include "core/Rows.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace core {

namespace {

// Calls row(offset, length) for each row of a list file's bytes; whether every row ends with
// CR LF, as the program writes them.
template <class Row> bool EachRow(std::string_view text, Row&& row) {
    const char* const begin = text.data();
    const char* p = begin;
    const char* const end = p + text.size();
    bool crlf = true;
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') {
            ++q;
        }
        row(static_cast<size_t>(p - begin), static_cast<size_t>(q - p));
        if (q == end) {
            return false;
        }
        p = q + 1;
        if (*q == '\r' && p < end && *p == '\n') {
            ++p;
        } else {
            crlf = false;
        }
    }
    return crlf;
}

} // namespace

Rows::Rows(Bytes bytes) : bytes_(std::move(bytes)) {
    if (!bytes_) {
        return;
    }
    // CR LF and LF files have one LF per row: reserved once.
    rows_.reserve(static_cast<size_t>(std::count(bytes_->begin(), bytes_->end(), '\n')) + 1);
    asRead_ = EachRow(*bytes_, [this](size_t offset, size_t length) {
        if (length < (uint64_t{1} << LengthBits) && offset < (uint64_t{1} << OffsetBits)) {
            rows_.push_back(offset | (uint64_t{length} << OffsetBits));
        } else {
            rows_.push_back(Hold({nullptr, std::string_view(*bytes_).substr(offset, length)}));
        }
    });
}

Rows::Rows(const std::vector<std::string>& rows) {
    // Laid out as a file would hold them, so that many rows (a shared book's) cost what a
    // file's do; a row with a break in it is held apart.
    size_t size = 0;
    for (const std::string& row : rows) {
        size += row.size() + 2;
    }
    auto bytes = std::make_shared<std::string>();
    bytes->reserve(size);
    rows_.reserve(rows.size());
    for (const std::string& row : rows) {
        if (row.size() >= (uint64_t{1} << LengthBits) ||
            bytes->size() >= (uint64_t{1} << OffsetBits) ||
            row.find_first_of("\r\n") != std::string::npos) {
            rows_.push_back(Place(row));
            continue;
        }
        rows_.push_back(bytes->size() | (uint64_t{row.size()} << OffsetBits));
        bytes->append(row);
        bytes->append("\r\n");
    }
    bytes_ = std::move(bytes);
    asRead_ = apart_.empty();
}

Rows::Rows(std::initializer_list<std::string_view> rows) {
    for (const std::string_view row : rows) {
        rows_.push_back(Place(row));
    }
}

Rows::Rows(const Rows& other)
    : bytes_(other.bytes_), rows_(other.rows_), free_(other.free_), asRead_(other.asRead_) {
    apart_.reserve(other.apart_.size());
    for (const Held& held : other.apart_) {
        if (held.owned) {
            auto owned = std::make_unique<std::string>(*held.owned);
            const std::string_view text = *owned;
            apart_.push_back({std::move(owned), text});
        } else {
            apart_.push_back({nullptr, held.text});
        }
    }
}

Rows& Rows::operator=(const Rows& other) {
    if (this != &other) {
        Rows copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Rows::~Rows() = default;

std::string_view Rows::operator[](size_t row) const {
    const uint64_t entry = rows_[row];
    if (entry & Apart) {
        return apart_[entry & ~Apart].text;
    }
    return {bytes_->data() + (entry & ((uint64_t{1} << OffsetBits) - 1)),
            static_cast<size_t>(entry >> OffsetBits)};
}

uint64_t Rows::Hold(Held held) {
    if (!free_.empty()) {
        const uint64_t at = free_.back();
        free_.pop_back();
        apart_[at] = std::move(held);
        return at | Apart;
    }
    apart_.push_back(std::move(held));
    return (apart_.size() - 1) | Apart;
}

uint64_t Rows::Place(std::string_view row) {
    auto owned = std::make_unique<std::string>(row);
    const std::string_view text = *owned;
    return Hold({std::move(owned), text});
}

void Rows::Release(uint64_t entry) {
    if (entry & Apart) {
        const uint64_t at = entry & ~Apart;
        apart_[at] = {};
        free_.push_back(at);
    }
    if (rows_.empty()) {
        apart_.clear();
        free_.clear();
    }
}

void Rows::insert(size_t at, std::string_view row) {
    asRead_ = false;
    const uint64_t entry = Place(row);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), entry);
}

void Rows::erase(size_t at) {
    asRead_ = false;
    const uint64_t entry = rows_[at];
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
    Release(entry);
}

void Rows::truncate(size_t rows) {
    asRead_ = asRead_ && rows >= rows_.size();
    while (rows_.size() > rows) {
        const uint64_t entry = rows_.back();
        rows_.pop_back();
        Release(entry);
    }
}

void Rows::set(size_t at, std::string_view row) {
    asRead_ = false;
    const uint64_t entry = Place(row);
    Release(rows_[at]);
    rows_[at] = entry;
}

void Rows::append(const Rows& more) {
    asRead_ = false;
    rows_.reserve(rows_.size() + more.size());
    for (const std::string_view row : more) {
        rows_.push_back(Place(row));
    }
}

std::string Rows::Join() const {
    if (asRead_ && bytes_) {
        return *bytes_;
    }
    size_t size = 0;
    for (const uint64_t entry : rows_) {
        size += ((entry & Apart) ? apart_[entry & ~Apart].text.size()
                                 : static_cast<size_t>(entry >> OffsetBits)) +
                2;
    }
    std::string out;
    out.reserve(size);
    // Rows that still lie one after the other in the bytes, each with its CR LF, are copied in
    // one piece: an unchanged book is written back at the speed of a copy.
    const std::string_view source = bytes_ ? std::string_view(*bytes_) : std::string_view();
    constexpr uint64_t OffsetMask = (uint64_t{1} << OffsetBits) - 1;
    size_t i = 0;
    while (i < rows_.size()) {
        const size_t from = rows_[i] & OffsetMask;
        size_t to = from;
        while (i < rows_.size() && !(rows_[i] & Apart) && (rows_[i] & OffsetMask) == to) {
            const size_t rowEnd = to + static_cast<size_t>(rows_[i] >> OffsetBits);
            if (source.substr(rowEnd, 2) != "\r\n") {
                break;
            }
            to = rowEnd + 2;
            ++i;
        }
        if (to > from) {
            out.append(source.substr(from, to - from));
            continue;
        }
        out.append((*this)[i++]);
        out.append("\r\n");
    }
    return out;
}

void Rows::Rebase(Bytes bytes) {
    Rows rebased(std::move(bytes));
    if (rebased == *this) {
        *this = std::move(rebased);
    }
}

std::vector<std::string> Rows::Strings() const {
    return {begin(), end()};
}

bool operator==(const Rows& a, const Rows& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool operator==(const Rows& a, const std::vector<std::string>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void PrintTo(const Rows& rows, std::ostream* out) {
    *out << '{';
    for (size_t i = 0; i < rows.size(); ++i) {
        *out << (i ? ", \"" : "\"") << rows[i] << '"';
    }
    *out << '}';
}

} // namespace core
