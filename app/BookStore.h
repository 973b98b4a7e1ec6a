#pragma once

#include "core/Book.h"
#include "core/ClientNotes.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// One change of a client, as its history lists it: action is add, edit, move, remove or restore.
struct HistoryItem {
    QString action;
    core::Client was;
    core::Client now;
    QString who;
    QDateTime when;
};

// A client in the book's recycle bin, as "Recently removed…" lists it.
struct BinItem {
    core::Client client;
    QString removedBy;
    QDateTime removedAt;
    // Which entry: the server's number for a shared book, the line of the bin's file for one
    // on this computer.
    qint64 entry = 0;
    std::string line;
};

// Where the book's edits go: this computer's files (LocalBook) or a team's server (SharedBook).
// The undo stack's commands are the one way to edit and call only this; the lists show what an
// edit did, at once for a local book, once the server has it for a shared one.
//
// Rows are each list's own: they differ only in a book whose two lists are out of step, where a
// list without a selection (-1) keeps its rows.
class BookStore {
public:
    virtual ~BookStore() = default;

    // Clients added at the end of the book.
    virtual void Append(core::Book clients) = 0;
    // The client at these rows removed.
    virtual void Remove(int nameRow, int idRow) = 0;
    // The client at these rows moved a place up (-1) or down (+1); true when the ID row moved
    // with the name's (it cannot past the end of a shorter ID list, and loses its selection).
    virtual bool Move(int nameRow, int idRow, int step) = 0;
    // The client at a row changed from what it was to what it is now (edited in place, or such
    // an edit undone); each list changes only where it has the row.
    virtual void Change(int row, const core::Client& was, const core::Client& now) = 0;

    // A client's tags and note changed from what they were; true when done here at once (the
    // lists' owner then holds them), false when they show once the server has them.
    virtual bool ChangeExtra(const core::Client&, const core::ClientExtra&,
                             const core::ClientExtra&) {
        return true;
    }

    // Why the clients' tags and notes take no edits now; empty when they do.
    virtual QString WhyNoExtraEdit() const { return WhyNoEdit(); }

    // Why the book takes no edits now (a shared book that is offline, or only to be read), for a
    // tooltip; empty when it does.
    virtual QString WhyNoEdit() const = 0;
    // A book whose edits show once somebody else has them (a server) keeps its own steps to
    // undo: those it was told are done, not the ones asked for. Others use the window's stack.
    virtual bool KeepsOwnSteps() const { return false; }
    virtual void UndoStep() {}
    virtual void RedoStep() {}
    // What UndoStep and RedoStep would do now, empty when nothing.
    virtual QString UndoStepText() const { return {}; }
    virtual QString RedoStepText() const { return {}; }
    // The question to ask before the client is removed; empty: removed at once, as undo brings
    // it back.
    virtual QString RemovalQuestion(const core::Client&) const { return {}; }
    // The clients of the recycle bin, newest first, handed to done (at once, or once the
    // server answered; why says what went wrong, with no items).
    using BinRead = std::function<void(std::vector<BinItem> items, const QString& why)>;
    virtual void ReadBin(const BinRead& done) = 0;
    // How many days the bin keeps a client.
    virtual int BinDays() const = 0;
    // A client put back from the bin where it stood (after the client it followed, or before
    // the one it preceded, or last): its row, or -1 when it shows once the server has it.
    virtual int PutBack(const BinItem& item) = 0;
    // A client put back taken out again, into the bin (the window's stack undoing PutBack).
    virtual void TakeOut(int row, const BinItem& item) = 0;

    // Who changed the client at a row last, and when ("anna · 10/12/2026 09:30"); empty where
    // the book keeps no such record (this computer's).
    virtual QString ChangedText(int) const { return {}; }
    // Why the book's history of changes cannot be read now; empty when it can.
    virtual QString WhyNoHistory() const {
        return QStringLiteral("A book on this computer keeps no history of changes: a shared "
                              "book's server keeps one");
    }
    // The changes of the client at a row, newest first (or why not, with none).
    using HistoryRead = std::function<void(std::vector<HistoryItem> items, const QString& why)>;
    virtual void ReadHistory(int, const HistoryRead& done) { done({}, WhyNoHistory()); }
    // Every change of the book's history written to a CSV file: how many, or why none.
    using HistoryExported = std::function<void(qint64 rows, const QString& why)>;
    virtual void ExportHistory(const QString&, const HistoryExported& done) {
        done(0, WhyNoHistory());
    }

    // The ways back, called by the window's stack (not for a book that KeepsOwnSteps): the last
    // rows of each list taken off (an append undone), and a removed client put back at its rows.
    virtual void TakeLast(size_t names, size_t ids) = 0;
    virtual void Restore(int nameRow, const std::string& name, int idRow,
                         const std::string& id) = 0;
};
