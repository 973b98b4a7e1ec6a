#pragma once

#include "controls/HintCanvas.h"

#include <ostream>
#include <string>
#include <vector>

// A canvas with fixed metrics: every character is 6 pixels wide (8 in bold), every text 10
// high. It records what is drawn.
class FakeCanvas final : public HintCanvas {
public:
    struct Text {
        int x;
        int y;
        std::string text;
        TFontStyles styles;
        bool operator==(const Text&) const = default;
        friend void PrintTo(const Text& t, std::ostream* out) {
            *out << "{" << t.x << "," << t.y << ",\"" << t.text << "\"," << t.styles << "}";
        }
    };

    TSize TextExtent(std::string_view text) override {
        ++measures;
        const int width = (styles & fsBold) ? 8 : 6;
        return {static_cast<int>(text.size()) * width, 10};
    }
    TSize TabbedTextExtent(std::string_view text) override {
        int x = 0;
        for (const char c : text) {
            x = c == '\t' ? (x / 48 + 1) * 48 : x + 6;
        }
        return {x, 10};
    }
    void TextOut(int x, int y, std::string_view text) override {
        texts.push_back({x, y, std::string(text), styles});
    }
    void FillRect(const TRect& rect) override { fills.push_back({rect, brush}); }
    void Rectangle(const TRect& rect) override { rectangles.push_back({rect, brush}); }
    TFontStyles FontStyles() const override { return styles; }
    void SetFontStyles(TFontStyles value) override { styles = value; }
    void SetFontColor(TColor color) override { fontColor = color; }
    void SetBrushColor(TColor color) override { brush = color; }
    void SetBrushSolid(bool value) override { solid = value; }
    void Invalidate() override { ++invalidations; }

    struct Shape {
        TRect rect;
        TColor brush;
        bool operator==(const Shape&) const = default;
    };

    std::vector<Text> texts;
    std::vector<Shape> fills;
    std::vector<Shape> rectangles;
    TFontStyles styles = 0;
    TColor fontColor = 0;
    TColor brush = 0;
    bool solid = false;
    int invalidations = 0;
    int measures = 0;
};
