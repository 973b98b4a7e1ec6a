#include "controls/designer/ControlsPlugin.h"

#include "controls/Hintbox.h"
#include "controls/Numedit.h"
#include "controls/Swcurllabel.h"

ControlPlugin::ControlPlugin(Description description, QObject* parent)
    : QObject(parent), description_(std::move(description)) {}

ControlsPlugin::ControlsPlugin(QObject* parent) : QObject(parent) {
    widgets_ << new ControlPlugin({QStringLiteral("THintBox"), QStringLiteral("Samples"),
                                   QStringLiteral("Hintbox.h"),
                                   QStringLiteral("A box with a shadow and formatted text"),
                                   QIcon(), [](QWidget* p) { return new THintBox(p); }},
                                  this);
    widgets_ << new ControlPlugin({QStringLiteral("TNumEdit"), QStringLiteral("NuevaPaleta"),
                                   QStringLiteral("Numedit.h"),
                                   QStringLiteral("A field that takes numbers from the keyboard"),
                                   QIcon(), [](QWidget* p) { return new TNumEdit(p); }},
                                  this);
    widgets_ << new ControlPlugin({QStringLiteral("TSwCURLLabel"), QStringLiteral("SwC"),
                                   QStringLiteral("Swcurllabel.h"),
                                   QStringLiteral("A label that opens a web address"),
                                   QIcon(QStringLiteral(":/designer/TSWCURLLABEL.png")),
                                   [](QWidget* p) { return new TSwCURLLabel(p); }},
                                  this);
}
