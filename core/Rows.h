#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The rows of one list, as compact as the file they were read from: the file's bytes are
// kept once, shared with whoever else needs them (the base of the next merge), and each row is
// eight bytes saying where it lies in them. Rows added or changed since are kept apart. A
// book of millions of short IDs costs little more than its file.
//
// A row is read as a view, valid until the rows change.
class Rows {
public:
    using Bytes = std::shared_ptr<const std::string>;

    Rows() = default;
    // The rows of a list file's bytes: a row ends at CR LF, LF or CR (the last may end at the
    // end of the bytes); the bytes are kept, not copied.
    explicit Rows(Bytes bytes);
    Rows(const std::vector<std::string>& rows);
    Rows(std::initializer_list<std::string_view> rows);
    Rows(const Rows& other);
    Rows& operator=(const Rows& other);
    Rows(Rows&&) noexcept = default;
    Rows& operator=(Rows&&) noexcept = default;
    ~Rows();

    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    std::string_view operator[](size_t row) const;

    void push_back(std::string_view row) { insert(size(), row); }
    void insert(size_t at, std::string_view row);
    void erase(size_t at);
    // Keeps the first rows only.
    void truncate(size_t rows);
    void set(size_t at, std::string_view row);
    // Another list's rows after these.
    void append(const Rows& more);

    // Every row with CR LF after it, as a list file holds them.
    std::string Join() const;
    // The bytes the rows were read from (none for rows that were never a file's).
    const Bytes& Source() const { return bytes_; }
    // The same rows read from these bytes instead (the file just written), when the bytes hold
    // exactly these rows; what the rows held apart is given back. Otherwise nothing changes.
    void Rebase(Bytes bytes);

    std::vector<std::string> Strings() const;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const Rows* rows, size_t at) : rows_(rows), at_(at) {}
        std::string_view operator*() const { return (*rows_)[at_]; }
        std::string_view operator[](difference_type n) const {
            return (*rows_)[at_ + static_cast<size_t>(n)];
        }
        const_iterator& operator++() { return ++at_, *this; }
        const_iterator operator++(int) { return {rows_, at_++}; }
        const_iterator& operator--() { return --at_, *this; }
        const_iterator operator--(int) { return {rows_, at_--}; }
        const_iterator& operator+=(difference_type n) {
            at_ += static_cast<size_t>(n);
            return *this;
        }
        const_iterator& operator-=(difference_type n) { return *this += -n; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const_iterator a, const_iterator b) {
            return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
        }
        friend bool operator==(const_iterator a, const_iterator b) { return a.at_ == b.at_; }
        friend auto operator<=>(const_iterator a, const_iterator b) { return a.at_ <=> b.at_; }

    private:
        const Rows* rows_ = nullptr;
        size_t at_ = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;
    using size_type = size_t;

    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    friend bool operator==(const Rows& a, const Rows& b);
    friend bool operator==(const Rows& a, const std::vector<std::string>& b);

private:
    // A row in the bytes: where it starts and how long it is. A row held apart (added,
    // changed, or too long to be told here) has the top bit set and its place among them.
    static constexpr uint64_t Apart = uint64_t{1} << 63;
    static constexpr int LengthBits = 24;
    static constexpr int OffsetBits = 63 - LengthBits;

    Bytes bytes_;
    std::vector<uint64_t> rows_;
    // Rows held apart: each its own string, so that its view survives the others' changes, or
    // a view into the bytes for a row too long to be told in eight bytes. Freed places are
    // taken again.
    struct Held {
        std::unique_ptr<std::string> owned;
        std::string_view text;
    };
    std::vector<Held> apart_;
    uint64_t Place(std::string_view row);
    uint64_t Hold(Held held);
    void Release(uint64_t entry);
    std::vector<uint64_t> free_;
    // Nothing changed since the rows were read from bytes that end every row with CR LF: they
    // are written back as those bytes.
    bool asRead_ = false;
};

// For test failures.
void PrintTo(const Rows& rows, std::ostream* out);

} // namespace core
