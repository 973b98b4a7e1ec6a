#include "app/ClientMenu.h"

#include "app/BookLists.h"
#include "app/BookTransfer.h"
#include "app/ClientTable.h"
#include "app/Messages.h"

#include <QFontMetrics>
#include <QKeySequence>
#include <QMenu>

namespace {

// An entry's text with its key in the menu's shortcut column. The key itself is the window's:
// the menu only shows it.
QString WithKey(QString text, const QKeySequence& key) {
    // A client's "&" is a character, not the mark of the entry's key.
    text.replace(u'&', QStringLiteral("&&"));
    if (key.isEmpty()) {
        return text;
    }
    return text + u'\t' + key.toString(QKeySequence::NativeText);
}

} // namespace

ClientMenu::ClientMenu(ClientTable& table, BookLists& book, BookTransfer& transfer, Actions actions)
    : QObject(&table), table_(table), book_(book), transfer_(transfer),
      actions_(std::move(actions)) {
    table.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&table, &QWidget::customContextMenuRequested, this, &ClientMenu::Open);
}

void ClientMenu::Open(QPoint at) {
    // A right click on a client acts on that client.
    if (const QModelIndex under = table_.indexAt(at); under.isValid()) {
        table_.SelectRow(table_.Model().RowAt(under.row()));
    }
    const bool selected = table_.SelectedRow() >= 0;
    const QString noEdit = book_.WhyNoEdit();
    QMenu menu(&table_);
    menu.setToolTipsVisible(true);
    const auto add = [&](const QString& text, const QKeySequence& key,
                         const std::function<void()>& action, const QString& whyNot) {
        QAction* entry = menu.addAction(WithKey(text, key));
        entry->setEnabled(whyNot.isEmpty());
        entry->setToolTip(whyNot);
        connect(entry, &QAction::triggered, this, [action] { Guarded(action); });
        return entry;
    };
    const QString noClient = selected ? QString() : QStringLiteral("Select a client first");
    add(QStringLiteral("Connect"), QKeySequence(Qt::Key_Return), actions_.connect, noClient);
    add(QStringLiteral("Edit"), QKeySequence(Qt::Key_F2), actions_.edit,
        noClient.isEmpty() ? noEdit : noClient);
    add(QStringLiteral("Remove"), QKeySequence(QKeySequence::Delete), actions_.remove,
        noClient.isEmpty() ? noEdit : noClient);
    add(QStringLiteral("Tags and note\u2026"), QKeySequence(Qt::Key_F4), actions_.notes, noClient);
    QAction* star = add(QStringLiteral("Favourite"), QKeySequence(Qt::CTRL | Qt::Key_D),
                        actions_.favourite, noClient);
    star->setCheckable(true);
    star->setChecked(selected && book_.Favourite(table_.SelectedRow()));
    QAction* first = add(QStringLiteral("Favourites first"), {},
                         [this] { book_.SetFavouritesFirst(!book_.FavouritesFirst()); }, {});
    first->setCheckable(true);
    first->setChecked(book_.FavouritesFirst());
    menu.addSeparator();
    // What undo and redo would do, shortened to a menu's width: a long name stays whole in
    // the status line once it is done.
    const QFontMetrics metrics(menu.font());
    const int room = metrics.averageCharWidth() * 40;
    const QString undo = metrics.elidedText(book_.UndoText(), Qt::ElideMiddle, room);
    const QString redo = metrics.elidedText(book_.RedoText(), Qt::ElideMiddle, room);
    add(
        undo.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo: ") + undo,
        QKeySequence(QKeySequence::Undo), [this] { book_.UndoLast(); },
        undo.isEmpty() ? QStringLiteral("Nothing to undo") : QString());
    add(
        redo.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo: ") + redo,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { book_.RedoLast(); },
        redo.isEmpty() ? QStringLiteral("Nothing to redo") : QString());
    const QString noHistory = book_.Store().WhyNoHistory();
    add(QStringLiteral("History\u2026"), {}, actions_.history,
        noClient.isEmpty() ? noHistory : noClient);
    add(QStringLiteral("Recently removed\u2026"), {}, actions_.recentlyRemoved, {});
    add(QStringLiteral("Session log\u2026"), {}, actions_.sessions, {});
    menu.addSeparator();
    add(QStringLiteral("Copy ID"), QKeySequence(QKeySequence::Copy), actions_.copyId, noClient);
    menu.addSeparator();
    add(
        QStringLiteral("Import\u2026"), QKeySequence(Qt::CTRL | Qt::Key_I),
        [this] { transfer_.AskImport(); }, noEdit);
    add(QStringLiteral("Export\u2026"), QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] { transfer_.Export(false); }, {});
    add(QStringLiteral("Export history\u2026"), {}, actions_.exportHistory, noHistory);
    if (book_.Filtered()) {
        menu.addAction(QStringLiteral("Export the %1 shown\u2026").arg(book_.ShownCount()), this,
                       [this] { Guarded([this] { transfer_.Export(true); }); });
    }
    menu.exec(table_.viewport()->mapToGlobal(at));
}
