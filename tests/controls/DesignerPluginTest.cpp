#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include <QApplication>
#include <QImage>
#include <QPluginLoader>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

TEST(DesignerPlugin, OffersTheThreeControlsOnTheirPalettePages) {
    QPluginLoader loader(QStringLiteral(DESIGNER_PLUGIN));
    QObject* instance = loader.instance();
    ASSERT_NE(instance, nullptr) << loader.errorString().toStdString();
    auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
    ASSERT_NE(collection, nullptr);

    struct Expected {
        const char* name;
        const char* group;
        const char* include;
    };
    const Expected expected[] = {{"THintBox", "Samples", "Hintbox.h"},
                                 {"TNumEdit", "NuevaPaleta", "Numedit.h"},
                                 {"TSwCURLLabel", "SwC", "Swcurllabel.h"}};
    const auto widgets = collection->customWidgets();
    ASSERT_EQ(widgets.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QDesignerCustomWidgetInterface* widget = widgets[i];
        EXPECT_EQ(widget->name(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(widget->group(), QString::fromLatin1(expected[i].group));
        EXPECT_EQ(widget->includeFile(), QString::fromLatin1(expected[i].include));
        EXPECT_FALSE(widget->isContainer());
        std::unique_ptr<QWidget> made(widget->createWidget(nullptr));
        ASSERT_NE(made, nullptr);
        EXPECT_STREQ(made->metaObject()->className(), expected[i].name);
    }
    const QIcon glyph = widgets[2]->icon();
    ASSERT_FALSE(glyph.isNull());
    EXPECT_EQ(glyph.pixmap(QSize(24, 24)).toImage().size(), QSize(24, 24));
    EXPECT_EQ(QImage(QStringLiteral(":/designer/TSWCURLLABEL.png")).size(), QSize(24, 24));
}
