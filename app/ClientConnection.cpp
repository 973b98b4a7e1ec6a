#include "app/ClientConnection.h"

#include "app/ConnectionLog.h"
#include "app/Messages.h"
#include "app/PasswordKeeper.h"
#include "app/QtText.h"
#include "app/UserSettings.h"
#include "app/ViewerSessions.h"
#include "core/LaunchLine.h"
#include "core/NativeViewer.h"
#include "core/ProgramFiles.h"
#include "ui_Unit1.h"

#include <QTimer>

ClientConnection::ClientConnection(Ui::TForm1& ui, PasswordKeeper& keeper, QObject* parent)
    : QObject(parent), ui_(ui), keeper_(keeper), viewers_(new ViewerSessions(this)),
      log_(new ConnectionLog(this)) {
    // Remembered once the technician picks one, never before.
    connect(ui_.ViewerBinButton, &QRadioButton::clicked, this,
            [] { UserSettings().setValue(ViewerSessions::ChoiceKey(), QStringLiteral("bin")); });
    connect(ui_.ViewerSystemButton, &QRadioButton::clicked, this,
            [] { UserSettings().setValue(ViewerSessions::ChoiceKey(), QStringLiteral("system")); });
    connect(viewers_, &ViewerSessions::Said, this, &ClientConnection::Said);
    connect(viewers_, &ViewerSessions::Failed, this,
            [](const QString& what) { Messages().ShowNotice(what); });
    connect(viewers_, &ViewerSessions::Over, this,
            [this](const std::string& session, bool ok, const QString& why) {
                log_->Ended(session, ok ? core::Session::Ended::Ok : core::Session::Ended::Error,
                            why);
            });
    connect(log_, &ConnectionLog::Said, this, &ClientConnection::Said);
}

void ClientConnection::ChooseViewer(const core::ProgramFiles& files) {
    ui_.ViewerGroup->setVisible(core::SystemViewersExist());
    const QString chosen = UserSettings().value(ViewerSessions::ChoiceKey()).toString();
    const bool system = core::SystemViewersExist() &&
                        (chosen == u"system" || (chosen != u"bin" && !files.HasViewerInBin()));
    (system ? ui_.ViewerSystemButton : ui_.ViewerBinButton)->setChecked(true);
}

void ClientConnection::Connect(const std::string& id, const QString& name, core::Client client) {
    // A password kept in the keyring is on its way from the start's read: the connection is
    // made once it is here. A press while it is on its way asks for nothing more.
    if (waiting_) {
        return;
    }
    waiting_ = true;
    if (client.name.empty() && client.id.empty()) {
        client.id = id;
    }
    keeper_.WhenRead(this, [this, id, name, client] {
        waiting_ = false;
        Guarded([&] { ConnectNow(id, name, client); });
    });
}

void ClientConnection::ShowAt(QWidget& field, const std::string& missing) {
    for (QWidget* page = &field; page; page = page->parentWidget()) {
        if (ui_.PageControl1->indexOf(page) >= 0) {
            ui_.PageControl1->setCurrentWidget(page);
            break;
        }
    }
    field.setFocus();
    ReportError(missing);
}

void ClientConnection::ConnectNow(const std::string& id, const QString& name,
                                  const core::Client& client) {
    // Without it the line would carry a bare switch and the viewer a wrong password.
    if (ui_.CheckBox3->isChecked() && !keeper_.Known()) {
        ShowMessage(StoredText(keeper_.WhyUnknown()));
        return;
    }
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    const bool system = ui_.ViewerSystemButton->isChecked();
    core::LaunchInputs launch;
    // The system's viewer is not in the program's folder, and no line names it.
    launch.folder = system ? std::string() : files.ViewerFolder();
    launch.quote = StoredText(ui_.Label3->text());
    launch.id = id;
    launch.host = StoredText(ui_.RadioButton9->isChecked() ? ui_.Edit3->text() : ui_.Edit2->text());
    launch.port = StoredText(ui_.NumEdit2->text());
    launch.autoreconnect = StoredText(ui_.Label5->text());
    launch.connect = StoredText(ui_.Label6->text());
    launch.quality = StoredText(ui_.ComboBox1->currentText());
    launch.autoscaling = StoredText(ui_.Label4->text());
    launch.passwordSwitch = StoredText(ui_.Edit7->text());
    launch.password = StoredText(ui_.Edit4->text());
    core::CheckLaunchInputs(launch);
    // A viewer started without the repeater's port or address reaches nobody and says nothing:
    // the first connect says what is missing, and the Settings page opens at it.
    if (launch.port.empty()) {
        ShowAt(*ui_.NumEdit2, "Cannot connect: type the repeater's port on the Settings page");
        return;
    }
    if (launch.host.empty()) {
        ShowAt(ui_.RadioButton9->isChecked() ? *ui_.Edit3 : *ui_.Edit2,
               "Cannot connect: type the repeater's address on the Settings page");
        return;
    }
    if (system) {
        // The password goes to the viewer's standard input: no batch file holds it.
        ViewerSessions::Request request;
        request.client = name.isEmpty()
                             ? QStringLiteral("ID ") + QString::fromStdString(id)
                             : name + QStringLiteral(" (ID %1)").arg(QString::fromStdString(id));
        request.launch = core::NativeViewerLaunch(launch);
        request.binFolder = files.Folder() + "Bin";
        request.reconnect = !launch.autoreconnect.empty();
        request.session = log_->Started(client);
        try {
            viewers_->Start(request);
        } catch (const std::exception& error) {
            log_->Ended(request.session, core::Session::Ended::Error,
                        QString::fromUtf8(error.what()));
            throw;
        }
        emit Launched(client);
        return;
    }
    const std::string written = files.WriteBatchFile({core::LaunchLine(launch)});
    // Logged once the viewer is there to start: a connect refused before it is no session.
    std::unique_ptr<platform::StartedProgram> started = files.StartBatchFile(written);
    const std::string session = log_->Started(client);
    if (!started) {
        log_->Ended(session, core::Session::Ended::Error,
                    QStringLiteral("The viewer could not be started"));
    } else {
        Watch(std::move(started), session);
    }
    emit Launched(client);
}

void ClientConnection::Watch(std::unique_ptr<platform::StartedProgram> started,
                             const std::string& session) {
    // Asked every half second: the log's times are whole seconds, and nothing waits.
    auto* poll = new QTimer(this);
    poll->setInterval(500);
    std::shared_ptr<platform::StartedProgram> program(std::move(started));
    connect(poll, &QTimer::timeout, this, [this, poll, program, session] {
        const std::optional<platform::ProcessEnd> end = program->Ended();
        if (!end) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (end->exitedNormally && end->exitCode == 0) {
            log_->Ended(session, core::Session::Ended::Ok, {});
        } else {
            log_->Ended(
                session, core::Session::Ended::Error,
                end->exitedNormally
                    ? QStringLiteral("The viewer ended with code %1").arg(end->exitCode)
                    : QStringLiteral("The viewer was ended by signal %1").arg(end->exitCode));
        }
    });
    poll->start();
}
