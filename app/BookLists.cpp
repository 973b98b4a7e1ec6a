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

// One edit of the book, done and undone on both lists.
class BookEdit : public QUndoCommand {
public:
    explicit BookEdit(BookLists& lists, const QString& text) : QUndoCommand(text), lists_(lists) {}

protected:
    ListBox& Names() { return *lists_.names_; }
    ListBox& Ids() { return *lists_.ids_; }
    BookLists& lists_;
};

namespace {

class AddClient final : public BookEdit {
public:
    AddClient(BookLists& lists, std::string name, std::string id)
        : BookEdit(lists, QStringLiteral("Added ") + Client(name, id)), name_(std::move(name)),
          id_(std::move(id)) {}
    void redo() override {
        nameRow_ = Names().Count();
        idRow_ = Ids().Count();
        Names().Add(name_);
        Ids().Add(id_);
    }
    void undo() override {
        Names().Delete(nameRow_);
        Ids().Delete(idRow_);
    }

private:
    std::string name_;
    std::string id_;
    int nameRow_ = 0;
    int idRow_ = 0;
};

// Clients brought in from a file, at the end of the book: one step, and one change of each
// list however many they are.
class ImportClients final : public BookEdit {
public:
    ImportClients(BookLists& lists, std::vector<std::string> names, std::vector<std::string> ids)
        : BookEdit(lists, QStringLiteral("Imported %1 clients").arg(names.size())),
          names_(std::move(names)), ids_(std::move(ids)) {}
    void redo() override {
        nameCount_ = Names().Count();
        idCount_ = Ids().Count();
        Names().SetItems(Joined(Names().Items(), names_));
        Ids().SetItems(Joined(Ids().Items(), ids_));
    }
    void undo() override {
        Names().SetItems({Names().Items().begin(), Names().Items().begin() + nameCount_});
        Ids().SetItems({Ids().Items().begin(), Ids().Items().begin() + idCount_});
    }

private:
    static std::vector<std::string> Joined(const std::vector<std::string>& rows,
                                           const std::vector<std::string>& more) {
        std::vector<std::string> joined;
        joined.reserve(rows.size() + more.size());
        joined = rows;
        joined.insert(joined.end(), more.begin(), more.end());
        return joined;
    }
    std::vector<std::string> names_;
    std::vector<std::string> ids_;
    int nameCount_ = 0;
    int idCount_ = 0;
};

// Each list's selected row; a list without a selection keeps its rows.
class RemoveClient final : public BookEdit {
public:
    RemoveClient(BookLists& lists, int nameRow, std::string name, int idRow, std::string id)
        : BookEdit(lists, QStringLiteral("Removed ") + Client(name, id)), nameRow_(nameRow),
          idRow_(idRow), name_(std::move(name)), id_(std::move(id)) {}
    void redo() override {
        if (nameRow_ >= 0) {
            Names().Delete(nameRow_);
        }
        if (idRow_ >= 0) {
            Ids().Delete(idRow_);
        }
    }
    void undo() override {
        if (nameRow_ >= 0) {
            Names().Insert(nameRow_, name_);
            Names().SetItemIndex(nameRow_);
        }
        if (idRow_ >= 0) {
            Ids().Insert(idRow_, id_);
            Ids().SetItemIndex(idRow_);
        }
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
        Names().Move(nameRow_, nameRow_ + step_);
        if (IdMoves()) {
            Ids().Move(idRow_, idRow_ + step_);
        } else {
            Ids().SetItemIndex(-1);
        }
    }
    void undo() override {
        Names().Move(nameRow_ + step_, nameRow_);
        Names().SetItemIndex(nameRow_);
        if (IdMoves()) {
            Ids().Move(idRow_ + step_, idRow_);
            Ids().SetItemIndex(idRow_);
        }
    }

private:
    bool IdMoves() { return idRow_ >= 0 && idRow_ + step_ >= 0 && idRow_ + step_ < Ids().Count(); }
    int nameRow_;
    int idRow_;
    int step_;
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

void BookLists::UndoLast() {
    // The book's edits went to others as they were made: taking one back is an edit of its own.
    if (editor_) {
        emit Done(QStringLiteral("The shared book's changes are not undone: add or remove the "
                                 "client again"));
        return;
    }
    if (undo_.canUndo()) {
        const QString text = undo_.undoText();
        undo_.undo();
        emit Done(QStringLiteral("Undone: ") + text);
    }
}

void BookLists::RedoLast() {
    if (editor_) {
        return;
    }
    if (undo_.canRedo()) {
        const QString text = undo_.redoText();
        undo_.redo();
        emit Done(QStringLiteral("Done again: ") + text);
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
    connect(&rows, &ByteListModel::RowsReplaced, this, [this, which] {
        filter_.RowsReplaced(which);
        Reapply();
    });
}

void BookLists::Add(std::string name, std::string id) {
    if (editor_) {
        editor_->AddClients({{std::move(name), std::move(id)}});
        return;
    }
    auto* edit = new AddClient(*this, std::move(name), std::move(id));
    const QString text = edit->text();
    undo_.push(edit);
    emit Done(text);
}

void BookLists::AddMany(std::vector<std::string> names, std::vector<std::string> ids) {
    if (names.empty()) {
        return;
    }
    if (editor_) {
        BookEditor::Clients clients;
        for (size_t i = 0; i < names.size(); ++i) {
            clients.emplace_back(std::move(names[i]), i < ids.size() ? std::move(ids[i]) : "");
        }
        editor_->AddClients(std::move(clients));
        return;
    }
    auto* edit = new ImportClients(*this, std::move(names), std::move(ids));
    const QString text = edit->text();
    undo_.push(edit);
    emit Done(text + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
}

void BookLists::RemoveSelected() {
    const int nameRow = names_->ItemIndex();
    const int idRow = ids_->ItemIndex();
    if (nameRow < 0 && idRow < 0) {
        return;
    }
    if (editor_) {
        editor_->RemoveRow(nameRow >= 0 ? nameRow : idRow);
        return;
    }
    auto* edit = new RemoveClient(*this, nameRow, nameRow >= 0 ? names_->Item(nameRow) : "", idRow,
                                  idRow >= 0 ? ids_->Item(idRow) : "");
    const QString text = edit->text();
    undo_.push(edit);
    emit Done(text + QStringLiteral(" \u00B7 Ctrl+Z undoes"));
}

bool BookLists::MoveSelected(int step) {
    const int p = names_->ItemIndex();
    const bool refused = step < 0 ? p < 1 : (p < 0 || p >= names_->Count() - 1);
    if (refused) {
        return false;
    }
    if (editor_) {
        editor_->MoveRow(p, step);
        return true;
    }
    undo_.push(new MoveClient(*this, p, ids_->ItemIndex(), step));
    return true;
}

void BookLists::Replace(std::vector<std::string> names, std::vector<std::string> ids) {
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

void BookLists::Mirror(const ListBox* from) {
    ListBox* to = from == names_ ? ids_ : names_;
    const int position = from->ItemIndex();
    if (position >= 0 && position <= MaxMirroredPosition) {
        to->SetItemIndex(position);
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

std::pair<std::vector<std::string>, std::vector<std::string>>
BookLists::Clients(bool shownOnly) const {
    const std::vector<std::string>& names = names_->Items();
    const std::vector<std::string>& ids = ids_->Items();
    if (!shownOnly || !Filtered()) {
        return {names, ids};
    }
    std::pair<std::vector<std::string>, std::vector<std::string>> shown;
    for (int place = 0; place < names_->ShownCount(); ++place) {
        const auto row = static_cast<size_t>(names_->ShownRow(place));
        if (row < names.size() && row < ids.size()) {
            shown.first.push_back(names[row]);
            shown.second.push_back(ids[row]);
        }
    }
    return shown;
}
