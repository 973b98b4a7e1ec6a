#include "app/Favourites.h"

#include "app/BookLists.h"
#include "app/FindBar.h"
#include "app/QtText.h"
#include "app/UserSettings.h"

#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

namespace {

// A client in the settings: its name and ID as the book holds them, the bytes kept exactly.
QByteArray Stored(const core::Client& client) {
    return QByteArray::fromStdString(client.name) + '\t' + QByteArray::fromStdString(client.id);
}

std::vector<core::Client> Clients(const QVariant& stored, size_t most) {
    std::vector<core::Client> clients;
    for (const QVariant& item : stored.toList()) {
        const QByteArray bytes = item.toByteArray();
        const qsizetype tab = bytes.indexOf('\t');
        // Written by this program; a value that is not one is left out.
        if (tab < 0 || bytes.indexOf('\t', tab + 1) >= 0 || clients.size() == most) {
            continue;
        }
        clients.push_back({bytes.left(tab).toStdString(), bytes.mid(tab + 1).toStdString()});
    }
    return clients;
}

QVariantList Stored(const std::vector<core::Client>& clients) {
    QVariantList list;
    for (const core::Client& client : clients) {
        list.push_back(Stored(client));
    }
    return list;
}

QString Shown(const core::Client& client) {
    return DisplayText(client.name, 60) + QStringLiteral(" (") + DisplayText(client.id, 20) + u')';
}

// The most favourites kept: a star on every client of a large book is no favourite.
constexpr size_t MaxFavourites = 10000;

QKeySequence RecentKey(size_t nth) {
    return QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + nth % 10));
}

} // namespace

Favourites::Favourites(QWidget& window, BookLists& book, FindBar& find, QToolButton& recent)
    : QObject(&window), book_(book), find_(find), recentButton_(recent) {
    for (size_t nth = 1; nth <= MaxRecent; ++nth) {
        auto* key = new QShortcut(RecentKey(nth), &window);
        connect(key, &QShortcut::activated, this, [this, nth] { SelectRecent(nth); });
    }
    auto* star = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &window);
    connect(star, &QShortcut::activated, this, &Favourites::ToggleSelected);
    recentButton_.setPopupMode(QToolButton::InstantPopup);
    recentButton_.setMenu(new QMenu(&recentButton_));
    connect(&book_, &BookLists::FavouritesChanged, this, &Favourites::Save);
    FillMenu();
}

void Favourites::Load() {
    const QSettings settings = UserSettings();
    recent_ = Clients(settings.value(QStringLiteral("recent")), MaxRecent);
    const bool first = settings.value(QStringLiteral("table/favouritesFirst")).toBool();
    book_.SetFavourites(Clients(settings.value(QStringLiteral("favourites")), MaxFavourites));
    book_.SetFavouritesFirst(first);
    FillMenu();
}

void Favourites::Save() const {
    QSettings settings = UserSettings();
    std::vector<core::Client> favourites = book_.Favourites();
    if (favourites.size() > MaxFavourites) {
        favourites.erase(favourites.begin(),
                         favourites.end() - static_cast<std::ptrdiff_t>(MaxFavourites));
    }
    settings.setValue(QStringLiteral("favourites"), Stored(favourites));
    settings.setValue(QStringLiteral("table/favouritesFirst"), book_.FavouritesFirst());
    settings.setValue(QStringLiteral("recent"), Stored(recent_));
}

void Favourites::Connected(const core::Client& client) {
    recent_.erase(std::remove(recent_.begin(), recent_.end(), client), recent_.end());
    recent_.insert(recent_.begin(), client);
    if (recent_.size() > MaxRecent) {
        recent_.resize(MaxRecent);
    }
    Save();
    FillMenu();
}

bool Favourites::SelectRecent(size_t nth) {
    if (nth == 0 || nth > recent_.size()) {
        emit Said(recent_.empty()
                      ? QStringLiteral("No recent connection yet: Ctrl+1 selects the client "
                                       "connected to last")
                      : QStringLiteral("Only %1 recent connections").arg(recent_.size()));
        return false;
    }
    const core::Client& client = recent_[nth - 1];
    const std::optional<int> row = book_.RowOf(client);
    if (!row) {
        emit Said(Shown(client) + QStringLiteral(" is no longer in the book"));
        return false;
    }
    book_.Select(*row);
    if (book_.Selected() != *row) {
        // The filter hides it.
        find_.Clear();
        book_.Select(*row);
    }
    emit Said(QStringLiteral("Selected ") + Shown(client) +
              QStringLiteral(" \u00B7 Enter connects"));
    return true;
}

void Favourites::ToggleSelected() {
    const int row = book_.Selected();
    if (row < 0) {
        emit Said(QStringLiteral("Select a client first: Ctrl+D stars it as a favourite"));
        return;
    }
    const bool on = !book_.Favourite(row);
    book_.SetFavourite(row, on);
    const core::Client client = book_.At(row);
    emit Said((on ? QStringLiteral("Starred ") : QStringLiteral("Unstarred ")) + Shown(client));
}

void Favourites::FillMenu() {
    QMenu* menu = recentButton_.menu();
    menu->clear();
    recentButton_.setEnabled(!recent_.empty());
    recentButton_.setToolTip(recent_.empty()
                                 ? QStringLiteral("The clients you connect to show here")
                                 : QStringLiteral("Recent connections: Ctrl+1 \u2026 Ctrl+%1")
                                       .arg(std::min<size_t>(recent_.size(), 9)));
    for (size_t nth = 1; nth <= recent_.size(); ++nth) {
        QString text = Shown(recent_[nth - 1]);
        text.replace(u'&', QStringLiteral("&&"));
        QAction* entry =
            menu->addAction(text + u'\t' + RecentKey(nth).toString(QKeySequence::NativeText));
        connect(entry, &QAction::triggered, this, [this, nth] { SelectRecent(nth); });
    }
}
