#pragma once

#include "app/SharedBookAddress.h"

#include <QObject>
#include <QString>

namespace Ui {
class TForm1;
}
class BookLists;
class SharedBook;

// The Shared Book page: the server's address in its fields, Connect and Disconnect, and the
// status line. The address is remembered for this user (never the password: that goes to the
// system keyring once the server has taken it), and a book shared before is connected again
// at the next start.
class SharedBookPage final : public QObject {
    Q_OBJECT
public:
    SharedBookPage(Ui::TForm1& ui, BookLists& book, QObject* parent = nullptr);

    // At start: the shared book of an earlier start, taken up again.
    void Resume();
    // The command line's address: filled in, and connected as if Connect were pressed. False,
    // with the reason said, when the address is not one.
    bool ConnectTo(const QString& url);

    SharedBook& Book() { return *book_; }

    static QString AddressKey() { return QStringLiteral("sharedBook"); }

signals:
    void Said(const QString& what);

private:
    void ConnectPressed();
    void Start(const SharedBookAddress& address, bool joining);
    void Show();
    void KeepPassword();
    SharedBookAddress Typed() const;
    void Fill(const SharedBookAddress& address);

    Ui::TForm1& ui_;
    SharedBook* book_;
    // The password typed for this connection, for the keyring once the server took it.
    QString typed_;
};
