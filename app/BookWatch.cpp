#include "app/BookWatch.h"

#include "app/Messages.h"
#include "app/QtText.h"
#include "core/Commit.h"
#include "core/ProgramFiles.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace {

// How long the book's files must stay still before another copy's commit is read: its three
// renames come in a burst.
constexpr int SettleMilliseconds = 150;

} // namespace

BookWatch::BookWatch(const core::ProgramFiles& files, QObject* parent)
    : QObject(parent), watch_(std::make_unique<QFileSystemWatcher>()), settle_(new QTimer(this)),
      folder_(files.Folder()) {
    settle_->setSingleShot(true);
    settle_->setInterval(SettleMilliseconds);
    connect(settle_, &QTimer::timeout, this, &BookWatch::Settled);
    // The folder tells of renames into it; the files of writes in place; a list that is a
    // link of the user's is watched where it leads.
    QStringList paths;
    for (const std::string& path : files.WatchedPaths()) {
        paths << QString::fromStdString(path);
    }
    paths.removeDuplicates();
    watch_->addPaths(paths);
    const auto settle = [this] { settle_->start(); };
    connect(watch_.get(), &QFileSystemWatcher::directoryChanged, this, settle);
    connect(watch_.get(), &QFileSystemWatcher::fileChanged, this, settle);

    // Tells who else has the book open. It never waits and never refuses: a lock left by a
    // copy that crashed costs nothing. What the lock file says is anybody's text, so the notice
    // says only what the lock itself proves.
    core::ProgramFiles::OpenBy others = core::ProgramFiles::OpenBy::Nobody;
    lock_ = files.MarkOpen(others);
    anotherOpen_ = others == core::ProgramFiles::OpenBy::Another;
    if (others == core::ProgramFiles::OpenBy::Another) {
        ShowNotice("Another copy of My Brindle Viewer has this book open: the changes of both "
                   "copies will be kept.");
    } else if (others == core::ProgramFiles::OpenBy::NotALock) {
        ShowNotice("The lock " + core::ShownPath(files.LockPath()) +
                   " is not a file of the program's: it was left alone, and another copy of "
                   "the program on this book will not be told of.");
    }
}

BookWatch::~BookWatch() = default;

void BookWatch::Settled() {
    if (saving_) {
        return;
    }
    if (core::CommitInProgress(folder_)) {
        settle_->start(); // read it once all its renames stand
        return;
    }
    emit Committed();
}
