#include "support/ProgramFolder.h"

#include "app/Unit1.h"
#include "platform/Files.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTest>

#include <filesystem>

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

ProgramFolder::ProgramFolder(const QString& name)
    : dir_(QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral("-XXXXXX")) {
    platform::SetExecutablePathForTesting(Path() + "MyBrindleViewer");
    previousDirectory_ = std::filesystem::current_path().string();
    std::filesystem::current_path(Path());
}

ProgramFolder::~ProgramFolder() {
    std::filesystem::current_path(previousDirectory_);
}

std::string ProgramFolder::Path() const {
    return dir_.path().toStdString() + "/";
}

std::string ProgramFolder::File(const std::string& name) const {
    return Path() + name;
}

void ProgramFolder::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(File(name), std::ios::binary);
    out << bytes;
}

std::string ProgramFolder::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool ProgramFolder::Exists(const std::string& name) const {
    struct stat st {};
    return ::stat(File(name).c_str(), &st) == 0;
}

unsigned ProgramFolder::Mode(const std::string& name) const {
    struct stat st {};
    ::stat(File(name).c_str(), &st);
    return st.st_mode & 07777;
}

void ProgramFolder::InstallViewer() const {
    std::filesystem::create_directories(File("Bin"));
    std::filesystem::copy_file(STAND_IN_VIEWER, File("Bin/vncviewer.exe"),
                               std::filesystem::copy_options::overwrite_existing);
    // A book set up to connect has its repeater's port: without one, Connect opens Settings.
    if (!Exists("myviewer.ini")) {
        Write("myviewer.ini", "[port]\r\nviewer=5901\r\n");
    }
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

std::unique_ptr<TForm1> ProgramFolder::Start() const {
    auto form = std::make_unique<TForm1>();
    form->FormCreate();
    form->show();
    return form;
}

bool CloseWindow(TForm1& form) {
    form.close();
    QCoreApplication::processEvents();
    // A close that waits for the keyring ends once it answers, or its time is up.
    WaitFor([&] { return !form.KeyringWait(); });
    return !form.isVisible();
}

QString FirstRunMessage(const std::string& path) {
    return QString::fromStdString("Cannot open file " + path +
                                  ".\nIf this is your first run of My Brindle Viewer this file "
                                  "will be created\nupon closing the program.");
}
