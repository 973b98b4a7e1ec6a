#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which clients a filter text shows: those whose name or ID holds every word of the text,
// without regard to case or accents ("baker 2045" finds "Baker & Sons" with ID 204518,
// "muller" finds "Müller"), in book order.
//
// A client whose name and ID are plain ASCII is searched in its own bytes, letter case aside;
// only the others are folded (accents dropped), once, on the first filter after a change of the
// book, so a filter costs next to no memory. A text that only narrows the previous one (each
// earlier word lies inside a word of the new text, as when a word grows by a letter) searches
// only the clients already shown.
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
    bool Matches(size_t row, const std::vector<std::string>& words,
                 const std::vector<std::string>& names, const std::vector<std::string>& ids) const;

    bool keysBuilt_ = false;
    size_t rows_ = 0;
    // For each client, its folded key ("name<US>ID") in foldedKeys_, or -1 for plain ASCII.
    std::vector<int32_t> foldedKey_;
    std::vector<std::string> foldedKeys_;
    std::vector<std::string> words_;
    std::vector<int> shown_;
};
