// The program with a shared book it had before (the address in the user's settings, the server
// at MBV_PG_URL, the password from PGPASSWORD), or with --local the same program without one.
// It prints the system's monotonic clock at its first painted frame ("painted SECONDS") and,
// with --until-book, once the server's first rows are in the window ("first SECONDS": the
// server's names begin with "Shared", the copy's do not) and once its whole book is ("book
// SECONDS"), then quits: how long the process takes to end is no part of its start-up.
#include "app/Keyring.h"
#include "app/ListBox.h"
#include "app/Program.h"
#include "app/UserSettings.h"
#include "store/SharedBookPage.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

class NoKeyring final : public Keyring {
public:
    void Read(const QString&, Done done) override { done(Answer::Missing, {}); }
    void Write(const QString&, const QString&, Done done) override { done(Answer::Found, {}); }
    void Remove(const QString&, Done done) override { done(Answer::Missing, {}); }
};

void Print(const char* what) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("%s %ld.%09ld\n", what, static_cast<long>(now.tv_sec), now.tv_nsec);
    std::fflush(stdout);
}

bool untilBook = false;

struct FirstPaint final : QObject {
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            Print("painted");
            if (!untilBook) {
                QMetaObject::invokeMethod(
                    qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

void Watch(QWidget& window) {
    window.installEventFilter(new FirstPaint(&window));
    if (!untilBook) {
        return;
    }
    auto* status = window.findChild<QLabel*>(QStringLiteral("SharedStatus"));
    auto* names = window.findChild<ListBox*>(QStringLiteral("ListBox1"));
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [status, names, first = false]() mutable {
        if (!first && names->Count() > 0 && names->Item(0).rfind("Shared", 0) == 0) {
            first = true;
            Print("first");
        }
        if (status->text().startsWith(QStringLiteral("Shared:"))) {
            Print("book");
            QCoreApplication::exit(0);
        }
    });
    poll->start(1);
}

} // namespace

int main(int argc, char* argv[]) {
    NoKeyring keyring;
    SetKeyring(&keyring);
    bool local = false;
    for (int i = 1; i < argc; ++i) {
        untilBook = untilBook || std::strcmp(argv[i], "--until-book") == 0;
        local = local || std::strcmp(argv[i], "--local") == 0;
    }
    if (local) {
        UserSettings().remove(SharedBookPage::AddressKey());
    } else {
        UserSettings().setValue(SharedBookPage::AddressKey(), qEnvironmentVariable("MBV_PG_URL"));
    }
    int none = 1;
    return RunProgram(none, argv, Watch);
}
