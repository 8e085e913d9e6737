#include "VXPlugin_ScriptPlugin.h"

#include "VXPlugin_ScriptWidget.h"

#include <QIcon>

VXPlugin_ScriptPlugin::VXPlugin_ScriptPlugin(QObject* parent)
    : QObject(parent)
{
}

QString VXPlugin_ScriptPlugin::name() const
{
    return QStringLiteral("script");
}

QString VXPlugin_ScriptPlugin::group() const
{
    return QStringLiteral("script");
}

QString VXPlugin_ScriptPlugin::toolTip() const
{
    return QStringLiteral("script");
}

QString VXPlugin_ScriptPlugin::whatsThis() const
{
    // The page order: the last of the three pages.
    return QStringLiteral("30");
}

QString VXPlugin_ScriptPlugin::includeFile() const
{
    return QStringLiteral("VXPlugin_Script.h");
}

QIcon VXPlugin_ScriptPlugin::icon() const
{
    return QIcon();
}

bool VXPlugin_ScriptPlugin::isContainer() const
{
    return false;
}

QWidget* VXPlugin_ScriptPlugin::createWidget(QWidget* parent)
{
    return new VXPlugin_ScriptWidget(parent);
}

bool VXPlugin_ScriptPlugin::isInitialized() const
{
    return m_initialized;
}

void VXPlugin_ScriptPlugin::initialize(QDesignerFormEditorInterface* /*core*/)
{
    if (m_initialized)
        return;
    m_initialized = true;
}

QString VXPlugin_ScriptPlugin::domXml() const
{
    return vx::pluginDomXml(QStringLiteral("VXPlugin_Script"));
}
