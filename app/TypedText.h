#pragma once

#include "app/QtText.h"
#include "core/DisplayText.h"

#include <QValidator>

#include <algorithm>

// Drops control characters from what is typed or pasted: a name pasted with a line break would
// become two rows of one list and one of the other, and one in the filter would match across a
// name and its ID. Invisible and reordering characters go too, so a pasted name cannot pass for
// another client's. The rules themselves are the core's.
class NoControlCharacters final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override {
        for (qsizetype i = input.size() - 1; i >= 0; --i) {
            const char16_t c = input.at(i).unicode();
            if (core::IsControlCharacter(c) || core::IsInvisibleCharacter(c)) {
                input.remove(i, 1);
                if (i < position) {
                    --position;
                }
            }
        }
        return Acceptable;
    }
};

// Digits alone, at least one: what an ID is typed as.
inline bool AllDigits(const QString& text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A row added to the book: the rule every name follows, whatever its source.
inline std::string BookRow(const QString& typed) {
    return core::CleanName(StoredText(typed));
}
