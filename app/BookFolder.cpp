#include "app/BookFolder.h"

#include "app/Messages.h"
#include "app/QtText.h"
#include "app/UserSettings.h"
#include "core/Commit.h"
#include "core/ProgramFiles.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLabel>

BookFolder::BookFolder(QLabel& where, QAbstractButton& choose, QObject* parent)
    : QObject(parent), choose_(choose) {
    const QString said = QStringLiteral("Your client book is kept in");
    QString path = DisplayText(core::ShownPath(core::ProgramFiles::OfThisProgram().Folder()));
    if (!core::CurrentStorage().carriedFrom.empty()) {
        path += QStringLiteral(" (carried over from ") +
                DisplayText(core::ShownPath(core::CurrentStorage().carriedFrom)) + u')';
    }
    // The path on a line of its own, shortened in its middle where the page is too narrow: a
    // line never breaks inside a folder's name or after a drive's colon. The tool tip holds
    // it whole.
    where.setWordWrap(false);
    const QString shown = where.fontMetrics().elidedText(path, Qt::ElideMiddle, where.width());
    where.setText(said + u'\n' + shown);
    where.setToolTip(said + u' ' + path);
    connect(&choose, &QAbstractButton::clicked, this, [this] { Guarded([this] { Choose(); }); });
}

void BookFolder::Choose() {
    const QString folder = QFileDialog::getExistingDirectory(
        choose_.window(), QStringLiteral("Keep the book in"),
        DisplayText(core::ProgramFiles::OfThisProgram().Folder()));
    if (folder.isEmpty()) {
        return;
    }
    UserSettings().setValue(BookFolderKey(), QDir::toNativeSeparators(folder));
    ShowMessage("Your client book will be kept in " + StoredText(QDir::toNativeSeparators(folder)) +
                " from the next start of the program.");
}
