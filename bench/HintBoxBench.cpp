// Painting a default 200 x 200 hint box holding 10,000 characters of formatted text, against
// QPainter::drawText with word wrap of the same plain text into the same rectangle.
#include "controls/Hintbox.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Texts {
    QString formatted;
    QString plain;
    QString unbroken = QString(10000, QLatin1Char('w'));
};

// Words of 3 to 12 letters, a style tag about every 50 characters.
const Texts& TheTexts() {
    static const Texts texts = [] {
        Texts t;
        std::mt19937 random(11);
        const char* tags[] = {"<B>", "</B>", "<I>", "</I>", "<U>", "</U>"};
        int sinceTag = 0;
        int tag = 0;
        while (t.plain.size() < 10000) {
            QString word;
            const int length = 3 + static_cast<int>(random() % 10);
            for (int i = 0; i < length; ++i) {
                word += QLatin1Char(static_cast<char>('a' + random() % 26));
            }
            t.plain += word + QLatin1Char(' ');
            t.formatted += word + QLatin1Char(' ');
            sinceTag += length + 1;
            if (sinceTag >= 50) {
                t.formatted += QString::fromLatin1(tags[tag++ % 6]);
                sinceTag = 0;
            }
        }
        return t;
    }();
    return texts;
}

void PaintHintBox(benchmark::State& state, const QString& text) {
    THintBox box;
    box.SetLines({text});
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        box.render(&image);
    }
}

void DrawTextWordWrap(benchmark::State& state, const QString& text) {
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.drawText(QRect(0, 0, 200, 200), Qt::TextWordWrap, text);
    }
}

BENCHMARK_CAPTURE(PaintHintBox, formatted, TheTexts().formatted)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(DrawTextWordWrap, plain, TheTexts().plain)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(PaintHintBox, unbroken, TheTexts().unbroken)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(DrawTextWordWrap, unbroken, TheTexts().unbroken)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace
