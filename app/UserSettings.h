#pragma once

#include "app/TypedText.h"

#include <QSettings>

#include <string>

// The user's own settings, beside the program's files and never among them: the window's place
// and the folder the user chose for the book.
inline QSettings UserSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("MyBrindleViewer"),
                     QStringLiteral("window"));
}

inline QString BookFolderKey() {
    return QStringLiteral("bookFolder");
}

// This computer's user, as the system names the account: who removed a client, who connected.
inline std::string ThisUserName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) {
        user = qEnvironmentVariable("USERNAME");
    }
    return BookRow(user.left(64));
}
