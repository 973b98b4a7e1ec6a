// Builds against the installed headers and libraries alone, and shows that each control works
// there: the field refuses a letter, the label turns into a link, the hint box keeps its lines.
#include "controls/Hintbox.h"
#include "controls/Numedit.h"
#include "controls/Swcurllabel.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TNumEdit field;
    const bool digitKept = field.KeyPress(QLatin1Char('4')) == QLatin1Char('4');
    const bool letterRefused = field.KeyPress(QLatin1Char('a')).isNull();
    TSwCURLLabel label;
    label.SetURL(QStringLiteral("https://example.org"));
    THintBox hint;
    hint.SetLines({QStringLiteral("<B>One</B>"), QStringLiteral("Two")});
    std::printf("digit %d letter %d hand %d lines %d\n", digitKept, letterRefused,
                label.cursor().shape() == Qt::PointingHandCursor,
                static_cast<int>(hint.Lines().size()));
    return 0;
}
