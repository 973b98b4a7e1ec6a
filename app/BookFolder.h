#pragma once

#include <QObject>

class QAbstractButton;
class QLabel;

// The About page's word on where the book is kept, and its "Keep the book in…" button: the
// folder chosen is remembered for this user, and the program keeps the book there from its next
// start.
class BookFolder final : public QObject {
public:
    BookFolder(QLabel& where, QAbstractButton& choose, QObject* parent = nullptr);

private:
    void Choose();

    QAbstractButton& choose_;
};
