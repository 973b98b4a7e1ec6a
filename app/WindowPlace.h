#pragma once

#include <QRect>
#include <QSize>

#include <utility>
#include <vector>

class QWidget;
namespace Ui {
class TForm1;
}

// The window's size and place: never smaller than its layout, which every page's controls fit
// whole; the client list grows with the window, the two lists reading as one table (the IDs
// as wide as the longest needs, the names taking the rest); the size and place the user left
// it at, kept in the user's own settings.
class WindowPlace {
public:
    // `drawnMargin` is the table's margin at its page's right edge as the layout drew it,
    // before the window made room for its texts.
    WindowPlace(QWidget& window, const Ui::TForm1& ui, int drawnMargin);

    // The room between the client table (with the count above it) and its page's right edge.
    static int TableMargin(const Ui::TForm1& ui);

    // Lays the growing controls out for the window's size.
    void LayOut();
    // The pane beside the table, shown once the window is wide enough for it.
    void SetPane(QWidget* pane) { pane_ = pane; }
    // The ID list's width follows its longest ID.
    void FitIds();
    void Restore();
    void Save() const;

private:
    QWidget& window_;
    const Ui::TForm1& ui_;
    QSize layoutSize_;
    // Room the page gained for other texts (a wider tab row, say) that the table takes too.
    int slack_ = 0;
    std::vector<std::pair<QWidget*, QRect>> places_;
    int idsWidth_ = 0;
    QWidget* pane_ = nullptr;
};
