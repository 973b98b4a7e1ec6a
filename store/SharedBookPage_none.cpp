#include "app/Messages.h"
#include "app/UserSettings.h"
#include "base/Exception.h"
#include "store/SharedBookPage.h"

// This copy was built without PostgreSQL: no page, no book shared, and a command line that asks
// for one is told why.
struct SharedBookPage::Page {};

SharedBookPage::SharedBookPage(QTabWidget& pages, BookLists&, QObject* parent)
    : QObject(parent), pages_(&pages) {}

SharedBookPage::~SharedBookPage() = default;

void SharedBookPage::Resume() {}

bool SharedBookPage::ConnectTo(const QString&) {
    ShowMessage("This copy of the program cannot share a book: it was built without PostgreSQL");
    return false;
}

SessionStore* SharedBookPage::Sessions() const {
    return nullptr;
}

bool SharedBookPage::On() const {
    return false;
}

void SharedBookPage::EndPreview() {}

std::optional<qint64> SharedBookPage::ExportTeamSessions(const QString& url, const QString&) {
    if (url.isEmpty() && UserSettings().value(AddressKey()).toString().isEmpty()) {
        return std::nullopt;
    }
    throw Exception("This copy of the program cannot share a book: it was built without "
                    "PostgreSQL");
}
