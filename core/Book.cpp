#include "core/Book.h"

namespace core {

Client ClientAt(const std::vector<std::string>& names, const std::vector<std::string>& ids,
                size_t row) {
    return {row < names.size() ? names[row] : std::string(),
            row < ids.size() ? ids[row] : std::string()};
}

Client Book::At(size_t row) const {
    return ClientAt(names, ids, row);
}

void Book::Add(Client client) {
    names.push_back(std::move(client.name));
    ids.push_back(std::move(client.id));
}

void Book::Add(const Book& more) {
    names.insert(names.end(), more.names.begin(), more.names.end());
    ids.insert(ids.end(), more.ids.begin(), more.ids.end());
}

BookRows RowsOf(const std::vector<std::string>& names, const std::vector<std::string>& ids) {
    return {std::vector<std::string_view>(names.begin(), names.end()),
            std::vector<std::string_view>(ids.begin(), ids.end())};
}

Book Owned(const BookRows& rows) {
    return {std::vector<std::string>(rows.names.begin(), rows.names.end()),
            std::vector<std::string>(rows.ids.begin(), rows.ids.end())};
}

} // namespace core
