#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class Keyring;
class QCheckBox;
class QLineEdit;

// Where the viewer password lives. With "Keep it in the system keyring" off, in myviewer.ini as
// always. With it on, in the desktop's keyring: read in the background at start (Connect waits
// for that read), written at close, and the file's value left empty. A read that failed or never
// answered leaves the password unknown, never empty: the close then leaves the keyring's item
// as it is, and Connect asks for the password instead of sending none. A password typed while
// the keyring does not answer stays in the file. It is never dropped.
// The choice is the user's own setting, not the book's.
class PasswordKeeper final : public QObject {
    Q_OBJECT
public:
    PasswordKeeper(QCheckBox& store, QLineEdit& password, QCheckBox& inKeyring, QString key,
                   QObject* parent = nullptr);

    // After the settings file is loaded; the values as read from it.
    void Start(const std::vector<std::string>& fileValues);
    // Calls then once the start's read has answered, or after the keyring's time (saying so),
    // the window going on meanwhile; at once when no read is on its way.
    void WhenRead(QObject* context, std::function<void()> then);
    // The close's part in the keyring: the password written to it or its item removed; done is
    // called once the keyring has answered or its time is up (at once when it has nothing to
    // do).
    void Settle(std::function<void()> done);
    // The values the close writes, without the password when the keyring took it or keeps it.
    void Save(core::SettingsValues& values) const;
    // Whether the password field holds the password: false while the keyring that keeps it has
    // not answered and nothing was typed.
    bool Known() const { return known_; }
    // Why it is not known, for a message.
    QString WhyUnknown() const;

    static QString ChoiceKey() { return QStringLiteral("passwordInKeyring"); }

signals:
    // One line for the user: the keyring failed and where the password is now.
    void Said(const QString& what);
    // The keyring answered the start's read, whatever it said.
    void ReadDone();

private:
    void Read(bool choose);
    // A read of the keyring that holds the password has not answered in time: said once.
    void SayIfUnanswered();
    // One line for the user, each different line once.
    void Say(const QString& what);
    // Settle, once the start's read is done.
    void SettleRead(std::function<void()> done);
    // The keyring has this password: the file does not keep it.
    void TakeOutOfFile(const QString& password);

    QCheckBox& store_;
    QLineEdit& password_;
    QCheckBox& inKeyring_;
    QString key_;
    bool reading_ = false;
    QStringList said_;
    bool known_ = true;
    // The keyring that keeps this book's password said it holds none: locked, or emptied.
    bool missing_ = false;
    // The keyring is known to hold this book's item: read, or written, in this session.
    bool itemThere_ = false;
    // The user turned "Store Password" or the keyring box off in this session.
    bool turnedOff_ = false;
    // The keyring held this book's item at start, or was chosen before.
    bool used_ = false;
    // The user has made the choice: before, or with the box itself.
    bool chosen_ = false;
    // What Settle left to the keyring, not the file.
    bool outOfFile_ = false;
    QString tookOut_;
    // The keyring is offered once "Store Password" is ticked: nothing was read at start.
    bool offerOnStore_ = false;
};
