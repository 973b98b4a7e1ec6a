#pragma once

#include <QString>

#include <optional>

// Where a team's shared book is: a PostgreSQL server, its database and the user to log in as.
// The password is never part of it: it lives in the system keyring.
struct SharedBookAddress {
    QString host;
    int port = 5432;
    QString database;
    QString user;
    // "require" (encrypted) or "verify-full" (encrypted to the server the certificate names);
    // nothing weaker: the book and the password never cross a network in clear.
    QString tlsMode = QStringLiteral("require");

    // postgresql://user@host:port/database?sslmode=require; a password in the address is
    // refused (it would end up in shell histories and process lists). why says what is wrong.
    static std::optional<SharedBookAddress> Parse(const QString& url, QString* why = nullptr);
    QString Url() const;
    // What the connection's parameters must hold before anything is sent; empty when usable.
    QString Problem() const;
    // The keyring item of this address's password.
    QString KeyringKey() const;

    bool operator==(const SharedBookAddress&) const = default;
};
