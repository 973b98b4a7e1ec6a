#pragma once

#include "core/Book.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TForm1;
}
namespace core {
class ProgramFiles;
}
namespace platform {
class StartedProgram;
}
class ConnectionLog;
class PasswordKeeper;
class QTimer;
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
    // shown, or empty; client: the book's, as the session log names it (none: the ID alone).
    // An error says why not.
    void Connect(const std::string& id, const QString& name, core::Client client = {});
    // Every connection's start and end.
    ConnectionLog& Log() const { return *log_; }
    bool Waiting() const { return waiting_; }

signals:
    // For the window's status line.
    void Said(const QString& what);
    // A viewer was started for the client.
    void Launched(const core::Client& client);

private:
    void ConnectNow(const std::string& id, const QString& name, const core::Client& client);
    // The viewer started from the batch line, watched until it ends for the session log.
    void Watch(std::unique_ptr<platform::StartedProgram> started, const std::string& session);

    // What is missing said, and the page holding its field opened at it.
    void ShowAt(QWidget& field, const std::string& missing);

    Ui::TForm1& ui_;
    PasswordKeeper& keeper_;
    ViewerSessions* viewers_;
    ConnectionLog* log_;
    bool waiting_ = false;
};
