#include "controls/Swcurllabel.h"

#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QUrl>

// What a screen reader is told: a link named by its text, its address as its value, pressed by
// its one action.
class LinkAccessible final : public QAccessibleWidget {
public:
    explicit LinkAccessible(TSwCURLLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) {
            return Label().text();
        }
        if (t == QAccessible::Value) {
            return Label().URL();
        }
        return own;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            Label().Click();
        }
    }

private:
    TSwCURLLabel& Label() const { return *static_cast<TSwCURLLabel*>(widget()); }
};

namespace {

TSwCURLLabel::Opener& CurrentOpener() {
    static TSwCURLLabel::Opener opener;
    return opener;
}

QAccessibleInterface* LinkFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TSwCURLLabel") && object && object->isWidgetType()) {
        return new LinkAccessible(static_cast<TSwCURLLabel*>(object));
    }
    return nullptr;
}

} // namespace

TSwCURLLabel::TSwCURLLabel(QWidget* parent) : QLabel(parent) {
    static const bool factory = (QAccessible::installFactory(LinkFactory), true);
    (void)factory;
    setFocusPolicy(Qt::StrongFocus);
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

void TSwCURLLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        Click();
        return;
    }
    QLabel::keyPressEvent(event);
}

void TSwCURLLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    // The keyboard's focus shows as the style draws it round any control.
    if (hasFocus()) {
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.backgroundColor = palette().color(QPalette::Window);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
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
