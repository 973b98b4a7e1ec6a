#include "app/BookLists.h"

#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "core/NaturalOrder.h"

#include <QHeaderView>
#include <QTimer>
#include <QUndoCommand>

#include <algorithm>
#include <numeric>
#include <set>

namespace {

QString Client(const std::string& name, const std::string& id) {
    return DisplayText(name, 60) + QStringLiteral(" (") + DisplayText(id, 20) + u')';
}

} // namespace

// One edit of the book, done through the store and undone the same way.
class BookEdit : public QUndoCommand {
public:
    explicit BookEdit(BookLists& lists, const QString& text)
        : QUndoCommand(text), lists_(lists), store_(*lists.store_) {}

protected:
    // What was selected before the edit is selected again once it is undone.
    void Reselect(int nameRow, int idRow) { lists_.SelectEach(nameRow, idRow); }
    bool Carry(const core::Client& from, const core::Client& to) { return lists_.Carry(from, to); }
    BookLists& lists_;
    BookStore& store_;
};

namespace {

// Clients added at the end of the book: one typed, or many from a file as one step.
class AddClients final : public BookEdit {
public:
    AddClients(BookLists& lists, const QString& text, core::Book clients)
        : BookEdit(lists, text), clients_(std::move(clients)) {}
    void redo() override { store_.Append(clients_); }
    void undo() override { store_.TakeLast(clients_.names.size(), clients_.ids.size()); }

private:
    core::Book clients_;
};

// Each list's selected row; a list without a selection keeps its rows.
class RemoveClient final : public BookEdit {
public:
    RemoveClient(BookLists& lists, int nameRow, std::string name, int idRow, std::string id)
        : BookEdit(lists, QStringLiteral("Removed ") + Client(name, id)), nameRow_(nameRow),
          idRow_(idRow), name_(std::move(name)), id_(std::move(id)) {}
    void redo() override { store_.Remove(nameRow_, idRow_); }
    void undo() override {
        store_.Restore(nameRow_, name_, idRow_, id_);
        Reselect(nameRow_, idRow_);
    }

private:
    int nameRow_;
    int idRow_;
    std::string name_;
    std::string id_;
};

// The name list moves its selected row; the ID list moves its own selected row, or is left
// without a selection when that row cannot move (lists out of step).
class MoveClient final : public BookEdit {
public:
    MoveClient(BookLists& lists, int nameRow, int idRow, int step)
        : BookEdit(lists, step < 0 ? QStringLiteral("Moved a client up")
                                   : QStringLiteral("Moved a client down")),
          nameRow_(nameRow), idRow_(idRow), step_(step) {}
    void redo() override {
        idMoved_ = store_.Move(nameRow_, idRow_, step_);
        // The client moved stays selected, so the next press moves it on. A shared book's
        // move shows when the server tells it, and the selection follows it then.
        if (!store_.KeepsOwnSteps()) {
            Reselect(nameRow_ + step_, idMoved_ ? idRow_ + step_ : -1);
        }
    }
    void undo() override {
        store_.Move(nameRow_ + step_, idMoved_ ? idRow_ + step_ : -1, -step_);
        Reselect(nameRow_, idMoved_ ? idRow_ : -1);
    }

private:
    int nameRow_;
    int idRow_;
    int step_;
    bool idMoved_ = false;
};

// A client changed in place: its name, its ID or both.
class EditClient final : public BookEdit {
public:
    EditClient(BookLists& lists, int row, core::Client was, core::Client now)
        : BookEdit(lists, QStringLiteral("Changed ") + Client(was.name, was.id) +
                              QStringLiteral(" to ") + Client(now.name, now.id)),
          row_(row), was_(std::move(was)), now_(std::move(now)) {}
    void redo() override {
        store_.Change(row_, was_, now_);
        // Its tags, note and star go with it; a server's row keeps them itself.
        if (!store_.KeepsOwnSteps()) {
            carried_ = Carry(was_, now_);
        }
    }
    void undo() override {
        store_.Change(row_, now_, was_);
        if (carried_) {
            Carry(now_, was_);
        }
        Reselect(row_, row_);
    }

private:
    int row_;
    core::Client was_;
    core::Client now_;
    bool carried_ = false;
};

// A client's tags and note changed. A note typed on (within a while, the same client) is one
// step.
class EditClientExtra final : public BookEdit {
public:
    EditClientExtra(BookLists& lists, const core::Client& client, core::ClientExtra was,
                    core::ClientExtra now)
        : BookEdit(lists, Text(client, was, now)), client_(client), was_(std::move(was)),
          now_(std::move(now)) {}
    void redo() override {
        if (store_.ChangeExtra(client_, was_, now_)) {
            lists_.FollowExtra(client_, now_);
        }
    }
    void undo() override {
        if (store_.ChangeExtra(client_, now_, was_)) {
            lists_.FollowExtra(client_, was_);
        }
    }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const EditClientExtra*>(other);
        if (next->client_ != client_ || next->was_.tags != next->now_.tags ||
            was_.tags != now_.tags) {
            return false;
        }
        now_ = next->now_;
        return true;
    }

private:
    static QString Text(const core::Client& client, const core::ClientExtra& was,
                        const core::ClientExtra& now) {
        return (was.tags != now.tags ? QStringLiteral("Changed the tags of ")
                                     : QStringLiteral("Changed the note of ")) +
               Client(client.name, client.id);
    }
    core::Client client_;
    core::ClientExtra was_;
    core::ClientExtra now_;
};

// A client put back from the recycle bin, and into it again when undone.
class PutBackClient final : public BookEdit {
public:
    PutBackClient(BookLists& lists, BinItem item)
        : BookEdit(lists, QStringLiteral("Restored ") + Client(item.client.name, item.client.id)),
          item_(std::move(item)) {}
    void redo() override {
        row_ = store_.PutBack(item_);
        Reselect(row_, row_);
    }
    void undo() override {
        if (row_ >= 0) {
            store_.TakeOut(row_, item_);
        }
    }

private:
    BinItem item_;
    int row_ = -1;
};

} // namespace

BookLists::BookLists(ClientTable& table, QObject* parent)
    : QObject(parent), table_(table), names_(&table.Names()), ids_(&table.Ids()) {
    Watch(names_, BookFilter::Names);
    Watch(ids_, BookFilter::Ids);
    filter_.SetExtras(
        [this](std::string_view name, std::string_view id) { return notes_.Find(name, id); });
    BookTableModel::Extra extra;
    extra.tags = [this](int row) {
        const core::ClientExtra* found = ExtraAt(row);
        QString tags = found ? QString::fromStdString(core::JoinTags(found->tags)) : QString();
        if (filtered_ && filter_.FoundInNote(static_cast<size_t>(row))) {
            tags = tags.isEmpty() ? NoteFindMark() : NoteFindMark() + QStringLiteral(", ") + tags;
        }
        return tags;
    };
    extra.note = [this](int row) {
        const core::ClientExtra* found = ExtraAt(row);
        // A tool tip shows the start of a long note.
        constexpr int TipCharacters = 600;
        if (!found || found->note.empty()) {
            return QString();
        }
        QString note = QString::fromStdString(found->note);
        if (note.size() > TipCharacters) {
            note = note.left(TipCharacters) + QStringLiteral("\u2026");
        }
        return note;
    };
    extra.favourite = [this](int row) { return Favourite(row); };
    table_.Model().ShowExtra(std::move(extra));
}

void BookLists::SetStore(BookStore& home) {
    home_ = &home;
    store_ = &home;
}

void BookLists::Share(BookStore* shared) {
    // The steps on the stack were edits of the other book.
    undo_.clear();
    store_ = shared ? shared : home_;
    // A shared book's server notes who changed each client and when.
    table_.ShowChanged(
        shared ? std::function<QString(int)>([shared](int row) { return shared->ChangedText(row); })
               : nullptr);
}

void BookLists::UndoLast() {
    if (store_->KeepsOwnSteps()) {
        store_->UndoStep();
        return;
    }
    if (undo_.canUndo()) {
        const QString text = undo_.undoText();
        undo_.undo();
        emit Done(QStringLiteral("Undone: ") + text);
    }
}

void BookLists::RedoLast() {
    if (store_->KeepsOwnSteps()) {
        store_->RedoStep();
        return;
    }
    if (undo_.canRedo()) {
        const QString text = undo_.redoText();
        undo_.redo();
        emit Done(QStringLiteral("Done again: ") + text);
    }
}

QString BookLists::UndoText() const {
    if (store_->KeepsOwnSteps()) {
        return store_->UndoStepText();
    }
    return undo_.canUndo() ? undo_.undoText() : QString();
}

QString BookLists::RedoText() const {
    if (store_->KeepsOwnSteps()) {
        return store_->RedoStepText();
    }
    return undo_.canRedo() ? undo_.redoText() : QString();
}

void BookLists::Push(QUndoCommand* edit, const QString& said) {
    // A store with steps of its own is only asked to do the edit, and tells what it did once it
    // is done.
    if (store_->KeepsOwnSteps()) {
        edit->redo();
        delete edit;
        return;
    }
    undo_.push(edit);
    if (!said.isEmpty()) {
        emit Done(said);
    }
}

void BookLists::Watch(ListBox* list, BookFilter::List which) {
    connect(list, &ListBox::RowInserted, this, [this, list, which](int position) {
        filter_.RowInserted(which, static_cast<size_t>(position),
                            list->Items()[static_cast<size_t>(position)]);
        Reapply();
        TagsColumnDue();
    });
    connect(list, &ListBox::RowTaken, this, [this, which](int position) {
        filter_.RowTaken(which, static_cast<size_t>(position));
        Reapply();
        TagsColumnDue();
    });
    connect(list, &ListBox::RowChanged, this, [this, list, which](int position) {
        filter_.RowTaken(which, static_cast<size_t>(position));
        filter_.RowInserted(which, static_cast<size_t>(position),
                            list->Items()[static_cast<size_t>(position)]);
        Reapply();
        TagsColumnDue();
    });
    connect(list, &ListBox::RowsReplaced, this, [this, which] {
        filter_.RowsReplaced(which);
        Reapply();
        TagsColumnDue();
    });
}

void BookLists::TagsColumnDue() {
    // Once for a run of changes (an import inserts row after row), and only for a book with tags.
    if (tagsColumnDue_ || notes_.Empty()) {
        return;
    }
    tagsColumnDue_ = true;
    QTimer::singleShot(0, this, [this] {
        tagsColumnDue_ = false;
        table_.ShowTags(AnyTags());
    });
}

void BookLists::Add(core::Client client) {
    const QString text = QStringLiteral("Added ") + Client(client.name, client.id);
    core::Book clients;
    clients.Add(std::move(client));
    Push(new AddClients(*this, text, std::move(clients)), text);
}

void BookLists::AddMany(core::Book clients, std::vector<core::ClientExtra> extras) {
    if (clients.names.empty()) {
        return;
    }
    // Their tags and notes come with them, for clients that have none yet; an import undone
    // leaves them to no client, and the close keeps none such.
    AwaitNotes();
    core::ClientNotes notes = notes_;
    bool any = false;
    if (!store_->KeepsOwnSteps()) {
        for (size_t row = 0; row < extras.size() && row < clients.Count(); ++row) {
            const core::Client client = clients.At(row);
            if (!extras[row].Empty() && !notes.Find(client)) {
                notes.Set(client, std::move(extras[row]));
                any = true;
            }
        }
    }
    const QString text = QStringLiteral("Imported ") + ClientCount(clients.Count());
    Push(new AddClients(*this, text, std::move(clients)),
         text + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
    if (any) {
        SetNotes(std::move(notes));
    }
}

void BookLists::RemoveSelected() {
    const int nameRow = names_->ItemIndex();
    const int idRow = ids_->ItemIndex();
    if (nameRow < 0 && idRow < 0) {
        return;
    }
    const QString question = store_->RemovalQuestion(
        {nameRow >= 0 ? names_->Item(nameRow) : "", idRow >= 0 ? ids_->Item(idRow) : ""});
    if (!question.isEmpty() && !Messages().Ask(question)) {
        return;
    }
    auto* edit = new RemoveClient(*this, nameRow, nameRow >= 0 ? names_->Item(nameRow) : "", idRow,
                                  idRow >= 0 ? ids_->Item(idRow) : "");
    Push(edit, edit->text() + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
}

void BookLists::AwaitNotes() {
    if (notesComing_) {
        // Called once: it sets the notes, which must not call it again.
        std::exchange(notesComing_, nullptr)();
    }
}

bool BookLists::Carry(const core::Client& from, const core::Client& to) {
    AwaitNotes();
    bool carried = false;
    if (const core::ClientExtra* extra = notes_.Find(from); extra && !notes_.Find(to)) {
        FollowExtra(to, *extra);
        carried = true;
    }
    const auto star = std::find(favourites_.begin(), favourites_.end(), from);
    if (star != favourites_.end() &&
        std::find(favourites_.begin(), favourites_.end(), to) == favourites_.end()) {
        favourites_.push_back(to);
        emit FavouritesChanged();
        carried = true;
    }
    return carried;
}

const std::vector<std::pair<std::string, size_t>>& BookLists::TagsInUse() const {
    if (!tagsInUse_) {
        tagsInUse_ = notes_.TagsInUse();
    }
    return *tagsInUse_;
}

void BookLists::SetNotes(core::ClientNotes notes) {
    notes_ = std::move(notes);
    ++notesGeneration_;
    tagsInUse_.reset();
    filter_.ExtraChanged({}, -1);
    table_.ShowTags(AnyTags());
    table_.Model().ExtraChanged();
    Reapply();
    emit ExtrasChanged();
}

const core::ClientExtra* BookLists::ExtraAt(int row) const {
    if (row < 0 || notes_.Empty()) {
        return nullptr;
    }
    const auto at = static_cast<size_t>(row);
    const core::Rows& names = names_->Items();
    const core::Rows& ids = ids_->Items();
    return notes_.Find(at < names.size() ? names[at] : std::string_view(),
                       at < ids.size() ? ids[at] : std::string_view());
}

bool BookLists::EditExtra(int row, core::ClientExtra now) {
    AwaitNotes();
    const core::Client client = At(row);
    const core::ClientExtra* had = ExtraAt(row);
    core::ClientExtra was = had ? *had : core::ClientExtra();
    if (was == now) {
        return false;
    }
    auto* edit = new EditClientExtra(*this, client, std::move(was), std::move(now));
    Push(edit, edit->text() + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
    return true;
}

void BookLists::FollowExtra(const core::Client& client, core::ClientExtra extra) {
    const bool hadTags = notes_.Find(client) && !notes_.Find(client)->tags.empty();
    const bool hasTags = !extra.tags.empty();
    notes_.Set(client, std::move(extra));
    ++notesGeneration_;
    tagsInUse_.reset();
    filter_.ExtraChanged(client, RowOf(client).value_or(-1));
    if (hadTags != hasTags) {
        table_.ShowTags(AnyTags());
    }
    table_.Model().ExtraChanged();
    Reapply();
    emit ExtrasChanged();
}

bool BookLists::AnyTags() const {
    // Tags kept for a client in the recycle bin show nowhere.
    bool any = false;
    notes_.ForEach([&any](const core::Client&, const core::ClientExtra& extra) {
        any = any || !extra.tags.empty();
    });
    if (!any) {
        return false;
    }
    for (int row = 0; row < Count(); ++row) {
        if (const core::ClientExtra* extra = ExtraAt(row); extra && !extra->tags.empty()) {
            return true;
        }
    }
    return false;
}

bool BookLists::Favourite(int row) const {
    if (row < 0 || favourites_.empty()) {
        return false;
    }
    return std::find(favourites_.begin(), favourites_.end(), At(row)) != favourites_.end();
}

void BookLists::SetFavourite(int row, bool on) {
    const core::Client client = At(row);
    const auto found = std::find(favourites_.begin(), favourites_.end(), client);
    if ((found != favourites_.end()) == on) {
        return;
    }
    if (on) {
        favourites_.push_back(client);
    } else {
        favourites_.erase(found);
    }
    table_.Model().ExtraChanged();
    if (favouritesFirst_) {
        Reapply();
    }
    emit FavouritesChanged();
}

void BookLists::SetFavourites(std::vector<core::Client> favourites) {
    favourites_ = std::move(favourites);
    table_.Model().ExtraChanged();
    if (favouritesFirst_) {
        Reapply();
    }
}

void BookLists::SetFavouritesFirst(bool on) {
    if (favouritesFirst_ != on) {
        favouritesFirst_ = on;
        Reapply();
        emit FavouritesChanged();
    }
}

std::optional<int> BookLists::RowOf(const core::Client& client) const {
    const core::Rows& names = names_->Items();
    const core::Rows& ids = ids_->Items();
    const size_t rows = std::max(names.size(), ids.size());
    for (size_t row = 0; row < rows; ++row) {
        if ((row < names.size() ? names[row] : std::string_view()) == client.name &&
            (row < ids.size() ? ids[row] : std::string_view()) == client.id) {
            return static_cast<int>(row);
        }
    }
    return std::nullopt;
}

bool BookLists::Edit(int row, core::Client now) {
    const core::Client was = At(row);
    if (was.name == now.name && was.id == now.id) {
        return false;
    }
    auto* edit = new EditClient(*this, row, was, std::move(now));
    Push(edit, edit->text() + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
    return true;
}

void BookLists::PutBack(const BinItem& item) {
    auto* edit = new PutBackClient(*this, item);
    Push(edit, edit->text() + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
}

bool BookLists::MoveSelected(int step) {
    const int p = names_->ItemIndex();
    const bool refused = step < 0 ? p < 1 : (p < 0 || p >= names_->Count() - 1);
    if (refused) {
        return false;
    }
    Push(new MoveClient(*this, p, ids_->ItemIndex(), step), {});
    return true;
}

void BookLists::Replace(core::Book book) {
    Replace(core::Rows(book.names), core::Rows(book.ids));
}

std::pair<core::Rows, core::Rows> BookLists::Lists() const {
    return {names_->Items(), ids_->Items()};
}

void BookLists::ShowFirst(const core::Book& first, bool whole) {
    auto [names, ids] = Lists();
    for (auto [rows, from] : {std::pair{&names, &first.names}, {&ids, &first.ids}}) {
        if (whole) {
            *rows = core::Rows(*from);
            continue;
        }
        for (size_t i = 0; i < from->size(); ++i) {
            if (i < rows->size()) {
                rows->set(i, (*from)[i]);
            } else {
                rows->push_back((*from)[i]);
            }
        }
    }
    Replace(std::move(names), std::move(ids));
}

void BookLists::Replace(core::Rows names, core::Rows ids) {
    // The same client stays selected, wherever it now stands.
    const int nameRow = names_->ItemIndex();
    const int idRow = ids_->ItemIndex();
    const std::string name = nameRow >= 0 ? names_->Item(nameRow) : std::string();
    const std::string id = idRow >= 0 ? ids_->Item(idRow) : std::string();
    undo_.clear();
    names_->SetItems(std::move(names));
    ids_->SetItems(std::move(ids));
    if (nameRow < 0) {
        return;
    }
    const auto& newNames = names_->Items();
    const auto& newIds = ids_->Items();
    for (size_t i = 0; i < newNames.size(); ++i) {
        if (newNames[i] == name && (idRow < 0 || (i < newIds.size() && newIds[i] == id))) {
            Select(static_cast<int>(i));
            return;
        }
    }
}

void BookLists::FollowInsert(int row, const core::Client& client) {
    names_->Insert(row, client.name);
    ids_->Insert(row, client.id);
}

void BookLists::FollowTake(int row) {
    names_->Take(row);
    ids_->Take(row);
}

void BookLists::FollowMove(int from, int to) {
    // The client moved keeps its selection.
    const bool selected = names_->ItemIndex() == from;
    const core::Client client = At(from);
    FollowTake(from);
    FollowInsert(to, client);
    if (selected) {
        Select(to);
    }
}

void BookLists::FollowSet(int row, const core::Client& client) {
    names_->Set(row, client.name);
    ids_->Set(row, client.id);
}

core::Client BookLists::At(int row) const {
    return core::ClientAt(names_->Items(), ids_->Items(), static_cast<size_t>(row));
}

void BookLists::SelectEach(int nameRow, int idRow) {
    // One selection: the name's row, or the ID's where the name list lacks the row.
    if (nameRow >= 0 || idRow >= 0) {
        Select(nameRow >= 0 ? nameRow : idRow);
    }
}

void BookLists::Select(int row) {
    table_.SelectRow(row);
}

int BookLists::Selected() const {
    return names_->ItemIndex();
}

void BookLists::SelectShown(int step) {
    const BookTableModel& model = table_.Model();
    const int shown = model.rowCount();
    if (shown == 0) {
        return;
    }
    int place = model.PlaceOf(table_.SelectedRow());
    place = place < 0 ? (step > 0 ? 0 : shown - 1) : std::clamp(place + step, 0, shown - 1);
    Select(model.RowAt(place));
}

void BookLists::SelectShownAt(int at) {
    const BookTableModel& model = table_.Model();
    const int shown = model.rowCount();
    if (shown > 0) {
        Select(model.RowAt(at < 0 ? shown - 1 : std::min(at, shown - 1)));
    }
}

void BookLists::SetFilter(const QString& text) {
    filterText_ = text;
    Reapply();
}

void BookLists::Reapply() {
    if (reapplying_) {
        return;
    }
    reapplying_ = true;
    const std::vector<int>* shown = filter_.Apply(filterText_, names_->Items(), ids_->Items());
    filtered_ = shown != nullptr;
    if (Sorted() || (favouritesFirst_ && !favourites_.empty())) {
        if (shown) {
            arranged_ = *shown;
        } else {
            arranged_.resize(static_cast<size_t>(Count()));
            std::iota(arranged_.begin(), arranged_.end(), 0);
        }
        if (Sorted()) {
            SortRows(arranged_);
        }
        if (favouritesFirst_ && !favourites_.empty()) {
            // The rest of the order stays within each part.
            std::set<std::pair<std::string_view, std::string_view>> stars;
            for (const core::Client& client : favourites_) {
                stars.emplace(client.name, client.id);
            }
            const core::Rows& names = names_->Items();
            const core::Rows& ids = ids_->Items();
            std::stable_partition(arranged_.begin(), arranged_.end(), [&](int row) {
                const auto at = static_cast<size_t>(row);
                return stars.count({at < names.size() ? names[at] : std::string_view(),
                                    at < ids.size() ? ids[at] : std::string_view()}) > 0;
            });
        }
        Arrange(&arranged_);
    } else if (shown || table_.Model().Arranged()) {
        // Without a filter the table holds every row already, unless it was on a moment ago.
        Arrange(shown);
    }
    reapplying_ = false;
    emit ShownChanged(ShownCount(), Count(), Filtered());
}

void BookLists::Arrange(const std::vector<int>* rows) {
    // The selected client stays selected when it is still shown.
    const int selected = table_.SelectedRow();
    table_.FromCode([&] { table_.Model().SetShown(rows); });
    if (selected >= 0) {
        table_.SelectRow(selected);
    }
}

void BookLists::SortRows(std::vector<int>& rows) const {
    const core::Rows& column = order_.column == 0 ? names_->Items() : ids_->Items();
    // Names are compared as a reader reads them: without regard to case or accents.
    std::vector<std::string> folded;
    if (order_.column == 0) {
        folded.reserve(column.size());
        for (const std::string_view name : column) {
            folded.push_back(BookFilter::FoldBytes(name));
        }
    }
    const auto key = [&](int row) -> std::string_view {
        const auto at = static_cast<size_t>(row);
        if (at >= column.size()) {
            return {};
        }
        return order_.column == 0 ? std::string_view(folded[at]) : column[at];
    };
    // Clients that compare equal keep the book's order, either way.
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const int c = core::NaturalCompare(key(a), key(b));
        return order_.descending ? c > 0 : c < 0;
    });
}

void BookLists::SetOrder(Order order) {
    if (order.column < 0) {
        order = {};
    }
    if (order == order_) {
        return;
    }
    order_ = order;
    Reapply();
    emit OrderChanged(order_);
}

QString BookLists::WhyNoMove() const {
    // Moving a client among some of the book, or in another order than the book's, would say
    // nothing of where it lands.
    if (Filtered()) {
        return QStringLiteral("Clear the filter to move clients in the list");
    }
    if (Sorted()) {
        return QStringLiteral("Show the book's own order to move clients: click the sorted "
                              "column's header until it shows no arrow");
    }
    if (favouritesFirst_ && !favourites_.empty()) {
        return QStringLiteral("Turn Favourites first off to move clients in the list");
    }
    return {};
}

int BookLists::ShownCount() const {
    return table_.Model().rowCount();
}

int BookLists::Count() const {
    return std::max(names_->Count(), ids_->Count());
}

std::optional<int> BookLists::RowOfId(const std::string& id) const {
    const auto& ids = ids_->Items();
    const auto known = std::find(ids.begin(), ids.end(), id);
    if (known == ids.end()) {
        return std::nullopt;
    }
    return static_cast<int>(known - ids.begin());
}

core::Book BookLists::Clients(bool shownOnly) const {
    const core::Rows& names = names_->Items();
    const core::Rows& ids = ids_->Items();
    if (!shownOnly || !Filtered()) {
        return {names.Strings(), ids.Strings()};
    }
    core::Book shown;
    const BookTableModel& model = table_.Model();
    std::vector<int> rows;
    for (int place = 0; place < model.rowCount(); ++place) {
        rows.push_back(model.RowAt(place));
    }
    // A sorted table is still exported in the book's order.
    std::sort(rows.begin(), rows.end());
    for (const int shownRow : rows) {
        const auto row = static_cast<size_t>(shownRow);
        if (row < names.size() && row < ids.size()) {
            shown.Add({std::string(names[row]), std::string(ids[row])});
        }
    }
    return shown;
}
