#pragma once

#include "controls/HintCanvas.h"

#include <string>
#include <vector>

// What the hint box paints: its properties and the display lines of its last parse.
struct HintBoxState {
    TColor Color = clInfoBk;
    TColor ShadowColor = clGray;
    TColor FontColor = clBlack;
    std::vector<std::string> Lines;
    int ShadowSize = 4;
    bool HTMLFormatting = true;
    bool DrawHintBox = true;
    int Width = 200;
    int Height = 200;

    bool Parsed = false; // ParsedLines and LineAlignments exist
    std::vector<std::string> ParsedLines;
    std::vector<int> LineAlignments;
};

// Measuring and painting of the hint box on any canvas.
namespace hintpaint {

// Rebuilds the display lines from the source lines.
void Parse(HintBoxState& box);

// Size of one row of marked-up text: the sum of its runs, each in its own styles. The canvas
// styles are left as they were.
TSize TextExtentEx(HintCanvas& canvas, const std::string& text);

// Paints one row of marked-up text; styles switched on by its tags stay on afterwards.
void TextOutEx(HintCanvas& canvas, int x, int y, const std::string& text);

// Size of plain text with tabs expanded.
TSize GetTextExtentRH(HintCanvas& canvas, const std::string& text);

// Whether a paint comes from a property setter or from the paint cycle: only a setter's paint
// asks for the background to be erased in the text-only mode, since asking from the paint
// cycle would ask for another paint without end.
enum class PaintCause { Setter, PaintCycle };

// The plain painter: Lines as left-aligned text, tags shown as written.
void DrawBox(HintCanvas& canvas, HintBoxState& box, PaintCause cause);

// The formatted painter: the display lines aligned and styled by their markup.
void DrawBoxEx(HintCanvas& canvas, HintBoxState& box, PaintCause cause);

// DrawBoxEx with formatting on, DrawBox otherwise.
void Paint(HintCanvas& canvas, HintBoxState& box, PaintCause cause);

} // namespace hintpaint
