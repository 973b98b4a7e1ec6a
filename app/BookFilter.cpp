#include "app/BookFilter.h"

#include "app/QtText.h"

#include <QStringList>

#include <algorithm>

namespace {

bool IsAscii(const std::string& bytes) {
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

std::string BookFilter::FoldBytes(const std::string& bytes) {
    if (IsAscii(bytes)) {
        std::string folded = bytes;
        for (char& c : folded) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return folded;
    }
    return Fold(DisplayText(bytes));
}

namespace {

// Whether the text holds the word (lower case ASCII), letter case aside.
bool HoldsIgnoringCase(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) {
        return false;
    }
    const char first = word.front();
    const char firstUpper =
        first >= 'a' && first <= 'z' ? static_cast<char>(first - 'a' + 'A') : first;
    const size_t last = text.size() - word.size();
    for (size_t i = 0; i <= last; ++i) {
        if (text[i] != first && text[i] != firstUpper) {
            continue;
        }
        size_t j = 1;
        for (; j < word.size(); ++j) {
            char c = text[i + j];
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            if (c != word[j]) {
                break;
            }
        }
        if (j == word.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

int32_t BookFilter::KeyOf(Keys& keys, const std::string& row) {
    if (IsAscii(row)) {
        return -1;
    }
    keys.folded.push_back(FoldBytes(row));
    return static_cast<int32_t>(keys.folded.size() - 1);
}

void BookFilter::Build(List list, const std::vector<std::string>& rows) {
    Keys& keys = keys_[list];
    keys.at.clear();
    keys.folded.clear();
    keys.at.reserve(rows.size());
    for (const std::string& row : rows) {
        keys.at.push_back(KeyOf(keys, row));
    }
    keys.built = true;
}

void BookFilter::RowInserted(List list, size_t position, const std::string& row) {
    stale_ = true;
    Keys& keys = keys_[list];
    if (keys.built && position <= keys.at.size()) {
        keys.at.insert(keys.at.begin() + static_cast<std::ptrdiff_t>(position), KeyOf(keys, row));
    } else {
        keys.built = false;
    }
}

void BookFilter::RowTaken(List list, size_t position) {
    stale_ = true;
    Keys& keys = keys_[list];
    if (keys.built && position < keys.at.size()) {
        // Its folded form stays unused until the list is folded anew.
        keys.at.erase(keys.at.begin() + static_cast<std::ptrdiff_t>(position));
    } else {
        keys.built = false;
    }
}

void BookFilter::RowsReplaced(List list) {
    stale_ = true;
    keys_[list].built = false;
}

bool BookFilter::Holds(List list, size_t row, const std::vector<std::string>& rows,
                       const std::string& word) const {
    if (row >= rows.size()) {
        return false;
    }
    const Keys& keys = keys_[list];
    const int32_t key = keys.at[row];
    return key >= 0 ? keys.folded[static_cast<size_t>(key)].find(word) != std::string::npos
                    : HoldsIgnoringCase(rows[row], word);
}

bool BookFilter::Matches(size_t row, const std::vector<std::string>& words,
                         const std::vector<std::string>& names,
                         const std::vector<std::string>& ids) const {
    return std::all_of(words.begin(), words.end(), [&](const std::string& word) {
        return Holds(Names, row, names, word) || Holds(Ids, row, ids, word);
    });
}

const std::vector<int>* BookFilter::Apply(const QString& text,
                                          const std::vector<std::string>& names,
                                          const std::vector<std::string>& ids) {
    std::vector<std::string> words;
    for (const QString& word : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const std::string folded = Fold(word.trimmed());
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
    if (!keys_[Names].built || keys_[Names].at.size() != names.size()) {
        Build(Names, names);
    }
    if (!keys_[Ids].built || keys_[Ids].at.size() != ids.size()) {
        Build(Ids, ids);
    }
    std::vector<int> shown;
    if (!stale_ && !words_.empty() && Narrows(words_, words)) {
        std::copy_if(shown_.begin(), shown_.end(), std::back_inserter(shown),
                     [&](int row) { return Matches(static_cast<size_t>(row), words, names, ids); });
    } else {
        const size_t rows = std::max(names.size(), ids.size());
        for (size_t row = 0; row < rows; ++row) {
            if (Matches(row, words, names, ids)) {
                shown.push_back(static_cast<int>(row));
            }
        }
    }
    words_ = std::move(words);
    shown_ = std::move(shown);
    stale_ = false;
    return &shown_;
}
