#pragma once

namespace Ui {
class TForm1;
}

// The layout names Windows fonts; where they are missing, fonts with the same widths stand in,
// so the captions fit the layout's sizes. Before the layout is loaded.
void AddFontSubstitutes();

// What the layout cannot say: link labels as wide as their text, compact tabs, and one rule
// for control characters in every field that takes text.
void FixLooks(Ui::TForm1& ui);
