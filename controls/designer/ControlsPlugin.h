#pragma once

#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <QIcon>

#include <functional>

// One control offered to Qt Designer.
class ControlPlugin final : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    struct Description {
        QString name;
        QString group;
        QString include;
        QString toolTip;
        QIcon icon;
        std::function<QWidget*(QWidget*)> create;
    };

    ControlPlugin(Description description, QObject* parent);

    QString name() const override { return description_.name; }
    QString group() const override { return description_.group; }
    QString toolTip() const override { return description_.toolTip; }
    QString whatsThis() const override { return description_.toolTip; }
    QString includeFile() const override { return description_.include; }
    QIcon icon() const override { return description_.icon; }
    bool isContainer() const override { return false; }
    QWidget* createWidget(QWidget* parent) override { return description_.create(parent); }
    bool isInitialized() const override { return initialized_; }
    void initialize(QDesignerFormEditorInterface*) override { initialized_ = true; }

private:
    Description description_;
    bool initialized_ = false;
};

// The program's three controls: THintBox on "Samples", TNumEdit on "NuevaPaleta",
// TSwCURLLabel on "SwC".
class ControlsPlugin final : public QObject, public QDesignerCustomWidgetCollectionInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
    Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

public:
    explicit ControlsPlugin(QObject* parent = nullptr);
    QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

private:
    QList<QDesignerCustomWidgetInterface*> widgets_;
};
