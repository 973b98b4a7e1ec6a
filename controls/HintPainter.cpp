#include "controls/HintPainter.h"

#include "controls/HintMarkup.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace hintpaint {
namespace {

using hintmarkup::ScanTag;
using hintmarkup::Tag;

std::string Slice(const std::string& text, int a, int b) {
    if (b < a || a > static_cast<int>(text.size())) {
        return {};
    }
    return text.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a + 1));
}

TFontStyles StyleOf(const std::string& name) {
    const std::string flag = name.front() == '/' ? name.substr(1) : name;
    return flag == "B" ? fsBold : flag == "I" ? fsItalic : flag == "U" ? fsUnderline : fsStrikeOut;
}

void ApplyStyle(HintCanvas& canvas, const std::string& name) {
    const TFontStyles style = StyleOf(name);
    const TFontStyles now = canvas.FontStyles();
    canvas.SetFontStyles(name.front() == '/' ? (now & ~style) : (now | style));
}

// Splits marked-up text into runs: handle(run, styleTagAfterIt or "", isLast); a handler that
// returns false ends the walk.
void WalkRuns(const std::string& text,
              const std::function<bool(const std::string&, const std::string&, bool)>& handle) {
    std::string rest = text;
    while (!rest.empty()) {
        Tag tag;
        if (!ScanTag(rest, 1, tag)) {
            handle(rest, {}, true);
            return;
        }
        const bool more = hintmarkup::IsStyleTag(tag.name)
                              ? handle(Slice(rest, 1, tag.open - 1), tag.name, false)
                              : handle(Slice(rest, 1, tag.close), {}, false);
        if (!more) {
            return;
        }
        rest = Slice(rest, tag.close + 1, static_cast<int>(rest.size()));
    }
}

struct TextRect {
    TRect rect;
    int usable = 0;
};

TextRect BoxSteps(HintCanvas& canvas, const HintBoxState& box, PaintCause cause) {
    const TRect client{0, 0, box.Width, box.Height};
    const int s = box.ShadowSize;
    TextRect text;
    if (box.DrawHintBox) {
        canvas.SetBrushSolid(true);
        canvas.SetBrushColor(box.ShadowColor);
        canvas.FillRect({client.Left + s, client.Top + s, client.Right, client.Bottom});
        canvas.SetBrushColor(box.Color);
        canvas.Rectangle({client.Left, client.Top, client.Right - s, client.Bottom - s});
        canvas.SetFontColor(box.FontColor);
        text.rect = {client.Left + 4, client.Top + 4, client.Right - s, client.Bottom - s};
    } else {
        canvas.SetFontColor(box.FontColor);
        canvas.SetBrushSolid(false);
        if (cause == PaintCause::Setter) {
            canvas.Invalidate();
        }
        text.rect = client;
    }
    text.usable = (text.rect.Right - text.rect.Left) - s;
    return text;
}

enum class Layout { Go, Stop };

// Cuts one line into rows no wider than the usable width, at the last blank or else before
// the character that overflows. Full rows go to drawRow(text, row, segmentHeight); the rest of
// the line is left in lastRow, with the height of the last segment measured. Stop: a full row
// did not fit, and painting ends.
Layout LayOutRows(HintCanvas& canvas, const std::string& line, const TextRect& text, int& row,
                  const std::function<void(const std::string&, int, int)>& drawRow,
                  std::string& lastRow, int& lastHeight) {
    const int length = static_cast<int>(line.size());
    int rowStart = 1;
    int i = 1;
    int candidate = 0;
    do {
        ++i;
        const std::string segment = Slice(line, rowStart, i - 1);
        const TSize size = canvas.TextExtent(segment);
        lastHeight = size.cy;
        if (!segment.empty() && segment.back() == ' ') {
            candidate = i - 1;
        }
        if (size.cx > text.usable) {
            std::string rowText;
            int next;
            if (candidate != 0) {
                rowText = Slice(line, rowStart, candidate - 1);
                next = candidate + 1;
            } else {
                rowText = Slice(line, rowStart, i - 2);
                next = i - 1;
            }
            // A font without height could never fill the box: stop rather than loop.
            if (size.cy <= 0 || text.rect.Top + (row + 1) * size.cy >= text.rect.Bottom) {
                return Layout::Stop;
            }
            drawRow(rowText, row, size.cy);
            i = next;
            rowStart = next;
            candidate = 0;
            ++row;
        }
    } while (i <= length);
    lastRow = Slice(line, rowStart, length);
    return Layout::Go;
}

bool Fits(const TextRect& text, int row, int height) {
    return text.rect.Top + (row + 1) * height < text.rect.Bottom;
}

} // namespace

void Parse(HintBoxState& box) {
    box.LineAlignments.clear();
    box.ParsedLines.clear();
    box.Parsed = true;
    for (size_t k = 0; k < box.Lines.size(); ++k) {
        hintmarkup::ParseLine(box.Lines[k], box.ParsedLines, box.LineAlignments);
    }
}

namespace {

// TextExtentEx that may stop measuring once the width is past the limit: the caller then only
// needs to know that it is.
TSize MeasureRuns(HintCanvas& canvas, const std::string& text, int limit) {
    TSize total;
    if (text.empty()) {
        return total;
    }
    const TFontStyles saved = canvas.FontStyles();
    WalkRuns(text, [&](const std::string& run, const std::string& style, bool) {
        const TSize size = canvas.TextExtent(run);
        total.cx += size.cx;
        total.cy = std::max(total.cy, size.cy);
        if (!style.empty()) {
            ApplyStyle(canvas, style);
        }
        return total.cx <= limit;
    });
    canvas.SetFontStyles(saved);
    return total;
}

} // namespace

TSize TextExtentEx(HintCanvas& canvas, const std::string& text) {
    return MeasureRuns(canvas, text, std::numeric_limits<int>::max());
}

void TextOutEx(HintCanvas& canvas, int x, int y, const std::string& text) {
    int advance = 0;
    WalkRuns(text, [&](const std::string& run, const std::string& style, bool last) {
        canvas.TextOut(x + advance, y, run);
        if (last) {
            return true;
        }
        advance += canvas.TextExtent(run).cx;
        if (!style.empty()) {
            ApplyStyle(canvas, style);
        }
        return true;
    });
}

TSize GetTextExtentRH(HintCanvas& canvas, const std::string& text) {
    // Up to the first zero byte, as a C string would end.
    const TSize size = canvas.TabbedTextExtent(text.substr(0, text.find('\0')));
    return {size.cx & 0xFFFF, size.cy & 0xFFFF};
}

void DrawBox(HintCanvas& canvas, HintBoxState& box, PaintCause cause) {
    const TextRect text = BoxSteps(canvas, box, cause);
    int row = 0;
    for (const std::string& line : box.Lines) {
        if (!line.empty()) {
            const auto draw = [&](const std::string& rowText, int r, int h) {
                canvas.TextOut(text.rect.Left, text.rect.Top + r * h, rowText);
            };
            std::string lastRow;
            int height = 0;
            if (LayOutRows(canvas, line, text, row, draw, lastRow, height) == Layout::Stop) {
                return;
            }
            if (Fits(text, row, height)) {
                draw(lastRow, row, height);
            }
        }
        ++row;
    }
}

void DrawBoxEx(HintCanvas& canvas, HintBoxState& box, PaintCause cause) {
    if (!box.Parsed) {
        Parse(box);
    }
    const TextRect text = BoxSteps(canvas, box, cause);
    if (box.ParsedLines.empty()) {
        return;
    }
    canvas.SetFontStyles(0);
    int row = 0;
    for (size_t k = 0; k < box.ParsedLines.size(); ++k) {
        const std::string& entry = box.ParsedLines[k];
        const int alignment = box.LineAlignments[k];
        const auto xOf = [&](int width, int& x) {
            switch (alignment) {
            case hintmarkup::AlignLeft:
                x = text.rect.Left;
                return true;
            case hintmarkup::AlignCenter:
                x = text.rect.Left + (text.rect.Right - text.rect.Left - width) / 2 - 4;
                return true;
            case hintmarkup::AlignRight:
                x = text.rect.Right - width - 4;
                return true;
            default:
                return false;
            }
        };
        const auto drawRow = [&](const std::string& rowText, int r, const TSize& size) {
            int x = 0;
            if (xOf(size.cx, x)) {
                TextOutEx(canvas, x, text.rect.Top + r * size.cy, rowText);
            }
        };
        // Past the usable width the entry is laid out in rows, and its exact width is not used.
        const TSize whole = MeasureRuns(canvas, entry, text.usable);
        if (entry.empty()) {
            ++row;
            continue;
        }
        if (hintmarkup::OnlyContainsTags(entry)) {
            TextOutEx(canvas, -1, -1, entry);
            continue;
        }
        if (whole.cx <= text.usable) {
            if (Fits(text, row, whole.cy)) {
                drawRow(entry, row, whole);
            }
            ++row;
            continue;
        }
        std::string lastRow;
        int segmentHeight = 0;
        const auto fullRow = [&](const std::string& rowText, int r, int) {
            drawRow(rowText, r, TextExtentEx(canvas, rowText));
        };
        if (LayOutRows(canvas, entry, text, row, fullRow, lastRow, segmentHeight) == Layout::Stop) {
            return;
        }
        const TSize last = TextExtentEx(canvas, lastRow);
        if (Fits(text, row, last.cy)) {
            drawRow(lastRow, row, last);
        }
        ++row;
    }
}

void Paint(HintCanvas& canvas, HintBoxState& box, PaintCause cause) {
    if (box.HTMLFormatting) {
        DrawBoxEx(canvas, box, cause);
    } else {
        DrawBox(canvas, box, cause);
    }
}

} // namespace hintpaint
