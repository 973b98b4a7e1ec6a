#pragma once

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

class TForm1;

// A temporary folder that the program takes for its own, with helpers for its files. It is
// also the current directory while it lives.
class ProgramFolder {
public:
    // name: how the folder's name starts (blanks allowed).
    explicit ProgramFolder(const QString& name = QStringLiteral("mbv"));
    ~ProgramFolder();

    // The folder with its trailing separator.
    std::string Path() const;
    std::string File(const std::string& name) const;
    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    unsigned Mode(const std::string& name) const;
    // Installs the stand-in viewer as Bin/vncviewer.exe, and a repeater port when the folder has
    // no settings yet.
    void InstallViewer() const;

    // A window made from the layout and loaded, as the program starts it.
    std::unique_ptr<TForm1> Start() const;

private:
    QTemporaryDir dir_;
    std::string previousDirectory_;
};

// Closes the window as the user would; true when it closed.
bool CloseWindow(TForm1& form);

// Waits, running the event loop, until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000);

// The first-run notice for a list file of the folder.
QString FirstRunMessage(const std::string& path);
