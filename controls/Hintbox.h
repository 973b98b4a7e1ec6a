#pragma once

#include "controls/HintPainter.h"

#include <QColor>
#include <QStringList>
#include <QWidget>

// A box with a drop shadow holding lines of text, wrapped at blanks and cut at the bottom.
// With HTMLFormatting on, a small markup aligns lines (<CENTER>, <RIGHT>, <BR>) and styles runs
// (<B>, <I>, <U>, <STRIKE>). Usable on its own by any Qt program.
class THintBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QColor ShadowColor READ ShadowColor WRITE SetShadowColor)
    Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)
    Q_PROPERTY(int ShadowSize READ ShadowSize WRITE SetShadowSize)
    Q_PROPERTY(bool HTMLFormatting READ HTMLFormatting WRITE SetHTMLFormatting)
    Q_PROPERTY(bool DrawHintBox READ DrawHintBox WRITE SetHintBox)

public:
    explicit THintBox(QWidget* parent = nullptr);

    QColor Color() const;
    QColor ShadowColor() const;
    QStringList Lines() const;
    int ShadowSize() const { return state_.ShadowSize; }
    bool HTMLFormatting() const { return state_.HTMLFormatting; }
    bool DrawHintBox() const { return state_.DrawHintBox; }

    // Setters that change something repaint at once; a negative shadow size is refused.
    void SetColor(const QColor& color);
    void SetShadowColor(const QColor& color);
    void SetLines(const QStringList& lines); // always repaints
    void SetShadowSize(int size);
    void SetHTMLFormatting(bool on);
    void SetHintBox(bool on);

    // The source lines for changes in place; these show only after Update.
    std::vector<std::string>& LineBytes() { return state_.Lines; }
    // Parses the lines again (with formatting on) and repaints.
    void Update();

    QSize sizeHint() const override { return {200, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RepaintFromSetter();

    HintBoxState state_;
    bool fromSetter_ = false;
};
