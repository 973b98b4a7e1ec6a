#include "controls/Hintbox.h"

#include <QPaintEvent>
#include <QPainter>

#include <optional>

namespace {

// The box keeps its lines as UTF-8 bytes, the form its layout and markup work on.
QString DisplayText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QColor ToQColor(TColor color, const QPalette& palette) {
    if (color == clInfoBk) {
        return palette.color(QPalette::ToolTipBase);
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor ToTColor(const QColor& color) {
    return static_cast<TColor>(color.red()) | (static_cast<TColor>(color.green()) << 8) |
           (static_cast<TColor>(color.blue()) << 16);
}

// The hint box's canvas on a QPainter, in the widget's own font.
class PainterCanvas final : public HintCanvas {
public:
    PainterCanvas(QPainter& painter, const QFont& font, const QPalette& palette)
        : painter_(painter), font_(font), palette_(palette) {}

    TSize TextExtent(std::string_view text) override {
        const QFontMetrics& metrics = Metrics();
        return {metrics.horizontalAdvance(DisplayText(text)), metrics.height()};
    }

    TSize TabbedTextExtent(std::string_view text) override {
        const QFontMetrics& metrics = Metrics();
        const int stop = 8 * metrics.averageCharWidth();
        int x = 0;
        size_t start = 0;
        for (;;) {
            const size_t tab = text.find('\t', start);
            x += metrics.horizontalAdvance(DisplayText(text.substr(start, tab - start)));
            if (tab == std::string_view::npos) {
                break;
            }
            x = stop > 0 ? (x / stop + 1) * stop : x;
            start = tab + 1;
        }
        return {x, metrics.height()};
    }

    void TextOut(int x, int y, std::string_view text) override {
        painter_.setFont(StyledFont());
        painter_.setPen(fontColor_);
        painter_.setBackgroundMode(brushSolid_ ? Qt::OpaqueMode : Qt::TransparentMode);
        painter_.setBackground(brushColor_);
        painter_.drawText(x, y + Metrics().ascent(), DisplayText(text));
    }

    void FillRect(const TRect& r) override {
        painter_.fillRect(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top), brushColor_);
    }

    void Rectangle(const TRect& r) override {
        painter_.setPen(palette_.color(QPalette::WindowText));
        painter_.setBrush(brushSolid_ ? QBrush(brushColor_) : QBrush());
        painter_.drawRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1);
    }

    TFontStyles FontStyles() const override { return styles_; }
    void SetFontStyles(TFontStyles styles) override { styles_ = styles; }
    void SetFontColor(TColor color) override { fontColor_ = ToQColor(color, palette_); }
    void SetBrushColor(TColor color) override { brushColor_ = ToQColor(color, palette_); }
    void SetBrushSolid(bool solid) override { brushSolid_ = solid; }
    // Qt hands every paint a freshly erased background: nothing more to ask for.
    void Invalidate() override {}

private:
    QFont StyledFont() const {
        QFont font = font_;
        font.setBold(styles_ & fsBold);
        font.setItalic(styles_ & fsItalic);
        font.setUnderline(styles_ & fsUnderline);
        font.setStrikeOut(styles_ & fsStrikeOut);
        return font;
    }

    // The metrics of each style combination, made once per paint: layout measures often.
    const QFontMetrics& Metrics() {
        auto& metrics = metrics_[styles_ & 15];
        if (!metrics) {
            metrics.emplace(StyledFont());
        }
        return *metrics;
    }

    QPainter& painter_;
    QFont font_;
    std::optional<QFontMetrics> metrics_[16];
    QPalette palette_;
    TFontStyles styles_ = 0;
    QColor fontColor_;
    QColor brushColor_;
    bool brushSolid_ = true;
};

} // namespace

THintBox::THintBox(QWidget* parent) : QWidget(parent) {
    resize(state_.Width, state_.Height);
}

QColor THintBox::Color() const {
    return ToQColor(state_.Color, palette());
}

QColor THintBox::ShadowColor() const {
    return ToQColor(state_.ShadowColor, palette());
}

QStringList THintBox::Lines() const {
    QStringList lines;
    for (const auto& line : state_.Lines) {
        lines << DisplayText(line);
    }
    return lines;
}

void THintBox::RepaintFromSetter() {
    fromSetter_ = true;
    repaint();
    fromSetter_ = false;
}

void THintBox::SetColor(const QColor& color) {
    if (ToTColor(color) != state_.Color) {
        state_.Color = ToTColor(color);
        RepaintFromSetter();
    }
}

void THintBox::SetShadowColor(const QColor& color) {
    if (ToTColor(color) != state_.ShadowColor) {
        state_.ShadowColor = ToTColor(color);
        RepaintFromSetter();
    }
}

void THintBox::SetLines(const QStringList& lines) {
    state_.Lines.clear();
    for (const QString& line : lines) {
        state_.Lines.push_back(line.toStdString());
    }
    if (state_.HTMLFormatting) {
        hintpaint::Parse(state_);
    }
    RepaintFromSetter();
}

void THintBox::SetShadowSize(int size) {
    if (size == state_.ShadowSize || size < 0) {
        return;
    }
    // The box keeps its size; the control grows or shrinks with its shadow.
    const int change = size - state_.ShadowSize;
    resize(width() + change, height() + change);
    state_.ShadowSize = size;
    RepaintFromSetter();
}

void THintBox::SetHTMLFormatting(bool on) {
    if (on == state_.HTMLFormatting) {
        return;
    }
    state_.HTMLFormatting = on;
    if (on) {
        hintpaint::Parse(state_);
    }
    RepaintFromSetter();
}

void THintBox::SetHintBox(bool on) {
    if (on != state_.DrawHintBox) {
        state_.DrawHintBox = on;
        RepaintFromSetter();
    }
}

void THintBox::Update() {
    if (state_.HTMLFormatting) {
        hintpaint::Parse(state_);
    }
    RepaintFromSetter();
}

void THintBox::paintEvent(QPaintEvent*) {
    state_.Width = width();
    state_.Height = height();
    state_.FontColor = ToTColor(palette().color(foregroundRole()));
    QPainter painter(this);
    PainterCanvas canvas(painter, font(), palette());
    hintpaint::Paint(canvas, state_,
                     fromSetter_ ? hintpaint::PaintCause::Setter
                                 : hintpaint::PaintCause::PaintCycle);
}
