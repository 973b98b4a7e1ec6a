#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class Keyring;
class QCheckBox;
class QLineEdit;

// Where the viewer password lives. With "Keep it in the system keyring" off, in myviewer.ini as
// always. With it on, in the desktop's keyring: read in the background at start (Connect waits
// for that read), written at close, and the file's value left empty. A keyring that does not
// answer is said once, and the password then stays in the file: it is never dropped.
// The choice is the user's own setting, not the book's.
class PasswordKeeper final : public QObject {
    Q_OBJECT
public:
    PasswordKeeper(QCheckBox& store, QLineEdit& password, QCheckBox& inKeyring, QString key,
                   QObject* parent = nullptr);

    // After the settings file is loaded; the values as read from it.
    void Start(const std::vector<std::string>& fileValues);
    // Until the start's read has answered, at most a few seconds, the event loop running.
    void WaitForRead();
    // At close: the values to write, without the password when the keyring took it.
    void Save(core::SettingsValues& values);

    static QString ChoiceKey() { return QStringLiteral("passwordInKeyring"); }

signals:
    // One line for the user: the keyring failed and where the password is now.
    void Said(const QString& what);

private:
    void Read(bool choose);
    void Failed();
    // Runs the event loop until done() holds or the keyring's time is up; false when it is up.
    static bool Wait(const std::function<bool()>& done);

    QCheckBox& store_;
    QLineEdit& password_;
    QCheckBox& inKeyring_;
    QString key_;
    bool reading_ = false;
    bool failureSaid_ = false;
    // The keyring held this book's item at start, or was chosen before.
    bool used_ = false;
    // The user has made the choice: before, or with the box itself.
    bool chosen_ = false;
};
