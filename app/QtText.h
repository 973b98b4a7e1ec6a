#pragma once

#include "core/DisplayText.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdlib>

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

// A moment in this computer's time in ISO 8601 with its offset from UTC written out, "+00:00"
// too ("2026-12-10T10:30:00+01:00"): a spreadsheet reads one form.
inline QString IsoWithOffset(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// A time of the session log (UTC, as 2026-12-10T09:30:00Z); invalid for none.
inline QDateTime FromLogTime(const std::string& utc) {
    if (utc.empty()) {
        return {};
    }
    QDateTime when = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    when.setTimeSpec(Qt::UTC);
    return when;
}

// The same in this computer's time with its offset, as the session CSV writes it; empty for none.
inline std::string LogTimeWithOffset(const std::string& utc) {
    return utc.empty() ? std::string() : IsoWithOffset(FromLogTime(utc)).toStdString();
}
