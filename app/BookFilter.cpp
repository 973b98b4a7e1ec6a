#include "app/BookFilter.h"

#include "app/QtText.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Each earlier word lies inside one of the new words: the new text shows a subset.
bool Narrows(const std::vector<std::string>& before, const std::vector<std::string>& now) {
    return std::all_of(before.begin(), before.end(), [&](const std::string& old) {
        return std::any_of(now.begin(), now.end(), [&](const std::string& word) {
            return word.find(old) != std::string::npos;
        });
    });
}

} // namespace

namespace {

// Where the word next stands in the text from a place on; a single letter, the commonest
// search of all, without comparing what was found.
size_t FindWord(std::string_view text, std::string_view word, size_t from) {
    if (word.size() == 1) {
        if (from >= text.size()) {
            return std::string_view::npos;
        }
        const void* at = std::memchr(text.data() + from, word.front(), text.size() - from);
        return at ? static_cast<size_t>(static_cast<const char*>(at) - text.data())
                  : std::string_view::npos;
    }
    return text.find(word, from);
}

} // namespace

namespace {

// Letters of Latin-1 Supplement and Latin Extended-A that no decomposition takes to ASCII, as
// a reader spells them without the mark (lower case; the text is case-folded first).
struct Spelling {
    char16_t letter;
    const char16_t* ascii;
};
constexpr Spelling Spellings[] = {
    {u'\u00DF', u"ss"}, // ß
    {u'\u00E6', u"ae"}, // æ
    {u'\u00F0', u"d"},  // ð
    {u'\u00F8', u"o"},  // ø
    {u'\u00FE', u"th"}, // þ
    {u'\u0111', u"d"},  // đ
    {u'\u0127', u"h"},  // ħ
    {u'\u0131', u"i"},  // ı
    {u'\u0138', u"k"},  // ĸ
    {u'\u0140', u"l"},  // ŀ
    {u'\u0142', u"l"},  // ł
    {u'\u0149', u"n"},  // ŉ
    {u'\u014B', u"n"},  // ŋ
    {u'\u0153', u"oe"}, // œ
    {u'\u0167', u"t"},  // ŧ
    {u'\u017F', u"s"},  // ſ
};

} // namespace

std::string BookFilter::Fold(const QString& text) {
    // The letters spelt out first: some would otherwise decompose into a letter and a sign.
    const QString lower = text.toCaseFolded();
    QString spelt;
    spelt.reserve(lower.size());
    for (const QChar c : lower) {
        const auto found = std::find_if(std::begin(Spellings), std::end(Spellings),
                                        [c](const Spelling& s) { return s.letter == c.unicode(); });
        if (found != std::end(Spellings)) {
            spelt += QString::fromUtf16(found->ascii);
        } else {
            spelt += c;
        }
    }
    const QString decomposed = spelt.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark()) {
            folded += c;
        }
    }
    // Case folding once more: a compatibility decomposition may give capitals.
    return folded.toCaseFolded().toStdString();
}

std::string BookFilter::FoldBytes(std::string_view bytes) {
    if (IsAscii(bytes)) {
        std::string folded(bytes);
        for (char& c : folded) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return folded;
    }
    return Fold(DisplayText(bytes));
}

int32_t BookFilter::KeyOf(Keys& keys, std::string_view row) {
    if (IsAscii(row)) {
        return -1;
    }
    keys.folded.push_back(FoldBytes(row));
    return static_cast<int32_t>(keys.folded.size() - 1);
}

void BookFilter::Build(List list, const core::Rows& rows) {
    Keys& keys = keys_[list];
    keys.at.clear();
    keys.folded.clear();
    keys.at.reserve(rows.size());
    for (const std::string_view row : rows) {
        keys.at.push_back(KeyOf(keys, row));
    }
    keys.built = true;
}

void BookFilter::RowInserted(List list, size_t position, std::string_view row) {
    stale_ = true;
    Note({list, true, position});
    Keys& keys = keys_[list];
    if (keys.built && position <= keys.at.size()) {
        keys.at.insert(keys.at.begin() + static_cast<std::ptrdiff_t>(position), KeyOf(keys, row));
    } else {
        keys.built = false;
        searchedRows_ = 0;
    }
}

void BookFilter::RowTaken(List list, size_t position) {
    stale_ = true;
    Note({list, false, position});
    Keys& keys = keys_[list];
    if (keys.built && position < keys.at.size()) {
        // Its folded form stays unused until the list is folded anew.
        keys.at.erase(keys.at.begin() + static_cast<std::ptrdiff_t>(position));
    } else {
        keys.built = false;
        searchedRows_ = 0;
    }
}

void BookFilter::RowsReplaced(List list) {
    stale_ = true;
    edits_.clear();
    keys_[list].built = false;
    searchedRows_ = 0;
}

void BookFilter::Note(const Edit& edit) {
    // A few edits are kept to be spliced into the searched text; more, and it is rebuilt from
    // the first row they touched.
    constexpr size_t MostEdits = 16;
    // A client removed comes out of the text at once: the next search costs what any other
    // does.
    if (!edit.inserted && edits_.size() == 1 && !edits_.front().inserted &&
        edits_.front().list != edit.list && edits_.front().position == edit.position &&
        edit.position < searchedRows_ && starts_.size() == searchedRows_ + 1) {
        edits_.clear();
        TakeText(edit.position);
        return;
    }
    if (edits_.size() < MostEdits) {
        edits_.push_back(edit);
        return;
    }
    for (const Edit& kept : edits_) {
        searchedRows_ = std::min(searchedRows_, kept.position);
    }
    searchedRows_ = std::min(searchedRows_, edit.position);
    edits_.clear();
}

void BookFilter::Splice(const core::Rows& names, const core::Rows& ids) {
    // A client added or removed is a row of each list at the same position, one after the
    // other: its text goes in or out of the searched text, the rows after it moved along.
    // Any other edit (a list on its own, out of step) rebuilds from the first row it touched,
    // and so does a client added before a later edit moved it: its text is read where it
    // stands now.
    const bool built = starts_.size() == searchedRows_ + 1;
    for (size_t i = 0; i < edits_.size(); ++i) {
        const Edit& edit = edits_[i];
        const bool paired = i + 1 < edits_.size() && edits_[i + 1].list != edit.list &&
                            edits_[i + 1].inserted == edit.inserted &&
                            edits_[i + 1].position == edit.position;
        const size_t row = edit.position;
        const bool movedLater =
            edit.inserted &&
            std::any_of(edits_.begin() + static_cast<std::ptrdiff_t>(i) + 2, edits_.end(),
                        [row](const Edit& e) { return e.position <= row; });
        if (!built || !paired || movedLater || row > searchedRows_ ||
            (!edit.inserted && row == searchedRows_)) {
            for (size_t j = i; j < edits_.size(); ++j) {
                searchedRows_ = std::min(searchedRows_, edits_[j].position);
            }
            break;
        }
        ++i;
        if (edit.inserted) {
            std::string text;
            RowTextOf(row, names, ids, text);
            searched_.insert(starts_[row], text);
            starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(row), starts_[row]);
            for (size_t r = row + 1; r < starts_.size(); ++r) {
                starts_[r] += text.size();
            }
            ++searchedRows_;
        } else {
            TakeText(row);
        }
    }
    edits_.clear();
}

void BookFilter::TakeText(size_t row) {
    const size_t length = starts_[row + 1] - starts_[row];
    searched_.erase(starts_[row], length);
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(row));
    for (size_t r = row; r < starts_.size(); ++r) {
        starts_[r] -= length;
    }
    --searchedRows_;
}

void BookFilter::AppendPart(List list, size_t row, const core::Rows& rows, std::string& to) const {
    if (row >= rows.size()) {
        return;
    }
    const Keys& keys = keys_[list];
    const int32_t key = keys.at[row];
    if (key >= 0) {
        to += keys.folded[static_cast<size_t>(key)];
        return;
    }
    for (const char c : rows[row]) {
        to += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

void BookFilter::RowTextOf(size_t row, const core::Rows& names, const core::Rows& ids,
                           std::string& to) {
    AppendPart(Names, row, names, to);
    to += RowPartSeparator;
    AppendPart(Ids, row, ids, to);
    if (extraOf_) {
        AppendExtra(row < names.size() ? names[row] : std::string_view(),
                    row < ids.size() ? ids[row] : std::string_view(), to);
    }
    to += RowEnd;
}

void BookFilter::SetExtras(ExtraOf extraOf) {
    extraOf_ = std::move(extraOf);
    foldedExtras_.clear();
    stale_ = true;
    searchedRows_ = 0;
}

void BookFilter::ExtraChanged(const core::Client& client, int row) {
    foldedExtras_.erase(client.name + '\t' + client.id);
    stale_ = true;
    searchedRows_ = row < 0 ? 0 : std::min(searchedRows_, static_cast<size_t>(row));
}

void BookFilter::AppendExtra(std::string_view name, std::string_view id, std::string& to) {
    const core::ClientExtra* extra = extraOf_(name, id);
    if (!extra) {
        return;
    }
    // Tags and notes are UTF-8, typed here or checked so on reading.
    const auto fold = [](std::string_view text, std::string& into) {
        if (IsAscii(text)) {
            for (const char c : text) {
                into += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            }
        } else {
            into += Fold(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        }
    };
    const auto append = [&](std::string& into) {
        into += RowPartSeparator;
        for (const std::string& tag : extra->tags) {
            into += TagMark;
            fold(tag, into);
            into += TagMark;
        }
        into += NoteMark;
        fold(extra->note, into);
    };
    const bool ascii =
        IsAscii(extra->note) && std::all_of(extra->tags.begin(), extra->tags.end(),
                                            [](const std::string& tag) { return IsAscii(tag); });
    if (ascii) {
        append(to);
        return;
    }
    // Folding a note that is not plain ASCII costs far more than copying it: once per change.
    std::string key = std::string(name) + '\t' + std::string(id);
    auto folded = foldedExtras_.find(key);
    if (folded == foldedExtras_.end()) {
        std::string text;
        append(text);
        folded = foldedExtras_.emplace(std::move(key), std::move(text)).first;
    }
    to += folded->second;
}

bool BookFilter::FoundInNote(size_t row) const {
    if (stale_ || words_.empty() || row + 1 >= starts_.size()) {
        return false;
    }
    const std::string_view text = RowText(row);
    const size_t note = text.find(NoteMark);
    if (note == std::string_view::npos) {
        return false;
    }
    const std::string_view before = text.substr(0, note);
    return std::any_of(words_.begin(), words_.end(), [&](const std::string& word) {
        return FindWord(before, word, 0) == std::string_view::npos;
    });
}

void BookFilter::Update(const core::Rows& names, const core::Rows& ids) {
    if (!keys_[Names].built || keys_[Names].at.size() != names.size()) {
        Build(Names, names);
        searchedRows_ = 0;
    }
    if (!keys_[Ids].built || keys_[Ids].at.size() != ids.size()) {
        Build(Ids, ids);
        searchedRows_ = 0;
    }
    Splice(names, ids);
    // Rows before the first that changed keep their place in the searched text.
    const size_t rows = std::max(names.size(), ids.size());
    const size_t kept = std::min(searchedRows_, rows);
    searched_.resize(kept < starts_.size() ? starts_[kept] : 0);
    starts_.resize(kept);
    for (size_t row = kept; row < rows; ++row) {
        starts_.push_back(searched_.size());
        RowTextOf(row, names, ids, searched_);
    }
    starts_.push_back(searched_.size());
    searchedRows_ = rows;
}

std::string_view BookFilter::RowText(size_t row) const {
    return std::string_view(searched_).substr(starts_[row], starts_[row + 1] - starts_[row]);
}

bool BookFilter::Matches(size_t row, const std::vector<std::string>& words) const {
    const std::string_view text = RowText(row);
    return std::all_of(words.begin(), words.end(), [&](const std::string& word) {
        return FindWord(text, word, 0) != std::string_view::npos;
    });
}

const std::vector<int>* BookFilter::Apply(const QString& text, const core::Rows& names,
                                          const core::Rows& ids) {
    std::vector<std::string> words;
    for (const QString& word : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        std::string folded = Fold(word.trimmed());
        if (folded.size() > 1 && folded.front() == '#') {
            // A tag, whole: between its marks.
            folded = TagMark + folded.substr(1) + TagMark;
        }
        if (!folded.empty()) {
            words.push_back(folded);
        }
    }
    if (words.empty()) {
        words_.clear();
        shown_.clear();
        stale_ = true;
        return nullptr;
    }
    Update(names, ids);
    std::vector<int> shown;
    if (!stale_ && !words_.empty() && Narrows(words_, words)) {
        // The rows shown hold every earlier word already: only the new words are looked for.
        std::vector<std::string> added;
        std::copy_if(words.begin(), words.end(), std::back_inserter(added),
                     [&](const std::string& word) {
                         return std::find(words_.begin(), words_.end(), word) == words_.end();
                     });
        std::copy_if(shown_.begin(), shown_.end(), std::back_inserter(shown),
                     [&](int row) { return Matches(static_cast<size_t>(row), added); });
    } else {
        // One pass over the whole book's text for the first word; each row it lands in is
        // checked for the others.
        const std::string_view all = searched_;
        const size_t rows = starts_.size() - 1;
        size_t at = 0;
        size_t row = 0;
        while ((at = FindWord(all, words.front(), at)) != std::string_view::npos) {
            // The row it lies in: the hits only move forward, so the search gallops on from
            // the last row found.
            size_t step = 1;
            while (row + step < rows && starts_[row + step] <= at) {
                row += step;
                step *= 2;
            }
            const auto end =
                starts_.begin() + static_cast<std::ptrdiff_t>(std::min(row + step, rows));
            row = static_cast<size_t>(
                std::upper_bound(starts_.begin() + static_cast<std::ptrdiff_t>(row), end, at) -
                starts_.begin() - 1);
            if (words.size() == 1 || Matches(row, words)) {
                shown.push_back(static_cast<int>(row));
            }
            at = starts_[row + 1];
        }
    }
    words_ = std::move(words);
    shown_ = std::move(shown);
    stale_ = false;
    return &shown_;
}
