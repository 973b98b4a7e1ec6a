// From a click of "Connect To Client" to the customer's desktop on the technician's screen,
// against ssvncviewer started by hand with the same arguments, in the same run: x11vnc on one
// private X screen calls a test repeater, the viewer shows on a second one. Each repetition
// measures both, in turns, so the machine's load falls on both alike.
#include "app/ListBox.h"
#include "app/Unit1.h"
#include "app/UserSettings.h"
#include "app/ViewerSessions.h"
#include "core/NativeViewer.h"
#include "platform/Files.h"
#include "support/ChildProcesses.h"
#include "support/PrivateDisplay.h"
#include "support/TestRepeater.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include <benchmark/benchmark.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr unsigned Magenta = 0xFF00FF;
const QString Password = QStringLiteral("Bench27!");
const QString Id = QStringLiteral("424242");

int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Spin(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// The viewers the window started: they outlive it by design, not the benchmark.
void StopWindowsViewers() {
    for (const int pid : ChildProcessesRunning("vncviewer")) {
        ::kill(-pid, SIGKILL);
    }
}

struct Rig {
    Rig() {
        dir = fs::temp_directory_path() / "mbv-bench-connect";
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "clientlist.txt") << "Customer\r\n";
        std::ofstream(dir / "clientIDlist.txt") << Id.toStdString() << "\r\n";
        platform::SetExecutablePathForTesting((dir / "MyBrindleViewer").string());
        customer.Paint(Magenta);
        qputenv("DISPLAY", technician.Name().toLatin1());
        UserSettings().setValue(ViewerSessions::ChoiceKey(), QStringLiteral("system"));
    }
    ~Rig() { fs::remove_all(dir); }

    bool Shown() const { return technician.Count(Magenta) >= 320 * 240 / 2; }

    fs::path dir;
    TestRepeater repeater;
    PrivateDisplay customer{320, 240};
    PrivateDisplay technician{640, 480};
};

void ConnectToFirstFrame(benchmark::State& state) {
    Rig rig;
    TForm1 form;
    form.FormCreate();
    form.findChild<QRadioButton*>(QStringLiteral("RadioButton10"))->setChecked(true);
    form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QStringLiteral("127.0.0.1"));
    form.findChild<QLineEdit*>(QStringLiteral("NumEdit2"))
        ->setText(QString::number(rig.repeater.ViewerPort()));
    form.findChild<QCheckBox*>(QStringLiteral("CheckBox3"))->setChecked(true);
    form.findChild<QLineEdit*>(QStringLiteral("Edit4"))->setText(Password);
    form.findChild<ListBox*>(QStringLiteral("ListBox1"))->SetItemIndex(0);
    auto* button = form.findChild<QPushButton*>(QStringLiteral("Button2"));

    // By hand: the same arguments the window gives the viewer, the password on its input.
    core::LaunchInputs inputs;
    inputs.host = "127.0.0.1";
    inputs.port = std::to_string(rig.repeater.ViewerPort());
    inputs.id = Id.toStdString();
    inputs.quality =
        form.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->currentText().toStdString();
    inputs.autoscaling = " -autoscaling";
    inputs.passwordSwitch = " -password ";
    inputs.password = Password.toStdString();
    const core::NativeLaunch launch = core::NativeViewerLaunch(inputs);
    QStringList arguments;
    for (const std::string& argument : launch.arguments) {
        arguments << QString::fromStdString(argument);
    }

    double window = 0;
    double byHand = 0;
    int turn = 0;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const bool byWindow = (side + turn) % 2 == 0;
            CustomerServer server(rig.customer, Password, Id, rig.repeater.ServerPort());
            Spin([&] { return rig.repeater.ServersWaiting() == 1; });
            QProcess viewer;
            const int64_t start = Now();
            if (byWindow) {
                button->click();
            } else {
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("SSVNC_NO_MESSAGE_POPUP"), QStringLiteral("1"));
                viewer.setProcessEnvironment(environment);
                viewer.start(QStringLiteral("ssvncviewer"), arguments);
                viewer.write(QByteArray::fromStdString(launch.input));
                viewer.closeWriteChannel();
            }
            Spin([&] { return rig.Shown(); });
            const double seconds = static_cast<double>(Now() - start) / 1e9;
            (byWindow ? window : byHand) += seconds;
            if (byWindow) {
                state.SetIterationTime(seconds);
                // Closed as the technician closes it: the window starts no other.
                rig.technician.CloseWindows();
            } else {
                viewer.kill();
                viewer.waitForFinished();
            }
            Spin([&] { return rig.technician.Count(Magenta) == 0; });
        }
        ++turn;
    }
    StopWindowsViewers();
    state.counters["window_ms"] = window * 1000 / static_cast<double>(state.iterations());
    state.counters["by_hand_ms"] = byHand * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = window / byHand;
}

BENCHMARK(ConnectToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
