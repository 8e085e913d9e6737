// A page plug-in for the host's tests. One source, built several times; the
// build gives each copy its name, order text and behaviour:
//   VX_FIXTURE_NAME      name, group and tool tip ("tip <name>")
//   VX_FIXTURE_ORDER     whatsThis, the page order text
//   VX_FIXTURE_LISTENS   1: the page has slot_Disconnected2ZPS()
//   VX_FIXTURE_NO_WIDGET 1: createWidget returns null
#pragma once

#include "VXPluginContract.h"

#include <QObject>

class VXFixturePlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VX_PLUGIN_IID)
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    explicit VXFixturePlugin(QObject* parent = nullptr);

    QString name() const override;
    QString group() const override;
    QString toolTip() const override;
    QString whatsThis() const override;
    QString includeFile() const override;
    QIcon icon() const override;
    bool isContainer() const override;
    QWidget* createWidget(QWidget* parent) override;
    bool isInitialized() const override;
    void initialize(QDesignerFormEditorInterface* core) override;
    QString domXml() const override;

private:
    bool m_initialized = false;
};
