#pragma once

#include "core/NativeViewer.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

// The system's viewer, one process per connection: started with the password on its standard
// input, watched until it ends, and what its end means told to the window. Connections may run
// side by side; closing the window leaves them running.
class ViewerSessions : public QObject {
    Q_OBJECT
public:
    struct Request {
        QString client; // as the window names it: "Acme (ID 123456)"
        core::NativeLaunch launch;
        std::string binFolder; // named, with the package, when no viewer is installed
        // A connection that drops after its desktop was shown is made again, a few times.
        bool reconnect = false;
        // The session log's ID for the connection.
        std::string session;
    };

    explicit ViewerSessions(QObject* parent = nullptr);
    ~ViewerSessions() override;

    // Starts the viewer; an error saying why when it cannot be started.
    void Start(Request request);

    // How long the viewer may wait at the repeater for the client's computer before the
    // connection is given up: the user's setting, 60 seconds unless set.
    static int WaitSeconds();
    static QString WaitKey();
    // The viewer the technician chose: "bin" or "system", per user.
    static QString ChoiceKey();
    // Times a dropped connection is made again before it is reported.
    static constexpr int Reconnects = 3;

signals:
    // A line for the window's status line: connecting, connected, ended.
    void Said(const QString& what);
    // A connection that failed or dropped for good: the window tells the technician.
    void Failed(const QString& what);
    // The connection is over: closed by the technician (ok), or failed with the reason.
    void Over(const std::string& session, bool ok, const QString& why);

private:
    struct Session;
    void Launch(Session& session);
    void Read(Session& session);
    void Finish(Session& session);
    void Heard(Session& session, std::string line);
    void Forget(Session* session);

    std::vector<std::unique_ptr<Session>> sessions_;
};
