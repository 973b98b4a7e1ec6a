#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class BookLists;
class QTabWidget;
class SessionStore;
class SharedBook;
struct SharedBookAddress;

// The Shared Book page: the server's address in its fields, Connect and Disconnect, and the
// status line. The address is remembered for this user (never the password: that goes to the
// system keyring once the server has taken it), and a book shared before is connected again
// at the next start.
//
// A copy built without PostgreSQL has the same part with no page: it shares nothing and says
// so when asked to (SharedBookPage_none.cpp).
class SharedBookPage final : public QObject {
    Q_OBJECT
public:
    // Adds the page as the last of pages; its edits go to book while it is shared.
    SharedBookPage(QTabWidget& pages, BookLists& book, QObject* parent = nullptr);
    ~SharedBookPage() override;

    // At start: the shared book of an earlier start, taken up again.
    void Resume();
    // The command line's address: filled in, and connected as if Connect were pressed. False,
    // with the reason said, when the address is not one.
    bool ConnectTo(const QString& url);

    // Whether the book is the server's now: its files are this computer's copy of it.
    bool On() const;
    // The edits waiting for the server (see SharedBook::QueueLines), and taken up.
    std::vector<std::string> QueueLines() const;
    void SetQueue(const std::vector<std::string>& lines);
    // The team's session log while the book is shared (nullptr where none can be).
    SessionStore* Sessions() const;
    // The server's first rows, shown while the rest was awaited, give way to what the lists
    // held before: the close keeps no half book.
    void EndPreview();

    static QString AddressKey() { return QStringLiteral("sharedBook"); }

    // The command line's --export-sessions for a shared book (the address given, else the one
    // of an earlier start): the team's session log from its server as CSV to path, with the
    // keyring's password. Nothing when the book is not shared; otherwise how many rows were
    // written, or an Exception saying why none were.
    static std::optional<qint64> ExportTeamSessions(const QString& url, const QString& path);

signals:
    void Said(const QString& what);
    // Connected, offline, refused…: what the book takes may have changed.
    void StateChanged();
    // The server's rows changed the book: its copy on this computer is due.
    void BookChanged();

private:
    void ConnectPressed();
    void Start(const SharedBookAddress& address, bool joining);
    void Show();
    void KeepPassword();
    SharedBookAddress Typed() const;
    void Fill(const SharedBookAddress& address);

    // The page's widgets; none where the book cannot be shared.
    struct Page;
    QTabWidget* pages_ = nullptr;
    std::unique_ptr<Page> page_;
    SharedBook* book_ = nullptr;
    // The password typed for this connection, for the keyring once the server took it.
    QString typed_;
};
