#include "core/Book.h"

namespace core {

namespace {

template <class List> Client At(const List& names, const List& ids, size_t row) {
    return {row < names.size() ? std::string(names[row]) : std::string(),
            row < ids.size() ? std::string(ids[row]) : std::string()};
}

template <class List> BookRows Views(const List& names, const List& ids) {
    return {std::vector<std::string_view>(names.begin(), names.end()),
            std::vector<std::string_view>(ids.begin(), ids.end())};
}

} // namespace

Client ClientAt(const std::vector<std::string>& names, const std::vector<std::string>& ids,
                size_t row) {
    return At(names, ids, row);
}

Client ClientAt(const Rows& names, const Rows& ids, size_t row) {
    return At(names, ids, row);
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
    return Views(names, ids);
}

BookRows RowsOf(const Rows& names, const Rows& ids) {
    return Views(names, ids);
}

Book Owned(const BookRows& rows) {
    return {std::vector<std::string>(rows.names.begin(), rows.names.end()),
            std::vector<std::string>(rows.ids.begin(), rows.ids.end())};
}

} // namespace core
