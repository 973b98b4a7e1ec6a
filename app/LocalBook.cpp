#include "app/LocalBook.h"

#include "app/BookLists.h"
#include "app/BookWatch.h"
#include "app/ListBox.h"
#include "app/Messages.h"
#include "app/QtText.h"
#include "app/SettingsBinder.h"
#include "core/Commit.h"

#include <QScopeGuard>
#include <QTimer>

namespace {

// This copy's own commit of the book is no news from another copy.
auto OwnCommit(BookWatch* watch) {
    if (watch) {
        watch->SetSaving(true);
    }
    return qScopeGuard([watch] {
        if (watch) {
            watch->SetSaving(false);
        }
    });
}

} // namespace

LocalBook::LocalBook(ListBox& names, ListBox& ids, BookLists& book, SettingsBinder& settings,
                     QObject* parent)
    : QObject(parent), names_(names), ids_(ids), book_(book), settings_(settings),
      commitCopy_(new QTimer(this)) {
    commitCopy_->setSingleShot(true);
    commitCopy_->setInterval(500);
    connect(commitCopy_, &QTimer::timeout, this, [this] { Guarded([this] { CommitCopy(); }); });
}

void LocalBook::CommitCopySoon() {
    commitCopy_->start();
}

const std::vector<std::string>& LocalBook::Load() {
    base_ = core::ProgramFiles::OfThisProgram().LoadBook();
    // A book carried over from the program's folder is no first run.
    const bool firstRunNotices = core::CurrentStorage().carriedFrom.empty();
    for (auto [list, file] : {std::pair{&names_, &base_.names}, {&ids_, &base_.ids}}) {
        list->SetItems(std::move(file->rows));
        file->rows.clear();
        if (file->state != core::ListFile::Missing || firstRunNotices) {
            if (const std::string notice = core::LoadNotice(*file); !notice.empty()) {
                ShowMessage(notice);
            }
        }
    }
    return base_.settings;
}

void LocalBook::Watch() {
    watch_ = new BookWatch(core::ProgramFiles::OfThisProgram(), this);
    connect(watch_, &BookWatch::Committed, this, &LocalBook::Committed);
}

void LocalBook::TakeTheirs() {
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    std::optional<core::BookOnDisk> theirs = files.ChangedSince(base_);
    if (!theirs) {
        return;
    }
    const core::MergeOutcome merged = core::ProgramFiles::Merge(
        base_, *theirs, core::RowsOf(names_.Items(), ids_.Items()), settings_.Values().List());
    // The merged rows are views into both books: owned before either changes.
    core::Book book = merged.bookChanged ? core::Owned(merged.book) : core::Book();
    base_ = std::move(*theirs);
    if (merged.bookChanged) {
        book_.Replace(std::move(book.names), std::move(book.ids));
    }
    settings_.Load(merged.settings);
    if (!merged.summary.empty()) {
        ShowNotice(merged.summary);
    }
}

core::SaveOutcome LocalBook::Save(const core::SettingsValues& values, bool mirror) {
    const auto own = OwnCommit(watch_);
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    if (mirror) {
        TakeAsBase(files);
    }
    return files.SaveBook(base_, names_.Items(), ids_.Items(), values, TakeInMerged());
}

void LocalBook::TakeAsBase(const core::ProgramFiles& files) {
    if (std::optional<core::BookOnDisk> theirs = files.ChangedSince(base_)) {
        base_ = std::move(*theirs);
    }
}

void LocalBook::CommitCopy() {
    const auto own = OwnCommit(watch_);
    try {
        const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
        // The copy is the server's book: what another copy committed to these files meanwhile
        // is written over, never merged in; the settings stay as the files hold them.
        TakeAsBase(files);
        files.SaveBook(base_, names_.Items(), ids_.Items(), core::SettingsValues(base_.settings));
    } catch (const core::ESaveError& error) {
        emit Said(QStringLiteral("The copy on this computer could not be written: ") +
                  DisplayText(error.what()));
    }
}

core::ProgramFiles::TookIn LocalBook::TakeInMerged() {
    return [this](std::vector<std::string> names, std::vector<std::string> ids,
                  const std::vector<std::string>& settings) {
        book_.Replace(std::move(names), std::move(ids));
        settings_.Load(settings);
    };
}
