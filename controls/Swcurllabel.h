#pragma once

#include <QColor>
#include <QLabel>

#include <functional>

// A label that behaves as a link: underlined in TextColor, MouseOverColor while the pointer is
// over it (when it has an address), a hand pointer while it has an address, and a click that
// asks the desktop to open URL. It takes the keyboard's focus (Tab), opens with Enter or Space,
// and is a link with a "press" action to a screen reader. Usable on its own by any Qt program.
class TSwCURLLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor MouseOverColor READ MouseOverColor WRITE SetMouseOverColor)
    Q_PROPERTY(QColor TextColor READ TextColor WRITE SetTextColor)
    Q_PROPERTY(QString URL READ URL WRITE SetURL)

public:
    explicit TSwCURLLabel(QWidget* parent = nullptr);

    QColor MouseOverColor() const { return mouseOverColor_; }
    QColor TextColor() const { return textColor_; }
    QString URL() const { return url_; }

    // The label's colour follows a colour change only while it shows the old colour.
    void SetMouseOverColor(const QColor& color);
    void SetTextColor(const QColor& color);
    // A new address sets the cursor: the hand with an address, the arrow without one.
    void SetURL(const QString& url);

    // The colour the label's text shows now.
    QColor FontColor() const;

    // What opens an address; tests install their own. nullptr restores the desktop's.
    using Opener = std::function<void(const QString&)>;
    static void SetOpener(Opener opener);

signals:
    void Clicked();

protected:
    // The click: the Clicked signal first, then the address goes to the opener.
    virtual void Click();
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class LinkAccessible;
    void SetFontColor(const QColor& color);
    void ChangeColor(QColor& stored, const QColor& color);

    QColor mouseOverColor_ = Qt::red;
    QColor textColor_ = Qt::blue;
    QString url_;
    bool pressed_ = false;
};
