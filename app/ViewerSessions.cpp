#include "app/ViewerSessions.h"

#include "app/QtText.h"
#include "app/UserSettings.h"
#include "base/Exception.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <exception>

namespace {

// What is kept of the viewer's output: its last lines, each cut short; a session that runs for
// days holds no more than this.
constexpr size_t KeptLines = 40;
constexpr size_t LongestLine = 1024;

QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

struct ViewerSessions::Session {
    Request request;
    std::unique_ptr<core::ViewerProcess> child;
    std::unique_ptr<QSocketNotifier> output;
    std::unique_ptr<QSocketNotifier> end;
    // Until the repeater joins the viewer to the client's computer.
    QTimer wait;
    // After a polite request to end, the viewer is ended at once.
    QTimer force;
    // A dropped connection is made again after a pause.
    QTimer again;
    // Where the kernel cannot tell the end by a descriptor, the end is asked for.
    QTimer poll;
    std::string partial;
    std::deque<std::string> lines;
    bool shown = false;
    bool serverClosed = false;
    bool timedOut = false;
    bool finished = false;
    int reconnects = 0;
};

ViewerSessions::ViewerSessions(QObject* parent) : QObject(parent) {}

ViewerSessions::~ViewerSessions() = default;

QString ViewerSessions::WaitKey() {
    return QStringLiteral("viewerWaitSeconds");
}

QString ViewerSessions::ChoiceKey() {
    return QStringLiteral("viewer");
}

int ViewerSessions::WaitSeconds() {
    bool ok = false;
    const int seconds = UserSettings().value(WaitKey()).toInt(&ok);
    return ok && seconds > 0 ? std::min(seconds, 3600) : 60;
}

void ViewerSessions::Start(Request request) {
    auto owned = std::make_unique<Session>();
    Session* const session = owned.get();
    session->request = std::move(request);
    session->wait.setSingleShot(true);
    connect(&session->wait, &QTimer::timeout, this, [session] {
        session->timedOut = true;
        session->child->Stop();
        session->force.start();
    });
    session->force.setSingleShot(true);
    session->force.setInterval(3000);
    connect(&session->force, &QTimer::timeout, this, [session] { session->child->Stop(true); });
    // Kernels before 5.3 have no descriptor for a process's end: there it is asked for.
    session->poll.setInterval(200);
    connect(&session->poll, &QTimer::timeout, this, [this, session] { Finish(*session); });
    session->again.setSingleShot(true);
    session->again.setInterval(2000);
    connect(&session->again, &QTimer::timeout, this, [this, session] {
        try {
            Launch(*session);
        } catch (const std::exception& error) {
            Failed(QString::fromUtf8(error.what()));
            emit Over(session->request.session, false, QString::fromUtf8(error.what()));
            Forget(session);
        }
    });

    Launch(*session);
    sessions_.push_back(std::move(owned));
    Said(QStringLiteral("Connecting to %1 through the repeater at %2…")
             .arg(session->request.client,
                  Text(core::DisplayUtf8(session->request.launch.repeater, 200))));
}

void ViewerSessions::Launch(Session& session) {
    session.child = core::StartNativeViewer(session.request.launch, session.request.binFolder);
    session.partial.clear();
    session.lines.clear();
    session.shown = session.serverClosed = session.timedOut = false;
    session.finished = false;

    session.output =
        std::make_unique<QSocketNotifier>(session.child->OutputDescriptor(), QSocketNotifier::Read);
    connect(session.output.get(), &QSocketNotifier::activated, this,
            [this, s = &session] { Read(*s); });
    session.end.reset();
    if (session.child->EndDescriptor() >= 0) {
        session.end = std::make_unique<QSocketNotifier>(session.child->EndDescriptor(),
                                                        QSocketNotifier::Read);
        connect(session.end.get(), &QSocketNotifier::activated, this,
                [this, s = &session] { Finish(*s); });
    } else {
        session.poll.start();
    }
    session.wait.start(WaitSeconds() * 1000);
}

void ViewerSessions::Read(Session& session) {
    bool ended = false;
    const std::string text = session.child->ReadOutput(ended);
    for (const char c : text) {
        if (c == '\n' || session.partial.size() >= LongestLine) {
            Heard(session, std::move(session.partial));
            session.partial.clear();
            if (c == '\n') {
                continue;
            }
        }
        session.partial.push_back(c);
    }
    if (ended) {
        if (!session.partial.empty()) {
            Heard(session, std::move(session.partial));
            session.partial.clear();
        }
        session.output->setEnabled(false);
    }
}

void ViewerSessions::Heard(Session& session, std::string line) {
    switch (core::NewsIn(line)) {
    case core::ViewerNews::ServerReached:
        session.wait.stop();
        break;
    case core::ViewerNews::DesktopShown:
        session.wait.stop();
        if (!session.shown) {
            session.shown = true;
            session.reconnects = 0;
            // The line for the Windows viewer carries the plug-in; this viewer cannot.
            Said(QStringLiteral(
                "Connected without the encryption plug-in: the system's viewer cannot use it"));
        }
        break;
    case core::ViewerNews::ServerClosed:
        session.serverClosed = true;
        break;
    case core::ViewerNews::None:
        break;
    }
    session.lines.push_back(std::move(line));
    if (session.lines.size() > KeptLines) {
        session.lines.pop_front();
    }
}

void ViewerSessions::Finish(Session& session) {
    if (session.finished) {
        return;
    }
    const std::optional<core::ViewerProcessEnd> end = session.child->Ended();
    if (!end) {
        return;
    }
    session.finished = true;
    // What it wrote last is in the pipe still.
    if (session.output->isEnabled()) {
        Read(session);
    }
    session.output->setEnabled(false);
    if (session.end) {
        session.end->setEnabled(false);
    }
    session.poll.stop();
    session.wait.stop();
    session.force.stop();

    // Every text in one arg(): a name holding "%1" stays the name.
    const QString client = session.request.client;
    const QString said = Text(core::LastWords(session.lines));
    const QString because = said.isEmpty() ? QString() : QStringLiteral(": ") + said;
    bool over = true;
    // What the log says of an end that was no technician's close.
    QString failure;
    const auto fail = [&](const QString& what) {
        failure = what;
        Failed(what);
    };
    if (session.timedOut) {
        fail(QStringLiteral("No answer from %1 through the repeater at %2 within %3 seconds: "
                            "the client's computer may be off or not connected to the "
                            "repeater.")
                 .arg(client, Text(core::DisplayUtf8(session.request.launch.repeater, 200)),
                      QString::number(WaitSeconds())));
    } else {
        switch (core::JudgeEnd(end->exitedNormally, end->exitCode, session.shown,
                               session.serverClosed)) {
        case core::ViewerEnd::Closed:
            Said(QStringLiteral("The connection to %1 ended").arg(client));
            break;
        case core::ViewerEnd::Lost:
            if (session.request.reconnect && session.reconnects < Reconnects) {
                ++session.reconnects;
                Said(QStringLiteral("The connection to %1 dropped: connecting again (%2 of %3)…")
                         .arg(client, QString::number(session.reconnects),
                              QString::number(Reconnects)));
                over = false;
            } else {
                fail(QStringLiteral("The connection to %1 dropped%2").arg(client, because));
            }
            break;
        case core::ViewerEnd::Failed:
            fail(QStringLiteral("Could not connect to %1%2")
                     .arg(client,
                          !said.isEmpty() ? because
                          : end->exitedNormally
                              ? QStringLiteral(": the viewer ended with code %1").arg(end->exitCode)
                              : QStringLiteral(": the viewer was ended by signal %1")
                                    .arg(end->exitCode)));
            break;
        }
    }

    if (over) {
        // The viewer's own words where it said any.
        emit Over(session.request.session, failure.isEmpty(),
                  failure.isEmpty() || said.isEmpty() ? failure : said);
        Forget(&session);
    } else {
        session.again.start();
    }
}

void ViewerSessions::Forget(Session* session) {
    // Never from within the notifier or timer that is telling us.
    QTimer::singleShot(0, this, [this, session] {
        std::erase_if(sessions_, [session](const auto& s) { return s.get() == session; });
    });
}
