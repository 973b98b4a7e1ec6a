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
    keys_.clear();
    keyStarts_.clear();
    words_.clear();
    shown_.clear();
}

void BookFilter::BuildKeys(const std::vector<std::string>& names,
                           const std::vector<std::string>& ids) {
    const size_t rows = std::max(names.size(), ids.size());
    keys_.clear();
    keyStarts_.clear();
    keyStarts_.reserve(rows + 1);
    for (size_t i = 0; i < rows; ++i) {
        keyStarts_.push_back(static_cast<uint32_t>(keys_.size()));
        if (i < names.size()) {
            keys_ += FoldBytes(names[i]);
        }
        keys_ += KeySeparator;
        if (i < ids.size()) {
            keys_ += FoldBytes(ids[i]);
        }
    }
    keyStarts_.push_back(static_cast<uint32_t>(keys_.size()));
    keys_.shrink_to_fit();
    keysBuilt_ = true;
}

bool BookFilter::Matches(size_t row, const std::vector<std::string>& words) const {
    const std::string_view key(keys_.data() + keyStarts_[row],
                               keyStarts_[row + 1] - keyStarts_[row]);
    return std::all_of(words.begin(), words.end(), [&](const std::string& word) {
        return key.find(word) != std::string_view::npos;
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
                     [&](int row) { return Matches(static_cast<size_t>(row), words); });
    } else {
        const size_t rows = keyStarts_.size() - 1;
        for (size_t row = 0; row < rows; ++row) {
            if (Matches(row, words)) {
                shown.push_back(static_cast<int>(row));
            }
        }
    }
    words_ = std::move(words);
    shown_ = std::move(shown);
    return &shown_;
}
