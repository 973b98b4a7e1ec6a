#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which clients a filter text shows: those whose name or ID holds every word of the text,
// without regard to case or accents ("baker 2045" finds "Baker & Sons" with ID 204518,
// "muller" finds "Müller", "lodz" finds "Łódź"), in book order.
//
// A name or ID that is plain ASCII is searched in its own bytes, letter case aside; only the
// others are folded (accents dropped, letters without a decomposition spelt as a reader
// expects), once, and again only when that row changes, so a filter costs next to no memory
// and the first one after an edit costs what any other does. A text that only narrows the
// previous one (each earlier word lies inside a word of the new text, as when a word grows by
// a letter) searches only the clients already shown.
class BookFilter {
public:
    enum List { Names = 0, Ids = 1 };

    // The rows shown for the text; nullptr when the text has no words and every row shows.
    const std::vector<int>* Apply(const QString& text, const std::vector<std::string>& names,
                                  const std::vector<std::string>& ids);

    // A list of the book changed: the last result no longer holds, and the folded forms
    // follow the rows that changed.
    void RowInserted(List list, size_t position, const std::string& row);
    void RowTaken(List list, size_t position);
    void RowsReplaced(List list);

    // Lower case, accents dropped, letters without a decomposition spelt out, as UTF-8.
    static std::string Fold(const QString& text);
    static std::string FoldBytes(const std::string& bytes);

private:
    // One list's folded rows: for each row its folded form in folded, or -1 for plain ASCII.
    struct Keys {
        bool built = false;
        std::vector<int32_t> at;
        std::vector<std::string> folded;
    };
    static int32_t KeyOf(Keys& keys, const std::string& row);
    void Build(List list, const std::vector<std::string>& rows);
    bool Holds(List list, size_t row, const std::vector<std::string>& rows,
               const std::string& word) const;
    bool Matches(size_t row, const std::vector<std::string>& words,
                 const std::vector<std::string>& names, const std::vector<std::string>& ids) const;

    Keys keys_[2];
    // The words of the last filter and the rows it showed; stale after any change.
    std::vector<std::string> words_;
    std::vector<int> shown_;
    bool stale_ = true;
};
