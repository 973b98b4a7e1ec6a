#pragma once

#include "core/DisplayText.h"

#include <QLocale>
#include <QString>

#include <string>
#include <string_view>

// Bytes from the files as the window shows them (the core's display policy), at most
// maxCharacters characters.
inline QString DisplayText(std::string_view bytes, size_t maxCharacters = std::string_view::npos) {
    const std::string text = core::DisplayUtf8(bytes, maxCharacters);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "1 client", "1,234 clients": a number of clients as the window writes it.
inline QString ClientCount(qulonglong count) {
    return count == 1 ? QStringLiteral("1 client")
                      : QStringLiteral("%1 clients").arg(QLocale().toString(count));
}

// Text typed by the user is kept in the locale's encoding, UTF-8.
inline std::string StoredText(const QString& text) {
    return text.toStdString();
}
