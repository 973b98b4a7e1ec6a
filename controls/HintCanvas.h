#pragma once

#include <cstdint>
#include <string_view>

// Colours as the layouts store them: 0x00BBGGRR, or a system colour with the top bit set.
using TColor = uint32_t;
inline constexpr TColor clInfoBk = 0x80000018;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;

using TFontStyles = unsigned;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;

struct TSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TSize&) const = default;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TRect&) const = default;
};

// What the hint box paints with: a device that measures and draws single-byte text in its
// current font, fills and frames rectangles in its brush, and keeps font styles and colours.
class HintCanvas {
public:
    virtual ~HintCanvas() = default;
    virtual TSize TextExtent(std::string_view text) = 0;
    // Text with tabs expanded to the default stops.
    virtual TSize TabbedTextExtent(std::string_view text) = 0;
    // Draws with the top-left corner at (x, y); on an opaque background in the brush colour
    // while the brush is solid, transparently otherwise.
    virtual void TextOut(int x, int y, std::string_view text) = 0;
    virtual void FillRect(const TRect& rect) = 0;
    virtual void Rectangle(const TRect& rect) = 0;
    virtual TFontStyles FontStyles() const = 0;
    virtual void SetFontStyles(TFontStyles styles) = 0;
    virtual void SetFontColor(TColor color) = 0;
    virtual void SetBrushColor(TColor color) = 0;
    virtual void SetBrushSolid(bool solid) = 0;
    // Asks for the whole control to be erased before its next paint.
    virtual void Invalidate() = 0;
};
