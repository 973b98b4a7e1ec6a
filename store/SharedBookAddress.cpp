#include "store/SharedBookAddress.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

bool KnownTlsMode(const QString& mode) {
    return mode == QLatin1String("require") || mode == QLatin1String("verify-ca") ||
           mode == QLatin1String("verify-full");
}

} // namespace

std::optional<SharedBookAddress> SharedBookAddress::Parse(const QString& url, QString* why) {
    const auto fail = [why](const QString& text) -> std::optional<SharedBookAddress> {
        if (why) {
            *why = text;
        }
        return std::nullopt;
    };
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("postgresql") &&
                              parsed.scheme() != QLatin1String("postgres"))) {
        return fail(QStringLiteral("A shared book's address reads "
                                   "postgresql://user@server:port/database?sslmode=require"));
    }
    if (!parsed.password().isEmpty()) {
        return fail(QStringLiteral("Leave the password out of the address: the program asks for "
                                   "it and keeps it in the system keyring"));
    }
    SharedBookAddress address;
    address.host = parsed.host();
    address.port = parsed.port(5432);
    address.database = parsed.path().mid(1);
    address.user = parsed.userName();
    const QUrlQuery query(parsed);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("sslmode")) {
            address.tlsMode = value;
        } else {
            return fail(
                QStringLiteral("The address's \"%1\" is not one the program knows").arg(key));
        }
    }
    if (const QString problem = address.Problem(); !problem.isEmpty()) {
        return fail(problem);
    }
    return address;
}

QString SharedBookAddress::Url() const {
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setHost(host);
    url.setPort(port);
    url.setPath(QLatin1Char('/') + database);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("sslmode"), tlsMode);
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

QString SharedBookAddress::Problem() const {
    if (host.isEmpty() || database.isEmpty() || user.isEmpty()) {
        return QStringLiteral("Fill in the server, the database and the user");
    }
    if (port < 1 || port > 65535) {
        return QStringLiteral("The port is a number from 1 to 65535");
    }
    if (!KnownTlsMode(tlsMode)) {
        return QStringLiteral("The shared book is only reached encrypted: sslmode=require or "
                              "sslmode=verify-full");
    }
    return {};
}

QString SharedBookAddress::KeyringKey() const {
    return QStringLiteral("My Brindle Viewer shared book ") + user + u'@' + host + u':' +
           QString::number(port) + u'/' + database;
}
