#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// Which clients a filter text shows: those whose name or ID holds every word of the text,
// without regard to case or accents ("baker 2045" finds "Baker & Sons" with ID 204518,
// "muller" finds "Müller"), in book order.
//
// Each client's name and ID are folded once, on the first filter after a change of the book,
// into one buffer. A text that only narrows the previous one (each earlier word lies inside a
// word of the new text, as when a word grows by a letter) searches only the clients already
// shown.
class BookFilter {
public:
    // The rows shown for the text; nullptr when the text has no words and every row shows.
    const std::vector<int>* Apply(const QString& text, const std::vector<std::string>& names,
                                  const std::vector<std::string>& ids);
    // The book changed: the folded keys and the last result no longer hold.
    void Invalidate();

    // Lower case, accents dropped, as UTF-8.
    static std::string Fold(const QString& text);
    static std::string FoldBytes(const std::string& bytes);

private:
    void BuildKeys(const std::vector<std::string>& names, const std::vector<std::string>& ids);
    bool Matches(size_t row, const std::vector<std::string>& words) const;

    bool keysBuilt_ = false;
    std::string keys_;
    std::vector<uint32_t> keyStarts_; // one more than rows: the end of the last key
    std::vector<std::string> words_;
    std::vector<int> shown_;
};
