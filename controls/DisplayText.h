#pragma once

#include <QString>

#include <string>
#include <string_view>

// Bytes from the files are shown as UTF-8 where they are valid UTF-8, otherwise as
// Windows-1252, so a book brought over from a Windows machine reads correctly.
QString DisplayText(std::string_view bytes);

// Text typed by the user is kept in the locale's encoding, UTF-8.
inline std::string StoredText(const QString& text) {
    return text.toStdString();
}
