#include "controls/Swcurllabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace {

TSwCURLLabel::Opener& CurrentOpener() {
    static TSwCURLLabel::Opener opener;
    return opener;
}

} // namespace

TSwCURLLabel::TSwCURLLabel(QWidget* parent) : QLabel(parent) {
    SetFontColor(textColor_);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
}

void TSwCURLLabel::SetOpener(Opener opener) {
    CurrentOpener() = std::move(opener);
}

QColor TSwCURLLabel::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TSwCURLLabel::SetFontColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

void TSwCURLLabel::ChangeColor(QColor& stored, const QColor& color) {
    if (color == stored) {
        return;
    }
    // The label follows only while it shows the old colour.
    if (FontColor() == stored) {
        SetFontColor(color);
    }
    stored = color;
}

void TSwCURLLabel::SetTextColor(const QColor& color) {
    ChangeColor(textColor_, color);
}

void TSwCURLLabel::SetMouseOverColor(const QColor& color) {
    ChangeColor(mouseOverColor_, color);
}

void TSwCURLLabel::SetURL(const QString& url) {
    if (url == url_) {
        return;
    }
    url_ = url;
    setCursor(url_.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TSwCURLLabel::Click() {
    emit Clicked();
    if (url_.isEmpty()) {
        return;
    }
    // Whether the desktop could open it is not reported.
    if (CurrentOpener()) {
        CurrentOpener()(url_);
    } else {
        QDesktopServices::openUrl(QUrl(url_));
    }
}

void TSwCURLLabel::enterEvent(QEnterEvent*) {
    if (!url_.isEmpty()) {
        SetFontColor(mouseOverColor_);
    }
}

void TSwCURLLabel::leaveEvent(QEvent*) {
    SetFontColor(textColor_);
}

void TSwCURLLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TSwCURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        Click();
    }
}
