// Shows a few hint boxes side by side: plain text, every tag of the markup, text only, and a
// text that wraps and is cut at the bottom.
#include "controls/Hintbox.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>

namespace {

THintBox* Box(QGridLayout* grid, int column, const QString& title, const QStringList& lines) {
    auto* caption = new QLabel(title);
    auto* box = new THintBox;
    box->setFixedSize(200, 200);
    box->SetLines(lines);
    grid->addWidget(caption, 0, column);
    grid->addWidget(box, 1, column);
    return box;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Hint boxes"));
    auto* grid = new QGridLayout(&window);

    Box(grid, 0, QStringLiteral("Plain (formatting off)"),
        {QStringLiteral("Plain text, tags shown as written:"), QString(),
         QStringLiteral("<B>not bold</B> <CENTER>not centred")})
        ->SetHTMLFormatting(false);

    Box(grid, 1, QStringLiteral("Formatted"),
        {QStringLiteral("<CENTER><B>Every tag</B></CENTER>"),
         QStringLiteral("<B>bold</B> <I>italic</I> <U>underline</U>"),
         QStringLiteral("<STRIKE>strike-out</STRIKE> <X>unknown</X>"),
         QStringLiteral("left<BR><CENTER>centred</CENTER><RIGHT>right"), QStringLiteral("<B>"),
         QStringLiteral("a style-only line makes this bold"), QStringLiteral("</B>")});

    Box(grid, 2, QStringLiteral("Text only"),
        {QStringLiteral("<CENTER>No box, no shadow:"),
         QStringLiteral("the text stands on the window's background.")})
        ->SetHintBox(false);

    Box(grid, 3, QStringLiteral("Wrapped and cut"),
        {QStringLiteral("A long line wraps at its last blank before the edge of the box, and a "
                        "word wider than the box, like "
                        "Donaudampfschifffahrtsgesellschaftskapitaen, is cut before the "
                        "character that overflows. Rows that do not fit above the bottom of "
                        "the box are not drawn at all, so this sentence goes on and on until "
                        "the box has no room left for it and the rest of it is never seen, "
                        "however long it runs on beyond this point and the next one.")});

    window.show();
    return QApplication::exec();
}
