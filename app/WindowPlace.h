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
    WindowPlace(QWidget& window, const Ui::TForm1& ui);

    // Lays the growing controls out for the window's size.
    void LayOut();
    // The ID list's width follows its longest ID.
    void FitIds();
    void Restore();
    void Save() const;

private:
    QWidget& window_;
    const Ui::TForm1& ui_;
    QSize layoutSize_;
    std::vector<std::pair<QWidget*, QRect>> places_;
    int idsWidth_ = 0;
};
