#pragma once

#include <QSettings>

// The user's own settings, beside the program's files and never among them: the window's place
// and the folder the user chose for the book.
inline QSettings UserSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("MyBrindleViewer"),
                     QStringLiteral("window"));
}

inline QString BookFolderKey() {
    return QStringLiteral("bookFolder");
}
