#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QCompleter;
class QLabel;
class QLineEdit;
class QStringListModel;
class QWidget;

// The filter field and the count beside it, with their keys: typing filters, Enter acts on the
// client found, Up and Down, Page Up and Page Down, Home and End move among the clients shown,
// and a printable key typed in a list goes to the field. It only says what the user asked for:
// it touches no list.
class FindBar final : public QObject {
    Q_OBJECT
public:
    FindBar(QLineEdit* field, QLabel* count, QObject* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    void Clear();
    // The tags in use, offered as "#vip" while a word that starts one is typed: nobody has to
    // know that # finds a tag. Asked for when a word is typed.
    void OfferTags(std::function<QStringList()> tags) { tagSource_ = std::move(tags); }
    void Focus();
    // "300 clients" without a filter, "8 of 300" with one, in the locale's digits.
    void SetCount(int shown, int total, bool filtered);
    // Printable keys typed in this widget (a list) go to the field.
    void TakeTypingFrom(QWidget* widget);

signals:
    void Changed(const QString& text);
    void Enter();
    // Down (+1) and Up (-1); Page Down and Page Up as pages (+1 and -1).
    void Step(int places);
    void Page(int pages);
    // Home (false) and End (true).
    void Edge(bool last);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CompleteTag();

    QLineEdit* field_;
    QLabel* count_;
    QCompleter* completer_;
    QStringListModel* tags_;
    std::function<QStringList()> tagSource_;
};
