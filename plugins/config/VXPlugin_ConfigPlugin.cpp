#include "VXPlugin_ConfigPlugin.h"

#include "VXPlugin_ConfigResources.h"
#include "VXPlugin_ConfigWidget.h"

#include <QIcon>

VXPlugin_ConfigPlugin::VXPlugin_ConfigPlugin(QObject* parent)
    : QObject(parent)
{
    vxconfig::initResources();
}

QString VXPlugin_ConfigPlugin::name() const
{
    return QStringLiteral("config");
}

QString VXPlugin_ConfigPlugin::group() const
{
    return QStringLiteral("config");
}

QString VXPlugin_ConfigPlugin::toolTip() const
{
    return QStringLiteral("config");
}

QString VXPlugin_ConfigPlugin::whatsThis() const
{
    // The page order: after the scope, before the script page.
    return QStringLiteral("20");
}

QString VXPlugin_ConfigPlugin::includeFile() const
{
    return QStringLiteral("VXPlugin_Config.h");
}

QIcon VXPlugin_ConfigPlugin::icon() const
{
    return QIcon(QStringLiteral(":/VXPlugin_Config/icon_config"));
}

bool VXPlugin_ConfigPlugin::isContainer() const
{
    return false;
}

QWidget* VXPlugin_ConfigPlugin::createWidget(QWidget* parent)
{
    return new VXPlugin_ConfigWidget(parent);
}

bool VXPlugin_ConfigPlugin::isInitialized() const
{
    return m_initialized;
}

void VXPlugin_ConfigPlugin::initialize(QDesignerFormEditorInterface* /*core*/)
{
    if (m_initialized)
        return;
    m_initialized = true;
}

QString VXPlugin_ConfigPlugin::domXml() const
{
    return vx::pluginDomXml(QStringLiteral("VXPlugin_Config"));
}
