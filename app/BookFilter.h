#pragma once

#include "core/ClientNotes.h"
#include "core/Rows.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Which clients a filter text shows: those whose name, ID, tags or note holds every word of the
// text, without regard to case or accents ("baker 2045" finds "Baker & Sons" with ID 204518,
// "muller" finds "Müller", "lodz" finds "Łódź"), in book order.
//
// The book is searched as one text: every name and ID in lower case, those that are not plain
// ASCII folded (accents dropped, letters without a decomposition spelt as a reader expects),
// so a first letter costs one pass over about the book's size. A row is folded once, and again
// only when it changes; the text is rebuilt only from the first client that changed, so the
// first filter after an edit costs what any other does; a client added or removed is spliced in
// or out. A text that only narrows the previous
// one (each earlier word lies inside a word of the new text, as when a word grows by a letter)
// searches only the clients already shown. A word of a single # and a tag ("#vip") finds the
// clients with that very tag.
class BookFilter {
public:
    enum List { Names = 0, Ids = 1 };

    // Where each client's tags and note are found, by its name and ID.
    using ExtraOf = std::function<const core::ClientExtra*(std::string_view, std::string_view)>;
    void SetExtras(ExtraOf extraOf);
    // A client's tags or note changed (at a row, or anywhere: -1).
    void ExtraChanged(const core::Client& client, int row);
    // Whether the last filter found one of its words in the client's note only: the row shows
    // why it is there.
    bool FoundInNote(size_t row) const;

    // The rows shown for the text; nullptr when the text has no words and every row shows.
    const std::vector<int>* Apply(const QString& text, const core::Rows& names,
                                  const core::Rows& ids);

    // A list of the book changed: the last result no longer holds, and the folded forms
    // follow the rows that changed.
    void RowInserted(List list, size_t position, std::string_view row);
    void RowTaken(List list, size_t position);
    void RowsReplaced(List list);

    // Lower case, accents dropped, letters without a decomposition spelt out, as UTF-8.
    static std::string Fold(const QString& text);
    static std::string FoldBytes(std::string_view bytes);

private:
    // One list's folded rows: for each row its folded form in folded, or -1 for plain ASCII.
    struct Keys {
        bool built = false;
        std::vector<int32_t> at;
        std::vector<std::string> folded;
    };
    static int32_t KeyOf(Keys& keys, std::string_view row);
    void Build(List list, const core::Rows& rows);
    // The searched text brought up to date from the first row that changed.
    void Update(const core::Rows& names, const core::Rows& ids);
    // An edit of one list, kept until the next search.
    struct Edit {
        List list;
        bool inserted;
        size_t position;
    };
    void Note(const Edit& edit);
    // The edits kept, spliced into the searched text where they are whole clients.
    void Splice(const core::Rows& names, const core::Rows& ids);
    // A client's text out of the searched text, the rows after it moved along.
    void TakeText(size_t row);
    void AppendPart(List list, size_t row, const core::Rows& rows, std::string& to) const;
    void RowTextOf(size_t row, const core::Rows& names, const core::Rows& ids, std::string& to);
    void AppendExtra(std::string_view name, std::string_view id, std::string& to);
    std::string_view RowText(size_t row) const;
    bool Matches(size_t row, const std::vector<std::string>& words) const;

    // Between a client's name and ID, and after its ID: no word holds either, so none matches
    // across a name and its ID, or across two clients.
    static constexpr char RowPartSeparator = '\x1F';
    static constexpr char RowEnd = '\n';
    // Around each tag, and before the note.
    static constexpr char TagMark = '\x1D';
    static constexpr char NoteMark = '\x1E';

    Keys keys_[2];
    // The whole book as it is searched: each client's name and ID in lower case (folded where
    // not plain ASCII), one after the other, and where each client starts; valid for the
    // first searchedRows_ clients.
    std::string searched_;
    std::vector<size_t> starts_;
    size_t searchedRows_ = 0;
    std::vector<Edit> edits_;
    // The words of the last filter and the rows it showed; stale after any change.
    std::vector<std::string> words_;
    std::vector<int> shown_;
    bool stale_ = true;
    ExtraOf extraOf_;
    // The folded tags and note of clients whose are not plain ASCII, by client.
    std::unordered_map<std::string, std::string> foldedExtras_;
};
