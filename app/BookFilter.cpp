#include "app/BookFilter.h"

#include "app/QtText.h"

#include <QStringList>

#include <algorithm>

namespace {

// Between a client's name and ID in its key: no word holds it, so none matches across.
constexpr char KeySeparator = '\x1F';

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

std::string BookFilter::Fold(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark()) {
            folded += c;
        }
    }
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

void BookFilter::Invalidate() {
    keysBuilt_ = false;
    foldedKey_.clear();
    foldedKeys_.clear();
    words_.clear();
    shown_.clear();
}

void BookFilter::BuildKeys(const std::vector<std::string>& names,
                           const std::vector<std::string>& ids) {
    rows_ = std::max(names.size(), ids.size());
    static const std::string none;
    const auto at = [](const std::vector<std::string>& list, size_t i) -> const std::string& {
        return i < list.size() ? list[i] : none;
    };
    foldedKey_.assign(rows_, -1);
    foldedKeys_.clear();
    for (size_t i = 0; i < rows_; ++i) {
        if (!IsAscii(at(names, i)) || !IsAscii(at(ids, i))) {
            foldedKey_[i] = static_cast<int32_t>(foldedKeys_.size());
            foldedKeys_.push_back(FoldBytes(at(names, i)) + KeySeparator + FoldBytes(at(ids, i)));
        }
    }
    keysBuilt_ = true;
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

bool BookFilter::Matches(size_t row, const std::vector<std::string>& words,
                         const std::vector<std::string>& names,
                         const std::vector<std::string>& ids) const {
    if (foldedKey_[row] >= 0) {
        const std::string& key = foldedKeys_[static_cast<size_t>(foldedKey_[row])];
        return std::all_of(words.begin(), words.end(), [&](const std::string& word) {
            return key.find(word) != std::string::npos;
        });
    }
    const std::string_view name = row < names.size() ? names[row] : std::string_view();
    const std::string_view id = row < ids.size() ? ids[row] : std::string_view();
    return std::all_of(words.begin(), words.end(), [&](const std::string& word) {
        return HoldsIgnoringCase(name, word) || HoldsIgnoringCase(id, word);
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
        return nullptr;
    }
    if (!keysBuilt_) {
        BuildKeys(names, ids);
    }
    std::vector<int> shown;
    if (!words_.empty() && Narrows(words_, words)) {
        std::copy_if(shown_.begin(), shown_.end(), std::back_inserter(shown),
                     [&](int row) { return Matches(static_cast<size_t>(row), words, names, ids); });
    } else {
        for (size_t row = 0; row < rows_; ++row) {
            if (Matches(row, words, names, ids)) {
                shown.push_back(static_cast<int>(row));
            }
        }
    }
    words_ = std::move(words);
    shown_ = std::move(shown);
    return &shown_;
}
