// Entry of the scope plug-in: the host asks it for the page button's name,
// icon and order and has it build the oscilloscope page once.
#pragma once

#include "VXPluginContract.h"

#include <QObject>

class VXPlugin_ScopePlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VX_PLUGIN_IID)
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    explicit VXPlugin_ScopePlugin(QObject* parent = nullptr);

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
