#pragma once

#include "core/SessionLog.h"

#include <QDialog>

#include <optional>
#include <vector>

class ConnectionLog;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableView;
class SessionTable;

// "Session log…": the connections made, newest first, for one client or all, within a range of
// days (the last 30 at first); a note written to a session (for billing); the rows shown
// exported as CSV, every one of them.
class SessionLogDialog final : public QDialog {
    Q_OBJECT
public:
    // client: the one selected in the book, offered as the first choice; none: all.
    SessionLogDialog(ConnectionLog& log, std::optional<core::Client> client, QWidget* parent);

    // The rows shown.
    const std::vector<core::Session>& Shown() const;
    // The range of days shown, from and to (both whole days, this computer's time).
    void SetRange(const QDate& from, const QDate& to);
    // Writes the rows shown to the file; false, said, when it cannot.
    bool ExportTo(const QString& path);

private:
    void Reload();
    void Show(std::vector<core::Session> sessions, const QString& why, bool one);

    ConnectionLog& log_;
    std::optional<core::Client> client_;
    QComboBox* who_;
    QDateEdit* from_;
    QDateEdit* to_;
    QTableView* view_;
    SessionTable* table_;
    QLabel* status_;
};
