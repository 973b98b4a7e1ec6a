#pragma once

#include "core/ClientNotes.h"

#include "core/Import.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QTableView;
class ImportRows;

// What a file would bring into the book, before anything changes: a row for each connection
// with its name, ID and status, the counts, and for files with several fields the one the IDs
// come from (and the one the names come from, where the file does not say). New rows are
// ticked, but for one whose name the book has under another ID; the user may tick or untick
// any new row. Import takes the ticked ones.
class ImportDialog final : public QDialog {
    Q_OBJECT
public:
    // first: the preview of the source's default field, made where it did not hold the window.
    ImportDialog(const QString& from, core::ImportSource source, core::ImportPreview first,
                 core::Book book, size_t maxIdLength, QWidget* parent = nullptr);
    ~ImportDialog() override;

    // The ticked rows' names and IDs, in the file's order.
    core::Book Ticked() const;
    // The ticked rows' tags and notes, one a row of Ticked(), where the file has any.
    std::vector<core::ClientExtra> TickedExtras() const;
    // The line of counts shown above the buttons.
    QString Counts() const;

private:
    void Refresh();
    void Show(core::ImportPreview preview);

    core::ImportSource source_;
    core::Book book_;
    size_t maxIdLength_;
    ImportRows* rows_;
    QComboBox* field_ = nullptr;
    QComboBox* nameField_ = nullptr;
    QLabel* counts_;
    QTableView* table_;
};
