#include "app/BookLists.h"

#include "app/ListBox.h"
#include "app/QtText.h"

#include <QScrollBar>
#include <QUndoCommand>

#include <algorithm>

namespace {

// Mirroring reaches rows 0 to 99999; a selection beyond leaves the other list as it is.
constexpr int MaxMirroredPosition = 99999;

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
        if (store_.Undoable()) {
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

} // namespace

BookLists::BookLists(ListBox* names, ListBox* ids, QObject* parent)
    : QObject(parent), names_(names), ids_(ids) {
    // The two lists scroll together, so a name and its ID always stand side by side.
    connect(names_->verticalScrollBar(), &QScrollBar::valueChanged, ids_->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(ids_->verticalScrollBar(), &QScrollBar::valueChanged, names_->verticalScrollBar(),
            &QScrollBar::setValue);
    Watch(names_, BookFilter::Names);
    Watch(ids_, BookFilter::Ids);
}

void BookLists::SetStore(BookStore& home) {
    home_ = &home;
    store_ = &home;
}

void BookLists::Share(BookStore* shared) {
    // The steps on the stack were edits of the other book.
    undo_.clear();
    store_ = shared ? shared : home_;
}

void BookLists::UndoLast() {
    if (const QString why = store_->WhyNoUndo(); !why.isEmpty()) {
        emit Done(why);
        return;
    }
    if (undo_.canUndo()) {
        const QString text = undo_.undoText();
        undo_.undo();
        emit Done(QStringLiteral("Undone: ") + text);
    }
}

void BookLists::RedoLast() {
    if (store_->Undoable() && undo_.canRedo()) {
        const QString text = undo_.redoText();
        undo_.redo();
        emit Done(QStringLiteral("Done again: ") + text);
    }
}

void BookLists::Push(QUndoCommand* edit, const QString& said) {
    undo_.push(edit);
    // A store that cannot undo tells what its edits did once they are done.
    if (store_->Undoable() && !said.isEmpty()) {
        emit Done(said);
    }
}

void BookLists::Watch(ListBox* list, BookFilter::List which) {
    const ByteListModel& rows = list->Rows();
    connect(&rows, &ByteListModel::RowInserted, this, [this, list, which](int position) {
        filter_.RowInserted(which, static_cast<size_t>(position),
                            list->Items()[static_cast<size_t>(position)]);
        Reapply();
    });
    connect(&rows, &ByteListModel::RowTaken, this, [this, which](int position) {
        filter_.RowTaken(which, static_cast<size_t>(position));
        Reapply();
    });
    connect(&rows, &ByteListModel::RowChanged, this, [this, list, which](int position) {
        filter_.RowTaken(which, static_cast<size_t>(position));
        filter_.RowInserted(which, static_cast<size_t>(position),
                            list->Items()[static_cast<size_t>(position)]);
        Reapply();
    });
    connect(&rows, &ByteListModel::RowsReplaced, this, [this, which] {
        filter_.RowsReplaced(which);
        Reapply();
    });
}

void BookLists::Add(core::Client client) {
    const QString text = QStringLiteral("Added ") + Client(client.name, client.id);
    core::Book clients;
    clients.Add(std::move(client));
    Push(new AddClients(*this, text, std::move(clients)), text);
}

void BookLists::AddMany(core::Book clients) {
    if (clients.names.empty()) {
        return;
    }
    const QString text = QStringLiteral("Imported ") + ClientCount(clients.Count());
    Push(new AddClients(*this, text, std::move(clients)),
         text + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
}

void BookLists::RemoveSelected() {
    const int nameRow = names_->ItemIndex();
    const int idRow = ids_->ItemIndex();
    if (nameRow < 0 && idRow < 0) {
        return;
    }
    auto* edit = new RemoveClient(*this, nameRow, nameRow >= 0 ? names_->Item(nameRow) : "", idRow,
                                  idRow >= 0 ? ids_->Item(idRow) : "");
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

void BookLists::Mirror(const ListBox* from) {
    ListBox* to = from == names_ ? ids_ : names_;
    const int position = from->ItemIndex();
    if (position >= 0 && position <= MaxMirroredPosition) {
        to->SetItemIndex(position);
    }
}

void BookLists::SelectEach(int nameRow, int idRow) {
    if (nameRow >= 0) {
        names_->SetItemIndex(nameRow);
    }
    if (idRow >= 0) {
        ids_->SetItemIndex(idRow);
    }
}

void BookLists::Select(int row) {
    names_->SetItemIndex(row);
    ids_->SetItemIndex(row);
}

int BookLists::Selected() const {
    return names_->ItemIndex();
}

void BookLists::SelectShown(int step) {
    const int shown = names_->ShownCount();
    if (shown == 0) {
        return;
    }
    int place = names_->ShownPlaceOf(names_->ItemIndex());
    place = place < 0 ? (step > 0 ? 0 : shown - 1) : std::clamp(place + step, 0, shown - 1);
    Select(names_->ShownRow(place));
}

void BookLists::SelectShownAt(int at) {
    const int shown = names_->ShownCount();
    if (shown > 0) {
        Select(names_->ShownRow(at < 0 ? shown - 1 : std::min(at, shown - 1)));
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
    // Without a filter the views hold every row already, unless it was on a moment ago.
    if (shown || names_->Filtered()) {
        names_->SetShown(shown);
        ids_->SetShown(shown);
    }
    reapplying_ = false;
    emit ShownChanged(ShownCount(), Count(), Filtered());
}

bool BookLists::Filtered() const {
    return names_->Filtered();
}

int BookLists::ShownCount() const {
    return names_->ShownCount();
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
    for (int place = 0; place < names_->ShownCount(); ++place) {
        const auto row = static_cast<size_t>(names_->ShownRow(place));
        if (row < names.size() && row < ids.size()) {
            shown.Add({std::string(names[row]), std::string(ids[row])});
        }
    }
    return shown;
}
