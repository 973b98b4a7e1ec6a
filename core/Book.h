#pragma once

#include "core/Rows.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// One client: the name the technician knows it by and the repeater ID the viewer dials.
struct Client {
    std::string name;
    std::string id;

    bool operator==(const Client&) const = default;
};

// A client book, row i of each list being one client. It is kept as the two lists its files
// are, not as a list of clients: a book whose files are out of step (one list longer) is shown,
// merged and written back as it was read, and a row missing on one side is part of the client
// too. Every part that holds a book (the files, the merge, an import, the lists, the shared
// book's rows) hands it over in this shape.
struct Book {
    std::vector<std::string> names;
    std::vector<std::string> ids;

    size_t Count() const { return names.size() > ids.size() ? names.size() : ids.size(); }
    // The client at a row; a side the row is missing on reads empty.
    Client At(size_t row) const;
    void Add(Client client);
    // Another book's rows after this one's, each list after its own.
    void Add(const Book& more);
    bool operator==(const Book&) const = default;
};

// The same book viewed in place (the merge reads the files' bytes without copying them).
struct BookRows {
    std::vector<std::string_view> names;
    std::vector<std::string_view> ids;
};

// The client at a row of two lists; a side the row is missing on reads empty.
Client ClientAt(const std::vector<std::string>& names, const std::vector<std::string>& ids,
                size_t row);
Client ClientAt(const Rows& names, const Rows& ids, size_t row);

BookRows RowsOf(const std::vector<std::string>& names, const std::vector<std::string>& ids);
BookRows RowsOf(const Rows& names, const Rows& ids);
inline BookRows RowsOf(const Book& book) {
    return RowsOf(book.names, book.ids);
}
Book Owned(const BookRows& rows);

} // namespace core
