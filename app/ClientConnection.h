#pragma once

#include <QObject>
#include <QString>

#include <string>

namespace Ui {
class TForm1;
}
namespace core {
class ProgramFiles;
}
class PasswordKeeper;
class ViewerSessions;

// Connect To Client: the launch line from the window's controls, written to the batch file and
// started, or the same settings given to the system's viewer; and the choice between the two.
class ClientConnection final : public QObject {
    Q_OBJECT
public:
    ClientConnection(Ui::TForm1& ui, PasswordKeeper& keeper, QObject* parent = nullptr);

    // The viewer the technician chose, or the one in Bin when one is there.
    void ChooseViewer(const core::ProgramFiles& files);
    // Connects to this ID, once a password read from the keyring is here; name: the client's as
    // shown, or empty. An error says why not.
    void Connect(const std::string& id, const QString& name);
    bool Waiting() const { return waiting_; }

signals:
    // For the window's status line.
    void Said(const QString& what);
    // A viewer was started for the client.
    void Launched();

private:
    void ConnectNow(const std::string& id, const QString& name);

    // What is missing said, and the page holding its field opened at it.
    void ShowAt(QWidget& field, const std::string& missing);

    Ui::TForm1& ui_;
    PasswordKeeper& keeper_;
    ViewerSessions* viewers_;
    bool waiting_ = false;
};
