#pragma once

#include "app/QtText.h"
#include "app/TypedText.h"
#include "core/SessionLog.h"

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
    if (user.isEmpty()) {
        // A session started without them (a service, a container): the account itself.
        user = DisplayText(core::ThisAccount());
    }
    return BookRow(user.left(64));
}
