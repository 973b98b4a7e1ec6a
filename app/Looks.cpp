#include "app/Looks.h"

#include "app/TypedText.h"
#include "ui_Unit1.h"

#include <QFont>
#include <QLabel>
#include <QProxyStyle>
#include <QTabBar>

namespace {

// Tabs with a third of the style's usual padding beside their captions.
class CompactTabs final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 3 : value;
    }
};

} // namespace

void AddFontSubstitutes() {
    // A substitute is tried only where the family itself is not installed. Asking first
    // whether it is would resolve both names through the system's whole font configuration,
    // a quarter of a small book's start-up.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                               {QStringLiteral("Liberation Serif")});
}

void FixLooks(Ui::TForm1& ui) {
    // Link labels are as wide as their text, so only the text reacts to the pointer; a centred
    // one stays centred where the layout put it.
    for (TSwCURLLabel* link :
         {ui.SwCURLLabel1, ui.SwCURLLabel2, ui.SwCURLLabel3, ui.SwCURLLabel4}) {
        const QRect placed = link->geometry();
        link->adjustSize();
        if (link->alignment() & Qt::AlignHCenter) {
            link->move(placed.center().x() - link->width() / 2, placed.y());
        }
    }
    // Narrower tab padding, so the six pages' tabs fit the window's width.
    auto* tabs = new CompactTabs;
    tabs->setParent(ui.PageControl1->tabBar());
    ui.PageControl1->tabBar()->setStyle(tabs);
    // What is typed or pasted follows one rule for control characters, the filter too.
    for (QLineEdit* field :
         {static_cast<QLineEdit*>(ui.Edit1), static_cast<QLineEdit*>(ui.NumEdit1), ui.FilterEdit}) {
        field->setValidator(new NoControlCharacters(field));
    }
    // A name is no longer than the book keeps from any source.
    ui.Edit1->setMaxLength(static_cast<int>(core::MaxNameCharacters));
    // A screen reader names a drop-down after its label, not after the value it holds: the
    // quality box gets one it never shows, as does the text typed into it.
    auto* quality = new QLabel(QStringLiteral("Quality preset"), ui.ComboBox1->parentWidget());
    quality->setObjectName(QStringLiteral("QualityPresetName"));
    quality->setBuddy(ui.ComboBox1);
    quality->hide();
    if (QLineEdit* typed = ui.ComboBox1->lineEdit()) {
        typed->setAccessibleName(ui.ComboBox1->accessibleName());
    }
}
